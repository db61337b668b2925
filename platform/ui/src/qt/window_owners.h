#pragma once
// Owned windows on the Qt backend. A window of its own stays above the
// window it was opened from (its widget is a child window of the owner's,
// which the desktop's window manager learns as the owner). While a window
// waits under another one its thread opened later, the user's clicks and
// keys on it are refused and bring the later one forward, as a modal
// window's owner behaves. The frame's Window menu lists the open windows.
#include <QMenu>
#include <QWidget>
#include <functional>
#include <memory>

namespace ui {

class Window;

namespace qtowners {

// Every outer widget of a window carries its handle under this name.
inline constexpr const char* kHandleProperty = "velmoraHandle";

// The handle of the window a widget belongs to (0: none).
long HandleOf(const QWidget* widget);

// Installs, once, the application's filter that refuses input to windows
// that take none; `bringForward` gets the refused window's handle on a
// mouse press.
void RefuseInputOfWaitingWindows(QObject* parent, std::function<void(long handle)> bringForward);

// Whether a menu of the window holds the standard arrangement items
// (Tile, Cascade): that menu lists the open windows.
bool IsWindowMenu(const Window& window, int menu);

// Fills the listed part of a Window menu from the open windows: a rule,
// then "&1 caption", "&2 caption", ... in opening order, the active one
// checked; choosing one calls `activate` with its handle.
void ListWindows(QMenu* menu, const std::function<void(long handle)>& activate);

}  // namespace qtowners
}  // namespace ui
