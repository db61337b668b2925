#pragma once
// Internal state of windows and controls, shared by the model's sources.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "velmora/ui/backend.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/window.h"

namespace ui {

using PropKey = std::pair<int, int>;  // property number, index
using PropMap = std::map<PropKey, std::string>;

using Child = ChildEntry;

struct ControlState {
  int number = 0;
  ControlType type = ControlType::None;
  std::string use;
  int parent = 0;
  bool inToolbar = false;
  double x = 0, y = 0, w = 0, h = 0;  // pixels
  PropMap props;
  UseVar var;
  const RowSource* rows = nullptr;
  std::vector<Window::ShownRow> shown;  // rows as last taken
  std::optional<ListFormat> format;
  std::vector<uint8_t> image;
  int imageW = 0, imageH = 0;
  std::vector<Child> children;
  bool hovered = false;  // mouse over a region that reports mouse moves
};

struct WindowState {
  Window* self = nullptr;
  std::weak_ptr<Window> weak;
  WindowKind kind = WindowKind::Window;
  long handle = 0;
  Font font;
  double x = 0, y = 0, w = 0, h = 0;  // pixels
  PropMap props;
  std::map<int, ControlState> controls;
  long scrollBarW = 0, scrollBarH = 0;  // what shown scroll bars cover, pixels
  std::vector<Child> menus, toolbar, top;
  std::vector<int> order;  // keyboard order
  bool open = false;
  bool closed = false;
  int thread = 0;
  std::weak_ptr<Window> owner;
  std::deque<Event> queue;
  std::condition_variable_any wake;
  Event current;
  bool closePending = false;
  bool closeCancelled = false;
  long closeRefusals = 0;  // closes cancelled with CancelClose
  int focus = 0;
  ClientProc proc;
  int paintLocks = 0;
  long invalidations = 0;
  int mouseX = 0, mouseY = 0;
  std::chrono::steady_clock::time_point nextTimer;

  bool Pixels() const;
  DialogBase Base() const;
  double ToPixelsX(double v) const;
  double ToPixelsY(double v) const;
  long FromPixelsX(double v) const;
  long FromPixelsY(double v) const;
  ControlState* Find(int number);
  const ControlState* Find(int number) const;
  // The window's own properties for 0, a control's otherwise; nullptr for
  // an unknown control.
  PropMap* PropsOf(int control);
  const PropMap* PropsOf(int control) const;
  std::string PropOf(const PropMap& m, Prop p, int index = 0) const;
  void Notify(int control, Prop p, int index = 0);
  void PostLocked(int event, int control, int keycode);
};

// Text read as a whole number (0 when it holds none).
long ToLong(std::string_view text);
// Controls that take typed text.
bool IsTyped(ControlType type);
// A control is shown when neither it nor a container above it is hidden,
// and each sheet above it has its tab selected; it can be used when it is
// shown and neither it nor a container above it is disabled.
bool Shown(const WindowState& w, const ControlState* c);
bool Usable(const WindowState& w, const ControlState* c);
// The scroll limits of a window and an origin kept within them (scroll.cpp).
Window::ScrollRange ScrollLimitsOf(const WindowState& w);
long ClampOrigin(const WindowState& w, Prop origin, long value);

namespace registry {
// Gives a new window its handle; Release forgets it when the window goes.
long Adopt(const std::shared_ptr<Window>& window);
void Release(long handle);
}  // namespace registry

// The model's lock, held for every access to any window.
std::recursive_mutex& ModelLock();
using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace ui
