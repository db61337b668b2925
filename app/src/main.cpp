// The program's entry. The window layer starts the desktop: the process's
// main thread is its GUI thread and runtime thread 1 runs the program on a
// thread of its own. With VELMORA_HEADLESS=1 the headless backend runs on
// this thread.
#include <cstdlib>
#include <cstring>

#include "velmora/app/program.h"
#include "velmora/ui/desktop.h"

int main(int argc, char** argv) {
  const char* headless = std::getenv("VELMORA_HEADLESS");
  if (headless && std::strcmp(headless, "1") == 0) app::ProgramEntry(argc, argv);
  return ui::RunOnDesktop(argc, argv, [&] { return app::RunProgram(argc, argv); });
}
