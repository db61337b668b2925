// The field properties dialog "Form Control Properties": every property of
// one field of the Form Editor, bound to the queue entry in the queue's
// buffer; OK applies them to the field's control and puts the entry back.
#include <cstdlib>
#include <string>
#include <vector>

#include "tool_window.h"
#include "editor_internal.h"
#include "velmora/apppdf/screen.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/dialogs.h"

namespace editor {

using ui::ControlDesc;
using ui::ControlType;
using ui::Prop;

namespace {

// The fonts a PDF field can name, in the order the list shows them.
const std::vector<std::string>& PdfFonts() {
  static const std::vector<std::string> fonts = {
      "Courier",   "CourierBold", "CourierBoldOblique", "CourierOblique", "Helvetica",
      "HelveticaBold", "HelveticaBoldOblique", "HelveticaOblique", "TimesRoman", "TimesBold",
      "TimesItalic", "TimesBoldItalic", "Symbol", "ZapfDingbats"};
  return fonts;
}

const char* const kBorderStyles[] = {"Solid", "Dashed", "Beveled", "Inset"};

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : "|") + std::string(rt::Trim(item));
  return out;
}

// The kind of a field as the dialog names it.
std::string KindText(const FormControl& e) {
  switch (e.CTLTYPE) {
    case kText: return "Text";
    case kCheck: return "Check Box";
    case kEntry: return e.PDFFIELDTYPE == kPdfRadio ? "Radio Button" : "Entry";
    case kRegionCheck: return "Check";
    default: return {};
  }
}

ControlDesc Prompt(int x, int y, int width, std::string text) {
  return Ctl(ControlType::Prompt, {}, x, y, width, 10, std::move(text));
}

ControlDesc Entry(std::string use, int x, int y, int width, std::string picture = {}) {
  ControlDesc d = Ctl(ControlType::Entry, std::move(use), x, y, width, 12);
  d.picture = std::move(picture);
  return d;
}

ControlDesc Check(std::string use, int x, int y, int width, std::string text) {
  return Ctl(ControlType::Check, std::move(use), x, y, width, 10, std::move(text));
}

ControlDesc Choice(std::string use, int x, int y, int width, std::string from) {
  ControlDesc d = Ctl(ControlType::DropList, std::move(use), x, y, width, 12);
  d.from = std::move(from);
  return d;
}

ControlDesc Radio(int x, int width, std::string text, std::string value) {
  ControlDesc d = Ctl(ControlType::Radio, {}, x, 154, width, 10, std::move(text));
  d.props = {{Prop::Value, std::move(value)}};
  return d;
}

