#pragma once
// The engine's wait windows: a line of text over a progress bar (control
// 2) that follows a counter, opened only when silent upgrading is off.
#include <memory>
#include <string>

#include "velmora/runtime/types.h"

#include "velmora/ui/desc.h"

namespace ui {
class Window;
}

namespace upg {

// One line of a wait window: a control `width` wide at the left margin.
ui::ControlDesc WaitControl(ui::ControlType type, std::string use, int number, int y, int width,
                            std::string text = {});

// A wait window of three lines, not yet open: ?WAITMESS over a bar
// (`progressUse`) over ?NAMEOUTFILE, bound to the three variables.
enum : int { kWaitMessage = 1, kWaitProgress = 2, kWaitFileName = 3 };
std::shared_ptr<ui::Window> MessageBarWindow(const std::string& caption, const std::string& progressUse,
                                             std::string& message, rt::Long& percent,
                                             std::string& fileName);
// Opens such a window with its bar from 0 to 100; nothing under silent
// upgrading or when it is open.
void OpenMessageBarWindow(ui::Window& window);

class WaitWindow {
 public:
  // Loads the window (not yet open): `text` in its caption and in ?STRING1.
  explicit WaitWindow(const std::string& text);
  ~WaitWindow();  // closes it
  WaitWindow(const WaitWindow&) = delete;
  WaitWindow& operator=(const WaitWindow&) = delete;

  // Opens it with the bar's upper range; nothing under silent upgrading.
  void Open(rt::Long total);
  // The counter the bar is bound to.
  rt::Long& Counter() { return counter_; }
  // The bar shows the counter again; nothing under silent upgrading.
  void Redisplay();
  void Close();

 private:
  std::shared_ptr<ui::Window> window_;
  rt::Long counter_ = 0;
};

}  // namespace upg
