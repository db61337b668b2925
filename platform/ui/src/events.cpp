// Opening and closing windows, the per-thread window stacks, event queues,
// the event loop and user input.
#include <algorithm>
#include <cstdlib>

#include "model.h"
#include "picture.h"
#include "unlocked.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/dialogs.h"

namespace ui {
namespace {

struct Registry {
  struct Entry {
    Window* window;
    std::weak_ptr<Window> weak;
  };
  std::map<int, std::vector<Entry>> stacks;  // by thread, top last
  std::vector<Entry> open;                   // in opening order
  std::weak_ptr<Window> frame;
  Window* active = nullptr;  // the window the user works in, as last known
  Window* capture = nullptr;
  std::map<long, std::weak_ptr<Window>> handles;
  long nextHandle = 1;
  std::string cursor = cursor::Arrow;
};

Registry& Reg() {
  static Registry r;
  return r;
}

// The window whose client procedure runs on this thread just now: posts
// to "the current thread" from inside it go to that window's thread.
thread_local Window* t_procWindow = nullptr;

bool Flag(const WindowState& w, const ControlState& c, Prop p) { return ToLong(w.PropOf(c.props, p)) != 0; }

bool IsList(ControlType t) {
  return t == ControlType::List || t == ControlType::DropList || t == ControlType::Combo ||
         t == ControlType::DropCombo;
}

void SetProp(WindowState& w, ControlState& c, Prop p, std::string v, int index = 0) {
  c.props[{static_cast<int>(p), index}] = std::move(v);
  w.Notify(c.number, p, index);
}

// The window a thread waits in above `w`: the topmost shown window opened
// on w's thread after it (a hidden one, such as a tool that only takes the
// mouse through its owner, waits without blocking); nullptr when none.
Window* BlockerOf(const WindowState& w) {
  auto it = Reg().stacks.find(w.thread);
  if (it == Reg().stacks.end()) return nullptr;
  Window* found = nullptr;
  for (auto e = it->second.rbegin(); e != it->second.rend(); ++e) {
    if (e->window == w.self) break;
    const WindowState& above = e->window->State();
    if (!found && !ToLong(above.PropOf(above.props, Prop::Hide))) found = e->window;
  }
  return found;
}

// An open window that no later window of its thread waits above.
bool OnTop(const WindowState& w) { return w.open && !BlockerOf(w); }

}  // namespace

namespace registry {
long Adopt(const std::shared_ptr<Window>& window) {
  Lock l(ModelLock());
  long handle = Reg().nextHandle++;
  Reg().handles[handle] = window;
  return handle;
}
void Release(long handle) {
  Lock l(ModelLock());
  Reg().handles.erase(handle);
}
}  // namespace registry

std::shared_ptr<Window> WindowFromHandle(long handle) {
  Lock l(ModelLock());
  auto it = Reg().handles.find(handle);
  return it == Reg().handles.end() ? nullptr : it->second.lock();
}

int CurrentThread() { return rt::ThreadNumber(); }

std::shared_ptr<Window> TopWindow(int thread) {
  Lock l(ModelLock());
  if (thread == 0) thread = CurrentThread();
  auto it = Reg().stacks.find(thread);
  if (it == Reg().stacks.end() || it->second.empty()) return nullptr;
  return it->second.back().weak.lock();
}

std::vector<std::shared_ptr<Window>> OpenWindows() {
  Lock l(ModelLock());
  std::vector<std::shared_ptr<Window>> out;
  for (auto& e : Reg().open)
    if (auto w = e.weak.lock()) out.push_back(std::move(w));
  return out;
}

std::shared_ptr<Window> Frame() {
  Lock l(ModelLock());
  return Reg().frame.lock();
}

std::shared_ptr<Window> ActiveWindow() {
  Lock l(ModelLock());
  return Reg().active ? Reg().active->State().weak.lock() : nullptr;
}

bool Post(int event, int control, int thread) {
  Lock l(ModelLock());
  if (thread == 0) thread = t_procWindow ? t_procWindow->State().thread : CurrentThread();
  auto it = Reg().stacks.find(thread);
  if (it == Reg().stacks.end() || it->second.empty()) return false;
  WindowState& target = it->second.back().window->State();
  if (t_procWindow) {
    // The event comes from the mouse message the procedure is handling: it
    // carries that message's position.
    const WindowState& from = t_procWindow->State();
    target.queue.push_back(Event{event, control, 0, from.mouseX, from.mouseY});
    target.wake.notify_all();
  } else {
    target.PostLocked(event, control, 0);
  }
  return true;
}

void SetCursor(std::string_view name) {
  Lock l(ModelLock());
  Reg().cursor = name.empty() ? std::string(cursor::Arrow) : std::string(name);
  CurrentBackend().CursorChanged(Reg().cursor);
}

std::string CurrentCursor() {
  Lock l(ModelLock());
  return Reg().cursor;
}

// --- opening and closing ---

void Window::Open() {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (w.open || w.closed) return;
  w.open = true;
  w.thread = CurrentThread();
  // opened from the window its thread shows, or from the frame
  w.owner.reset();
  if (w.kind != WindowKind::Frame) {
    auto stack = Reg().stacks.find(w.thread);
    if (stack != Reg().stacks.end() && !stack->second.empty()) w.owner = stack->second.back().weak;
    else w.owner = Reg().frame;
  }
  Reg().active = this;  // a window opens in front
  Registry::Entry e{this, w.weak};
  Reg().stacks[w.thread].push_back(e);
  Reg().open.push_back(e);
  if (w.kind == WindowKind::Frame) Reg().frame = w.weak;
  w.focus = NextInOrder(0);
  w.nextTimer = std::chrono::steady_clock::now() + std::chrono::milliseconds(10 * GetLong(0, Prop::Timer));
  w.PostLocked(ev::OpenWindow, 0, 0);
  CurrentBackend().WindowOpened(*this);
}

bool Window::IsOpen() const {
  Lock l(ModelLock());
  return state_->open;
}

std::shared_ptr<Window> Window::Owner() const {
  Lock l(ModelLock());
  return state_->owner.lock();
}

bool Window::TakesInput() const {
  Lock l(ModelLock());
  return OnTop(*state_);
}

std::shared_ptr<Window> Window::WaitingFor() const {
  Lock l(ModelLock());
  Window* blocker = state_->open ? BlockerOf(*state_) : nullptr;
  return blocker ? blocker->State().weak.lock() : nullptr;
}

void Window::Close() {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (!w.open) return;
  w.open = false;
  w.closed = true;
  w.closePending = false;
  Registry& r = Reg();
  auto drop = [this](std::vector<Registry::Entry>& list) {
    list.erase(std::remove_if(list.begin(), list.end(), [this](const Registry::Entry& e) { return e.window == this; }),
               list.end());
  };
  std::vector<Registry::Entry>& stack = r.stacks[w.thread];
  drop(stack);
  drop(r.open);
  if (r.capture == this) {
    r.capture = nullptr;
    CurrentBackend().MouseCaptured(nullptr);
  }
  if (r.active == this) r.active = nullptr;
  CurrentBackend().WindowClosed(*this);
  // The window below on the same thread gets the focus back.
  if (!stack.empty()) {
    stack.back().window->State().PostLocked(ev::GainFocus, 0, 0);
    r.active = stack.back().window;
  }
  if (w.kind == WindowKind::Frame) {
    r.frame.reset();
    for (auto& e : r.open)
      if (e.window->State().kind == WindowKind::MdiChild) e.window->State().PostLocked(ev::CloseWindow, 0, 0);
  }
  w.wake.notify_all();
}

// --- the event loop ---

namespace {

enum class Take { Event, Closed, Empty };

// With the lock held: the next event made current, or why there is none.
Take TakeNext(Window& win, WindowState& w) {
  if (w.closePending) {
    w.closePending = false;
    if (!w.closeCancelled) {
      win.Close();
      return Take::Closed;
    }
    ++w.closeRefusals;
  }
  if (!w.open) return Take::Closed;
  if (!w.queue.empty()) {
    w.current = w.queue.front();
    w.queue.pop_front();
    if (w.current.event == ev::CloseWindow) {
      w.closePending = true;
      w.closeCancelled = false;
    }
    return Take::Event;
  }
  long timer = ToLong(w.PropOf(w.props, Prop::Timer));
  if (timer > 0 && std::chrono::steady_clock::now() >= w.nextTimer) {
    w.nextTimer = std::chrono::steady_clock::now() + std::chrono::milliseconds(10 * timer);
    w.current = Event{ev::Timer, 0, 0, w.mouseX, w.mouseY};
    return Take::Event;
  }
  return Take::Empty;
}

}  // namespace

bool Window::Accept() {
  WindowState& w = *state_;
  while (true) {
    {
      Lock l(ModelLock());
      Take t = TakeNext(*this, w);
      if (t == Take::Event) return true;
      if (t == Take::Closed) return false;
    }
    // Wait without the runtime lock; the model's lock is released before
    // the runtime lock is taken back.
    detail::Unlocked unlocked;
    std::unique_lock<std::recursive_mutex> l(ModelLock());
    auto ready = [&w] { return !w.queue.empty() || !w.open || w.closePending; };
    if (ready()) continue;
    long timer = ToLong(w.PropOf(w.props, Prop::Timer));
    if (timer > 0)
      w.wake.wait_until(l, w.nextTimer, ready);
    else
      w.wake.wait(l, ready);
  }
}

bool Window::AcceptPending() {
  Lock l(ModelLock());
  return TakeNext(*this, *state_) == Take::Event;
}

void Window::CancelClose() {
  Lock l(ModelLock());
  if (state_->closePending) state_->closeCancelled = true;
}

long Window::CloseRefusals() const {
  Lock l(ModelLock());
  return state_->closeRefusals;
}

const Event& Window::Current() const { return state_->current; }

void Window::SetKeycode(int keycode) {
  Lock l(ModelLock());
  state_->current.keycode = keycode;
}

void Window::Post(int event, int control, int keycode) {
  Lock l(ModelLock());
  state_->PostLocked(event, control, keycode);
}

size_t Window::PendingEvents() const {
  Lock l(ModelLock());
  return state_->queue.size();
}

// --- client procedure and mouse capture ---

ClientProc Window::SetClientProc(ClientProc proc) {
  Lock l(ModelLock());
  ClientProc old = std::move(state_->proc);
  state_->proc = std::move(proc);
  return old;
}

ClientProc Window::CurrentClientProc() const {
  Lock l(ModelLock());
  return state_->proc;
}

void Window::CaptureMouse() {
  Lock l(ModelLock());
  Reg().capture = this;
  CurrentBackend().MouseCaptured(this);
}

void Window::ReleaseMouse() {
  Lock l(ModelLock());
  if (Reg().capture != this) return;
  Reg().capture = nullptr;
  CurrentBackend().MouseCaptured(nullptr);
}

Window* Window::MouseCapture() {
  Lock l(ModelLock());
  return Reg().capture;
}

// --- user input ---

namespace {

bool IsHelpAction(StdAction action) {
  return action == StdAction::HelpIndex || action == StdAction::HelpSearch ||
         action == StdAction::HelpOnHelp;
}

void RunStd(Window& win, StdAction action) {
  Backend& b = CurrentBackend();
  switch (action) {
    case StdAction::Close: win.Post(ev::CloseWindow); break;
    case StdAction::PrintSetup: {
      PrinterRequest setup;
      setup.setupOnly = true;
      PrinterDialog(setup);
      break;
    }
    case StdAction::Cut: case StdAction::Copy: case StdAction::Paste: {
      // the frame's clipboard items act on the newest child window
      std::shared_ptr<Window> target;
      if (win.Kind() == WindowKind::Frame)
        for (auto& open : OpenWindows())
          if (open->Kind() == WindowKind::MdiChild) target = open;
      Window& on = target ? *target : win;
      int focus = on.Focus();
      if (!focus) break;
      if (action == StdAction::Paste) {
        on.InputType(focus, on.Get(focus, Prop::ScreenText) + b.ClipboardText());
        break;
      }
      b.SetClipboardText(on.Get(focus, Prop::ScreenText));
      if (action == StdAction::Cut) on.InputType(focus, "");
      break;
    }
    case StdAction::Tile: case StdAction::Cascade: case StdAction::Arrange: b.ArrangeChildren(action); break;
    default: break;
  }
}

}  // namespace

std::string SingleLineText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out += ch == '\r' || ch == '\n' || ch == '\t' ? ' ' : ch;
  }
  return out;
}

