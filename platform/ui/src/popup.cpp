#include "velmora/ui/popup.h"

namespace ui {

std::vector<PopupItem> ParsePopup(std::string_view text) {
  std::vector<PopupItem> items;
  if (text.empty()) return items;
  int number = 0;
  size_t start = 0;
  while (true) {
    size_t bar = text.find('|', start);
    std::string_view part = text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
    PopupItem item;
    if (part == "-") {
      item.rule = true;
    } else {
      if (!part.empty() && part.front() == '~') {
        item.greyed = true;
        part.remove_prefix(1);
      }
      for (size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '&' && i + 1 < part.size()) {
          if (part[i + 1] == '&') {
            item.text += '&';
          } else if (item.mnemonic == 0) {
            item.mnemonic = part[i + 1];
            item.text += part[i + 1];
          } else {
            item.text += part[i + 1];
          }
          ++i;
        } else if (part[i] != '&') {
          item.text += part[i];
        }
      }
      item.number = ++number;
    }
    items.push_back(std::move(item));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return items;
}

}  // namespace ui
