// How far a scrolling window can move its origin: the extent of the shown controls that scroll with it.
#include <algorithm>
#include <cmath>

#include "model.h"
#include "velmora/ui/window.h"

namespace ui {

Window::ScrollRange ScrollLimitsOf(const WindowState& w) {
  double right = 0, bottom = 0;
  for (const auto& [n, c] : w.controls) {
    if (c.inToolbar || ToLong(w.PropOf(c.props, Prop::Scroll)) == 0 || !Shown(w, &c)) continue;
    right = std::max({right, c.x, c.x + c.w});
    bottom = std::max({bottom, c.y, c.y + c.h});
  }
  // Whole pixels, as the client area's size is read. A shown bar covers
  // the other direction's far edge, so that direction reaches further.
  const long extentX = std::lround(right), extentY = std::lround(bottom);
  const long width = std::lround(w.w), height = std::lround(w.h);
  const bool across = ToLong(w.PropOf(w.props, Prop::HScroll)) != 0;
  const bool down = ToLong(w.PropOf(w.props, Prop::VScroll)) != 0;
  bool barX = across && extentX > width, barY = down && extentY > height;
  for (int pass = 0; pass < 2; ++pass) {
    barX = across && extentX > width - (barY ? w.scrollBarW : 0);
    barY = down && extentY > height - (barX ? w.scrollBarH : 0);
  }
  Window::ScrollRange r;
  if (barX) r.maxX = extentX - (width - (barY ? w.scrollBarW : 0));
  if (barY) r.maxY = extentY - (height - (barX ? w.scrollBarH : 0));
  return r;
}

long ClampOrigin(const WindowState& w, Prop origin, long value) {
  const bool across = origin == Prop::XOrigin;
  // A window without scroll bars keeps the origin it is given.
  if (!ToLong(w.PropOf(w.props, across ? Prop::HScroll : Prop::VScroll))) return value;
  const Window::ScrollRange r = ScrollLimitsOf(w);
  return std::clamp(value, 0L, across ? r.maxX : r.maxY);
}

void Window::SetScrollBarSize(long vertical, long horizontal) {
  Lock l(ModelLock());
  state_->scrollBarW = vertical;
  state_->scrollBarH = horizontal;
}

Window::ScrollRange Window::ScrollLimits() const {
  Lock l(ModelLock());
  return ScrollLimitsOf(*state_);
}

}  // namespace ui