bool Window::InputAccept(int control) {
  StdAction action = StdAction::None;
  {
    Lock l(ModelLock());
    WindowState& w = *state_;
    ControlState* c = w.Find(control);
    if (!OnTop(w) || !c || !Usable(w, c)) return false;
    action = static_cast<StdAction>(ToLong(w.PropOf(c->props, Prop::Std)));
    switch (c->type) {
      case ControlType::Menu: case ControlType::Toolbar: case ControlType::Prompt: case ControlType::String:
      case ControlType::Line: case ControlType::Box: case ControlType::Group: case ControlType::Panel:
        return false;
      case ControlType::Check: {
        if (Flag(w, *c, Prop::ReadOnly)) return false;
        bool on = !Flag(w, *c, Prop::Checked);
        SetProp(w, *c, Prop::Checked, on ? "1" : "0");
        if (c->var.Bound()) c->var.Write(w.PropOf(c->props, on ? Prop::TrueValue : Prop::FalseValue));
        w.PostLocked(ev::Accepted, control, 0);
        break;
      }
      case ControlType::Radio: {
        ControlState* option = w.Find(c->parent);
        if (option && option->type == ControlType::Option) {
          for (Child& k : option->children)
            if (ControlState* r = w.Find(k.number); r && r->type == ControlType::Radio)
              SetProp(w, *r, Prop::Checked, k.number == control ? "1" : "0");
          Update(option->number);
          w.PostLocked(ev::Accepted, option->number, 0);
        } else {
          SetProp(w, *c, Prop::Checked, "1");
          w.PostLocked(ev::Accepted, control, 0);
        }
        break;
      }
      default:
        if (IsTyped(c->type) && Flag(w, *c, Prop::ReadOnly)) return false;
        Update(control);
        // There is no Windows help on Linux: the help actions reach the
        // program as the control's accepted event, and it shows its own.
        if (action == StdAction::None || IsHelpAction(action)) w.PostLocked(ev::Accepted, control, 0);
    }
  }
  if (action != StdAction::None) RunStd(*this, action);
  return true;
}

