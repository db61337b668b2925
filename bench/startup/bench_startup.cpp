// bench_startup: the program's start-up work with the upgrade engine in
// the path: the seventeen registration calls (each data file's declaration
// checked against the version store) and the first open of every data
// file through the open hook. Prints one line per start: the first start
// (store and data files created), then warm starts (all present).
//
// Usage: bench_startup [starts]   (runs in a scratch folder under /tmp)
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/runtime.h"
#include "velmora/upgrade/registration.h"

namespace {

double Now() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// One start: a fresh engine (a new process), registration, every file
// opened; without the engine, the same opens go straight to the runtime.
double Start(const std::string& program, bool engine) {
  upg::ResetRegistration();
  rt::SetCommandLine({program});
  db::SetOpenHook({});
  if (engine) upg::InstallOpenHook();
  double t0 = Now();
  data::CreateFileManagers();
  data::StartRelationManagers();
  if (engine) app::RegisterDataFiles(app::UpgradeEngine());
  data::Dictionary& d = data::ThisThread();
  for (int i = 0; i < data::kFileCount; ++i) {
    auto id = static_cast<data::FileId>(i);
    if (id == data::FileId::ImportFields) continue;  // opened by name later, never at start
    if (d.Access(id)->TryOpen() != 0) {
      std::fprintf(stderr, "bench_startup: %s did not open: %d %s\n", d.File(id).Label().c_str(),
                   rt::ErrorCode(), rt::ErrorText().c_str());
      std::exit(1);
    }
  }
  double ms = Now() - t0;
  data::StopDictionary();
  return ms;
}

// The first start and `starts` warm ones in a folder of their own; the
// worst warm start.
double Run(bool engine, int starts) {
  char tmpl[] = "/tmp/bench_startup_XXXXXX";
  std::filesystem::path dir = mkdtemp(tmpl);
  std::filesystem::current_path(dir);
  std::filesystem::create_directories("data");
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  const std::string program = rt::WindowsPath((dir / "velmora").string());
  const char* what = engine ? "with the engine" : "without the engine";
  std::printf("%s: first start (files created) %.1f ms\n", what, Start(program, engine));
  double worst = 0, total = 0;
  for (int i = 0; i < starts; ++i) {
    double ms = Start(program, engine);
    worst = std::max(worst, ms);
    total += ms;
  }
  std::printf("%s: warm start mean %.1f ms, worst %.1f ms over %d\n", what, total / starts,
              worst, starts);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(dir);
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  int starts = argc > 1 ? std::atoi(argv[1]) : 5;
  static char name[] = "bench_startup";
  static char* args[] = {name, nullptr};
  if (!rt::StartRuntime(1, args)) return 1;
  double without = Run(false, starts);
  double with = Run(true, starts);
  std::printf("ratio (worst warm start, with over without): %.2f; limit 200 ms: %s\n",
              with / without, with < 200 ? "met" : "NOT met");
  return with < 200 ? 0 : 1;
}
