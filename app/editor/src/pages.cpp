// The editor's pages: the field controls built from PageControls, the page
// picture sized and placed, page switching, zoom and the font lists.
#include <algorithm>

#include "editor_internal.h"
#include "velmora/apppdf/screen.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/fonts.h"
#include "velmora/ui/keys.h"

namespace editor {

using apppdf::TruncPixels;
using data::FileId;
using ui::ControlType;
using ui::Prop;

namespace {

constexpr const char* kPageImage = "FOR1:PAGEIMAGE";
// Pages whose pictures are decoded ahead, in the direction of paging.
constexpr int kPagesAhead = 2;

int FontStyle(Byte bold, Byte italic, Byte underline, Byte strike) {
  int style = bold ? ui::style::Bold : 0;
  if (italic) style |= ui::style::Italic;
  if (underline) style |= ui::style::Underline;
  if (strike) style |= ui::style::Strikeout;
  return style;
}

// The choices of a choice field: its option values joined by "|", at most
// 1023 characters, an empty value counting as one blank.
std::string Choices(data::Dictionary& d, Long form, Short field) {
  std::string joined;
  for (const std::string& value : OptionValues(d, form, field)) joined += (value.empty() ? std::string(" ") : value) + "|";
  if (!joined.empty() && joined.back() == '|') joined.back() = ' ';
  return rt::Clip(First(joined, 1023));
}

// The font list's choices: the faces, each of at most 31 characters.
void ShowScreenFonts(ui::Window& w, const std::vector<std::string>& faces) {
  std::string from;
  for (const std::string& face : faces) from += (from.empty() ? "" : "|") + First(face, 31);
  w.Set(kFaceName, Prop::From, from);
}

// A smaller page keeps the window's origin within its new scroll range.
void KeepOriginInRange(ui::Window& w) {
  w.Set(0, Prop::XOrigin, w.GetLong(0, Prop::XOrigin));
  w.Set(0, Prop::YOrigin, w.GetLong(0, Prop::YOrigin));
}

}  // namespace

std::vector<std::string> OptionValues(data::Dictionary& d, Long form, Short field) {
  cl::FileManager* values = d.Access(FileId::FieldValues);
  const cl::FileManager::Snapshot saved = values->Snap();
  d.File(FileId::FieldValues).ClearRecord();
  d.FIE.FORMID = form;
  d.FIE.CONTROLID = field;
  std::vector<std::string> out;
  values->SetKeyFromRecord(values->KeyNumber("FIE:Number_Key"));
  while (values->TryNext() == cl::kBenign && d.FIE.FORMID == form && d.FIE.CONTROLID == field)
    out.emplace_back(d.FIE.CONTROLVALUE.View());
  values->Restore(saved);
  return out;
}

Rect FormEditor::ScreenRectOf(const FormControl& e) const {
  return ToScreen({e.CTLX, e.CTLY, e.CTLW, e.CTLH}, ZoomFactor, PageLeft, PageTop);
}

void FormEditor::PlaceControl(const FormControl& e) {
  const Rect r = ScreenRectOf(e);
  Win().SetPosition(e.CTLNO, r.x, r.y, r.width, r.height);
  Win().Set(e.CTLNO, Prop::FontSize, static_cast<long>(TruncPixels(e.FONTSIZE * ZoomFactor)));
  if (e.LINE_FEQ1) Win().SetPosition(e.LINE_FEQ1, r.x, r.y, r.width, r.height);
  if (e.LINE_FEQ2) Win().SetPosition(e.LINE_FEQ2, r.x + r.width, r.y, -r.width, r.height);
}

void FormEditor::DrawCheck(FormControl& e) {
  const Rect r = ScreenRectOf(e);
  const bool shown = Win().IsShown(e.CTLNO);
  auto line = [&](long x, long y, long width, long height) {
    const int n = Win().CreateControl(ControlType::Line);
    Win().Set(n, Prop::LineWidth, 2L);
    Win().Set(n, Prop::Scroll, 1L);
    Win().SetPosition(n, x, y, width, height);
    if (shown) Win().Unhide(n);
    return static_cast<Short>(n);
  };
  if (e.LINE_FEQ1 || e.LINE_FEQ2) RemoveCheck(e);
  e.LINE_FEQ1 = line(r.x, r.y, r.width, r.height);
  e.LINE_FEQ2 = line(r.x + r.width, r.y, -r.width, r.height);
  e.CHECKED = 1;
}

void FormEditor::RemoveCheck(FormControl& e) {
  if (e.LINE_FEQ1) Win().Destroy(e.LINE_FEQ1);
  if (e.LINE_FEQ2) Win().Destroy(e.LINE_FEQ2);
  e.LINE_FEQ1 = 0;
  e.LINE_FEQ2 = 0;
  e.CHECKED = 0;
}

void FormEditor::BuildPageControls() {
  if (Mode == "3") return;
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* controls = d.Access(FileId::PageControls);
  d.File(FileId::PageControls).ClearRecord();
  d.PAG.FORMID = FormId;
  Win().LockPaint();
  controls->SetKeyFromRecord(controls->KeyNumber("PAG:TabOrder_Key"));
  while (controls->TryNext() == cl::kBenign && d.PAG.FORMID == FormId) {
    const data::PageControlsRecord pag = d.PAG;
    if (pag.HIDDEN) continue;
    Queue.ClearBuffer();
    FormControl& e = Queue.Buffer();
    const int n = Win().CreateControl(static_cast<ControlType>(pag.CONTROLTYPE));
    e.CTLNO = n;
    e.VALUE = std::make_shared<ValueBuffer>();
    Win().Bind(n, ui::UseVar::Buffer(e.VALUE->text.data(), e.VALUE->text.size()));
    e.CTLID = pag.CONTROLUNIQUEID;
    e.CTLTYPE = pag.CONTROLTYPE;
    e.FORMPAGE = pag.PAGENO;
    e.TABORDER = pag.CONTROLTABORDER;
    Byte flat = pag.CONTROLFLAT;
    switch (pag.CONTROLTYPE) {
      case kEntry:
        Win().Set(n, Prop::Picture, pag.CONTROLPICTURE.View());
        Win().Set(n, Prop::Immediate, 1L);
        if (pag.PDFFIELDLENGTH > 0) Win().Set(n, Prop::MaxLength, static_cast<long>(pag.PDFFIELDLENGTH));
        break;
      case kCheck:
        Win().Set(n, Prop::TrueValue, "T");
        Win().Set(n, Prop::FalseValue, "F");
        flat = 0;
        break;
      default: break;
    }
    if (pag.CONTROLTYPE == kChoice)
      Win().Set(n, Prop::From, Choices(d, FormId, pag.PDFFIELDNUMBER));
    else
      e.PICTURE = pag.CONTROLPICTURE.View();
    e.CHECKED = 0;
    e.CTLX = pag.CONTROLX;
    e.CTLY = pag.CONTROLY;
    e.CTLW = pag.CONTROLWIDTH;
    e.CTLH = pag.CONTROLHEIGHT;
    e.FONTSIZE = pag.CONTROLFONTHEIGHT;
    Win().Set(n, Prop::Scroll, 1L);
    Win().Alert(n, ui::key::MouseRight);
    Win().Alert(n, ui::key::MouseLeft2);
    Win().Set(n, Prop::FontName, pag.CONTROLFONTNAME.View());
    Win().Set(n, Prop::Flat, static_cast<long>(flat));
    Win().Set(n, Prop::Transparent, static_cast<long>(pag.CONTROLTRANSPARENT));
    Win().Set(n, Prop::Boxed, static_cast<long>(pag.CONTROLBOXED));
    Win().Set(n, Prop::Color, pag.PDFFIELDTYPE == kPdfRadio ? RadioFieldColor : FieldColor);
    if (pag.PDFISMULTILINE) {
      Win().Set(n, Prop::VScroll, 1L);
      e.VSCROLL = 1;
    } else if (pag.CONTROLTYPE == kText) {
      Win().Set(n, Prop::SingleLine, 1L);  // a line break only where the PDF field takes one
    }
    Win().Set(n, Prop::FontStyle,
              static_cast<long>(FontStyle(pag.CONTROLFONTBOLD, pag.CONTROLFONTITALIC, pag.CONTROLFONTUNDERLINE,
                                          pag.CONTROLFONTSTRIKE)));
    e.FONTBOLD = pag.CONTROLFONTBOLD;
    e.FONTIT = pag.CONTROLFONTITALIC;
    e.FONTUL = pag.CONTROLFONTUNDERLINE;
    e.FONTSTRIKE = pag.CONTROLFONTSTRIKE;
    e.FONTNAME = pag.CONTROLFONTNAME.View();
    e.FLAT = flat;
    e.TRANSPARENT = pag.CONTROLTRANSPARENT;
    e.BOXED = pag.CONTROLBOXED;
    e.NAME = pag.CONTROLNAME.View();
    const std::string description = rt::Clip(pag.PDFFIELDDESCRIPTION.View());
    Win().Set(n, Prop::Tip, description.empty() ? e.NAME.Value() : e.NAME.Value() + "\r\n" + description);
    e.CREATEDATRUNTIME = pag.FILEDWASCREATEDATRUNTIME;
    e.ALIGN = std::to_string(pag.CONTROLALIGNMENT);
    Win().Set(n, Prop::Alignment, static_cast<long>(pag.CONTROLALIGNMENT));
    PlaceControl(e);
    if (Mode == "2") {
      d.File(FileId::FilledData).ClearRecord();
      d.FIL1.ID = DataSetId;
      d.FIL1.PAGENO = e.FORMPAGE;
      d.FIL1.CONTROLID = e.CTLID;
      cl::FileManager* values = d.Access(FileId::FilledData);
      if (values->TryFetch(values->KeyNumber("FIL1:FiledForm_key")) == cl::kBenign) {
        if (d.FIL1.ISCHECKBOX) {
          if (rt::Clip(d.FIL1.VALUE.View()) == "Checked") DrawCheck(e);
        } else {
          e.SetValue(First(d.FIL1.VALUE.View(), 255));
          if (pag.PDFFIELDTYPE == kPdfRadio && !rt::Clip(e.Value()).empty()) {
            e.CHECKED = 1;
            Win().Set(n, Prop::Color, SelectedRadioFieldColor);
          }
        }
      }
    }
    e.RADIOBUTTONNUMBER = pag.RADIOBUTTONNUMBER;
    if (e.RADIOBUTTONNUMBER > 0) Win().Alert(n, ui::key::MouseLeft);
    e.PDFFIELDNUMBER = pag.PDFFIELDNUMBER;
    e.PDFFIELDNAME = pag.PDFFIELDNAME.View();
    e.PDFFIELDNAMEUPPER = MatchName(pag.PDFFIELDNAME.View());
    e.PDFFIELDTYPE = pag.PDFFIELDTYPE;
    e.PDFFIELDLENGTH = pag.PDFFIELDLENGTH;
    e.PDFFIELDBACKGROUNDCOLOR = pag.PDFFIELDBACKGROUNDCOLOR;
    e.PDFFIELDTEXTCOLOR = pag.PDFFIELDTEXTCOLOR;
    e.PDFFIELDROTATION = pag.PDFFIELDROTATION;
    e.HASBORDER = pag.HASBORDER;
    e.PDFBORDERCOLOR = pag.PDFBORDERCOLOR;
    e.BORDERSTYLE = pag.BORDERSTYLE;
    e.BORDERWIDTH = pag.BORDERWIDTH;
    e.DASHON = pag.DASHON;
    e.DASHOFF = pag.DASHOFF;
    e.PDFX = pag.PDFX;
    e.PDFY = pag.PDFY;
    e.PDFW = pag.PDFWIDTH;
    e.PDFH = pag.PDFHEIGHT;
    e.IMPORTEDFIELD = pag.IMPORTEDFIELD;
    Queue.Add();
    if (pag.PAGENO == ShownPage) {
      Win().Unhide(n);
      if (e.LINE_FEQ1) Win().Unhide(e.LINE_FEQ1);
      if (e.LINE_FEQ2) Win().Unhide(e.LINE_FEQ2);
    }
  }
  Win().UnlockPaint();
  Win().Display();
}

bool FormEditor::LoadPageRecord() {
  data::Dictionary& d = data::ThisThread();
  db::FileDecl& pages = d.File(FileId::FormPages);
  const int image = pages.MemoIndex(kPageImage);
  if (image >= 0) db::BlobSetSize(pages, image, 0);
  cl::FileManager* fm = d.Access(FileId::FormPages);
  return fm->TryFetch(fm->KeyNumber("FOR1:FormID_Key")) == cl::kBenign;
}

void FormEditor::PrefetchNextPages() {
  data::Dictionary& d = data::ThisThread();
  for (int ahead = 1; ahead <= kPagesAhead; ++ahead) {
    const int next = ShownPage + ahead * pageStep_;
    if (next < 1 || next > d.FOR.TOTALPAGES) return;
    d.FOR1.FORMID = FormId;
    d.FOR1.PAGENO = static_cast<Short>(next);
    if (!LoadPageRecord()) return;
    db::FileDecl& pages = d.File(FileId::FormPages);
    const int image = pages.MemoIndex(kPageImage);
    if (image >= 0) Win().PrefetchImage(kForm, db::BlobRead(pages, image, 0, db::BlobSize(pages, image)));
  }
}

void FormEditor::SetCaption() {
  data::Dictionary& d = data::ThisThread();
  std::string caption = "Form Editor - \"" + rt::Clip(d.FOR.FORMNAME.View());
  if (Mode != "1") caption += " (" + rt::Clip(d.FIL.FILLEDFORMNAME.View()) + ")";
  caption += "\"; Page: " + std::to_string(d.FOR1.PAGENO);
  Win().Set(0, Prop::Text, caption);
}

void FormEditor::ShowPage() {
  if (Mode == "3") {
    Win().Hide(kForm);
    return;
  }
  data::Dictionary& d = data::ThisThread();
  PrefetchNextPages();
  d.FOR1.FORMID = FormId;
  d.FOR1.PAGENO = ShownPage;
  LoadPageRecord();
  // The resolution is always the screen's, so points can be had from
  // page pixels whatever the page.
  const apppdf::Resolution res = apppdf::ScreenResolution();
  LogPixelsX = res.across > 0 ? res.across : 96;
  LogPixelsY = res.down > 0 ? res.down : 96;
  db::FileDecl& pages = d.File(FileId::FormPages);
  const int image = pages.MemoIndex(kPageImage);
  std::vector<uint8_t> picture;
  if (image >= 0) picture = db::BlobRead(pages, image, 0, db::BlobSize(pages, image));
  if (d.FOR1.PAGEWIDTH > 0 && d.FOR1.PAGEHEIGHT > 0) {
    PageWidthPx = PagePixels(d.FOR1.PAGEWIDTH, LogPixelsX);
    PageHeightPx = PagePixels(d.FOR1.PAGEHEIGHT, LogPixelsY);
  } else {
    const int probe = Win().CreateControl(ControlType::Image);
    Win().SetImage(probe, picture);
    PageWidthPx = Win().GetLong(probe, Prop::ImageWidth);
    PageHeightPx = Win().GetLong(probe, Prop::ImageHeight);
    Win().Destroy(probe);
  }
  PlacePage();
  Win().Set(kForm, Prop::Stretch, 1L);
  Win().SetImage(kForm, std::move(picture));
  SetCaption();
}

void FormEditor::PlacePage() {
  MeasureClientArea();
  const Zoom z = ComputeZoom(ZoomMode, ZoomPercent, ClientWidth, ClientHeight, PageWidthPx, PageHeightPx);
  ZoomFactor = z.factor;
  ZoomPercent = z.percent;
  const Long width = TruncPixels(PageWidthPx * ZoomFactor), height = TruncPixels(PageHeightPx * ZoomFactor);
  PageLeft = PageOrigin(ClientWidth, width);
  PageTop = PageOrigin(ClientHeight, height);
  Win().SetPosition(kForm, PageLeft, PageTop, width, height);
}

void FormEditor::MeasureClientArea() {
  const ui::Window::Rect r = Win().PixelPosition(0);
  ClientWidth = static_cast<Long>(r.width);
  ClientHeight = static_cast<Long>(r.height);
}

void FormEditor::ApplyZoom() {
  ui::SetCursor(ui::cursor::Wait);
  Win().LockPaint();
  PlacePage();
  for (long i = 1; i <= Queue.Count(); ++i) PlaceControl(Queue.At(i));
  KeepOriginInRange(Win());
  Win().UnlockPaint();
  Win().Invalidate();
  ui::SetCursor(ui::cursor::Arrow);
  Win().Set(0, Prop::StatusText, "Zoom: " + std::to_string(ZoomPercent) + "%", 2);
  ZoomValue = ZoomPercent;
  Win().Display(kZoomValue);
}

void FormEditor::HidePageControls() {
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    if (e.FORMPAGE != ShownPage) continue;
    Win().Hide(e.CTLNO);
    if (e.LINE_FEQ1) Win().Hide(e.LINE_FEQ1);
    if (e.LINE_FEQ2) Win().Hide(e.LINE_FEQ2);
  }
}

