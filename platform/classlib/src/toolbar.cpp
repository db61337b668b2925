#include "velmora/classlib/toolbar.h"

#include <algorithm>

#include "velmora/ui/events.h"

namespace cl {

void ToolbarClient::OnToolbarButton(ui::Window& window, int button) { DefaultMapping(window, button); }

bool ToolbarClient::DefaultMapping(ui::Window& window, int button) const {
  int control = 0;
  switch (button) {
    case toolbar::Insert: control = INSERTBUTTON; break;
    case toolbar::Change: control = CHANGEBUTTON; break;
    case toolbar::Delete: control = DELETEBUTTON; break;
    case toolbar::Select: control = SELECTBUTTON; break;
    case toolbar::Locate: control = LOCATEBUTTON; break;
    case toolbar::Help: control = HELPBUTTON; break;
    default: return false;
  }
  if (control == 0 || !window.Exists(control) || window.GetLong(control, ui::Prop::Disable) != 0)
    return false;
  window.Post(ui::ev::Accepted, control);
  return true;
}

void ToolbarRouter::Attach(ProcedureWindow& window) { window.AddComponent(this); }

void ToolbarRouter::AddTarget(ToolbarClient* client, int control) {
  if (!client) return;
  targets_.emplace_back(client, control);
  if (!current_) current_ = client;
}

void ToolbarRouter::RemoveTarget(ToolbarClient* client) {
  std::erase_if(targets_, [client](const auto& t) { return t.first == client; });
  if (current_ == client) current_ = targets_.empty() ? nullptr : targets_.front().first;
}

void ToolbarRouter::SetTarget(int control) {
  auto it = std::find_if(targets_.begin(), targets_.end(), [control](const auto& t) { return t.second == control; });
  if (it != targets_.end()) current_ = it->first;
}

int ToolbarRouter::TakeEvent(ProcedureWindow& window) {
  ui::Window& w = window.Win();
  const int control = w.Field();
  if (w.EventNo() == ui::ev::Selected) {
    SetTarget(control);
  } else if (w.EventNo() == ui::ev::Accepted && control >= toolbar::First && control <= toolbar::Last &&
             current_) {
    current_->OnToolbarButton(w, control);
    return kNotify;
  }
  return kBenign;
}

}  // namespace cl
