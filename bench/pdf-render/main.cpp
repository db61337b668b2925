// Renders every page of two documents to GIF at 288 dpi through the
// library, and the same files with `pdftoppm -r 288` (PPM), once in one
// process and once as 8 processes: the 20-page benchmark form with a
// photograph on every page, and a 200-page document of text. Wall time and
// CPU time (of every process involved) are compared, each side at its best
// of a few rounds.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "make_pages.h"
#include "peer.h"
#include "velmora/pdf/pdf.h"

namespace {

namespace fs = std::filesystem;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// pdftoppm's pictures, but for its first page of the one-process run when
// they are kept.
void RemovePictures(const fs::path& dir, bool keep) {
  std::vector<fs::path> gone;
  for (auto& f : fs::directory_iterator(dir)) {
    const std::string name = f.path().filename().string();
    if (f.path().extension() != ".ppm" || name.rfind("kept-", 0) == 0) continue;
    if (keep && name.rfind("theirs-", 0) == 0 && std::atoi(name.c_str() + 7) == 1)
      fs::rename(f.path(), dir / ("kept-" + name));
    else
      gone.push_back(f.path());
  }
  for (auto& f : gone) fs::remove(f);
}

// One document's comparison over `rounds` rounds, each side's best wall
// and best CPU time (the machine may be shared); true when every run
// succeeded.
bool Compare(const std::string& what, const fs::path& dir, const std::string& pdf, int pages,
             bool keep, int rounds) {
  double ours = 1e300, oursCpu = 1e300, theirs = 1e300, peers = 1e300, peersCpu = 1e300;
  int processes = 0;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    const bool keepNow = keep && round == 0;
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    int doc = iSEDLoadFromFile(pdf);
    ok = iSEDPageCount() == pages && ok;
    ok = iSEDRenderDocumentToFile(288, 1, pages, 6, (dir / "ours_page%p.gif").string()) && ok;
    iSEDRemoveDocument(doc);
    ours = std::min(ours, Since(start));
    oursCpu = std::min(oursCpu, CpuSeconds() - cpu);  // the workers have ended with the document
    if (keepNow) fs::rename(dir / "ours_page1.gif", dir / (fs::path(pdf).stem().string() + "1.gif"));
    for (int p = 1; p <= pages; ++p) fs::remove(dir / ("ours_page" + std::to_string(p) + ".gif"));

    start = std::chrono::steady_clock::now();
    const std::string command = "pdftoppm -r 288 '" + pdf + "' '" + (dir / "theirs").string() + "'";
    ok = std::system(command.c_str()) == 0 && ok;
    theirs = std::min(theirs, Since(start));
    RemovePictures(dir, keepNow);

    cpu = CpuSeconds();
    const double seconds = PdftoppmAllCores(pdf, (dir / "peers").string(), pages, 288, &processes);
    ok = seconds > 0 && ok;
    peers = std::min(peers, seconds);
    peersCpu = std::min(peersCpu, CpuSeconds() - cpu);
    RemovePictures(dir, false);
  }

  std::printf("%s: %d pages, best of %d rounds\n", what.c_str(), pages, rounds);
  std::printf("  library, GIF at 288 dpi: %.3f s%s\n", ours, ok ? "" : " (failed)");
  std::printf("  pdftoppm -r 288, one process: %.3f s\n", theirs);
  std::printf("  pdftoppm -r 288, %d processes: %.3f s\n", processes, peers);
  std::printf("  wall time, ours over pdftoppm as %d processes: ratio %.2f (one process: %.2f)\n",
              processes, ours / peers, ours / theirs);
  std::printf("  CPU time, library %.3f s, pdftoppm as %d processes %.3f s: ratio %.2f\n", oursCpu,
              processes, peersCpu, oursCpu / peersCpu);
  return ok;
}

}  // namespace

// "--keep": the folder with the documents and the first page's pictures
// (ours as GIF, pdftoppm's as PPM) stays, for a look at them; "--rounds N"
// (3 unless given): the rounds each side's best time is taken from.
int main(int argc, char** argv) {
  bool keep = false;
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep") keep = true;
    if (std::string(argv[i]) == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
  }
  const fs::path dir = fs::temp_directory_path() / ("velmora-pdf-render-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string form = (dir / "form.pdf").string(), book = (dir / "book.pdf").string();
  MakePictureForm(form);
  MakeTextDocument(book, 200);
  bool ok = Compare("form with a photograph a page", dir, form, 20, keep, rounds);
  ok = Compare("document of text", dir, book, 200, keep, rounds) && ok;
  if (keep)
    std::printf("pictures kept in %s\n", dir.c_str());
  else
    fs::remove_all(dir);
  return ok ? 0 : 1;
}
