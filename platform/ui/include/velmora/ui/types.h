#pragma once
// Control kinds, property numbers, fonts, cursors and the other small
// types of the window model.
#include <cstdint>
#include <string>

namespace ui {

// Control type codes. The system stores these as data (field definitions,
// link registrations), so the values are fixed.
enum class ControlType : int {
  None = 0,
  Image = 3,
  Region = 4,
  Line = 5,
  Box = 6,
  String = 7,
  Entry = 8,
  Button = 9,
  Prompt = 10,
  Option = 11,
  Check = 12,
  Group = 13,
  List = 14,
  Combo = 15,
  Spin = 16,
  Text = 17,
  Sheet = 18,
  Tab = 19,
  Panel = 20,
  Radio = 21,
  Menu = 22,
  Item = 23,
  Toolbar = 24,
  Progress = 25,   // progress bar: its position within RangeLow..RangeHigh
  DropList = 33,
  DropCombo = 34,  // list with choices that also takes typed text
};

// Built-in actions of menu items and buttons.
enum class StdAction : int {
  None = 0,
  Close = 1,
  PrintSetup = 2,
  Cut = 3,
  Copy = 4,
  Paste = 5,
  Tile = 6,
  Cascade = 7,
  Arrange = 8,
  HelpIndex = 9,     // the help actions: the control's accepted event (no Windows help)
  HelpSearch = 10,
  HelpOnHelp = 11,
};

// Property numbers for reading and setting properties by number. Values
// are text; numeric properties read as decimal text. Properties marked
// "indexed" take a 1-based index as well.
enum class Prop : int {
  // common to controls
  Type = 1,          // ControlType code (read only)
  Text = 2,          // text, caption of a window, file name of an image
  ScreenText = 3,    // what the control shows now
  Tip = 4,
  X = 5, Y = 6, Width = 7, Height = 8,  // window units (dialog units or pixels)
  FontName = 9, FontSize = 10, FontStyle = 11, FontColor = 12,
  Color = 13,        // background colour (-1 default)
  FillColor = 14,    // box and region fill
  Flat = 15, Boxed = 16, Transparent = 17,
  Hide = 18, Disable = 19, ReadOnly = 20,
  Cursor = 21,       // cursor name ("" none)
  Use = 22,          // use name (read only)
  Picture = 23,      // display picture
  MaxLength = 24,    // entry: most characters the control takes (0 no limit)
  Selected = 25,     // list: selected row; sheet: selected tab (1-based)
  Follows = 26,      // set: put this control after the given one in the keyboard order
  Parent = 27,       // number of the containing control (0 the window)
  Format = 28,       // list format string
  From = 29,         // choices joined by "|"
  Icon = 30,
  IconList = 31,     // indexed: icon file of a list's icon number
  TrueValue = 32, FalseValue = 33,
  Immediate = 34,    // entry: each keystroke posts a new selection;
                     // region: mouse in, out and move are reported
  LineWidth = 35,
  VScroll = 36, HScroll = 37,
  Alignment = 38,    // 0 left, 1 centre, 2 right
  Scroll = 39,       // scrolls with the window's origin
  Alert = 40,        // indexed 1..255: alerted key codes (0 empty)
  RangeLow = 41, RangeHigh = 42, Step = 43,
  Value = 44,        // radio: the value it gives its option
  Std = 45,          // StdAction of an item or button
  NoWidth = 46, NoHeight = 47,  // image: take the picture's natural size
  Stretch = 48,      // image: picture drawn scaled to the control
  ImageWidth = 49, ImageHeight = 50,  // image: natural size in pixels (read only)
  Checked = 51,      // check and radio: 1 when checked
  Drop = 52,         // drop list: rows shown when dropped
  Key = 53,          // the toolbar button's or item's key code
  MouseDownRow = 54, MouseDownColumn = 55,
  MouseUpRow = 56, MouseUpColumn = 57,
  MouseMoveRow = 58, MouseMoveColumn = 59,
  Items = 60,        // list: number of rows (read only)
  ColumnStyle = 61,  // indexed by column: style number of a list column
  StyleFontColor = 62,  // indexed by style number
  StyleFontStyle = 63,  // indexed by style number
  Contents = 64,     // text control: whole text
  SelStart = 65, SelEnd = 66,
  RichText = 67,     // text control: 1 shows Html as rich text, read only
  Html = 68,         // text control with RichText: its rich contents as
                     // HTML in UTF-8 ("" shows the screen text)
  Progress = 69,     // progress bar: its position (range 0..100 unless
                     // RangeLow and RangeHigh are set); a bound variable
                     // sets it at Display
  SingleLine = 70,   // text control: 1 takes no line break (Enter is the
                     // window's, as in an entry; typed line breaks and
                     // tabs become blanks)
  ShowsPath = 71,    // 1: the control shows a file name from its variable
                     // in host form ("/tmp/a.pdf") and gives it back in
                     // the runtime's ("\\tmp\\a.pdf")
  // window properties (control number 0)
  Pixels = 100,      // 1: positions and sizes in pixels
  XOrigin = 101, YOrigin = 102,
  Timer = 103,       // hundredths of a second between timer events (0 none)
  StatusText = 104,  // indexed by zone
  StatusWidths = 105,  // indexed by zone
  LowestControl = 106, HighestControl = 107,
  Thread = 108,      // owning thread (read only)
  Buffer = 109,      // drawing is double-buffered
  Maximize = 110,
  Background = 111,  // window background picture
  ToolbarBackground = 112,
  Focus = 113,       // control with the focus (read only)
  Mdi = 114,         // 1 for a child of the frame (read only)
  Handle = 115,      // a number standing for the window (read only)
};

// Font style bits and weights.
namespace style {
inline constexpr int Regular = 400;
inline constexpr int Bold = 700;
inline constexpr int Italic = 0x1000;
inline constexpr int Underline = 0x2000;
inline constexpr int Strikeout = 0x4000;
inline constexpr int WeightMask = 0x0FFF;
}  // namespace style

struct Font {
  std::string name;
  int size = 0;      // points; 0 the default
  int style = 0;     // weight plus style bits; 0 the default
  long color = -1;   // -1 the default
  bool operator==(const Font&) const = default;
};

// Standard cursor names; any other name is a cursor file, "~" marking one
// linked into the program.
namespace cursor {
inline constexpr const char* Arrow = "Arrow";
inline constexpr const char* Wait = "Wait";
inline constexpr const char* Cross = "Cross";
inline constexpr const char* IBeam = "IBeam";
inline constexpr const char* SizeAll = "SizeAll";
inline constexpr const char* SizeNWSE = "SizeNWSE";
inline constexpr const char* SizeNESW = "SizeNESW";
inline constexpr const char* SizeNS = "SizeNS";
inline constexpr const char* SizeWE = "SizeWE";
inline constexpr const char* Hand = "Hand";
}  // namespace cursor

// Client-area mouse messages delivered to a window's client procedure.
namespace msg {
inline constexpr unsigned MouseMove = 0x200;
inline constexpr unsigned LButtonDown = 0x201;
inline constexpr unsigned LButtonUp = 0x202;
inline constexpr unsigned LButtonDblClk = 0x203;
inline constexpr unsigned RButtonDown = 0x204;
inline constexpr unsigned RButtonUp = 0x205;
}  // namespace msg

// The lParam of a mouse message: x in the low 16 bits, y in the high 16
// bits, both signed.
constexpr intptr_t MakeMouseLParam(int x, int y) {
  return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
constexpr int MouseLParamX(intptr_t lParam) {
  return static_cast<int16_t>(static_cast<uint16_t>(lParam & 0xFFFF));
}
constexpr int MouseLParamY(intptr_t lParam) {
  return static_cast<int16_t>(static_cast<uint16_t>((lParam >> 16) & 0xFFFF));
}

}  // namespace ui
