// Opening a window procedure's window inside the frame.
#include "childwindow.h"

#include "velmora/ui/window.h"

namespace app {

bool OpenInFrame(cl::ProcedureWindow& window) {
  window.Open();
  if (ui::Frame()) return true;
  window.Win().Close();
  return false;
}

}  // namespace app
