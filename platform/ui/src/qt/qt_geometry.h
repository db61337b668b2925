#pragma once
// Window geometry on the Qt backend: a window's place and size in the
// model are the place of its outer widget (the top-level window on the
// screen, or the sub-window inside the frame's MDI area) and the size of
// its client area; moves, resizes and maximizing by the user go back into
// the model. Also the arrangement of the frame's minimized children.
#include <QSize>
#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace ui {

class Window;

namespace qtgeometry {

// Places `outer` where the model says and sizes it so that `client` gets
// the model's size (maximized instead when the model says so). A place
// the model gives that lies (partly) off the visible screen, or off the
// frame's area for its child, is moved in as far as the window's size
// allows; the model learns the place it got.
void Apply(Window& w, QWidget* outer, QWidget* client);

// `outer` moved into the visible screen (a child: into the frame's area)
// as far as its size allows; the model learns the new place.
void KeepInside(Window& w, QWidget* outer);

// An MDI child larger than the frame's area is made smaller (no smaller
// than its least size) and moved into it; true when it changed.
bool FitFrameArea(QWidget* outer);

// From now on moves and maximizing of `outer` reach the window `handle`,
// except while `syncing` says so (the backend's own changes, or the window
// is going).
void Watch(QWidget* outer, long handle, std::function<bool()> syncing);

// The size of a window whose client area has the model's size: an MDI
// child's preferred size, which Qt's cascade gives it.
QSize Preferred(const Window& w, const QWidget* top, const QWidget* client);

// Cascades the children of `area` as Qt does, each keeping its size as
// far as the area's room from its new corner allows (no smaller than its
// least size): every child ends inside the area.
void Cascade(QMdiArea* area);

// Lines the minimized children of `area` up along its bottom edge, left to
// right and upwards; the other children stay where they are.
void ArrangeIcons(QMdiArea* area);

// Makes `sub` (an MDI child; nullptr does nothing) the active child of its
// area, in front of the others.
void Activate(QMdiSubWindow* sub);

}  // namespace qtgeometry
}  // namespace ui
