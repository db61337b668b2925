#include "peer.h"

#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

double CpuSecondsWithLiveChildren() {
  double total = CpuSeconds();
  const long ticks = sysconf(_SC_CLK_TCK);
  const pid_t self = getpid();
  std::error_code ec;
  for (auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // pid (comm) state ppid ... utime stime: fields 4, 14 and 15
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long ppid = 0, utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 4) ppid = std::atol(field.c_str());
      if (i == 14) utime = std::atol(field.c_str());
      if (i == 15) stime = std::atol(field.c_str());
    }
    if (ppid == self) total += static_cast<double>(utime + stime) / static_cast<double>(ticks);
  }
  return total;
}
