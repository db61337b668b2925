#pragma once
// A window's background picture, stretched over its whole client area.
#include <QWidget>
#include <string>

namespace ui::qtpicture {

// Shows the picture file `path` behind the client's controls, drawn anew at
// the client's size whenever that changes; "" or an unreadable file leaves
// the client as it is.
void SetWindowPicture(QWidget* client, const std::string& path);

}  // namespace ui::qtpicture