ui::WindowDesc PropertiesWindow() {
  ui::WindowDesc w;
  w.caption = "Form Control Properties";
  w.width = 300;
  w.height = 214;
  ControlDesc sheet = Ctl(ControlType::Sheet, "?SHEET1", 4, 4, 292, 16);

  ControlDesc options = Ctl(ControlType::Tab, {}, 0, 0, 0, 0, "Field Options");
  ControlDesc align = Ctl(ControlType::Option, "?FORMCONTROLS:CTLG:ALIGN", 154, 142, 138, 26, "Text Alignment");
  align.children = {Radio(160, 40, "Right", "2"), Radio(204, 36, "Left", "0"), Radio(244, 44, "Center", "1")};
  options.children = {
      Prompt(10, 28, 50, "Field Type:"),
      [] {
        ControlDesc d = Entry("?CONTROLTYPE", 64, 26, 80);
        d.readOnly = true;
        return d;
      }(),
      Ctl(ControlType::Group, "?GROUP1", 8, 60, 140, 62, "Screen Position"),
      Prompt(14, 72, 60, "Top Left Corner"),
      Entry("?FORMCONTROLS:CTLG:CTLX", 76, 70, 30, "@n-7"),
      Entry("?FORMCONTROLS:CTLG:CTLY", 110, 70, 30, "@n-7"),
      Prompt(14, 88, 60, "Width:"),
      Entry("?FORMCONTROLS:CTLG:CTLW", 76, 86, 30, "@n-7"),
      Prompt(14, 104, 60, "Height:"),
      Entry("?FORMCONTROLS:CTLG:CTLH", 76, 102, 30, "@n-7"),
      Prompt(10, 44, 50, "Field Name:"),
      Entry("?FORMCONTROLS:NAME", 64, 42, 226, "@s255"),
      Ctl(ControlType::Group, "?GROUP2", 154, 60, 138, 62, "Font"),
      Choice("?LOC:FACENAME", 160, 72, 88, Joined(PdfFonts())),
      Choice("?LOC:FONTSIZE", 252, 72, 34, Joined(FontSizes())),
      Check("?BBOLD", 160, 90, 40, "Bold"),
      Check("?BITALIC", 206, 90, 40, "Italic"),
      Check("?BUNDERLINE", 160, 104, 46, "Underline"),
      Check("?BSTRIKE", 206, 104, 50, "Strikeout"),
      Check("?FORMCONTROLS:CTLG:FLAT", 10, 128, 40, "Flat"),
      Check("?FORMCONTROLS:CTLG:TRANSPARENT", 54, 128, 56, "Transparent"),
      Check("?FORMCONTROLS:CTLG:BOXED", 114, 128, 40, "Boxed"),
      Check("?FORMCONTROLS:CTLG:VSCROLL", 158, 128, 50, "Multiline"),
      Prompt(10, 146, 50, "Tab Order:"),
      Entry("?FORMCONTROLS:CTLG:TABORDER", 64, 144, 30, "@n-7"),
      Prompt(10, 162, 50, "Field Picture:"),
      Entry("?FORMCONTROLS:CTLG:PICTURE", 64, 160, 80, "@s80"),
      align,
  };

  ControlDesc appearance = Ctl(ControlType::Tab, {}, 0, 0, 0, 0, "PDF Field Appearance");
  ControlDesc sample = Ctl(ControlType::String, "?FIELDCOLOR", 74, 28, 60, 12, "PDF DATA");
  ControlDesc border = Ctl(ControlType::Box, "?BOX1", 200, 100, 80, 50);
  appearance.children = {
      Prompt(10, 30, 60, "Field Color:"),
      sample,
      Ctl(ControlType::Button, "?BUTTON3", 140, 27, 72, 14, "&Background Color"),
      Ctl(ControlType::Button, "?BUTTON3:2", 216, 27, 72, 14, "&Text Color"),
      Prompt(10, 50, 60, "Field Rotation:"),
      Choice("?FORMCONTROLS:CTLG:PDFFIELDROTATION", 74, 48, 40, "0|90|180|270"),
      Check("?FORMCONTROLS:CTLG:HASBORDER", 10, 68, 100, "Field has border"),
      Ctl(ControlType::Group, "?GROUP3", 8, 82, 284, 92, "Border Parameters"),
      border,
      Prompt(14, 96, 90, "Border Width in Points:"),
      Entry("?TEMPWIDTH", 106, 94, 40, "@n7.2"),
      Prompt(14, 110, 120, "(1 point = 1/72 of an inch)"),
      Prompt(14, 128, 60, "Border Style:"),
      Choice("?BORDERSTYLE", 106, 126, 60, "Solid|Dashed|Beveled|Inset"),
      Ctl(ControlType::Button, "?BUTTON3:3", 14, 148, 72, 14, "Bo&rder Color"),
  };

  ControlDesc location = Ctl(ControlType::Tab, {}, 0, 0, 0, 0, "PDF Field Location");
  location.children = {
      Ctl(ControlType::Group, "?GROUP4", 8, 28, 284, 84, "Field Page Position"),
      Prompt(14, 44, 40, "Left:"),
      Entry("?FORMCONTROLS:CTLG:PDFX", 56, 42, 50, "@n7.2"),
      Prompt(120, 44, 40, "Top:"),
      Entry("?FORMCONTROLS:CTLG:PDFY", 162, 42, 50, "@n7.2"),
      Prompt(14, 62, 40, "Width:"),
      Entry("?FORMCONTROLS:CTLG:PDFW", 56, 60, 50, "@n7.2"),
      Prompt(120, 62, 40, "Height:"),
      Entry("?FORMCONTROLS:CTLG:PDFH", 162, 60, 50, "@n7.2"),
      Prompt(14, 82, 270, "Field coordinates are in points. One point equals 1/72  inch."),
      Prompt(14, 94, 270, "Origin is the lower left corner of a page."),
  };
  sheet.children = {options, appearance, location};

  ControlDesc ok = Ctl(ControlType::Button, "?OKBUTTON", 0, 0, 0, 0, "&OK");
  ok.hidden = true;
  ControlDesc cancel = Ctl(ControlType::Button, "?CANCELBUTTON", 0, 0, 0, 0, "&Cancel");
  cancel.hidden = true;
  w.controls = {sheet,
                ok,
                Ctl(ControlType::Button, "?BUTTON7", 190, 194, 50, 14, "&OK"),
                cancel,
                Ctl(ControlType::Button, "?BUTTON7:2", 244, 194, 50, 14, "&Cancel")};
  return w;
}

