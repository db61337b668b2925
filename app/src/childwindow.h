#pragma once
// Opening a window procedure's window inside the frame.
#include "velmora/classlib/window.h"

namespace app {

// Opens the loaded window. A frame that closed before the window opened
// cannot close it, so the window then closes at once: false.
bool OpenInFrame(cl::ProcedureWindow& window);

}  // namespace app
