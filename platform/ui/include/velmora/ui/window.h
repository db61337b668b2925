#pragma once
// The window model: windows built from descriptions, controls by number,
// properties by number, per-window event queues and the event loop.
//
// Every call is safe from any thread: the model has one process-wide lock.
// A window belongs to the thread that opened it; events posted to a thread
// go to the window on top of that thread's stack, and only the owning
// thread runs the window's event loop (Accept), which waits without the
// runtime lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/ui/desc.h"
#include "velmora/ui/events.h"
#include "velmora/ui/list_format.h"
#include "velmora/ui/rows.h"
#include "velmora/ui/types.h"
#include "velmora/ui/use.h"

namespace ui {

class Window;
struct WindowState;

// An entry of a menu, of the menu bar, of the toolbar or of a container.
struct ChildEntry {
  int number = 0;  // 0: a menu rule
  bool hidden = false;
};

// A client-area procedure: mouse messages reach it with their codes and
// lParam (MakeMouseLParam). It calls the procedure it replaced to pass a
// message on; the first one in the chain does nothing and returns 0.
using ClientProc = std::function<intptr_t(Window&, unsigned message, uintptr_t wParam, intptr_t lParam)>;

class Window : public std::enable_shared_from_this<Window> {
 public:
  // Builds a window (loaded, not open). Its controls exist from now on.
  static std::shared_ptr<Window> Create(const WindowDesc& desc);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Opens the window on the calling thread: it goes on top of the thread's
  // windows and receives the window-opened event first.
  void Open();
  bool IsOpen() const;
  // Closes the window; the window below it on its thread gets the
  // gain-focus event. Closing the frame posts the close event to every
  // open child window of the frame.
  void Close();
  WindowKind Kind() const;
  int Thread() const;  // owning thread, 0 before Open
  // The window this one was opened from and stays above: the window on
  // top of the opening thread then, else the frame; nullptr for the frame
  // and once the owner is gone.
  std::shared_ptr<Window> Owner() const;
  // False while a window opened later on the same thread is shown: the
  // thread waits in that window's loop, so this one takes no input (the
  // Input... calls below refuse it) until that window has closed. A hidden
  // window above it does not count.
  bool TakesInput() const;
  // The shown window this one waits under (nullptr when it takes input).
  std::shared_ptr<Window> WaitingFor() const;

  // --- events ---
  // Waits for the next event and makes it current; false once the window
  // has closed: after Close, or after a close-window event that the
  // program did not cancel with CancelClose before calling Accept again.
  bool Accept();
  // Like Accept, but returns false instead of waiting when no event is
  // queued (and no timer is due).
  bool AcceptPending();
  void CancelClose();
  // How many close-window events the program has cancelled so far: who
  // asked the window to close learns that it stays.
  long CloseRefusals() const;
  const Event& Current() const;
  int EventNo() const { return Current().event; }
  int Field() const { return Current().control; }
  int Keycode() const { return Current().keycode; }
  void SetKeycode(int keycode);
  int MouseX() const { return Current().mouseX; }
  int MouseY() const { return Current().mouseY; }
  // Queues an event for this window (control 0: the window itself).
  void Post(int event, int control = 0, int keycode = 0);
  size_t PendingEvents() const;

  // --- controls ---
  // Control number of a use name ("?OK", any case); 0 when none.
  int Number(std::string_view use) const;
  bool Exists(int control) const;
  std::vector<int> Controls() const;  // every number, ascending
  // What a control holds, in order; kMenuBar and kToolbar give the
  // window's menus and toolbar, 0 its top-level controls.
  static constexpr int kMenuBar = -2147483647 - 1;
  static constexpr int kToolbar = -2147483647;
  std::vector<ChildEntry> Children(int control) const;
  // Creates a control at run time, hidden. number 0: one above the highest
  // positive number in use. Returns the number, 0 when it is taken or the
  // parent does not exist.
  int CreateControl(ControlType type, int number = 0, int parent = 0);
  // Destroys a control and its children; nothing for an unknown number.
  void Destroy(int control);

