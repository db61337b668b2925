#include "velmora/classlib/contextmenu.h"

#include "velmora/ui/dialogs.h"

namespace cl {

void ContextMenu::Setup(std::string_view text) {
  text_ = std::string(text);
  events_.clear();
}

void ContextMenu::SetItemEvent(int item, int event, int control) { events_[item] = {event, control}; }

int ContextMenu::Ask(ui::Window& window, int x, int y) const {
  const int chosen = ui::Popup(text_, x, y);
  auto it = events_.find(chosen);
  if (chosen != 0 && it != events_.end()) window.Post(it->second.first, it->second.second);
  return chosen;
}

}  // namespace cl
