#include "velmora/classlib/resizer.h"

#include <cmath>
#include <set>

#include "velmora/ui/events.h"

namespace cl {

void WindowResizer::Setup(ProcedureWindow& window) {
  ui::Window& w = window.Win();
  base_ = w.Position(0);
  places_.clear();
  // Menus and toolbar stay where the window puts them.
  std::set<int> bars;
  for (int list : {ui::Window::kMenuBar, ui::Window::kToolbar}) {
    std::vector<ui::ChildEntry> pending = w.Children(list);
    while (!pending.empty()) {
      ui::ChildEntry e = pending.back();
      pending.pop_back();
      if (e.number == 0 || !bars.insert(e.number).second) continue;
      for (const ui::ChildEntry& c : w.Children(e.number)) pending.push_back(c);
    }
  }
  for (int control : w.Controls())
    if (!bars.count(control))
      places_[control] = {w.Position(control), KeepOf(static_cast<ui::ControlType>(w.GetLong(control, ui::Prop::Type)))};
  window.AddComponent(this);
}

ui::Window::Rect WindowResizer::Place(const ui::Window::Rect& r, const ui::Window::Rect& base,
                                     const ui::Window::Rect& now) {
  if (base.width <= 0 || base.height <= 0) return r;
  const double fx = static_cast<double>(now.width) / static_cast<double>(base.width);
  const double fy = static_cast<double>(now.height) / static_cast<double>(base.height);
  // the edges are scaled and rounded, so neighbouring controls stay apart
  // as they were and no control drifts by the sum of its roundings
  const long left = std::lround(static_cast<double>(r.x) * fx);
  const long top = std::lround(static_cast<double>(r.y) * fy);
  const long right = std::lround(static_cast<double>(r.x + r.width) * fx);
  const long bottom = std::lround(static_cast<double>(r.y + r.height) * fy);
  return {left, top, right - left, bottom - top};
}

WindowResizer::Keep WindowResizer::KeepOf(ui::ControlType type) {
  using T = ui::ControlType;
  switch (type) {
    case T::Button: case T::Check: case T::Radio: case T::Option: case T::Prompt: return Keep::Size;
    case T::Entry: case T::String: case T::Spin: case T::Combo: case T::DropList: case T::DropCombo:
    case T::Progress: return Keep::Height;
    default: return Keep::Nothing;
  }
}

ui::Window::Rect WindowResizer::Place(const ui::Window::Rect& r, const ui::Window::Rect& base,
                                     const ui::Window::Rect& now, Keep keep) {
  ui::Window::Rect p = Place(r, base, now);
  if (keep == Keep::Nothing || base.width <= 0 || base.height <= 0) return p;
  // the own size, centred on the scaled place's centre
  auto centred = [](long at, long scaled, long own) { return at + (scaled - own) / 2; };
  // in a window made smaller than its base every control shrinks with it
  if (now.width < base.width || now.height < base.height) return p;
  if (keep == Keep::Size) {
    p.x = centred(p.x, p.width, r.width);
    p.width = r.width;
  }
  p.y = centred(p.y, p.height, r.height);
  p.height = r.height;
  return p;
}

void WindowResizer::Resize(ui::Window& w) const {
  if (base_.width <= 0 || base_.height <= 0) return;
  const ui::Window::Rect now = w.Position(0);
  if (now.width <= 0 || now.height <= 0) return;
  for (const auto& [control, b] : places_) {
    if (!w.Exists(control)) continue;
    const ui::Window::Rect p = Place(b.place, base_, now, b.keep);
    w.SetPosition(control, p.x, p.y, p.width, p.height);
  }
  if (AfterResize) AfterResize();
}

int WindowResizer::TakeEvent(ProcedureWindow& window) {
  ui::Window& w = window.Win();
  const int event = w.EventNo();
  const ui::Window::Rect now = w.Position(0);
  // a window opened at another size than its base (a restored position)
  const bool restored = event == ui::ev::OpenWindow && (now.width != base_.width || now.height != base_.height);
  if (event == ui::ev::Sized || restored) Resize(w);
  return kBenign;
}

}  // namespace cl
