// Windows, their controls and properties.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model.h"
#include "picture.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/image.h"

namespace ui {
namespace {

bool TakesFocus(ControlType t) {
  switch (t) {
    case ControlType::Prompt: case ControlType::String: case ControlType::Line:
    case ControlType::Box: case ControlType::Image: case ControlType::Region:
    case ControlType::Panel: case ControlType::Group: case ControlType::Menu:
    case ControlType::Item: case ControlType::Toolbar: case ControlType::Tab:
    case ControlType::Progress: case ControlType::None:
      return false;
    default:
      return true;
  }
}

// A list takes its rows again (defined with the lists below).
void TakeRows(WindowState& w, ControlState& c);

// The text a radio gives its option: its value, else its text without "&".
std::string RadioValue(const WindowState& w, const ControlState& c) {
  auto it = c.props.find({static_cast<int>(Prop::Value), 0});
  if (it != c.props.end()) return it->second;
  std::string text = w.PropOf(c.props, Prop::Text);
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

}  // namespace

long ToLong(std::string_view text) {
  std::string t = rt::Trim(text);
  return std::strtol(t.c_str(), nullptr, 10);
}

bool IsTyped(ControlType t) {
  switch (t) {
    case ControlType::Entry: case ControlType::Text: case ControlType::Spin:
    case ControlType::Combo: case ControlType::DropCombo:
      return true;
    default:
      return false;
  }
}

bool Shown(const WindowState& w, const ControlState* c) {
  for (const ControlState* p = c; p; p = w.Find(p->parent)) {
    if (ToLong(w.PropOf(p->props, Prop::Hide))) return false;
    const ControlState* parent = w.Find(p->parent);
    if (!parent) break;
    for (const Child& k : parent->children)
      if (k.number == p->number && k.hidden) return false;
    // only the selected tab of a sheet shows its controls
    if (parent->type == ControlType::Sheet) {
      long selected = ToLong(w.PropOf(parent->props, Prop::Selected));
      if (selected < 1 || selected > static_cast<long>(parent->children.size()) ||
          parent->children[static_cast<size_t>(selected - 1)].number != p->number)
        return false;
    }
  }
  return true;
}

bool Usable(const WindowState& w, const ControlState* c) {
  if (!Shown(w, c)) return false;
  for (const ControlState* p = c; p; p = w.Find(p->parent))
    if (ToLong(w.PropOf(p->props, Prop::Disable))) return false;
  return true;
}

std::recursive_mutex& ModelLock() {
  static std::recursive_mutex mu;
  return mu;
}

// --- WindowState helpers ---

bool WindowState::Pixels() const { return ToLong(PropOf(props, Prop::Pixels)) != 0; }
DialogBase WindowState::Base() const { return CurrentBackend().Metrics(font); }
double WindowState::ToPixelsX(double v) const { return Pixels() ? v : v * Base().cx / 4.0; }
double WindowState::ToPixelsY(double v) const { return Pixels() ? v : v * Base().cy / 8.0; }
long WindowState::FromPixelsX(double v) const { return std::lround(Pixels() ? v : v * 4.0 / Base().cx); }
long WindowState::FromPixelsY(double v) const { return std::lround(Pixels() ? v : v * 8.0 / Base().cy); }

ControlState* WindowState::Find(int number) {
  auto it = controls.find(number);
  return it == controls.end() ? nullptr : &it->second;
}
const ControlState* WindowState::Find(int number) const {
  auto it = controls.find(number);
  return it == controls.end() ? nullptr : &it->second;
}

PropMap* WindowState::PropsOf(int control) {
  if (control == 0) return &props;
  ControlState* c = Find(control);
  return c ? &c->props : nullptr;
}
const PropMap* WindowState::PropsOf(int control) const {
  if (control == 0) return &props;
  const ControlState* c = Find(control);
  return c ? &c->props : nullptr;
}

std::string WindowState::PropOf(const PropMap& m, Prop p, int index) const {
  auto it = m.find({static_cast<int>(p), index});
  return it == m.end() ? std::string() : it->second;
}

void WindowState::Notify(int control, Prop p, int index) {
  CurrentBackend().PropertyChanged(*self, control, p, index);
}

void WindowState::PostLocked(int event, int control, int keycode) {
  queue.push_back(Event{event, control, keycode, mouseX, mouseY});
  wake.notify_all();
}

// --- building ---

namespace {

struct Builder {
  WindowState& w;
  bool negative;  // the frame numbers its menus and toolbar below 0
  int next = 1;
  std::vector<std::pair<int, const ControlDesc*>> built;  // for the further properties

