#pragma once
// The desktop's installed font faces, as the font list of a window shows
// them (in place of enumerating the fonts of a device context).
#include <string>
#include <vector>

namespace ui {

// One entry per distinct face (family) name the desktop's font
// configuration knows, in the runtime's text, sorted case-insensitively.
// Empty when the font configuration cannot be read.
std::vector<std::string> ScreenFontFaces();

}  // namespace ui
