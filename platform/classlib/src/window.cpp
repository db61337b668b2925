#include "velmora/classlib/window.h"

#include <algorithm>
#include <mutex>

#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"

namespace cl {
namespace {

rt::ThreadLocal<rt::Byte> gRequest, gResponse;
rt::ThreadLocal<rt::Long> gNavigation;

std::mutex& IconLock() {
  static std::mutex mu;
  return mu;
}
std::string& IconName() {
  static std::string icon;
  return icon;
}

}  // namespace

rt::Byte& ThreadRequest() { return *gRequest; }
rt::Byte& ThreadResponse() { return *gResponse; }
rt::Long& NavigationRequest() { return *gNavigation; }

std::string_view RecordCaption(int request) {
  switch (request) {
    case request::View: return "View Record";
    case request::Insert: return "Record Will Be Added";
    case request::Change: return "Record Will Be Changed";
    default: return {};
  }
}

void SetSystemIcon(std::string_view icon) {
  std::lock_guard l(IconLock());
  IconName() = std::string(icon);
}

std::string SystemIcon() {
  std::lock_guard l(IconLock());
  return IconName();
}

ProcedureWindow::ProcedureWindow(std::string procedure) : procedure_(std::move(procedure)) {}

ProcedureWindow::~ProcedureWindow() {
  if (window_) window_->Close();
}

// ---- the ordered operations

int ProcedureWindow::Setup() { return kBenign; }

void ProcedureWindow::EventLoop() {
  if (!window_) return;
  while (window_->Accept())
    if (DispatchEvent() == kFatal) break;
}

int ProcedureWindow::Teardown() {
  if (window_ && window_->IsOpen()) window_->Close();
  return kBenign;
}

int ProcedureWindow::RunWindow() {
  if (Setup() == kBenign) EventLoop();
  Teardown();
  ThreadResponse() = static_cast<rt::Byte>(Response);
  return Response;
}

int ProcedureWindow::DispatchEvent() {
  const int event = window_->EventNo();
  int result = kBenign;
  if (ui::IsFieldEvent(event) && window_->Field() != 0) {
    switch (event) {
      case ui::ev::Accepted: result = OnAccepted(); break;
      case ui::ev::Rejected: result = OnRejected(); break;
      case ui::ev::Selected: result = OnSelected(); break;
      case ui::ev::NewSelection: result = OnNewSelection(); break;
      default: break;
    }
    if (result == kBenign) result = OnFieldEvent();
  } else {
    result = OnWindowEvent();
  }
  // A component may remove itself (or another) while it takes the event.
  const std::vector<WindowComponent*> components = components_;
  for (WindowComponent* c : components) {
    if (result != kBenign) break;
    if (std::find(components_.begin(), components_.end(), c) == components_.end()) continue;
    result = c->TakeEvent(*this);
  }
  return result;
}

int ProcedureWindow::OnWindowEvent() { return kBenign; }

int ProcedureWindow::OnAccepted() {
  const int control = window_->Field();
  if (control == 0) return kBenign;
  if (control == OkControl) return OnCompleted();
  if (control == CancelControl) {
    Response = response::Cancelled;
    window_->Post(ui::ev::CloseWindow);
    return kNotify;
  }
  return kBenign;
}

int ProcedureWindow::OnRejected() { return kBenign; }
int ProcedureWindow::OnSelected() { return kBenign; }
int ProcedureWindow::OnNewSelection() { return kBenign; }
int ProcedureWindow::OnFieldEvent() { return kBenign; }

void ProcedureWindow::Refresh() {
  if (window_) window_->Display();
}

int ProcedureWindow::OnRecordPrimed() { return kBenign; }

int ProcedureWindow::OnCompleted() {
  window_->Update();
  int result = kBenign;
  bool wrote = false;
  if (Request == request::Insert && Primary) {
    result = Primary->Insert();
    wrote = true;
  } else if (Request == request::Change && (PrimaryRelation || Primary)) {
    result = PrimaryRelation ? PrimaryRelation->Update() : Primary->Update();
    wrote = true;
  }
  // A refused or failed write has been reported; the window stays open.
  if (result != kBenign) return kNotify;
  if (wrote) {
    const std::vector<WindowComponent*> components = components_;
    for (WindowComponent* c : components) c->RecordSaved(*this);
  }
  Response = response::Completed;
  window_->Post(ui::ev::CloseWindow);
  return kNotify;
}

// ---- helpers

void ProcedureWindow::Load(const ui::WindowDesc& desc) {
  if (window_) window_->Close();
  window_ = ui::Window::Create(desc);
}

void ProcedureWindow::Open() {
  if (!window_) return;
  const std::string icon = SystemIcon();
  if (window_->Get(0, ui::Prop::Icon).empty() && !icon.empty())
    window_->Set(0, ui::Prop::Icon, icon);
  window_->Open();
}

void ProcedureWindow::SetRecordCaption() {
  std::string_view caption = RecordCaption(Request);
  if (window_ && !caption.empty()) window_->Set(0, ui::Prop::Text, caption);
}

bool ProcedureWindow::RestorePosition(const IniMgr& ini) {
  WindowPosition pos;
  if (!window_ || !ini.FetchPosition(procedure_, pos)) return false;
  window_->SetPosition(0, pos.x, pos.y, pos.width, pos.height);
  if (pos.maximized) window_->Set(0, ui::Prop::Maximize, 1L);
  return true;
}

void ProcedureWindow::SavePosition(IniMgr& ini) {
  if (!window_) return;
  const ui::Window::Rect r = window_->Position(0);
  WindowPosition pos;
  pos.x = static_cast<int>(r.x);
  pos.y = static_cast<int>(r.y);
  pos.width = static_cast<int>(r.width);
  pos.height = static_cast<int>(r.height);
  pos.maximized = window_->GetLong(0, ui::Prop::Maximize) != 0;
  ini.UpdatePosition(procedure_, pos);
}

void ProcedureWindow::AddComponent(WindowComponent* component) {
  if (component && std::find(components_.begin(), components_.end(), component) == components_.end())
    components_.push_back(component);
}

void ProcedureWindow::RemoveComponent(WindowComponent* component) {
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
}

void ProcedureWindow::TakeRequest() {
  Request = ThreadRequest();
  ThreadRequest() = 0;
  ThreadResponse() = 0;
}

int ProcedureWindow::PrepareRequest() {
  if (Request == request::Insert) return OnRecordPrimed() == kBenign ? kBenign : kNotify;
  if (Request != request::Delete) return kBenign;
  Response = response::Cancelled;
  const int answer = ui::Message("Are you sure you want to delete the highlighted record?",
                                 "Confirm Delete", ui::icon::Question,
                                 ui::button::Yes | ui::button::No, ui::button::No);
  if (answer == ui::button::Yes) {
    int result = kFatal;
    if (PrimaryRelation) result = PrimaryRelation->Delete();
    else if (Primary) result = Primary->Delete();
    if (result == kBenign) Response = response::Completed;
  }
  return kNotify;
}

}  // namespace cl
