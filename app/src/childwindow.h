#pragma once
// What the frame's own windows share: opening inside the frame with the
// procedure's name on the error manager's stack and its saved position,
// and controls written from their tables.
#include <string>

#include "velmora/classlib/window.h"
#include "velmora/ui/desc.h"

namespace app {

// Opens the loaded window. A frame that closed before the window opened
// cannot close it, so the window then closes at once: false.
bool OpenInFrame(cl::ProcedureWindow& window);

// A window procedure inside the frame.
class FrameChild : public cl::ProcedureWindow {
 public:
  using ProcedureWindow::ProcedureWindow;
  // Tear-down: the base's, the position saved, the procedure name taken
  // off the error manager's stack.
  int Teardown() override;

 protected:
  // Set-up up to an open window: the procedure name on the error
  // manager's stack, the base set-up, the window loaded and opened. False
  // when the frame has closed meanwhile (the window is closed again).
  bool OpenChild(const ui::WindowDesc& desc);
};

// A control at x, y with its size, in dialog units.
ui::ControlDesc Control(ui::ControlType type, std::string use, int number, int x, int y, int width, int height,
                        std::string text = {});

}  // namespace app
