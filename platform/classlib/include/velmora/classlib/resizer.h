#pragma once
// WindowResizer: keeps a window's controls in proportion when the window
// is sized. Lists, pictures, texts and groups take the room; buttons,
// check boxes, radio buttons and prompts keep their size and move with
// their centre, and one-line controls (entries, drop lists, spins) keep
// their height. The window's size and every control's place at Setup are the
// base; each sized event, and the window-opened event (a restored size),
// places the controls again from it.
#include <functional>
#include <map>

#include "velmora/classlib/window.h"

namespace cl {

class WindowResizer : public WindowComponent {
 public:
  // Records the base and registers the resizer with the window (open or
  // loaded).
  void Setup(ProcedureWindow& window);
  // Places the controls for the window's present size, then runs
  // AfterResize.
  void Resize(ui::Window& window) const;
  int TakeEvent(ProcedureWindow& window) override;

  // A control's place for a window of `now`, from its base place in a
  // window of `base`: every edge keeps its relation to the window's size.
  static ui::Window::Rect Place(const ui::Window::Rect& control, const ui::Window::Rect& base,
                                const ui::Window::Rect& now);
  // What a control of a type keeps of its own size when the window is sized.
  enum class Keep { Nothing, Height, Size };
  static Keep KeepOf(ui::ControlType type);
  // The place as above, with the kept width or height centred where the
  // scaled one would be.
  static ui::Window::Rect Place(const ui::Window::Rect& control, const ui::Window::Rect& base,
                                const ui::Window::Rect& now, Keep keep);

  // What the window does once its controls are placed again (a picture
  // fitted to its panel, for instance).
  std::function<void()> AfterResize;

 private:
  ui::Window::Rect base_;
  struct Base {
    ui::Window::Rect place;
    Keep keep = Keep::Nothing;
  };
  std::map<int, Base> places_;
};

}  // namespace cl
