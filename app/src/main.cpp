// The program's entry. With the Qt backend the process's main thread is
// the GUI thread and runtime thread 1 runs the program on a thread of its
// own; with VELMORA_HEADLESS=1 the headless backend runs on this thread.
#include <QApplication>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "velmora/app/program.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/qt_backend.h"

int main(int argc, char** argv) {
  const char* headless = std::getenv("VELMORA_HEADLESS");
  if (headless && std::strcmp(headless, "1") == 0) app::ProgramEntry(argc, argv);

  // Without a desktop Qt would abort; say so and end instead.
  const auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
    std::fprintf(stderr,
                 "Velmora: no desktop display was found (DISPLAY and WAYLAND_DISPLAY are not "
                 "set); start it from a desktop session.\n");
    return 1;
  }
  QApplication application(argc, argv);
  // The program ends when its frame has closed and its threads are done,
  // not when Qt sees its last window go.
  QApplication::setQuitOnLastWindowClosed(false);
  ui::QtBackend backend;
  ui::SetBackend(&backend);
  int code = 0;
  std::thread program([&] {
    code = app::RunProgram(argc, argv);
    QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  QApplication::exec();
  program.join();
  ui::SetBackend(nullptr);
  return code;
}
