#pragma once
// Controls of the editor's dialogs, written from their tables.
#include <string>
#include <utility>

#include "velmora/ui/desc.h"

namespace editor {

// A control at x, y with its size, in dialog units.
inline ui::ControlDesc Ctl(ui::ControlType type, std::string use, int x, int y, int width, int height,
                           std::string text = {}) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.x = x;
  d.y = y;
  d.width = width;
  d.height = height;
  d.text = std::move(text);
  return d;
}

// The same with a number of its own.
inline ui::ControlDesc Ctl(ui::ControlType type, std::string use, int number, int x, int y, int width, int height,
                           std::string text) {
  ui::ControlDesc d = Ctl(type, std::move(use), x, y, width, height, std::move(text));
  d.number = number;
  return d;
}

}  // namespace editor
