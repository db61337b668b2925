#include "peer.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

double PdftoppmAllCores(const std::string& pdf, const std::string& outBase, int pages, int dpi,
                        int* processes) {
  const int cores = std::max(1u, std::thread::hardware_concurrency());
  const int n = std::clamp(cores, 1, std::max(pages, 1));
  *processes = n;
  std::string ranges;
  for (int i = 0; i < n; ++i) {
    const int first = 1 + pages * i / n, last = pages * (i + 1) / n;
    ranges += std::to_string(first) + " " + std::to_string(last) + "\\n";
  }
  const std::string command = "printf '" + ranges + "' | xargs -P " + std::to_string(n) +
                              " -n 2 sh -c 'pdftoppm -r " + std::to_string(dpi) +
                              " -f \"$0\" -l \"$1\" \"" + pdf + "\" \"" + outBase + "\"'";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rc == 0 ? seconds : -1;
}

double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    total += u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
             u.ru_stime.tv_usec / 1e6;
  }
  return total;
}