class RuntimeControlWindow : public ToolWindow {
 public:
  explicit RuntimeControlWindow(FormEditor& editor)
      : ToolWindow("UpdateRuntimeControl"), ed_(editor), position_(editor.Queue.Position()) {}

  int Setup() override {
    BeginSetup();
    FormControl& e = ed_.Queue.Buffer();
    kind_ = KindText(e);
    faceName_ = e.FONTNAME.View();
    fontSize_ = std::to_string(e.FONTSIZE);
    bold_ = e.FONTBOLD;
    italic_ = e.FONTIT;
    underline_ = e.FONTUL;
    strike_ = e.FONTSTRIKE;
    Load(PropertiesWindow());
    Bind(e);
    Open();
    ui::Window& w = Win();
    w.Set(N("?FIELDCOLOR"), Prop::Color, e.PDFFIELDBACKGROUNDCOLOR);
    w.Set(N("?FIELDCOLOR"), Prop::FontColor, e.PDFFIELDTEXTCOLOR);
    logPixelsX_ = ui::ScreenDpiX() > 0 ? ui::ScreenDpiX() : 96;
    w.Set(N("?BOX1"), Prop::Color, e.PDFBORDERCOLOR);
    tempWidth_ = e.BORDERWIDTH;
    SampleWidth();
    if (e.BORDERSTYLE >= 0 && e.BORDERSTYLE <= 3) borderStyle_ = kBorderStyles[e.BORDERSTYLE];
    RestorePosition(app::INIMgr());
    w.Display();
    return cl::kBenign;
  }

  int OnAccepted() override {
    ui::Window& w = Win();
    const int control = w.Field();
    FormControl& e = ed_.Queue.Buffer();
    if (control == N("?TEMPWIDTH")) {
      w.Update(control);
      SampleWidth();
    } else if (control == N("?BUTTON3")) {
      if (Colour("Choose Field Background Color", e.PDFFIELDBACKGROUNDCOLOR))
        w.Set(N("?FIELDCOLOR"), Prop::Color, e.PDFFIELDBACKGROUNDCOLOR);
    } else if (control == N("?BUTTON3:2")) {
      if (Colour("Choose Field Text Color", e.PDFFIELDTEXTCOLOR))
        w.Set(N("?FIELDCOLOR"), Prop::FontColor, e.PDFFIELDTEXTCOLOR);
    } else if (control == N("?BUTTON3:3")) {
      if (Colour("Choose Field Border Color", e.PDFBORDERCOLOR)) w.Set(N("?BOX1"), Prop::Color, e.PDFBORDERCOLOR);
    } else if (control == N("?BUTTON7")) {
      w.Post(ui::ev::Accepted, N("?OKBUTTON"));
    } else if (control == N("?BUTTON7:2")) {
      w.Post(ui::ev::Accepted, N("?CANCELBUTTON"));
    } else if (control == N("?OKBUTTON")) {
      w.Update();
      if (!NameFree()) return cl::kNotify;
      Apply();
      w.Post(ui::ev::CloseWindow);
    } else if (control == N("?CANCELBUTTON")) {
      // The buffer goes back to what the queue holds: nothing typed stays.
      ed_.Queue.Get(position_);
      w.Post(ui::ev::CloseWindow);
    }
    return ProcedureWindow::OnAccepted();
  }

