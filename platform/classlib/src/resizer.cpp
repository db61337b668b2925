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
    if (!bars.count(control)) places_[control] = w.Position(control);
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

void WindowResizer::Resize(ui::Window& w) const {
  if (base_.width <= 0 || base_.height <= 0) return;
  const ui::Window::Rect now = w.Position(0);
  if (now.width <= 0 || now.height <= 0) return;
  for (const auto& [control, r] : places_) {
    if (!w.Exists(control)) continue;
    const ui::Window::Rect p = Place(r, base_, now);
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