  int Take(int given, bool menuOrToolbar) {
    bool neg = negative && menuOrToolbar;
    if (given != 0) {
      next = neg ? given - 1 : given + 1;
      return given;
    }
    int n = next;
    next = neg ? next - 1 : next + 1;
    return n;
  }

  void Add(const ControlDesc& d, int parent, bool menuOrToolbar, bool inToolbar, std::vector<Child>& list) {
    if (d.separator && d.number == 0 && d.use.empty()) {
      list.push_back(Child{0, d.hidden});
      return;
    }
    int number = Take(d.number, menuOrToolbar);
    if (w.controls.count(number)) return;  // a number given twice keeps the first
    ControlState c;
    c.number = number;
    c.type = d.type;
    c.use = d.use;
    c.parent = parent;
    c.inToolbar = inToolbar;
    c.x = d.x * w.Base().cx / 4.0;
    c.y = d.y * w.Base().cy / 8.0;
    c.w = d.width * w.Base().cx / 4.0;
    c.h = d.height * w.Base().cy / 8.0;
    auto set = [&c](Prop p, std::string v) { c.props[{static_cast<int>(p), 0}] = std::move(v); };
    if (!d.text.empty()) set(Prop::Text, d.text);
    if (!d.text.empty() && !IsTyped(d.type)) set(Prop::ScreenText, d.text);
    if (!d.tip.empty()) set(Prop::Tip, d.tip);
    if (!d.icon.empty()) set(Prop::Icon, d.icon);
    if (!d.picture.empty()) set(Prop::Picture, d.picture);
    if (!d.from.empty()) set(Prop::From, d.from);
    if (!d.font.name.empty()) set(Prop::FontName, d.font.name);
    if (d.font.size) set(Prop::FontSize, std::to_string(d.font.size));
    if (d.font.style) set(Prop::FontStyle, std::to_string(d.font.style));
    if (d.font.color != -1) set(Prop::FontColor, std::to_string(d.font.color));
    if (d.color != -1) set(Prop::Color, std::to_string(d.color));
    if (d.hidden) set(Prop::Hide, "1");
    if (d.disabled) set(Prop::Disable, "1");
    if (d.readOnly) set(Prop::ReadOnly, "1");
    if (d.flat) set(Prop::Flat, "1");
    if (d.std != StdAction::None) set(Prop::Std, std::to_string(static_cast<int>(d.std)));
    if (!d.format.empty()) {
      set(Prop::Format, d.format);
      c.format = ParseListFormat(d.format);
    }
    if (d.type == ControlType::Check) {
      set(Prop::TrueValue, "1");
      set(Prop::FalseValue, "0");
    }
    if (d.type == ControlType::Sheet) set(Prop::Selected, "1");
    w.controls.emplace(number, std::move(c));
    list.push_back(Child{number, false});
    if (!menuOrToolbar) w.order.push_back(number);
    built.emplace_back(number, &d);
    std::vector<Child> built;
    for (const ControlDesc& k : d.children) Add(k, number, menuOrToolbar, inToolbar, built);
    w.controls[number].children = std::move(built);
  }
};

}  // namespace

Window::Window() : state_(std::make_unique<WindowState>()) { state_->self = this; }

std::shared_ptr<Window> Window::Create(const WindowDesc& desc) {
  std::shared_ptr<Window> win(new Window());
  Lock lock(ModelLock());
  WindowState& w = *win->state_;
  w.weak = win;
  w.kind = desc.kind;
  w.handle = registry::Adopt(win);
  w.font = desc.font;
  w.x = desc.x * w.Base().cx / 4.0;
  w.y = desc.y * w.Base().cy / 8.0;
  w.w = desc.width * w.Base().cx / 4.0;
  w.h = desc.height * w.Base().cy / 8.0;
  w.props[{static_cast<int>(Prop::Text), 0}] = desc.caption;
  if (!desc.background.empty()) w.props[{static_cast<int>(Prop::Background), 0}] = desc.background;
  if (!desc.toolbarBackground.empty())
    w.props[{static_cast<int>(Prop::ToolbarBackground), 0}] = desc.toolbarBackground;
  if (!desc.icon.empty()) w.props[{static_cast<int>(Prop::Icon), 0}] = desc.icon;
  Builder b{w, desc.kind == WindowKind::Frame, 1, {}};
  if (b.negative) b.next = -1;
  for (const ControlDesc& d : desc.menus) b.Add(d, 0, true, false, w.menus);
  for (const ControlDesc& d : desc.toolbar) b.Add(d, 0, true, true, w.toolbar);
  if (b.negative) b.next = 1;
  for (const ControlDesc& d : desc.controls) b.Add(d, 0, false, false, w.top);
  for (const auto& [number, d] : b.built) {
    for (int keycode : d->alerts) win->Alert(number, keycode);
    for (const auto& [prop, value] : d->props) win->Set(number, prop, value);
  }
  return win;
}

Window::~Window() {
  Close();
  registry::Release(state_->handle);
}

WindowKind Window::Kind() const { Lock l(ModelLock()); return state_->kind; }
int Window::Thread() const { Lock l(ModelLock()); return state_->thread; }

// --- controls ---

int Window::Number(std::string_view use) const {
  Lock l(ModelLock());
  for (const auto& [n, c] : state_->controls)
    if (!c.use.empty() && rt::EqualNoCase(c.use, use)) return n;
  return 0;
}

bool Window::Exists(int control) const {
  Lock l(ModelLock());
  return state_->Find(control) != nullptr;
}

std::vector<int> Window::Controls() const {
  Lock l(ModelLock());
  std::vector<int> out;
  for (const auto& [n, c] : state_->controls) out.push_back(n);
  return out;
}

std::vector<ChildEntry> Window::Children(int control) const {
  Lock l(ModelLock());
  if (control == kMenuBar) return state_->menus;
  if (control == kToolbar) return state_->toolbar;
  if (control == 0) return state_->top;
  const ControlState* c = state_->Find(control);
  return c ? c->children : std::vector<ChildEntry>{};
}

int Window::CreateControl(ControlType type, int number, int parent) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (parent != 0 && !w.Find(parent)) return 0;
  if (number == 0) {
    number = 1;
    if (!w.controls.empty()) number = std::max(1, w.controls.rbegin()->first + 1);
  }
  if (w.Find(number)) return 0;
  ControlState c;
  c.number = number;
  c.type = type;
  c.parent = parent;
  c.props[{static_cast<int>(Prop::Hide), 0}] = "1";
  if (type == ControlType::Check) {
    c.props[{static_cast<int>(Prop::TrueValue), 0}] = "1";
    c.props[{static_cast<int>(Prop::FalseValue), 0}] = "0";
  }
  w.controls.emplace(number, std::move(c));
  if (parent) w.controls[parent].children.push_back(Child{number, false});
  else w.top.push_back(Child{number, false});
  w.order.push_back(number);
  CurrentBackend().ControlCreated(*this, number);
  return number;
}

void Window::Destroy(int control) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  ControlState* c = w.Find(control);
  if (!c) return;
  std::vector<Child> kids = c->children;
  for (const Child& k : kids)
    if (k.number) Destroy(k.number);
  c = w.Find(control);
  int parent = c->parent;
  auto drop = [control](std::vector<Child>& list) {
    list.erase(std::remove_if(list.begin(), list.end(), [control](const Child& k) { return k.number == control; }),
               list.end());
  };
  if (ControlState* p = w.Find(parent)) drop(p->children);
  drop(w.top);
  drop(w.menus);
  drop(w.toolbar);
  w.order.erase(std::remove(w.order.begin(), w.order.end(), control), w.order.end());
  if (w.focus == control) w.focus = 0;
  w.controls.erase(control);
  CurrentBackend().ControlDestroyed(*this, control);
}

