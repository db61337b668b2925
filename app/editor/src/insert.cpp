// Field insertion: the page's mouse messages become the editor's events,
// a yellow rubber band follows the mouse between two clicks, and the
// second click creates a text or check field on the band.
#include <algorithm>
#include <limits>

#include "editor_internal.h"
#include "velmora/apppdf/screen.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/numbers.h"
#include "velmora/ui/keys.h"

namespace editor {

using apppdf::TruncPixels;
using ui::ControlType;
using ui::Prop;

namespace {
constexpr long kBandColor = 0xFFFF;  // yellow
}

void InstallPageProc(FormEditor& editor) {
  auto previous = std::make_shared<ui::ClientProc>();
  std::shared_ptr<FormEditor::Mouse> mouse = editor.MouseState;
  *previous = editor.Win().SetClientProc(
      [mouse, previous](ui::Window& w, unsigned message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
        if (message == ui::msg::MouseMove) {
          mouse->lParam = lParam;
          const int x = ui::MouseLParamX(lParam), y = ui::MouseLParamY(lParam);
          if (x != mouse->lastX || y != mouse->lastY) {
            w.Post(kMouseMoved);
            mouse->lastX = x;
            mouse->lastY = y;
          }
        } else if (message == ui::msg::LButtonDown || message == ui::msg::RButtonDown) {
          mouse->lParam = lParam;
          w.Post(kMouseDown);
        }
        return *previous ? (*previous)(w, message, wParam, lParam) : 0;
      });
}

void FormEditor::StartInsert() {
  InsertMode = 1;
  ClickCount = 0;
  ui::SetCursor(ui::cursor::Cross);
}

void FormEditor::MouseMoved() {
  if (!InsertMode || !Dragging) return;
  const intptr_t lParam = MouseState->lParam;
  const Long x = ui::MouseLParamX(lParam), y = ui::MouseLParamY(lParam);
  if (!BandControl) {
    BandControl = static_cast<Short>(Win().CreateControl(ControlType::Box));
    Win().Set(BandControl, Prop::FillColor, kBandColor);
    Win().SetPosition(BandControl, StartX, StartY, x - StartX, y - StartY);
    Win().Unhide(BandControl);
  } else {
    Win().Set(BandControl, Prop::Width, static_cast<long>(x - StartX));
    Win().Set(BandControl, Prop::Height, static_cast<long>(y - StartY));
  }
}

void FormEditor::MouseDown() {
  ++ClickCount;
  if (!InsertMode) return;
  const intptr_t lParam = MouseState->lParam;
  // A second click before the band exists starts the band again: a field
  // needs a rectangle.
  if (ClickCount >= 2 && !BandControl) ClickCount = 1;
  Dragging = 1;
  if (ClickCount == 2) {
    CreateField();
    return;
  }
  StartX = ui::MouseLParamX(lParam);
  StartY = ui::MouseLParamY(lParam);
}

void FormEditor::CancelInsert() {
  if (InsertMode && BandControl) EndInsert();
}

void FormEditor::EndInsert() {
  Win().Destroy(BandControl);
  ClickCount = 0;
  InsertMode = 0;
  Dragging = 0;
  BandControl = 0;
  ui::SetCursor(ui::cursor::Arrow);
}

Short FormEditor::NewTabOrder(Short page) {
  bool first = false;
  Short highest = 0;
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    if (e.FORMPAGE != page) continue;
    first = first || e.TABORDER == 1;
    highest = std::max(highest, e.TABORDER);
  }
  return first ? static_cast<Short>(highest + 1) : 1;
}

// An id is taken by a field of the page, and by a value any data set of
// the form keeps under it on the page (a deleted field's): a new field
// with that id would show the old value.
Long FormEditor::NewControlId(Short page, Long control) {
  std::vector<Long> taken;
  for (long i = 1; i <= Queue.Count(); ++i)
    if (Queue.At(i).FORMPAGE == page) taken.push_back(Queue.At(i).CTLID);
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* sets = d.Access(data::FileId::FilledForm);
  cl::FileManager* values = d.Access(data::FileId::FilledData);
  const cl::FileManager::Snapshot keptSet = sets->Snap(), keptValue = values->Snap();
  std::vector<Long> ids;
  d.File(data::FileId::FilledForm).ClearRecord();
  d.FIL.FORMID = FormId;
  sets->SetKeyFromRecord(sets->KeyNumber("FIL:FormID_Key"));
  // copies: the records are packed
  while (sets->TryNext() == cl::kBenign && d.FIL.FORMID == FormId) ids.push_back(Long{d.FIL.ID});
  for (Long set : ids) {
    d.File(data::FileId::FilledData).ClearRecord();
    d.FIL1.ID = set;
    d.FIL1.PAGENO = page;
    d.FIL1.CONTROLID = std::numeric_limits<Long>::min();
    values->SetKeyFromRecord(values->KeyNumber("FIL1:FiledForm_key"));
    while (values->TryNext() == cl::kBenign && d.FIL1.ID == set && d.FIL1.PAGENO == page)
      taken.push_back(Long{d.FIL1.CONTROLID});
  }
  values->Restore(keptValue);
  sets->Restore(keptSet);
  if (std::find(taken.begin(), taken.end(), control) == taken.end()) return control;
  return *std::max_element(taken.begin(), taken.end()) + 1;
}

