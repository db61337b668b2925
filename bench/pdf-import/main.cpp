// Imports two documents into form definitions (in a fresh data folder):
// the 20-page benchmark form with 200 fields and a photograph on every
// page, and a 200-page document of text. The rendering step of each import
// (pages to GIF at 288 dpi, timed from the import's own status texts) and
// the whole import are compared in wall time and CPU time (of every
// process involved) with `pdftoppm -r 288` writing PPM, as 8 processes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "make_form.h"
#include "make_pages.h"
#include "peer.h"
#include "velmora/apppdf/import.h"
#include "velmora/apppdf/status.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/system.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

// One document's import beside pdftoppm; true when both succeeded.
bool Compare(const std::string& what, const fs::path& dir, const std::string& pdf, int pages) {
  Clock::time_point renderStart{}, renderEnd{};
  double renderCpuStart = 0, renderCpuEnd = 0;
  apppdf::SetStatusHandler([&](std::string_view text) {
    if (text.rfind("Renderig", 0) == 0) renderStart = Clock::now(), renderCpuStart = CpuSecondsWithLiveChildren();
    if (text.rfind("Processing Page 1 of ", 0) == 0)
      renderEnd = Clock::now(), renderCpuEnd = CpuSecondsWithLiveChildren();
  });
  double cpu = CpuSeconds();
  const auto start = Clock::now();
  const int created = apppdf::CreateFormFromPdf(pdf);
  const double import = Seconds(start, Clock::now());
  const double importCpu = CpuSeconds() - cpu;  // the workers have ended with the document
  const double render = Seconds(renderStart, renderEnd), renderCpu = renderCpuEnd - renderCpuStart;
  const int stored = data::ThisThread().FOR.TOTALPAGES;
  apppdf::SetStatusHandler(nullptr);

  int processes = 0;
  cpu = CpuSeconds();
  const double peers = PdftoppmAllCores(pdf, (dir / "peers").string(), pages, 288, &processes);
  const double peersCpu = CpuSeconds() - cpu;
  std::vector<fs::path> ppm;
  for (auto& f : fs::directory_iterator(dir))
    if (f.path().extension() == ".ppm") ppm.push_back(f.path());
  for (auto& f : ppm) fs::remove(f);

  std::printf("%s: %d pages\n", what.c_str(), stored);
  std::printf("  import, all steps: %.3f s, CPU %.3f s%s\n", import, importCpu,
              created == 1 ? "" : " (failed)");
  std::printf("  import, rendering to GIF at 288 dpi: %.3f s, CPU %.3f s\n", render, renderCpu);
  std::printf("  pdftoppm -r 288, %d processes: %.3f s, CPU %.3f s%s\n", processes, peers, peersCpu,
              peers > 0 ? "" : " (failed)");
  std::printf("  rendering over pdftoppm as %d processes: wall ratio %.2f, CPU ratio %.2f\n",
              processes, Ratio(render, peers), Ratio(renderCpu, peersCpu));
  std::printf("  whole import over pdftoppm as %d processes: wall ratio %.2f, CPU ratio %.2f\n",
              processes, Ratio(import, peers), Ratio(importCpu, peersCpu));
  return created == 1 && peers > 0 && stored == pages;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("velmora-pdf-import-" + std::to_string(getpid()));
  fs::create_directories(dir / "data");
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  const std::string form = (dir / "form.pdf").string(), book = (dir / "book.pdf").string();
  MakePictureForm(form);
  MakeTextDocument(book, 200);

  data::GlobalErrors().Setup();
  data::CreateFileManagers();
  data::StartRelationManagers();
  rt::SetMessageHandler([](std::string_view, std::string_view, std::string_view, int, int def) {
    return def;
  });  // Yes to the fields question
  bool ok = Compare("form with 200 fields and a photograph a page", dir, form, kFormPages);
  ok = Compare("document of text", dir, book, 200) && ok;
  data::StopDictionary();
  fs::current_path(old);
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
