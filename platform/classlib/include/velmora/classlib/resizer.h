#pragma once
// WindowResizer: keeps a window's controls in proportion when the window
// is sized. The window's size and every control's place at Setup are the
// base; each sized event places the controls again from it.
#include <map>

#include "velmora/classlib/window.h"

namespace cl {

class WindowResizer : public WindowComponent {
 public:
  // Records the base and registers the resizer with the window (open or
  // loaded).
  void Setup(ProcedureWindow& window);
  // Places the controls for the window's present size.
  void Resize(ui::Window& window) const;
  int TakeEvent(ProcedureWindow& window) override;

 private:
  ui::Window::Rect base_;
  std::map<int, ui::Window::Rect> places_;
};

}  // namespace cl
