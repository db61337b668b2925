#pragma once
// Starting and ending the runtime.
//
//   int main(int argc, char** argv) {
//     if (!rt::StartRuntime(argc, argv, kModules)) {
//       std::fprintf(stderr, "%s\n", rt::StartError().c_str());
//       return 1;
//     }
//     return rt::RunMain(ProgramMain);
//   }
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// One entry of the program's module table: its initialiser runs once when
// the runtime starts, in table order; returning false fails the start.
struct Module {
  std::string_view name;
  std::function<bool()> init;
};

// Takes the command line, makes the calling thread thread 1 (holding the
// runtime lock, with its per-thread data), runs the module initialisers on
// it and then thread 1's start hook. False when the runtime is already
// running or an initialiser fails; StartError() then tells why and thread 1
// is not set up.
bool StartRuntime(int argc, char** argv, const std::vector<Module>& modules = {});
std::string StartError();

// Calls main through the runtime's call wrapper (an exception escaping it is
// reported on stderr), then the end-of-main step: waits for the started
// threads, runs thread 1's exit hook, discards its per-thread data and runs
// the exit procedures. Returns the exit code: 0, or 1 when main failed
// with an exception. Without a started runtime only main and the exit
// procedures run.
int RunMain(std::function<void()> main);

}  // namespace rt
