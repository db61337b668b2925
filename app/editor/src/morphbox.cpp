// The move and resize box: eight red grab handles around one field of the
// Form Editor; dragging inside the field moves it, dragging a handle
// resizes it, and a click outside the field ends the box.
//
// The mouse point and the field's rectangle are compared in one space:
// the coordinates the field is placed in (the window's client pixels plus
// the window's origin for a field that scrolls with the window). The
// editor's own window holds the mouse capture, since its client procedure
// is the one that receives the moves.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "tool_window.h"
#include "editor_internal.h"
#include "velmora/ui/keys.h"

namespace editor {

using ui::ControlType;
using ui::Prop;

namespace {

// The box window's controls: they only carry the mouse events.
enum : int { kDown = 1020, kMouseMove = 1030, kUp = 1050 };
constexpr int kFirstHandle = 10001;

// The state of one run of the box.
struct MorphHandles {
  Long CONTROLNO = 0;
  Long HBORDERCOLOR = 0;      // black
  Long HCONTENTSCOLOR = 255;  // red
  Byte HSIZE = 6;
  std::array<Long, 8> HNO{}, HX{}, HY{};
  Long OLDX = 0, OLDY = 0, NEWX = 0, NEWY = 0;
  Long FIRSTCONTROL = 0, LASTCONTROL = 0;
  Byte MOUSEISDOWN = 0, CLICKINGONCONTROL = 0;
  Byte OVERGRABHANDLE = 0;  // 1..8, 0 for none
};

// The resize cursor of each handle, clockwise from the top-left corner.
const char* const kHandleCursor[8] = {ui::cursor::SizeNWSE, ui::cursor::SizeNS, ui::cursor::SizeNESW,
                                      ui::cursor::SizeWE,   ui::cursor::SizeNWSE, ui::cursor::SizeNS,
                                      ui::cursor::SizeNESW, ui::cursor::SizeWE};

ui::WindowDesc MorphWindow() {
  ui::WindowDesc w;
  w.caption = "MorphBox";
  w.width = 60;
  w.height = 48;
  w.controls = {Ctl(ControlType::Button, "?DOWN", kDown, 4, 4, 50, 12, "MouseDown"),
                Ctl(ControlType::Button, "?UP", kUp, 4, 18, 50, 12, "MouseUp"),
                Ctl(ControlType::Button, "?MOUSEMOVE", kMouseMove, 4, 32, 50, 12, "MouseMove")};
  return w;
}

class MorphBoxWindow : public ToolWindow {
 public:
  MorphBoxWindow(FormEditor& editor, int control) : ToolWindow("MorphBox"), ed_(editor) {
    h_.CONTROLNO = control;
  }

  int Setup() override {
    BeginSetup();
    ui::Window& e = ed_.Win();
    if (!e.Exists(h_.CONTROLNO)) return cl::kNotify;
    h_.FIRSTCONTROL = static_cast<Long>(e.GetLong(0, Prop::LowestControl));
    h_.LASTCONTROL = static_cast<Long>(e.GetLong(0, Prop::HighestControl));
    for (int i = 0; i < 8; ++i) h_.HNO[static_cast<size_t>(i)] = kFirstHandle + i;
    scrolls_ = e.GetLong(h_.CONTROLNO, Prop::Scroll) != 0;
    // A field keeps at least one page pixel each way at any zoom.
    minSize_ = std::max<Long>(1, static_cast<Long>(std::ceil(ed_.ZoomFactor)));
    DrawHandles();
    Load(MorphWindow());
    Win().Set(0, Prop::Hide, 1L);
    Open();
    Win().Alert(0, ui::key::Esc);
    e.CaptureMouse();
    InstallProc();
    RestorePosition(app::INIMgr());
    return cl::kBenign;
  }

  int Teardown() override {
    ui::Window& e = ed_.Win();
    // The editor's own procedure first, so no later mouse message reaches
    // a box that is going.
    if (installed_) e.SetClientProc(kept_);
    e.ReleaseMouse();
    RemoveHandles();
    e.Invalidate();
    ui::SetCursor(ui::cursor::Arrow);
    return ToolWindow::Teardown();
  }