// --- properties ---

std::string Window::Get(int control, Prop prop, int index) const {
  Lock l(ModelLock());
  const WindowState& w = *state_;
  if (control == 0) {
    switch (prop) {
      case Prop::X: return std::to_string(w.FromPixelsX(w.x));
      case Prop::Y: return std::to_string(w.FromPixelsY(w.y));
      case Prop::Width: return std::to_string(w.FromPixelsX(w.w));
      case Prop::Height: return std::to_string(w.FromPixelsY(w.h));
      case Prop::FontName: return w.font.name;
      case Prop::FontSize: return std::to_string(w.font.size);
      case Prop::FontStyle: return std::to_string(w.font.style);
      case Prop::FontColor: return std::to_string(w.font.color);
      case Prop::Thread: return std::to_string(w.thread);
      case Prop::Focus: return std::to_string(w.focus);
      case Prop::Mdi: return w.kind == WindowKind::MdiChild ? "1" : "0";
      case Prop::Handle: return std::to_string(w.handle);
      case Prop::LowestControl:
        return w.controls.empty() ? "0" : std::to_string(w.controls.begin()->first);
      case Prop::HighestControl:
        return w.controls.empty() ? "0" : std::to_string(w.controls.rbegin()->first);
      case Prop::Pixels: case Prop::XOrigin: case Prop::YOrigin: case Prop::Timer: {
        std::string v = w.PropOf(w.props, prop, index);
        return v.empty() ? "0" : v;
      }
      default: return w.PropOf(w.props, prop, index);
    }
  }
  const ControlState* c = w.Find(control);
  if (!c) return {};
  switch (prop) {
    case Prop::Type: return std::to_string(static_cast<int>(c->type));
    case Prop::Use: return c->use;
    case Prop::Parent: return std::to_string(c->parent);
    case Prop::X: return std::to_string(w.FromPixelsX(c->x));
    case Prop::Y: return std::to_string(w.FromPixelsY(c->y));
    case Prop::Width:
      if (c->type == ControlType::Image && ToLong(w.PropOf(c->props, Prop::NoWidth)))
        return std::to_string(w.FromPixelsX(c->imageW));
      return std::to_string(w.FromPixelsX(c->w));
    case Prop::Height:
      if (c->type == ControlType::Image && ToLong(w.PropOf(c->props, Prop::NoHeight)))
        return std::to_string(w.FromPixelsY(c->imageH));
      return std::to_string(w.FromPixelsY(c->h));
    case Prop::ImageWidth: return std::to_string(c->imageW);
    case Prop::ImageHeight: return std::to_string(c->imageH);
    case Prop::Items: return std::to_string(c->rows ? c->rows->Rows() : 0);
    case Prop::FontName: {
      std::string v = w.PropOf(c->props, prop);
      return v.empty() ? w.font.name : v;
    }
    case Prop::FontSize: {
      std::string v = w.PropOf(c->props, prop);
      return v.empty() ? std::to_string(w.font.size) : v;
    }
    case Prop::MaxLength: {
      std::string v = w.PropOf(c->props, prop);
      return v.empty() ? std::to_string(detail::PictureLength(w.PropOf(c->props, Prop::Picture))) : v;
    }
    case Prop::Color: case Prop::FontColor: case Prop::FillColor: {
      std::string v = w.PropOf(c->props, prop);
      return v.empty() ? "-1" : v;
    }
    case Prop::Selected: case Prop::Hide: case Prop::Disable: case Prop::ReadOnly: case Prop::Flat:
    case Prop::Boxed: case Prop::Transparent: case Prop::Checked: case Prop::FontStyle:
    case Prop::Immediate: case Prop::LineWidth: case Prop::Alignment: case Prop::Std:
    case Prop::Alert: case Prop::Scroll: case Prop::VScroll: case Prop::HScroll: {
      std::string v = w.PropOf(c->props, prop, index);
      return v.empty() ? "0" : v;
    }
    default: return w.PropOf(c->props, prop, index);
  }
}