bool Window::InputType(int control, std::string_view text) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || !IsTyped(c->type) || !Usable(w, c) || Flag(w, *c, Prop::ReadOnly)) return false;
  std::string shown(text);
  if (c->type == ControlType::Text && Flag(w, *c, Prop::SingleLine)) shown = SingleLineText(shown);
  long max = GetLong(control, Prop::MaxLength);
  if (max > 0 && shown.size() > static_cast<size_t>(max)) shown.resize(static_cast<size_t>(max));
  SetProp(w, *c, Prop::ScreenText, shown);
  if (Flag(w, *c, Prop::Immediate)) w.PostLocked(ev::NewSelection, control, 0);
  return true;
}

bool Window::InputKey(int control, int keycode) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (!OnTop(w)) return false;
  if (control == 0) control = w.focus;
  ControlState* c = w.Find(control);
  if (c && !Usable(w, c)) return false;
  if ((c && IsAlerted(control, keycode)) || IsAlerted(0, keycode)) {
    w.PostLocked(ev::PreAlertKey, control, keycode);
    w.PostLocked(ev::AlertKey, control, keycode);
    return true;
  }
  if ((keycode & 0xFF) == key::Tab) {
    int next = NextInOrder(control, (keycode & key::Shift) != 0);
    if (next) Select(next);
    return true;
  }
  // Enter in a text control: a line break where it takes them, else what
  // Enter does in an entry (the field takes its text)
  if ((keycode & 0xFF) == key::Enter && c && c->type == ControlType::Text) {
    if (Flag(w, *c, Prop::SingleLine)) return InputAccept(control);
    if (!Usable(w, c) || Flag(w, *c, Prop::ReadOnly)) return false;
    return InputType(control, w.PropOf(c->props, Prop::ScreenText) + "\n");
  }
  return false;
}

