#include "velmora/runtime/runtime.h"

#include <cstdio>
#include <exception>
#include <mutex>

#include "threads_internal.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/threads.h"

namespace rt {
namespace {

std::mutex g_mutex;
bool g_running = false;
std::string g_startError;

}  // namespace

bool StartRuntime(int argc, char** argv, const std::vector<Module>& modules) {
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_running) {
      g_startError = "The runtime is already running";
      return false;
    }
    g_startError.clear();
  }
  SetCommandLine(argc, argv);
  detail::PrepareMainThread();
  for (const Module& m : modules) {
    std::string why;
    try {
      if (!m.init || m.init()) continue;
    } catch (const std::exception& e) {
      why = std::string(": ") + e.what();
    }
    detail::AbandonMainThread();
    std::lock_guard<std::mutex> guard(g_mutex);
    g_startError = "Module " + std::string(m.name) + " failed to start" + why;
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_running = true;
  }
  detail::RunMainStartHook();
  return true;
}

std::string StartError() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_startError;
}

int RunMain(std::function<void()> main) {
  int code = 0;
  try {
    if (main) main();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: the program ended by an exception: %s\n", e.what());
    code = 1;
  } catch (...) {
    std::fprintf(stderr, "velmora: the program ended by an exception\n");
    code = 1;
  }
  WaitForThreads();
  bool running;
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    running = g_running;
    g_running = false;
  }
  if (running) detail::EndMainThread();
  RunExitProcs();
  return code;
}

}  // namespace rt