long Window::GetLong(int control, Prop prop, int index) const { return ToLong(Get(control, prop, index)); }

void Window::Set(int control, Prop prop, long value, int index) { Set(control, prop, std::to_string(value), index); }

void Window::Set(int control, Prop prop, std::string_view value, int index) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  auto key = PropKey{static_cast<int>(prop), index};
  if (control == 0) {
    switch (prop) {
      case Prop::X: w.x = w.ToPixelsX(static_cast<double>(ToLong(value))); break;
      case Prop::Y: w.y = w.ToPixelsY(static_cast<double>(ToLong(value))); break;
      case Prop::Width: w.w = w.ToPixelsX(static_cast<double>(ToLong(value))); break;
      case Prop::Height: w.h = w.ToPixelsY(static_cast<double>(ToLong(value))); break;
      case Prop::FontName: w.font.name = std::string(value); break;
      case Prop::FontSize: w.font.size = static_cast<int>(ToLong(value)); break;
      case Prop::FontStyle: w.font.style = static_cast<int>(ToLong(value)); break;
      case Prop::FontColor: w.font.color = ToLong(value); break;
      case Prop::Thread: case Prop::Focus: case Prop::Mdi: case Prop::LowestControl:
      case Prop::HighestControl: case Prop::Type: case Prop::Use: case Prop::Handle:
        return;  // read only
      case Prop::Timer:
        w.props[key] = std::string(value);
        w.nextTimer = std::chrono::steady_clock::now() + std::chrono::milliseconds(10 * ToLong(value));
        w.wake.notify_all();
        break;
      case Prop::XOrigin: case Prop::YOrigin: {
        // an origin that stays where it was moves nothing
        const std::string origin = std::to_string(ClampOrigin(w, prop, ToLong(value)));
        std::string& now = w.props[key];
        if (now == origin || (now.empty() && origin == "0")) return;
        now = origin;
        break;
      }
      default: w.props[key] = std::string(value); break;
    }
    w.Notify(0, prop, index);
    return;
  }
  ControlState* c = w.Find(control);
  if (!c) return;
  switch (prop) {
    case Prop::Type: case Prop::Use: case Prop::Parent: case Prop::Items:
    case Prop::ImageWidth: case Prop::ImageHeight:
      return;  // read only
    case Prop::X: c->x = w.ToPixelsX(static_cast<double>(ToLong(value))); break;
    case Prop::Y: c->y = w.ToPixelsY(static_cast<double>(ToLong(value))); break;
    case Prop::Width: c->w = w.ToPixelsX(static_cast<double>(ToLong(value))); break;
    case Prop::Height: c->h = w.ToPixelsY(static_cast<double>(ToLong(value))); break;
    case Prop::Text:
      c->props[key] = std::string(value);
      if (c->type == ControlType::Image) {
        std::string path = FindResource(std::string(value));
        auto bytes = path.empty() ? std::nullopt : ReadFileBytes(path);
        c->image = bytes ? std::move(*bytes) : std::vector<uint8_t>{};
        auto size = c->image.empty() ? std::nullopt : PictureSize(c->image);
        c->imageW = size ? size->first : 0;
        c->imageH = size ? size->second : 0;
      } else if (!IsTyped(c->type)) {
        c->props[{static_cast<int>(Prop::ScreenText), 0}] = std::string(value);
      }
      break;
    case Prop::Format:
      c->props[key] = std::string(value);
      c->format = ParseListFormat(value);
      break;
    case Prop::Follows: {
      int after = static_cast<int>(ToLong(value));
      if (after == control || !w.Find(after)) return;
      w.order.erase(std::remove(w.order.begin(), w.order.end(), control), w.order.end());
      auto it = std::find(w.order.begin(), w.order.end(), after);
      w.order.insert(it == w.order.end() ? it : it + 1, control);
      break;
    }
    case Prop::Checked: {
      bool on = ToLong(value) != 0;
      c->props[key] = on ? "1" : "0";
      if (c->type == ControlType::Check && c->var.Bound())
        c->var.Write(w.PropOf(c->props, on ? Prop::TrueValue : Prop::FalseValue));
      break;
    }
    default: c->props[key] = std::string(value); break;
  }
  w.Notify(control, prop, index);
}