  // Properties by number; control 0 is the window. Unknown controls read
  // as "" and ignore sets.
  std::string Get(int control, Prop prop, int index = 0) const;
  long GetLong(int control, Prop prop, int index = 0) const;
  void Set(int control, Prop prop, std::string_view value, int index = 0);
  void Set(int control, Prop prop, long value, int index = 0);
  void Set(int control, Prop prop, int value, int index = 0) { Set(control, prop, static_cast<long>(value), index); }
  void Set(int control, Prop prop, const char* value, int index = 0) { Set(control, prop, std::string_view(value), index); }

  // Visible in the model: neither it nor a container above it is hidden,
  // and every sheet above it shows the tab it is on.
  bool IsShown(int control) const;
  void Hide(int control) { Set(control, Prop::Hide, 1L); }
  void Unhide(int control) { Set(control, Prop::Hide, 0L); }
  void Enable(int control) { Set(control, Prop::Disable, 0L); }
  void Disable(int control) { Set(control, Prop::Disable, 1L); }
  // Position and size in the window's units; a negative or zero field of
  // SetPosition is set as given.
  void SetPosition(int control, long x, long y, long width, long height);
  struct Rect { long x = 0, y = 0, width = 0, height = 0; };
  Rect Position(int control) const;
  // The same in pixels, whatever the window's units.
  Rect PixelPosition(int control) const;
  // Scrolling: a window with HScroll or VScroll set (control 0) scrolls its
  // shown controls that scroll with it. The largest x and y origin, in
  // pixels, that still shows them in the client area (0 when they fit); a
  // scrolling window keeps its origin within 0 and these.
  struct ScrollRange { long maxX = 0, maxY = 0; };
  ScrollRange ScrollLimits() const;
  // The width of a vertical and the height of a horizontal scroll bar that
  // cover the client area's edges when shown (0 without a display).
  void SetScrollBarSize(long vertical, long horizontal);

  // Use variables.
  void Bind(int control, UseVar var);
  UseVar Use(int control) const;
  // Control (0: every control) shows its variable's value; a list takes
  // its rows again.
  void Display(int control = 0);
  // Control's (0: every) shown value goes into its variable.
  void Update(int control = 0);

  // Lists.
  void SetRows(int control, const RowSource* rows);
  const ListFormat* Format(int control) const;
  // Cell text (with the column's picture), icon number and tree level of
  // a row; 0 when the column has none.
  std::string CellText(int control, long row, int column) const;
  long CellIcon(int control, long row, int column) const;
  long RowLevel(int control, long row) const;
  // What a list shows, as taken from its rows by the owning thread at
  // SetRows and Display (a backend reads this, never the rows themselves).
  struct ShownRow {
    std::vector<std::string> cells;
    std::vector<long> icons;
    long level = 0;
  };
  std::vector<ShownRow> ShownRows(int control) const;

  // Images: a picture's bytes (a BLOB); setting Prop::Text reads a file.
  void SetImage(int control, std::vector<uint8_t> bytes);
  const std::vector<uint8_t>& Image(int control) const;
  // A picture the control is about to show (a hint: nothing changes).
  void PrefetchImage(int control, std::vector<uint8_t> bytes);

  // Alert keys on a control (0: the window).
  void Alert(int control, int keycode);
  void Unalert(int control, int keycode = 0);  // 0: every key
  bool IsAlerted(int control, int keycode) const;

  // Focus and selection.
  void Select(int control);  // gives the focus; posts the selected event
  void SelectText(int control, long start, long end);
  int Focus() const;
  // The control after `control` in the keyboard order that can take the
  // focus (visible, enabled, not a prompt, string, line, box or image).
  int NextInOrder(int control, bool backwards = false) const;
  std::vector<int> KeyboardOrder() const;