  int OnAccepted() override {
    const int result = ProcedureWindow::OnAccepted();
    switch (Win().Field()) {
      case kDown: ButtonDown(); break;
      case kMouseMove: MouseMoved(); break;
      case kUp: ButtonUp(); break;
      default: break;
    }
    return result;
  }

  int OnWindowEvent() override {
    const int event = Win().EventNo();
    if (event == ui::ev::LoseFocus || event == ui::ev::AlertKey) End();
    return ProcedureWindow::OnWindowEvent();
  }

 private:
  // The box's procedure in front of the editor's client procedure: each
  // mouse message becomes an accepted event of one of the box's controls,
  // carrying the message's position.
  void InstallProc() {
    auto kept = std::make_shared<ui::ClientProc>();
    auto last = std::make_shared<std::pair<int, int>>(INT_MIN, INT_MIN);
    *kept = ed_.Win().SetClientProc(
        [kept, last](ui::Window& w, unsigned message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
          const int x = ui::MouseLParamX(lParam), y = ui::MouseLParamY(lParam);
          if (message == ui::msg::MouseMove) {
            if (x != last->first || y != last->second) {
              ui::Post(ui::ev::Accepted, kMouseMove);
              *last = {x, y};
            }
          } else if (message == ui::msg::LButtonDown) {
            ui::Post(ui::ev::Accepted, kDown);
          } else if (message == ui::msg::LButtonUp) {
            ui::Post(ui::ev::Accepted, kUp);
          }
          return *kept ? (*kept)(w, message, wParam, lParam) : 0;
        });
    kept_ = *kept;
    installed_ = true;
  }

  // The field's rectangle where it is placed.
  Rect Field() const {
    const ui::Window::Rect r = ed_.Win().Position(h_.CONTROLNO);
    return {static_cast<Long>(r.x), static_cast<Long>(r.y), static_cast<Long>(r.width), static_cast<Long>(r.height)};
  }

  // The current event's mouse point in the field's coordinates.
  void Point(Long& x, Long& y) const {
    x = Win().MouseX();
    y = Win().MouseY();
    if (scrolls_) {
      x += static_cast<Long>(ed_.Win().GetLong(0, Prop::XOrigin));
      y += static_cast<Long>(ed_.Win().GetLong(0, Prop::YOrigin));
    }
  }

  static bool Inside(const Rect& r, Long x, Long y) {
    const Rect n = Normalised(r);
    return x >= n.x && x <= n.x + n.width && y >= n.y && y <= n.y + n.height;
  }

  // The first handle whose square holds the point; 0 for none.
  Byte HandleAt(Long x, Long y) const {
    const Long s = h_.HSIZE;
    for (size_t i = 0; i < 8; ++i)
      if (x >= h_.HX[i] && x < h_.HX[i] + s && y >= h_.HY[i] && y < h_.HY[i] + s) return static_cast<Byte>(i + 1);
    return 0;
  }

  // Places the handles around the field, creating them the first time.
  void DrawHandles() {
    ui::Window& e = ed_.Win();
    const Rect r = Field();
    const Long s = h_.HSIZE, x = r.x, y = r.y, w = r.width, h = r.height;
    const Long xs[8] = {x, x + w / 2 - s / 2, x + w - s, x + w - s, x + w - s, x + w / 2 - s / 2, x, x};
    const Long ys[8] = {y, y, y, y + h / 2 - s / 2, y + h - s, y + h - s, y + h - s, y + h / 2 - s / 2};
    for (size_t i = 0; i < 8; ++i) {
      Long& n = h_.HNO[i];
      if (!e.Exists(n) || e.GetLong(n, Prop::Type) != static_cast<long>(ControlType::Region)) {
        int made = e.CreateControl(ControlType::Region, static_cast<int>(n));
        if (!made) made = e.CreateControl(ControlType::Region);  // the number is taken
        n = made;
        e.Set(n, Prop::FillColor, h_.HCONTENTSCOLOR);
        e.Set(n, Prop::Color, h_.HBORDERCOLOR);
        e.Set(n, Prop::LineWidth, 1L);
        e.Set(n, Prop::Scroll, scrolls_ ? 1L : 0L);
      }
      h_.HX[i] = xs[i];
      h_.HY[i] = ys[i];
      e.SetPosition(n, xs[i], ys[i], s, s);
      e.Unhide(n);
    }
  }

