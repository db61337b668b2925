#pragma once
// ContextMenu: a popup menu from the runtime's popup text whose items can
// post an event to a control of the window when chosen.
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "velmora/ui/window.h"

namespace cl {

class ContextMenu {
 public:
  // The popup text ("|" between items, "~" greyed, "-" a rule, "&" the
  // mnemonic); forgets the items' events.
  void Setup(std::string_view text);
  // Choosing item `item` (1-based, rules not counted) posts `event` to
  // `control` of the window the menu is asked on.
  void SetItemEvent(int item, int event, int control);
  // Shows the menu at (x, y) (0, 0: the mouse); the chosen item, 0 when
  // cancelled. A chosen item with an event posts it.
  int Ask(ui::Window& window, int x = 0, int y = 0) const;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::map<int, std::pair<int, int>> events_;
};

}  // namespace cl
