#pragma once
// Start-up of the window layer on the desktop: the process's main thread
// becomes the GUI thread of the Qt backend and the program runs on a
// thread of its own until it returns.
#include <functional>

namespace ui {

// Shows the program on the desktop: makes the application on the calling
// (main) thread, installs the Qt backend, runs `program` on another
// thread and the desktop's events here until it returns, and gives back
// its exit code. Without a desktop display, or with one that cannot be
// reached, it says so on standard error and returns 1 without running
// `program`.
int RunOnDesktop(int argc, char** argv, const std::function<int()>& program);

// The desktop session is ending (GUI thread, without the runtime lock):
// the program's frame is asked to close as its Exit would, and the
// desktop's events run until it has closed (true) or the program chose to
// stay open, a window holding unsaved work having been kept by the user
// (false: the session's end is to be cancelled). True without a frame.
bool EndDesktopSession();

}  // namespace ui
