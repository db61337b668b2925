// Loads a form with one radio group of 1 000 and then 4 000 buttons, reads
// every button and selects 200 of them; four times the buttons should take
// about four times the time (not sixteen).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "make_form.h"
#include "velmora/pdf/pdf.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

struct Timing {
  double read = 1e9, select = 1e9;
};

// The quickest of three runs: a busy machine only ever adds time.
Timing Run(const std::string& path, int buttons) {
  Timing best;
  for (int run = 0; run < 3; ++run) {
    auto start = Clock::now();
    int doc = iSEDLoadFromFile(path);
    if (!doc || iSEDGetFormFieldSubCount(1) != buttons) return {};
    for (int k = 1; k <= buttons; ++k) {
      int t = iSEDGetFormFieldSubTempIndex(1, k);
      iSEDGetFormFieldSubName(1, k);
      iSEDGetFormFieldPage(t);
      for (int e = 0; e < 4; ++e) iSEDGetFormFieldBound(t, e);
      iSEDGetFormFieldValue(t);
    }
    best.read = std::min(best.read, Since(start));
    start = Clock::now();
    for (int k = 1; k <= 200; ++k)
      iSEDSetFormFieldValue(1, "s" + std::to_string(k * buttons / 200 - 1));
    best.select = std::min(best.select, Since(start));
    iSEDRemoveDocument(doc);
  }
  return best;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("velmora-pdf-radio-" + std::to_string(getpid()));
  fs::create_directories(dir);
  Timing t[2];
  const int sizes[2] = {1000, 4000};
  for (int i = 0; i < 2; ++i) {
    std::string path = (dir / ("radio" + std::to_string(sizes[i]) + ".pdf")).string();
    MakeRadioForm(path, sizes[i]);
    t[i] = Run(path, sizes[i]);
    std::printf("%d buttons: read %.4f s, 200 selections %.4f s\n", sizes[i], t[i].read,
                t[i].select);
  }
  fs::remove_all(dir);
  if (t[0].read >= 1e9 || t[1].read >= 1e9) return std::fprintf(stderr, "load failed\n"), 1;
  std::printf("read 4000 over 1000 (linear: 4, quadratic: 16): ratio %.2f\n", t[1].read / t[0].read);
  std::printf("select 4000 over 1000 (linear: 4, quadratic: 16): ratio %.2f\n",
              t[1].select / t[0].select);
  return 0;
}