// "Field n", n counted from the queue's size and moved on past any name
// the form's fields already have (a repeated name would make two PDF
// fields one).
std::string FormEditor::NewFieldName() {
  auto taken = [this](const std::string& name) {
    for (long i = 1; i <= Queue.Count(); ++i) {
      const FormControl& e = Queue.At(i);
      if (rt::Upper(rt::Clip(e.NAME.View())) == rt::Upper(name) ||
          rt::Upper(rt::Clip(e.PDFFIELDNAME.View())) == rt::Upper(name))
        return true;
    }
    return false;
  };
  for (long n = Queue.Count() + 1;; ++n) {
    const std::string name = "Field " + std::to_string(n);
    if (!taken(name)) return name;
  }
}

int FormEditor::NewField(bool text, Short page, const std::string& name) {
  const int n = Win().CreateControl(text ? ControlType::Text : ControlType::Region);
  Queue.ClearBuffer();
  const Short tabOrder = NewTabOrder(page);
  const Long id = NewControlId(page, n);
  FormControl& e = Queue.Buffer();
  e.CTLID = id;
  e.CTLNO = n;
  e.FORMPAGE = page;
  e.TABORDER = tabOrder;
  if (text) {
    e.CTLTYPE = kText;
    e.VALUE = std::make_shared<ValueBuffer>();
    Win().Bind(n, ui::UseVar::Buffer(e.VALUE->text.data(), e.VALUE->text.size()));
    Win().Set(n, Prop::SingleLine, 1L);  // written as a single-line PDF field
    Win().Set(n, Prop::Flat, static_cast<long>(DefaultFlat));
    Win().Set(n, Prop::Boxed, static_cast<long>(DefaultBoxed));
    Win().Set(n, Prop::Transparent, static_cast<long>(DefaultTransparent));
    e.FLAT = DefaultFlat;
    e.BOXED = DefaultBoxed;
    e.TRANSPARENT = DefaultTransparent;
    e.PDFFIELDTYPE = kPdfText;
  } else {
    e.CHECKED = 0;
    e.CTLTYPE = kRegionCheck;
    e.PDFFIELDTYPE = kPdfCheckBox;
    Win().Set(n, Prop::Color, 0L);
  }
  e.NAME = name;
  // its name is its PDF name: values from an FDF reach it by that name
  e.PDFFIELDNAME = First(rt::Clip(name), 59);
  e.PDFFIELDNAMEUPPER = MatchName(e.PDFFIELDNAME.View());
  Win().Set(n, Prop::Tip, e.NAME.View());
  Win().Set(n, Prop::Scroll, 1L);
  Win().Alert(n, ui::key::MouseRight);
  Win().Alert(n, ui::key::MouseLeft2);
  Win().Set(n, Prop::FontName, FaceName.View());
  const long size = rt::TextToLong(FontSize.View());
  Win().Set(n, Prop::FontSize, static_cast<long>(TruncPixels(size * ZoomFactor)));
  int style = 0;
  if (Bold) style += ui::style::Bold, e.FONTBOLD = 1;
  if (Italic) style += ui::style::Italic, e.FONTIT = 1;
  if (Underline) style += ui::style::Underline, e.FONTUL = 1;
  if (Strike) style += ui::style::Strikeout, e.FONTSTRIKE = 1;
  Win().Set(n, Prop::FontStyle, static_cast<long>(style));
  Win().Set(n, Prop::Color, FieldColor);
  e.FONTNAME = FaceName.View();
  e.FONTSIZE = static_cast<Short>(size);
  e.ALIGN = "0";
  Win().Set(n, Prop::Alignment, 0L);
  e.CREATEDATRUNTIME = 1;
  e.PDFFIELDBACKGROUNDCOLOR = 0xFFFFFF;
  e.PDFFIELDTEXTCOLOR = 0;
  e.PDFFIELDROTATION = 0;
  return n;
}

void FormEditor::CreateField() {
  const std::string kind = rt::Clip(ControlTypeText.View());
  const bool text = kind == "Text", check = kind == "Check";
  const ui::Window::Rect bandRect = Win().Position(BandControl);
  const Rect band = Normalised({static_cast<Long>(bandRect.x), static_cast<Long>(bandRect.y),
                                static_cast<Long>(bandRect.width), static_cast<Long>(bandRect.height)});
  if (text || check) {
    const Short page = data::ThisThread().FOR1.PAGENO;
    const int n = NewField(text, page, NewFieldName());
    FormControl& e = Queue.Buffer();
    // The band is in client coordinates; the field scrolls with the window,
    // so it is placed at the band's position from the window's origin.
    const Long originX = static_cast<Long>(Win().GetLong(0, Prop::XOrigin));
    const Long originY = static_cast<Long>(Win().GetLong(0, Prop::YOrigin));
    Win().SetPosition(n, originX + band.x, originY + band.y, band.width, band.height);
    const Rect page_ = ToPage({originX + band.x, originY + band.y, band.width, band.height}, ZoomFactor, PageLeft,
                              PageTop);
    e.CTLX = page_.x;
    e.CTLY = page_.y;
    e.CTLW = page_.width;
    e.CTLH = page_.height;
    Queue.Add();
    Win().Unhide(n);
    EndInsert();
    Win().Select(n);
    return;
  }
  // Neither kind: no field; the insertion ends.
  EndInsert();
}

}  // namespace editor