void Window::SetPosition(int control, long x, long y, long width, long height) {
  Lock l(ModelLock());
  Set(control, Prop::X, x);
  Set(control, Prop::Y, y);
  Set(control, Prop::Width, width);
  Set(control, Prop::Height, height);
}

Window::Rect Window::Position(int control) const {
  Lock l(ModelLock());
  return Rect{GetLong(control, Prop::X), GetLong(control, Prop::Y), GetLong(control, Prop::Width),
              GetLong(control, Prop::Height)};
}

Window::Rect Window::PixelPosition(int control) const {
  Lock l(ModelLock());
  const WindowState& w = *state_;
  if (control == 0) return Rect{std::lround(w.x), std::lround(w.y), std::lround(w.w), std::lround(w.h)};
  const ControlState* c = w.Find(control);
  if (!c) return {};
  return Rect{std::lround(c->x), std::lround(c->y), std::lround(c->w), std::lround(c->h)};
}

// --- use variables ---

void Window::Bind(int control, UseVar var) {
  Lock l(ModelLock());
  if (ControlState* c = state_->Find(control)) c->var = var;
}

UseVar Window::Use(int control) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? c->var : UseVar{};
}

void Window::Display(int control) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (control == 0) {
    for (auto& [n, c] : w.controls)
      if (c.var.Bound() || c.rows) Display(n);
    return;
  }
  ControlState* c = w.Find(control);
  if (!c) return;
  if (c->rows) TakeRows(w, *c);
  if (!c->var.Bound()) return;
  std::string value = c->var.Read();
  switch (c->type) {
    case ControlType::Check: {
      bool on = rt::CompareText(value, w.PropOf(c->props, Prop::TrueValue)) == 0;
      c->props[{static_cast<int>(Prop::Checked), 0}] = on ? "1" : "0";
      w.Notify(control, Prop::Checked);
      return;
    }
    case ControlType::Option:
      for (Child& k : c->children) {
        ControlState* r = w.Find(k.number);
        if (!r || r->type != ControlType::Radio) continue;
        bool on = rt::CompareText(value, RadioValue(w, *r)) == 0;
        r->props[{static_cast<int>(Prop::Checked), 0}] = on ? "1" : "0";
        w.Notify(k.number, Prop::Checked);
      }
      return;
    case ControlType::Progress:
      c->props[{static_cast<int>(Prop::Progress), 0}] = std::to_string(ToLong(value));
      w.Notify(control, Prop::Progress);
      return;
    default: {
      std::string shown = detail::ShowWithPicture(value, w.PropOf(c->props, Prop::Picture));
      if (ToLong(w.PropOf(c->props, Prop::ShowsPath))) shown = rt::ShownPath(shown);
      c->props[{static_cast<int>(Prop::ScreenText), 0}] = std::move(shown);
      w.Notify(control, Prop::ScreenText);
    }
  }
}

