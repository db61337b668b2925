// The window layer's start-up on the desktop.
#include "velmora/ui/desktop.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "velmora/ui/backend.h"
#include "velmora/ui/qt_backend.h"

namespace ui {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

QtMessageHandler gPrevious = nullptr;
// Qt's own words while the application is made, shown once it stands.
std::vector<std::pair<QtMsgType, QString>> gHeld;

// While the application is made, Qt ends the process with abort() when no
// display answers; the user gets a plain sentence and exit code 1 instead.
void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    gHeld.emplace_back(type, text);
    return;
  }
  std::string display = Env("WAYLAND_DISPLAY");
  if (display.empty()) display = Env("DISPLAY");
  std::fprintf(stderr,
               "Velmora: the desktop display %s could not be reached; start it from a desktop "
               "session.\n",
               display.empty() ? "(none)" : display.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int RunOnDesktop(int argc, char** argv, const std::function<int()>& program) {
  if (Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty() && Env("QT_QPA_PLATFORM").empty()) {
    std::fprintf(stderr,
                 "Velmora: no desktop display was found (DISPLAY and WAYLAND_DISPLAY are not "
                 "set); start it from a desktop session.\n");
    return 1;
  }
  gPrevious = qInstallMessageHandler(&StartupMessages);
  QApplication application(argc, argv);
  qInstallMessageHandler(gPrevious);
  for (const auto& [type, text] : gHeld)
    if (gPrevious) gPrevious(type, QMessageLogContext(), text);
    else std::fprintf(stderr, "%s\n", qPrintable(text));
  gHeld.clear();
  // The program ends when its frame has closed and its threads are done,
  // not when Qt sees its last window go.
  QApplication::setQuitOnLastWindowClosed(false);
  QtBackend backend;
  SetBackend(&backend);
  int code = 0;
  std::thread worker([&] {
    code = program();
    QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  QApplication::exec();
  worker.join();
  SetBackend(nullptr);
  return code;
}

}  // namespace ui