  void RemoveHandles() {
    for (Long& n : h_.HNO) {
      if (n && ed_.Win().GetLong(n, Prop::Type) == static_cast<long>(ControlType::Region)) ed_.Win().Destroy(n);
      n = 0;
    }
  }

  // The field (and the X of a checked check) at a new rectangle.
  void Place(const Rect& r) {
    ui::Window& e = ed_.Win();
    e.SetPosition(h_.CONTROLNO, r.x, r.y, r.width, r.height);
    if (const long position = ed_.FindControl(h_.CONTROLNO)) {
      const FormControl& f = ed_.Queue.At(position);
      if (f.LINE_FEQ1) e.SetPosition(f.LINE_FEQ1, r.x, r.y, r.width, r.height);
      if (f.LINE_FEQ2) e.SetPosition(f.LINE_FEQ2, r.x + r.width, r.y, -r.width, r.height);
    }
    DrawHandles();
  }

  // A handle moves the edges it sits on; an edge stops short of the one
  // opposite, so the field never gets a negative or zero size.
  void Resize(int handle, Long dx, Long dy) {
    const Rect r = Field();
    Long left = r.x, top = r.y, right = r.x + r.width, bottom = r.y + r.height;
    const bool moveLeft = handle == 1 || handle == 7 || handle == 8;
    const bool moveRight = handle >= 3 && handle <= 5;
    const bool moveTop = handle >= 1 && handle <= 3;
    const bool moveBottom = handle >= 5 && handle <= 7;
    if (moveLeft) left = std::min(left + dx, right - minSize_);
    if (moveRight) right = std::max(right + dx, left + minSize_);
    if (moveTop) top = std::min(top + dy, bottom - minSize_);
    if (moveBottom) bottom = std::max(bottom + dy, top + minSize_);
    Place({left, top, right - left, bottom - top});
  }

  void SetCursor(const char* name) {
    if (cursor_ == name) return;
    cursor_ = name;
    ui::SetCursor(name);
  }

  void ButtonDown() {
    Long x = 0, y = 0;
    Point(x, y);
    if (!Inside(Field(), x, y)) {
      End();
      return;
    }
    h_.OLDX = x;
    h_.OLDY = y;
    h_.MOUSEISDOWN = 1;
    h_.OVERGRABHANDLE = HandleAt(x, y);
    h_.CLICKINGONCONTROL = 1;
    if (!h_.OVERGRABHANDLE) SetCursor(ui::cursor::SizeAll);
  }

  void MouseMoved() {
    Point(h_.NEWX, h_.NEWY);
    const Long dx = h_.NEWX - h_.OLDX, dy = h_.NEWY - h_.OLDY;
    h_.OLDX = h_.NEWX;
    h_.OLDY = h_.NEWY;
    if (!h_.MOUSEISDOWN) {
      h_.OVERGRABHANDLE = HandleAt(h_.NEWX, h_.NEWY);
      SetCursor(h_.OVERGRABHANDLE ? kHandleCursor[h_.OVERGRABHANDLE - 1] : ui::cursor::Arrow);
      return;
    }
    if (!dx && !dy) return;
    if (h_.OVERGRABHANDLE) {
      Resize(h_.OVERGRABHANDLE, dx, dy);
    } else if (h_.CLICKINGONCONTROL) {
      const Rect r = Field();
      Place({r.x + dx, r.y + dy, r.width, r.height});
    }
  }

  void ButtonUp() {
    h_.MOUSEISDOWN = 0;
    h_.CLICKINGONCONTROL = 0;
    SetCursor(ui::cursor::Arrow);
    RemoveHandles();
    for (size_t i = 0; i < 8; ++i) h_.HNO[i] = kFirstHandle + static_cast<Long>(i);
    DrawHandles();
  }

  // Lets go of the mouse and closes the box.
  void End() {
    ed_.Win().ReleaseMouse();
    Win().Post(ui::ev::CloseWindow);
  }

  FormEditor& ed_;
  MorphHandles h_;
  ui::ClientProc kept_;
  bool installed_ = false;
  bool scrolls_ = true;
  Long minSize_ = 1;
  std::string cursor_;
};

}  // namespace

void FormEditor::MorphBox(int control) {
  MorphBoxWindow box(*this, control);
  box.RunWindow();
}

}  // namespace editor