void Window::Update(int control) {
  Lock l(ModelLock());
  WindowState& w = *state_;
  if (control == 0) {
    for (auto& [n, c] : w.controls)
      if (c.var.Bound()) Update(n);
    return;
  }
  ControlState* c = w.Find(control);
  if (!c || !c->var.Bound()) return;
  switch (c->type) {
    case ControlType::Check:
      c->var.Write(w.PropOf(c->props, ToLong(w.PropOf(c->props, Prop::Checked)) ? Prop::TrueValue : Prop::FalseValue));
      return;
    case ControlType::Option:
      for (Child& k : c->children) {
        ControlState* r = w.Find(k.number);
        if (r && r->type == ControlType::Radio && ToLong(w.PropOf(r->props, Prop::Checked))) {
          c->var.Write(RadioValue(w, *r));
          return;
        }
      }
      return;
    default: {
      if (!IsTyped(c->type) && c->type != ControlType::DropList) return;
      std::string shown = w.PropOf(c->props, Prop::ScreenText);
      const std::string& picture = w.PropOf(c->props, Prop::Picture);
      if (ToLong(w.PropOf(c->props, Prop::ShowsPath))) {
        // a name shown as it was keeps its stored text; a changed one is
        // taken in the runtime's form
        if (shown == rt::ShownPath(detail::ShowWithPicture(c->var.Read(), picture))) return;
        std::replace(shown.begin(), shown.end(), '/', '\\');
      }
      c->var.Write(detail::TakeWithPicture(shown, picture));
    }
  }
}

