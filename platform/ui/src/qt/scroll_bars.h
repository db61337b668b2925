#pragma once
// Scroll bars of a scrolling window's client area on the Qt backend.
#include <QWidget>

#include "velmora/ui/window.h"

namespace ui::qtscroll {

// Shows, sizes and sets the client area's scroll bars from the model: a bar
// shows when the window scrolls that way and its controls reach past the
// client area. Moving a bar sets the window's origin in the model.
void Update(QWidget* client, Window& w, long handle);

// The mouse wheel over the client area (Shift: across) and, while no
// control of the client area has the focus, the arrow keys, Page Up/Down
// and Home/End move the bars, and so the window's origin.
void WatchWheelAndKeys(QWidget* top, QWidget* client);

}  // namespace ui::qtscroll