  int OnWindowEvent() override {
    if (Win().EventNo() == ui::ev::Maximized) Win().Set(0, Prop::Maximize, 0L);
    return ProcedureWindow::OnWindowEvent();
  }

 private:
  int N(std::string_view use) const { return Win().Number(use); }

  void Bind(FormControl& e) {
    ui::Window& w = Win();
    auto bind = [&](std::string_view use, ui::UseVar var) { w.Bind(N(use), var); };
    bind("?CONTROLTYPE", ui::UseVar::Of(kind_));
    bind("?FORMCONTROLS:CTLG:CTLX", ui::UseVar::Of(e.CTLX));
    bind("?FORMCONTROLS:CTLG:CTLY", ui::UseVar::Of(e.CTLY));
    bind("?FORMCONTROLS:CTLG:CTLW", ui::UseVar::Of(e.CTLW));
    bind("?FORMCONTROLS:CTLG:CTLH", ui::UseVar::Of(e.CTLH));
    bind("?FORMCONTROLS:NAME", ui::UseVar::Of(e.NAME));
    bind("?LOC:FACENAME", ui::UseVar::Of(faceName_));
    bind("?LOC:FONTSIZE", ui::UseVar::Of(fontSize_));
    bind("?BBOLD", ui::UseVar::Of(bold_));
    bind("?BITALIC", ui::UseVar::Of(italic_));
    bind("?BUNDERLINE", ui::UseVar::Of(underline_));
    bind("?BSTRIKE", ui::UseVar::Of(strike_));
    bind("?FORMCONTROLS:CTLG:FLAT", ui::UseVar::Of(e.FLAT));
    bind("?FORMCONTROLS:CTLG:TRANSPARENT", ui::UseVar::Of(e.TRANSPARENT));
    bind("?FORMCONTROLS:CTLG:BOXED", ui::UseVar::Of(e.BOXED));
    bind("?FORMCONTROLS:CTLG:VSCROLL", ui::UseVar::Of(e.VSCROLL));
    bind("?FORMCONTROLS:CTLG:TABORDER", ui::UseVar::Of(e.TABORDER));
    bind("?FORMCONTROLS:CTLG:PICTURE", ui::UseVar::Of(e.PICTURE));
    bind("?FORMCONTROLS:CTLG:ALIGN", ui::UseVar::Of(e.ALIGN));
    bind("?FORMCONTROLS:CTLG:PDFFIELDROTATION", ui::UseVar::Of(e.PDFFIELDROTATION));
    bind("?FORMCONTROLS:CTLG:HASBORDER", ui::UseVar::Of(e.HASBORDER));
    bind("?TEMPWIDTH", ui::UseVar::Of(tempWidth_));
    bind("?BORDERSTYLE", ui::UseVar::Of(borderStyle_));
    bind("?FORMCONTROLS:CTLG:PDFX", ui::UseVar::Of(e.PDFX));
    bind("?FORMCONTROLS:CTLG:PDFY", ui::UseVar::Of(e.PDFY));
    bind("?FORMCONTROLS:CTLG:PDFW", ui::UseVar::Of(e.PDFW));
    bind("?FORMCONTROLS:CTLG:PDFH", ui::UseVar::Of(e.PDFH));
  }

