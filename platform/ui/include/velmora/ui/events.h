#pragma once
// Event numbers. The system stores some of these as data, so every value is
// fixed for good: field events below 256, window events from 256 to 1023,
// the program's own events from 1024 up.
namespace ui {

namespace ev {
// Field events: they carry the number of the control they concern.
inline constexpr int Accepted = 1;
inline constexpr int NewSelection = 2;
inline constexpr int ScrollUp = 3;
inline constexpr int ScrollDown = 4;
inline constexpr int PageUp = 5;
inline constexpr int PageDown = 6;
inline constexpr int Expanded = 7;
inline constexpr int Contracted = 8;
inline constexpr int MouseDown = 9;
inline constexpr int MouseUp = 10;
inline constexpr int MouseIn = 11;
inline constexpr int MouseOut = 12;
inline constexpr int MouseMove = 13;
inline constexpr int PreAlertKey = 14;
inline constexpr int AlertKey = 15;
inline constexpr int Rejected = 16;
inline constexpr int TabChanging = 17;
inline constexpr int Selected = 257;  // the control got the focus
// Window events: control number 0.
inline constexpr int CloseWindow = 513;
inline constexpr int CloseDown = 514;
inline constexpr int OpenWindow = 515;
inline constexpr int GainFocus = 516;
inline constexpr int LoseFocus = 517;
inline constexpr int Timer = 518;
inline constexpr int Sized = 561;
inline constexpr int Moved = 562;
inline constexpr int Maximized = 563;
inline constexpr int Iconized = 564;
inline constexpr int Restored = 565;
// First number of the program's own events.
inline constexpr int User = 1024;
}  // namespace ev

// True for the events that concern one control.
constexpr bool IsFieldEvent(int event) { return event > 0 && event < 512; }

// One queued event.
struct Event {
  int event = 0;
  int control = 0;
  int keycode = 0;   // key or mouse button that caused it (0 when none)
  int mouseX = 0;    // mouse position in the window's client area, pixels
  int mouseY = 0;
};

}  // namespace ui