bool Window::InputSelectRow(int control, long row, int keycode, int column) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || !IsList(c->type) || !Usable(w, c)) return false;
  // a drop list without rows offers its choices
  std::vector<std::string> choices;
  if (!c->rows && !w.PropOf(c->props, Prop::From).empty()) choices = MessageLines(w.PropOf(c->props, Prop::From));
  long rows = c->rows ? c->rows->Rows() : static_cast<long>(choices.size());
  if (row < 1 || row > rows) return false;
  SetProp(w, *c, Prop::Selected, std::to_string(row));
  if (key::IsMouse(keycode)) {
    SetProp(w, *c, Prop::MouseDownRow, std::to_string(row));
    SetProp(w, *c, Prop::MouseDownColumn, std::to_string(column));
    SetProp(w, *c, Prop::MouseUpRow, std::to_string(row));
    SetProp(w, *c, Prop::MouseUpColumn, std::to_string(column));
  }
  if (c->type != ControlType::List)
    SetProp(w, *c, Prop::ScreenText,
            c->rows ? rt::Clip(c->rows->Field(row, 1)) : choices[static_cast<size_t>(row - 1)]);
  w.PostLocked(ev::NewSelection, control, keycode);
  return true;
}

bool Window::InputTreeBox(int control, long row) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || !c->rows || row < 1 || row > c->rows->Rows()) return false;
  long level = RowLevel(control, row);
  // An open row has a box only when the rows under it are deeper.
  bool closed = level < 0;
  if (!closed && (row == c->rows->Rows() || std::labs(RowLevel(control, row + 1)) <= std::labs(level))) return false;
  if (!InputSelectRow(control, row, key::MouseLeft)) return false;
  w.PostLocked(closed ? ev::Expanded : ev::Contracted, control, key::MouseLeft);
  return true;
}