  // A new name that another field of the form has (as its name or its PDF
  // name) would give the PDF two fields of one name: it is refused.
  bool NameFree() {
    const FormControl& e = ed_.Queue.Buffer();
    const std::string name = rt::Upper(rt::Clip(e.NAME.View()));
    if (name == rt::Upper(rt::Clip(ed_.Queue.At(position_).NAME.View()))) return true;
    for (long i = 1; i <= ed_.Queue.Count(); ++i) {
      if (i == position_) continue;
      const FormControl& other = ed_.Queue.At(i);
      if (rt::Upper(rt::Clip(other.NAME.View())) != name && rt::Upper(rt::Clip(other.PDFFIELDNAME.View())) != name)
        continue;
      ui::Message("The name " + rt::Clip(e.NAME.View()) +
                      " is already the name of another field of this form.|Choose another name.",
                  "Velmora", ui::icon::Exclamation, ui::button::Ok);
      Win().Select(N("?FORMCONTROLS:NAME"));
      return false;
    }
    return true;
  }

  // The border sample's line: the width in points at the screen's resolution.
  void SampleWidth() {
    Win().Set(N("?BOX1"), Prop::LineWidth, static_cast<long>(apppdf::TruncPixels(tempWidth_ / 72 * logPixelsX_)));
  }

  bool Colour(std::string_view title, Long& colour) {
    const std::optional<long> chosen = ui::ColorDialog(title, colour);
    if (!chosen) return false;
    colour = static_cast<Long>(*chosen);
    return true;
  }

  // OK: the field's control takes the new font, flags, alignment and
  // rectangle; the entry is put back into the queue.
  void Apply() {
    ui::Window& w = Win();
    w.Update();
    FormControl& e = ed_.Queue.Buffer();
    ui::Window& owner = ed_.Win();
    const int n = e.CTLNO;
    const long size = rt::TextToLong(fontSize_.View());
    owner.Set(n, Prop::FontName, faceName_.View());
    owner.Set(n, Prop::FontSize, static_cast<long>(apppdf::TruncPixels(size * ed_.ZoomFactor)));
    owner.Set(n, Prop::Flat, static_cast<long>(e.FLAT));
    owner.Set(n, Prop::Transparent, static_cast<long>(e.TRANSPARENT));
    owner.Set(n, Prop::Boxed, static_cast<long>(e.BOXED));
    e.FONTBOLD = bold_;
    e.FONTIT = italic_;
    e.FONTUL = underline_;
    e.FONTSTRIKE = strike_;
    long style = bold_ ? ui::style::Bold : 0;
    if (italic_) style += ui::style::Italic;
    if (underline_) style += ui::style::Underline;
    if (strike_) style += ui::style::Strikeout;
    owner.Set(n, Prop::FontStyle, style);
    e.FONTNAME = faceName_.View();
    e.FONTSIZE = static_cast<Short>(size);
    const long align = rt::TextToLong(e.ALIGN.View());
    owner.Set(n, Prop::Alignment, align >= 0 && align <= 2 ? align : 0L);
    const std::string styleName = rt::Clip(borderStyle_.View());
    for (Long i = 0; i < 4; ++i)
      if (styleName == kBorderStyles[i]) e.BORDERSTYLE = i;
    owner.Set(n, Prop::Tip, e.NAME.View());
    // a field placed in the editor goes into the PDF under its name
    if (e.CREATEDATRUNTIME) {
      e.PDFFIELDNAME = First(rt::Clip(e.NAME.View()), 59);
      e.PDFFIELDNAMEUPPER = MatchName(e.PDFFIELDNAME.View());
    }
    e.BORDERWIDTH = tempWidth_;
    owner.Set(n, Prop::VScroll, e.VSCROLL ? 1L : 0L);
    if (e.CTLTYPE == kText) owner.Set(n, Prop::SingleLine, e.VSCROLL ? 0L : 1L);
    ed_.PlaceControl(e);
    ed_.Queue.Put();
  }

  FormEditor& ed_;
  long position_;
  rt::String<20> kind_;
  CString<32> faceName_;
  CString<3> fontSize_;
  Byte bold_ = 0, italic_ = 0, underline_ = 0, strike_ = 0;
  Real tempWidth_ = 0;
  rt::String<32> borderStyle_;
  Long logPixelsX_ = 96;
};

}  // namespace

void FormEditor::UpdateRuntimeControl() {
  RuntimeControlWindow dialog(*this);
  dialog.RunWindow();
}

}  // namespace editor
