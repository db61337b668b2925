#pragma once
// The runtime's popup menu text: items separated by "|"; a leading "~"
// greys an item; "-" alone is a rule; "&" marks the mnemonic ("&&" is a
// literal "&"). Items are numbered from 1 without the rules.
#include <string>
#include <string_view>
#include <vector>

namespace ui {

struct PopupItem {
  std::string text;  // shown text, without "~" and "&"
  char mnemonic = 0; // the character after "&", 0 when none
  bool greyed = false;
  bool rule = false;
  int number = 0;    // 0 for a rule
};

std::vector<PopupItem> ParsePopup(std::string_view text);

}  // namespace ui
