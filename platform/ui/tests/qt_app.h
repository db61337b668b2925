// Starts the one QApplication a test program's Qt tests share.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace uitest {

// Made once per process; offscreen unless the environment names a platform
// (so a test program run by hand needs no display).
inline void StartQtApplication(const char* programName) {
  if (qApp) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(programName), nullptr};
  new QApplication(argc, argv);
}

}  // namespace uitest
