// The window layer's start-up on the desktop.
#include "velmora/ui/desktop.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "velmora/ui/backend.h"
#include "velmora/ui/qt_backend.h"
#include "velmora/ui/window.h"

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

bool EndDesktopSession() {
  std::shared_ptr<Window> frame = Frame();
  if (!frame) return true;
  const long refused = frame->CloseRefusals();
  frame->InputClose();
  auto decided = [&] { return !frame->IsOpen() || frame->CloseRefusals() != refused; };
  // the windows' questions show while the program decides
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (decided()) loop.quit();
  });
  poll.start(20);
  if (!decided()) loop.exec();
  return !frame->IsOpen();
}

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
  // The session manager asks before the desktop session ends: the program
  // closes as its Exit would, and work the user keeps cancels the end.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, [](QSessionManager& manager) {
    if (!manager.allowsInteraction()) return;
    const bool ended = EndDesktopSession();
    manager.release();
    if (!ended) manager.cancel();
  });
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