bool Window::InputFocus(int control) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || !Usable(w, c)) return false;
  if (w.focus != control) Select(control);  // no event when it has the focus already
  return true;
}

bool Window::InputTab(int control, int tab) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || c->type != ControlType::Sheet || !Usable(w, c)) return false;
  if (tab < 1 || tab > static_cast<int>(c->children.size())) return false;
  ControlState* t = w.Find(c->children[static_cast<size_t>(tab - 1)].number);
  if (!t || Flag(w, *t, Prop::Hide) || Flag(w, *t, Prop::Disable)) return false;
  w.PostLocked(ev::TabChanging, control, 0);
  SetProp(w, *c, Prop::Selected, std::to_string(tab));
  w.PostLocked(ev::NewSelection, control, 0);
  return true;
}

bool Window::InputSpin(int control, int direction) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!OnTop(w) || !c || c->type != ControlType::Spin || !Usable(w, c) || Flag(w, *c, Prop::ReadOnly)) return false;
  std::string picture = w.PropOf(c->props, Prop::Picture);
  long value = ToLong(detail::TakeWithPicture(w.PropOf(c->props, Prop::ScreenText), picture));
  long step = ToLong(w.PropOf(c->props, Prop::Step));
  long low = ToLong(w.PropOf(c->props, Prop::RangeLow));
  long high = ToLong(w.PropOf(c->props, Prop::RangeHigh));
  value += (step > 0 ? step : 1) * (direction < 0 ? -1 : 1);
  bool ranged = !w.PropOf(c->props, Prop::RangeLow).empty() || !w.PropOf(c->props, Prop::RangeHigh).empty();
  if (ranged) value = std::clamp(value, low, std::max(low, high));
  SetProp(w, *c, Prop::ScreenText, detail::ShowWithPicture(std::to_string(value), picture));
  Update(control);
  w.PostLocked(ev::NewSelection, control, 0);
  return true;
}

void Window::InputClose() {
  Lock l(ModelLock());
  if (OnTop(*state_)) state_->PostLocked(ev::CloseWindow, 0, 0);
}

bool Window::InputActivate() {
  Lock l(ModelLock());
  if (!OnTop(*state_)) return false;
  if (Reg().active != this) {
    Reg().active = this;
    state_->PostLocked(ev::GainFocus, 0, 0);
  }
  return true;
}

void Window::InputSize(long width, long height) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (!w.open) return;
  w.w = static_cast<double>(width);
  w.h = static_cast<double>(height);
  w.Notify(0, Prop::Width);
  w.PostLocked(ev::Sized, 0, 0);
}

void Window::InputMove(long x, long y) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (!w.open) return;
  w.x = static_cast<double>(x);
  w.y = static_cast<double>(y);
}

void Window::InputMaximize(bool maximized) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (!w.open) return;
  w.props[{static_cast<int>(Prop::Maximize), 0}] = maximized ? "1" : "0";
}

intptr_t Window::InputMouse(unsigned message, int x, int y, uintptr_t wParam) {
  Window* target;
  ClientProc proc;
  {
    Lock l(ModelLock());
    target = Reg().capture ? Reg().capture : this;
    WindowState& w = target->State();
    if (!OnTop(w)) return 0;
    w.mouseX = x;
    w.mouseY = y;
    if (message == msg::MouseMove) {
      // Regions that report mouse moves learn when the mouse enters, moves
      // over and leaves them.
      long ox = ToLong(w.PropOf(w.props, Prop::XOrigin));
      long oy = ToLong(w.PropOf(w.props, Prop::YOrigin));
      for (auto& [n, c] : w.controls) {
        if (c.type != ControlType::Region || !Flag(w, c, Prop::Immediate)) continue;
        double left = std::min(c.x, c.x + c.w), right = std::max(c.x, c.x + c.w);
        double top = std::min(c.y, c.y + c.h), bottom = std::max(c.y, c.y + c.h);
        if (Flag(w, c, Prop::Scroll)) left -= ox, right -= ox, top -= oy, bottom -= oy;
        bool inside = Usable(w, &c) && x >= left && x < right && y >= top && y < bottom;
        if (inside && !c.hovered) w.PostLocked(ev::MouseIn, n, 0);
        if (inside) w.PostLocked(ev::MouseMove, n, 0);
        if (!inside && c.hovered) w.PostLocked(ev::MouseOut, n, 0);
        c.hovered = inside;
      }
    }
    proc = w.proc;
  }
  if (!proc) return 0;
  Window* saved = t_procWindow;
  t_procWindow = target;
  intptr_t result = proc(*target, message, wParam, MakeMouseLParam(x, y));
  t_procWindow = saved;
  return result;
}

}  // namespace ui
