// Renders the 20 pages of the benchmark form to GIF at 288 dpi through the
// library, and the same file with `pdftoppm -r 288`, once in one process
// and once on every core.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "make_form.h"
#include "peer.h"
#include "velmora/pdf/pdf.h"

int main() {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("velmora-pdf-render-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string form = (dir / "form.pdf").string();
  MakeBenchForm(form, BenchFields::Text);

  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  int doc = iSEDLoadFromFile(form);
  int pages = iSEDPageCount();
  int ok = iSEDRenderDocumentToFile(288, 1, pages, 6, (dir / "ours_page%p.gif").string());
  iSEDRemoveDocument(doc);
  double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double oursCpu = CpuSeconds() - cpu;  // the workers have ended with the document

  start = std::chrono::steady_clock::now();
  std::string command = "pdftoppm -r 288 '" + form + "' '" + (dir / "theirs").string() + "'";
  int rc = std::system(command.c_str());
  double theirs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  int processes = 0;
  cpu = CpuSeconds();
  const double peers = PdftoppmAllCores(form, (dir / "peers").string(), pages, 288, &processes);
  const double peersCpu = CpuSeconds() - cpu;

  std::printf("pages: %d\n", pages);
  std::printf("library, GIF at 288 dpi: %.3f s%s\n", ours, ok ? "" : " (failed)");
  std::printf("pdftoppm -r 288: %.3f s%s\n", theirs, rc == 0 ? "" : " (failed)");
  std::printf("ours over pdftoppm: ratio %.2f\n", theirs > 0 ? ours / theirs : 0.0);
  std::printf("pdftoppm -r 288 on all cores (%d processes, one per page range): %.3f s%s\n",
              processes, peers, peers > 0 ? "" : " (failed)");
  std::printf("ours over pdftoppm on all cores: ratio %.2f\n", peers > 0 ? ours / peers : 0.0);
  std::printf("CPU time, library %.3f s, pdftoppm on all cores %.3f s: ratio %.2f\n", oursCpu,
              peersCpu, peersCpu > 0 ? oursCpu / peersCpu : 0.0);
  fs::remove_all(dir);
  return ok && rc == 0 && peers > 0 && pages == kFormPages ? 0 : 1;
}
