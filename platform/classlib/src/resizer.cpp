#include "velmora/classlib/resizer.h"

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

void WindowResizer::Resize(ui::Window& w) const {
  if (base_.width <= 0 || base_.height <= 0) return;
  const ui::Window::Rect now = w.Position(0);
  const double fx = static_cast<double>(now.width) / static_cast<double>(base_.width);
  const double fy = static_cast<double>(now.height) / static_cast<double>(base_.height);
  for (const auto& [control, r] : places_) {
    if (!w.Exists(control)) continue;
    w.SetPosition(control, static_cast<long>(r.x * fx), static_cast<long>(r.y * fy),
                  static_cast<long>(r.width * fx), static_cast<long>(r.height * fy));
  }
}

int WindowResizer::TakeEvent(ProcedureWindow& window) {
  if (window.Win().EventNo() == ui::ev::Sized) Resize(window.Win());
  return kBenign;
}

}  // namespace cl
