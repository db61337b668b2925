#pragma once
// The Form Editor's control queue and its geometry.
//
// The editor shows one page of a form as a picture and lays every field of
// the form over it as a live window control; the queue FormControls holds
// one entry per field control, all pages together. Field geometry is kept
// in page pixels: whole screen pixels at zoom 100 %, from the top-left
// corner of the page picture. On the screen a field sits at
// trunc(page pixels x zoom factor + page origin); in the PDF, whose units
// are points (1/72 inch) from the lower-left corner of the page, its left
// edge is x / resolution x 72 + the page box x offset and its top edge the
// page height + the page box y offset - y / resolution x 72. Every
// conversion to whole pixels truncates toward zero.
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"

namespace editor {

using rt::Byte;
using rt::CString;
using rt::Long;
using rt::Real;
using rt::Short;
using rt::String;

// Control type codes of field controls (stored in PAG:CONTROLTYPE).
enum ControlKind : Long {
  kRegionCheck = 4,  // check box placed in the editor: an X of two lines
  kEntry = 8,        // text with a maximum length; radio button
  kCheck = 12,       // check box read from the PDF
  kText = 17,        // multi-line or unlimited text; text placed in the editor
  kChoice = 34,      // PDF choice field
};

// PDF field kinds.
enum PdfKind : Short { kPdfText = 1, kPdfCheckBox = 3, kPdfRadio = 4, kPdfChoice = 5 };

// The 256-byte value of a field, bound as its control's use variable so
// that typing changes it directly. The entry owns it.
struct ValueBuffer {
  std::array<char, 256> text{};
  std::string Read() const { return std::string(text.data(), ::strnlen(text.data(), text.size())); }
  void Write(std::string_view s);
};

// One field control (prefix FCL).
struct FormControl {
  CString<256> NAME;                  // the control's tip; "Field n" for new fields
  std::shared_ptr<ValueBuffer> VALUE;  // none for a check placed in the editor
  Long STYLE = 0, CTL = 0;
  rt::ULong CRC = 0;
  std::shared_ptr<void> REF;
  Long HANDLE = 0, REGION = 0;
  // the attribute group CTLG
  Long CTLTYPE = 0;
  Byte CTLEXISTS = 0;
  CString<16> CTLLABEL;
  std::string CTLCAPTION, CTLTIPS;
  Long CTLNO = 0;  // the window control's number
  Long CTLID = 0;  // unique number within the form (PAG:CONTROLUNIQUEID)
  Long CTLPARNT = 0;
  Long CTLX = 0, CTLY = 0, CTLW = 0, CTLH = 0;  // page pixels
  CString<64> FONTNAME;
  Short FONTSIZE = 0;  // points at zoom 100 %
  Byte FONTUL = 0, FONTIT = 0, FONTBOLD = 0, FONTSTRIKE = 0;
  rt::UShort FONTPAGE = 0;
  Long COLORFG = 0, COLORBG = 0, COLORFGS = 0, COLORBGS = 0;
  String<1> ALIGN;  // "0" left, "1" centre, "2" right
  CString<80> PICTURE;
  Byte DROP = 0, LINEWIDTH = 0;
  Short ANGLE = 0;
  Byte HSCROLL = 0, VSCROLL = 0;
  Byte READONLY = 0, PASSWORD = 0, NOEXITBUTTON = 0, HIDE = 0, DISABLE = 0, SKIP = 0;
  Byte FLAT = 0, TRANSPARENT = 0, BOXED = 0;
  Short FORMPAGE = 0;
  Byte TILED = 0;
  Short MIN = 0, MAX = 0, STEP = 0;
  String<1> REGTYPE;
  Byte REGROUND = 0;
  Short TABORDER = 0, PAGETABORDER = 0;
  Byte CHECKED = 0;
  Short LINE_FEQ1 = 0, LINE_FEQ2 = 0;  // the two lines of a checked check's X
  Short PDFFIELDNUMBER = 0;
  CString<60> PDFFIELDNAME, PDFFIELDNAMEUPPER;
  Short PDFFIELDTYPE = 0;
  Short PDFFIELDLENGTH = 0;  // 0 or less: no limit
  Long PDFFIELDBACKGROUNDCOLOR = 0, PDFFIELDTEXTCOLOR = 0;
  Short RADIOBUTTONNUMBER = 0;  // 0 or less: not a radio button
  Byte CREATEDATRUNTIME = 0;
  Long PDFFIELDROTATION = 0;
  Byte HASBORDER = 0;
  Long PDFBORDERCOLOR = 0, BORDERSTYLE = 0;
  Real BORDERWIDTH = 0, DASHON = 0, DASHOFF = 0;
  Real PDFX = 0, PDFY = 0, PDFW = 0, PDFH = 0;  // points: left, top, width, height
  Byte IMPORTEDFIELD = 0;

  // The value as text; empty for an entry without a value buffer.
  std::string Value() const { return VALUE ? VALUE->Read() : std::string(); }
  void SetValue(std::string_view v) const {
    if (VALUE) VALUE->Write(v);
  }
};

using FormControls = rt::Queue<FormControl>;

// The sixteen font sizes of the toolbar list, in order.
const std::vector<std::string>& FontSizes();

// The upper-case PDF name used for matching values: one trailing "." (after
// the last non-blank character) is dropped.
std::string MatchName(std::string_view pdfName);

// The first `n` bytes of a text.
inline std::string First(std::string_view text, size_t n) { return std::string(text.substr(0, n)); }

// ---- geometry

struct Rect {
  Long x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// Screen rectangle of a field at a zoom factor and page origin.
Rect ToScreen(const Rect& page, double zoom, Long pageLeft, Long pageTop);
// Page pixels of a screen rectangle (the inverse of ToScreen).
Rect ToPage(const Rect& screen, double zoom, Long pageLeft, Long pageTop);
// The same rectangle with a positive width and height: a negative size
// moves the corner to the rectangle's true top-left.
Rect Normalised(const Rect& r);

// Zoom modes.
enum ZoomMode : Short { kFitPage = -2, kPageWidth = -1, kActualSize = 0, kPercentage = 2 };
inline constexpr Short kZoomMin = 25, kZoomMax = 400;
inline constexpr Byte kZoomStep = 20;

struct Zoom {
  double factor = 1.0;
  Short percent = 100;
};
// The zoom of a mode: fit page and page width follow the client area and
// the page size (held within 25..400 %, and 100 % when either size is not
// positive); actual size is 100 %; a percentage keeps `percent`.
Zoom ComputeZoom(Short mode, Short percent, Long clientWidth, Long clientHeight, Long pageWidthPx,
                 Long pageHeightPx);
// Zoom In and Zoom Out: one step, within 25..400 (no step beyond them).
Short ZoomIn(Short percent, Byte step = kZoomStep);
Short ZoomOut(Short percent, Byte step = kZoomStep);
// The page origin along one axis: centred when the zoomed page is
// narrower than the client area, else 0.
Long PageOrigin(Long client, Long pageScaled);
// Page pixels of a page `points` long at `dpi`.
Long PagePixels(double points, int dpi);

// A field's rectangle in points from its page pixels.
struct PdfRect {
  Real left = 0, top = 0, width = 0, height = 0;
};
PdfRect ToPoints(const Rect& page, int dpiX, int dpiY, Real pageHeight, Real xOffset, Real yOffset);

}  // namespace editor