// --- lists ---

namespace {

bool HasRow(const ControlState& c, long row) { return c.rows && row >= 1 && row <= c.rows->Rows(); }

const ListColumn* ColumnOf(const ControlState& c, int column) {
  if (!c.format || column < 1 || column > static_cast<int>(c.format->columns.size())) return nullptr;
  return &c.format->columns[static_cast<size_t>(column - 1)];
}

std::string Cell(const ControlState& c, long row, int column) {
  if (!HasRow(c, row)) return {};
  if (!c.format || c.format->columns.empty()) return column == 1 ? rt::Clip(c.rows->Field(row, 1)) : "";
  const ListColumn* col = ColumnOf(c, column);
  return col ? detail::ShowWithPicture(c.rows->Field(row, col->field), col->picture) : "";
}

long Icon(const ControlState& c, long row, int column) {
  const ListColumn* col = ColumnOf(c, column);
  return HasRow(c, row) && col && col->iconField ? ToLong(c.rows->Field(row, col->iconField)) : 0;
}

long Level(const ControlState& c, long row) {
  if (!HasRow(c, row) || !c.format) return 0;
  for (const ListColumn& col : c.format->columns)
    if (col.treeField) return ToLong(c.rows->Field(row, col.treeField));
  return 0;
}

void TakeRows(WindowState& w, ControlState& c) {
  c.shown.clear();
  long n = c.rows ? c.rows->Rows() : 0;
  int columns = c.format && !c.format->columns.empty() ? static_cast<int>(c.format->columns.size()) : 1;
  for (long r = 1; r <= n; ++r) {
    Window::ShownRow row;
    for (int k = 1; k <= columns; ++k) {
      row.cells.push_back(Cell(c, r, k));
      row.icons.push_back(Icon(c, r, k));
    }
    row.level = Level(c, r);
    c.shown.push_back(std::move(row));
  }
  w.Notify(c.number, Prop::Items);
}

}  // namespace

void Window::SetRows(int control, const RowSource* rows) {
  Lock l(ModelLock());
  if (ControlState* c = state_->Find(control)) {
    c->rows = rows;
    TakeRows(*state_, *c);
  }
}

std::vector<Window::ShownRow> Window::ShownRows(int control) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? c->shown : std::vector<ShownRow>{};
}

const ListFormat* Window::Format(int control) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c && c->format ? &*c->format : nullptr;
}

std::string Window::CellText(int control, long row, int column) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? Cell(*c, row, column) : "";
}

long Window::CellIcon(int control, long row, int column) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? Icon(*c, row, column) : 0;
}

long Window::RowLevel(int control, long row) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? Level(*c, row) : 0;
}

// --- images ---

void Window::SetImage(int control, std::vector<uint8_t> bytes) {
  Lock l(ModelLock());
  ControlState* c = state_->Find(control);
  if (!c) return;
  auto size = bytes.empty() ? std::nullopt : PictureSize(bytes);
  c->image = std::move(bytes);
  c->imageW = size ? size->first : 0;
  c->imageH = size ? size->second : 0;
  state_->Notify(control, Prop::ImageWidth);
}

const std::vector<uint8_t>& Window::Image(int control) const {
  static const std::vector<uint8_t> none;
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c ? c->image : none;
}

