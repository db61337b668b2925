#pragma once
// Window descriptions, written in code from the windows' tables. A window
// is built from one of these: its menus, toolbar and controls get their
// numbers in declaration order (depth first), unless a number is given.
#include <string>
#include <utility>
#include <vector>

#include "velmora/ui/types.h"

namespace ui {

struct ControlDesc {
  ControlType type = ControlType::None;
  std::string use;       // use name, "?NAME"; may be empty
  int number = 0;        // 0: the next number in declaration order
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  std::string text;      // text, caption, or an image's file name
  std::string tip;
  std::string icon;
  std::string picture;   // display picture ("@s80", "@n-14", ...)
  std::string format;    // list format string
  std::string from;      // choices joined by "|"
  Font font;             // empty fields take the window's font
  long color = -1;
  bool hidden = false;
  bool disabled = false;
  bool readOnly = false;
  bool flat = false;
  bool separator = false;  // a menu rule: takes no number
  StdAction std = StdAction::None;
  std::vector<int> alerts;  // alerted key codes
  // Further properties, set in this order once the control exists.
  std::vector<std::pair<Prop, std::string>> props;
  std::vector<ControlDesc> children;  // menu items, tabs, group members
};

// The same control, hidden: part of the window (its number stays taken)
// but never shown.
inline ControlDesc Hidden(ControlDesc d) {
  d.hidden = true;
  return d;
}

enum class WindowKind {
  Window,    // a window of its own
  MdiChild,  // a window inside the application frame
  Frame,     // the application frame
};

struct WindowDesc {
  std::string caption;
  WindowKind kind = WindowKind::Window;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  Font font{"MS Sans Serif", 8, 0, -1};
  std::string background;         // window picture
  std::string toolbarBackground;  // toolbar picture
  std::string icon;
  std::vector<ControlDesc> menus;    // top-level menus with their items
  std::vector<ControlDesc> toolbar;  // toolbar controls
  std::vector<ControlDesc> controls;
};

}  // namespace ui
