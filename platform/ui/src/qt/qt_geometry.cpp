// Window places and sizes between the window model and Qt.
#include "qt_geometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "velmora/ui/window.h"

namespace ui::qtgeometry {
namespace {

class GeometryFilter : public QObject {
 public:
  GeometryFilter(QWidget* outer, long handle, std::function<bool()> syncing)
      : QObject(outer), outer_(outer), handle_(handle), syncing_(std::move(syncing)) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj != outer_ || (e->type() != QEvent::Move && e->type() != QEvent::WindowStateChange) ||
        syncing_())
      return false;
    auto w = WindowFromHandle(handle_);
    if (!w) return false;
    const bool maximized = outer_->isMaximized();
    if (e->type() == QEvent::WindowStateChange) w->InputMaximize(maximized);
    // a maximized or minimized window keeps the place it will return to
    else if (!maximized && !outer_->isMinimized()) w->InputMove(outer_->x(), outer_->y());
    return false;
  }

 private:
  QWidget* outer_;
  long handle_;
  std::function<bool()> syncing_;
};

// The room a window's outer widget has: the frame's area for its child,
// else the available part of the screen it is on (or the primary one).
QRect Room(const QWidget* outer) {
  if (auto* sub = qobject_cast<const QMdiSubWindow*>(outer))
    return sub->mdiArea() ? sub->mdiArea()->viewport()->rect() : QRect();
  const QRect at = outer->frameGeometry();
  QScreen* screen = QGuiApplication::screenAt(at.center());
  if (!screen) screen = QGuiApplication::screenAt(at.topLeft());
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

// `outer` moved as little as needed to lie inside `room` (to its top left
// corner when it is larger).
void MoveInside(QWidget* outer, const QRect& room) {
  if (room.isEmpty()) return;
  // a top-level window's place is that of its frame, which the window
  // manager adds around it
  const QRect frame = outer->isWindow() ? outer->frameGeometry() : outer->geometry();
  const QPoint extra = outer->pos() - frame.topLeft();
  const int x = std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width()));
  const int y = std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height()));
  if (x != frame.left() || y != frame.top()) outer->move(QPoint(x, y) + extra);
}

}  // namespace

void Apply(Window& w, QWidget* outer, QWidget* client) {
  // a minimized child stays where its icon was put
  if (!outer || !client || outer->isMinimized()) return;
  const Window::Rect r = w.PixelPosition(0);
  const bool maximized = w.GetLong(0, Prop::Maximize) != 0;
  if (maximized) {
    if (!outer->isMaximized()) outer->showMaximized();
    return;
  }
  if (outer->isMaximized() && outer->isVisible()) outer->showNormal();
  // only a place the model gives is kept inside the room: where the user
  // moves a window stays theirs
  const bool placed = (r.x != 0 || r.y != 0) && QPoint(static_cast<int>(r.x), static_cast<int>(r.y)) != outer->pos();
  if (placed) outer->move(static_cast<int>(r.x), static_cast<int>(r.y));
  // (a window not shown yet has no settled size: it is kept inside once shown)
  const auto keepInside = [&] {
    if (placed && outer->isVisible()) KeepInside(w, outer);
  };
  if (r.width <= 0 || r.height <= 0) return keepInside();
  // The frame around the client area (menus, toolbar, status bar, title)
  // is known once the layout has run; a second pass corrects the first.
  const QSize want(static_cast<int>(r.width), static_cast<int>(r.height));
  std::vector<QLayout*> layouts;  // from the outer widget inwards
  for (QWidget* p = client; p; p = p->parentWidget()) {
    if (p->layout()) layouts.insert(layouts.begin(), p->layout());
    if (p == outer) break;
  }
  for (int pass = 0; pass < 3; ++pass) {
    for (QLayout* l : layouts) {
      l->invalidate();
      l->activate();
    }
    const QSize short_ = want - client->size();
    if (short_.isNull()) break;
    outer->resize(outer->size() + short_);
  }
  if (FitFrameArea(outer)) {
    for (QLayout* l : layouts) {
      l->invalidate();
      l->activate();
    }
    // the window learns the client area it has
    if (client->size() != want) w.InputSize(client->width(), client->height());
  }
  keepInside();
}

void KeepInside(Window& w, QWidget* outer) {
  if (!outer || outer->isMaximized() || outer->isMinimized()) return;
  const QPoint before = outer->pos();
  MoveInside(outer, Room(outer));
  if (outer->pos() != before) w.InputMove(outer->x(), outer->y());
}

bool FitFrameArea(QWidget* outer) {
  auto* sub = qobject_cast<QMdiSubWindow*>(outer);
  QMdiArea* area = sub ? sub->mdiArea() : nullptr;
  if (!area || sub->isMaximized() || sub->isMinimized()) return false;
  const QSize room = area->viewport()->size();
  // a child that fits the area stays where it was put (also by the user)
  if (room.isEmpty() || (sub->width() <= room.width() && sub->height() <= room.height())) return false;
  // smaller down to the least it can show, then moved in as far as needed;
  // what still lies outside is reached with the area's scroll bars
  const QSize size = sub->size().boundedTo(room).expandedTo(sub->minimumSizeHint());
  const QPoint at(std::clamp(sub->x(), 0, std::max(0, room.width() - size.width())),
                  std::clamp(sub->y(), 0, std::max(0, room.height() - size.height())));
  if (size == sub->size() && at == sub->pos()) return false;
  sub->setGeometry(QRect(at, size));
  return true;
}

void Watch(QWidget* outer, long handle, std::function<bool()> syncing) {
  if (outer) outer->installEventFilter(new GeometryFilter(outer, handle, std::move(syncing)));
}

QSize Preferred(const Window& w, const QWidget* top, const QWidget* client) {
  const Window::Rect r = w.PixelPosition(0);
  if (r.width <= 0 || r.height <= 0 || !top || !client) return {};
  return QSize(static_cast<int>(r.width), static_cast<int>(r.height)) + (top->size() - client->size());
}

void Cascade(QMdiArea* area) {
  if (!area) return;
  area->cascadeSubWindows();
  const QRect room = area->viewport()->rect();
  if (room.isEmpty()) return;
  for (QMdiSubWindow* sub : area->subWindowList()) {
    if (!sub->isVisible() || sub->isMinimized() || sub->isMaximized()) continue;
    const QRect at = sub->geometry();
    if (room.contains(at)) continue;
    const QSize size = at.size()
                           .boundedTo(QSize(room.right() + 1 - at.x(), room.bottom() + 1 - at.y()))
                           .expandedTo(sub->minimumSizeHint())
                           .boundedTo(room.size());
    sub->setGeometry(QRect(at.topLeft(), size));
    MoveInside(sub, room);
  }
}

void ArrangeIcons(QMdiArea* area) {
  if (!area) return;
  const QRect room = area->viewport()->rect();
  int x = room.left(), bottom = room.bottom() + 1, rowHeight = 0;
  for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::CreationOrder)) {
    if (!sub->isVisible() || !sub->isMinimized()) continue;
    const QSize size = sub->size();
    if (x > room.left() && x + size.width() > room.right() + 1) {
      x = room.left();
      bottom -= rowHeight;
      rowHeight = 0;
    }
    sub->move(x, bottom - size.height());
    x += size.width();
    rowHeight = std::max(rowHeight, size.height());
  }
}

void Activate(QMdiSubWindow* sub) {
  if (!sub || !sub->mdiArea() || !sub->isVisible()) return;
  sub->mdiArea()->setActiveSubWindow(sub);
}

}  // namespace ui::qtgeometry
