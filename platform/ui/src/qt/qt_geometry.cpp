// Window places and sizes between the window model and Qt.
#include "qt_geometry.h"

#include <QEvent>
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
  if (r.x != 0 || r.y != 0) outer->move(static_cast<int>(r.x), static_cast<int>(r.y));
  if (r.width <= 0 || r.height <= 0) return;
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