  // Client-area procedure: installs `proc` and returns the previous one.
  ClientProc SetClientProc(ClientProc proc);
  ClientProc CurrentClientProc() const;
  // While a window holds the mouse capture, every mouse message goes to
  // its client procedure, wherever the mouse is.
  void CaptureMouse();
  void ReleaseMouse();
  static Window* MouseCapture();

  // Painting.
  void LockPaint();
  void UnlockPaint();
  bool PaintLocked() const;
  void Invalidate();
  long Invalidations() const;

  // --- user input: the backend (or a test) calls these ---
  // A click on a button, check, radio, menu item or toolbar button, or
  // Enter in a field: the field takes its shown text into its variable;
  // a check toggles; a radio sets its option; standard actions run.
  // False when the control cannot be used (hidden, disabled, unknown).
  bool InputAccept(int control);
  // Text typed into an entry or text control (clipped to its maximum
  // length); an immediate entry posts a new selection.
  bool InputType(int control, std::string_view text);
  // A key pressed on a control: alerted keys post pre-alert and alert
  // events; Tab and Shift+Tab move the focus.
  bool InputKey(int control, int keycode);
  // A click on a row of a list (keycode: the mouse button).
  bool InputSelectRow(int control, long row, int keycode = 0, int column = 0);
  // A click on a tree row's expand/contract box: the row is selected
  // first, then expanded (closed rows) or contracted.
  bool InputTreeBox(int control, long row);
  // The user gives a control the focus: the selected event, unless it had
  // the focus already.
  bool InputFocus(int control);
  bool InputTab(int control, int tab);  // a sheet's tab is chosen
  // A spin's up (+1) or down (-1) arrow: the value moves by the step
  // within the range, goes into the variable and posts a new selection.
  bool InputSpin(int control, int direction);
  void InputClose();                    // the close box
  // The user made this window the active one (clicked into it, chose it
  // from the frame's Window menu): it gets the gain-focus event when
  // another window was active before. False while it takes no input.
  bool InputActivate();
  void InputSize(long width, long height);  // pixels
  // The window was moved or maximized (restored) by the user: x and y in
  // pixels, of the frame on the screen or of a child inside the frame.
  void InputMove(long x, long y);
  void InputMaximize(bool maximized);
  // A mouse message at a client position (pixels): the capturing window's
  // client procedure gets it when the mouse is captured; regions that
  // report mouse moves get mouse in, move and out.
  intptr_t InputMouse(unsigned message, int x, int y, uintptr_t wParam = 0);

  WindowState& State() const { return *state_; }

 private:
  Window();
  std::unique_ptr<WindowState> state_;
  friend struct WindowState;
};

// Text as a control that takes no line break shows it (Prop::SingleLine):
// each line break (CR LF, LF or CR) and each tab is one blank.
std::string SingleLineText(std::string_view text);

// The window with this handle (Prop::Handle); nullptr when it is gone.
std::shared_ptr<Window> WindowFromHandle(long handle);

// The calling thread's number (the runtime's).
int CurrentThread();
// The window on top of a thread's stack (0: the calling thread's).
std::shared_ptr<Window> TopWindow(int thread = 0);
// Every open window, in opening order.
std::vector<std::shared_ptr<Window>> OpenWindows();
// The application frame while it is open.
std::shared_ptr<Window> Frame();
// The window the user works in: the one opened, activated or given the
// focus back last; nullptr when that one has closed.
std::shared_ptr<Window> ActiveWindow();
// Posts an event to the top window of a thread (0: the calling thread, or
// inside a client procedure the thread owning that window, and the event
// carries the position of the mouse message in that window's client
// area). False when the thread has no open window.
bool Post(int event, int control = 0, int thread = 0);

// The mouse cursor of the program.
void SetCursor(std::string_view name);
std::string CurrentCursor();

}  // namespace ui