// A picture the control will show next: the display may decode it ahead,
// at the control's size when it stretches its picture.
void Window::PrefetchImage(int control, std::vector<uint8_t> bytes) {
  const Rect r = PixelPosition(control);
  const bool stretch = GetLong(control, Prop::Stretch) != 0;
  CurrentBackend().PrefetchPicture(std::move(bytes), stretch ? static_cast<int>(std::labs(r.width)) : 0,
                                   stretch ? static_cast<int>(std::labs(r.height)) : 0);
}

// --- alert keys ---

void Window::Alert(int control, int keycode) {
  Lock l(ModelLock());
  PropMap* m = state_->PropsOf(control);
  if (!m || IsAlerted(control, keycode) || keycode == 0) return;
  for (int i = 1; i <= 255; ++i) {
    auto key = PropKey{static_cast<int>(Prop::Alert), i};
    auto it = m->find(key);
    if (it == m->end() || ToLong(it->second) == 0) {
      (*m)[key] = std::to_string(keycode);
      state_->Notify(control, Prop::Alert, i);
      return;
    }
  }
}

void Window::Unalert(int control, int keycode) {
  Lock l(ModelLock());
  PropMap* m = state_->PropsOf(control);
  if (!m) return;
  for (auto it = m->begin(); it != m->end();) {
    if (it->first.first == static_cast<int>(Prop::Alert) && (keycode == 0 || ToLong(it->second) == keycode))
      it = m->erase(it);
    else
      ++it;
  }
}

bool Window::IsAlerted(int control, int keycode) const {
  Lock l(ModelLock());
  const PropMap* m = state_->PropsOf(control);
  if (!m || keycode == 0) return false;
  for (const auto& [k, v] : *m)
    if (k.first == static_cast<int>(Prop::Alert) && ToLong(v) == keycode) return true;
  return false;
}

// --- focus ---

void Window::Select(int control) {
  Lock l(ModelLock());
  if (!state_->Find(control)) return;
  state_->focus = control;
  state_->PostLocked(ev::Selected, control, 0);
  state_->Notify(0, Prop::Focus);
}

void Window::SelectText(int control, long start, long end) {
  Lock l(ModelLock());
  Set(control, Prop::SelStart, start);
  Set(control, Prop::SelEnd, end);
}

int Window::Focus() const { Lock l(ModelLock()); return state_->focus; }

bool Window::IsShown(int control) const {
  Lock l(ModelLock());
  const ControlState* c = state_->Find(control);
  return c && Shown(*state_, c);
}

std::vector<int> Window::KeyboardOrder() const { Lock l(ModelLock()); return state_->order; }

int Window::NextInOrder(int control, bool backwards) const {
  Lock l(ModelLock());
  const WindowState& w = *state_;
  const std::vector<int>& o = w.order;
  if (o.empty()) return 0;
  auto usable = [&](int n) {
    const ControlState* c = w.Find(n);
    return c && TakesFocus(c->type) && Usable(w, c);
  };
  auto it = std::find(o.begin(), o.end(), control);
  size_t start = it == o.end() ? (backwards ? 0 : o.size() - 1) : static_cast<size_t>(it - o.begin());
  for (size_t step = 1; step <= o.size(); ++step) {
    size_t i = backwards ? (start + o.size() - step) % o.size() : (start + step) % o.size();
    if (usable(o[i])) return o[i];
  }
  return 0;
}

// --- painting ---

void Window::LockPaint() { Lock l(ModelLock()); ++state_->paintLocks; }
void Window::UnlockPaint() {
  Lock l(ModelLock());
  if (state_->paintLocks > 0) --state_->paintLocks;
}
bool Window::PaintLocked() const { Lock l(ModelLock()); return state_->paintLocks > 0; }
void Window::Invalidate() {
  Lock l(ModelLock());
  ++state_->invalidations;
  CurrentBackend().Invalidated(*this);
}
long Window::Invalidations() const { Lock l(ModelLock()); return state_->invalidations; }

}  // namespace ui
