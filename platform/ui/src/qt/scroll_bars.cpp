// Scroll bars of a scrolling window's client area on the Qt backend.
#include "scroll_bars.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

namespace ui::qtscroll {
namespace {

QScrollBar* Bar(QWidget* client, Qt::Orientation orientation, long handle) {
  const char* name = orientation == Qt::Horizontal ? "velmora-hscroll" : "velmora-vscroll";
  auto* bar = client->findChild<QScrollBar*>(name, Qt::FindDirectChildrenOnly);
  if (bar) return bar;
  bar = new QScrollBar(orientation, client);
  bar->setObjectName(name);
  bar->hide();
  const Prop origin = orientation == Qt::Horizontal ? Prop::XOrigin : Prop::YOrigin;
  QObject::connect(bar, &QScrollBar::valueChanged, bar, [handle, origin](int value) {
    if (auto w = WindowFromHandle(handle)) w->Set(0, origin, static_cast<long>(value));
  });
  return bar;
}

// The client's bar of one direction when it shows.
QScrollBar* ShownBar(QWidget* client, Qt::Orientation orientation) {
  const char* name = orientation == Qt::Horizontal ? "velmora-hscroll" : "velmora-vscroll";
  auto* bar = client->findChild<QScrollBar*>(name, Qt::FindDirectChildrenOnly);
  return bar && bar->isVisible() ? bar : nullptr;
}

class WheelAndKeys : public QObject {
 public:
  WheelAndKeys(QObject* parent, QWidget* top, QWidget* client) : QObject(parent), top_(top), client_(client) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() == QEvent::Wheel && obj == client_) return Wheel(static_cast<QWheelEvent*>(e));
    if (e->type() == QEvent::KeyPress && obj == top_) return Key(static_cast<QKeyEvent*>(e));
    return false;
  }

 private:
  bool Wheel(QWheelEvent* e) {
    const QPoint delta = e->angleDelta();
    const bool across = (e->modifiers() & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0);
    QScrollBar* bar = ShownBar(client_, across ? Qt::Horizontal : Qt::Vertical);
    if (!bar) return false;
    // three steps a notch, as scrolled text moves three lines
    const int notches = across && delta.x() != 0 ? delta.x() : delta.y();
    bar->setValue(bar->value() - notches * 3 * bar->singleStep() / 120);
    e->accept();
    return true;
  }
  bool Key(QKeyEvent* e) {
    // a control of the client area keeps its keys (a field's text cursor)
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != client_ && client_->isAncestorOf(focus)) return false;
    if (e->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) return false;
    QScrollBar* down = ShownBar(client_, Qt::Vertical);
    QScrollBar* across = ShownBar(client_, Qt::Horizontal);
    QScrollBar* bar = nullptr;
    int to = 0;
    switch (e->key()) {
      case Qt::Key_Up: bar = down; to = down ? down->value() - down->singleStep() : 0; break;
      case Qt::Key_Down: bar = down; to = down ? down->value() + down->singleStep() : 0; break;
      case Qt::Key_PageUp: bar = down; to = down ? down->value() - down->pageStep() : 0; break;
      case Qt::Key_PageDown: bar = down; to = down ? down->value() + down->pageStep() : 0; break;
      case Qt::Key_Home: bar = down; to = 0; break;
      case Qt::Key_End: bar = down; to = down ? down->maximum() : 0; break;
      case Qt::Key_Left: bar = across; to = across ? across->value() - across->singleStep() : 0; break;
      case Qt::Key_Right: bar = across; to = across ? across->value() + across->singleStep() : 0; break;
      default: return false;
    }
    if (!bar) return false;
    bar->setValue(to);
    return true;
  }
  QWidget* top_;
  QWidget* client_;
};

}  // namespace

void WatchWheelAndKeys(QWidget* top, QWidget* client) {
  if (!top || !client) return;
  auto* watch = new WheelAndKeys(client, top, client);
  client->installEventFilter(watch);
  top->installEventFilter(watch);
}

void Update(QWidget* client, Window& w, long handle) {
  if (!client) return;
  const bool across = w.GetLong(0, Prop::HScroll) != 0, down = w.GetLong(0, Prop::VScroll) != 0;
  if (!across && !down && !client->findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly)) return;
  QScrollBar* h = Bar(client, Qt::Horizontal, handle);
  QScrollBar* v = Bar(client, Qt::Vertical, handle);
  const int thickH = h->sizeHint().height(), thickV = v->sizeHint().width();
  // The bars lie over the client area's edges; the model lets the origin
  // go far enough to bring the page's far edges out from under them.
  w.SetScrollBarSize(thickV, thickH);
  const Window::ScrollRange range = w.ScrollLimits();
  const bool showH = across && range.maxX > 0, showV = down && range.maxY > 0;
  const int width = client->width(), height = client->height();
  auto set = [](QScrollBar* bar, bool show, long max, long value, int page) {
    QSignalBlocker block(bar);
    bar->setRange(0, static_cast<int>(max));
    bar->setPageStep(std::max(page, 1));
    bar->setSingleStep(16);
    bar->setValue(static_cast<int>(value));
    bar->setVisible(show);
    if (show) bar->raise();
  };
  h->setGeometry(0, height - thickH, width - (showV ? thickV : 0), thickH);
  v->setGeometry(width - thickV, 0, thickV, height - (showH ? thickH : 0));
  set(h, showH, range.maxX, w.GetLong(0, Prop::XOrigin), width - (showV ? thickV : 0));
  set(v, showV, range.maxY, w.GetLong(0, Prop::YOrigin), height - (showH ? thickH : 0));
}

}  // namespace ui::qtscroll