void FormEditor::ShowPageControls() {
  const Short page = data::ThisThread().FOR1.PAGENO;
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    if (e.FORMPAGE != page) continue;
    Win().Unhide(e.CTLNO);
    Win().Display(e.CTLNO);
    if (e.LINE_FEQ1) Win().Unhide(e.LINE_FEQ1);
    if (e.LINE_FEQ2) Win().Unhide(e.LINE_FEQ2);
  }
  Win().Invalidate();
}

void FormEditor::SwitchPage() {
  Win().Update();
  ui::SetCursor(ui::cursor::Wait);
  Win().LockPaint();
  HidePageControls();
  pageStep_ = pageNo_ < ShownPage ? -1 : 1;
  ShownPage = pageNo_;
  data::ThisThread().FOR1.PAGENO = pageNo_;
  ShowPage();
  // a page of another size has another origin and zoom: the fields are
  // placed on it again, or they would stay where the last page put them
  for (long i = 1; i <= Queue.Count(); ++i) PlaceControl(Queue.At(i));
  ShowPageControls();
  KeepOriginInRange(Win());
  Win().UnlockPaint();
  ui::SetCursor(ui::cursor::Arrow);
}

void FormEditor::FreeControls() {
  for (long i = Queue.Count(); i >= 1; --i) {
    Queue.Get(i);
    Queue.Delete();
  }
}

void FormEditor::LoadScreenFonts() {
  ScreenFonts = ui::ScreenFontFaces();
  ListFaceName();
  ShowScreenFonts(Win(), ScreenFonts);
}

void FormEditor::ListFaceName() {
  const std::string face = rt::Clip(FaceName.View());
  if (face.empty()) return;
  auto less = [](const std::string& a, const std::string& b) { return rt::Upper(a) < rt::Upper(b); };
  const auto at = std::lower_bound(ScreenFonts.begin(), ScreenFonts.end(), face, less);
  if (at != ScreenFonts.end() && rt::Upper(*at) == rt::Upper(face)) return;
  // a face the desktop has under another name (its font configuration
  // shows a like face in its place): listed under the name fields keep
  ScreenFonts.insert(at, face);
  if (!Win().Get(kFaceName, Prop::From).empty()) ShowScreenFonts(Win(), ScreenFonts);
}

void FormEditor::FillFontSizes() {
  std::string from;
  for (const std::string& size : FontSizes()) from += (from.empty() ? "" : "|") + size;
  Win().Set(kFontSize, Prop::From, from);
}

}  // namespace editor
