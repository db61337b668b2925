// Scroll bars of a scrolling window's client area on the Qt backend.
#include "scroll_bars.h"

#include <QScrollBar>
#include <algorithm>
#include <QSignalBlocker>

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

}  // namespace

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
