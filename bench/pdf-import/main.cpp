// Imports a 20-page form with 200 fields into a form definition (in a
// fresh data folder), and renders the same file with `pdftoppm -r 288`.
// The rendering step of the import (pages to GIF at 288 dpi) is timed
// from the import's own status texts and compared with pdftoppm, once in
// one process and once on every core.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "make_form.h"
#include "peer.h"
#include "velmora/apppdf/import.h"
#include "velmora/apppdf/status.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/system.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("velmora-pdf-import-" + std::to_string(getpid()));
  fs::create_directories(dir / "data");
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  const std::string form = (dir / "form.pdf").string();
  MakeBenchForm(form, BenchFields::Mixed);

  data::GlobalErrors().Setup();
  data::CreateFileManagers();
  data::StartRelationManagers();
  rt::SetMessageHandler([](std::string_view, std::string_view, std::string_view, int, int def) {
    return def;
  });  // Yes to the fields question
  Clock::time_point renderStart{}, renderEnd{};
  apppdf::SetStatusHandler([&](std::string_view text) {
    if (text.rfind("Renderig", 0) == 0) renderStart = Clock::now();
    if (text == "Processing Page 1 of " + std::to_string(kFormPages)) renderEnd = Clock::now();
  });

  const auto start = Clock::now();
  const int created = apppdf::CreateFormFromPdf(form);
  const double import = Seconds(start, Clock::now());
  const double render = Seconds(renderStart, renderEnd);
  const int pages = data::ThisThread().FOR.TOTALPAGES;
  data::StopDictionary();

  const auto toolStart = Clock::now();
  const std::string command = "pdftoppm -r 288 '" + form + "' '" + (dir / "tool").string() + "'";
  const int rc = std::system(command.c_str());
  const double tool = Seconds(toolStart, Clock::now());

  int processes = 0;
  const double peers = PdftoppmAllCores(form, (dir / "peers").string(), kFormPages, 288, &processes);

  std::printf("pages: %d, fields: %d\n", pages, kFormPages * kFormFieldsPerPage);
  std::printf("import, all steps: %.3f s%s\n", import, created == 1 ? "" : " (failed)");
  std::printf("import, rendering to GIF at 288 dpi: %.3f s\n", render);
  std::printf("pdftoppm -r 288: %.3f s%s\n", tool, rc == 0 ? "" : " (failed)");
  std::printf("rendering, ours over pdftoppm: ratio %.2f\n", tool > 0 ? render / tool : 0.0);
  std::printf("pdftoppm -r 288 on all cores (%d processes, one per page range): %.3f s%s\n",
              processes, peers, peers > 0 ? "" : " (failed)");
  std::printf("rendering, ours over pdftoppm on all cores: ratio %.2f\n",
              peers > 0 ? render / peers : 0.0);
  fs::current_path(old);
  fs::remove_all(dir);
  return created == 1 && rc == 0 && peers > 0 && pages == kFormPages ? 0 : 1;
}
