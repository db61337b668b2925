// The Form Editor window: set-up and tear-down, the command dispatch and
// the field events.
#include "velmora/editor/formeditor.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>
#include <type_traits>

#include "editor_internal.h"
#include "velmora/app/program.h"
#include "velmora/app/settings.h"
#include "velmora/apppdf/import.h"
#include "velmora/apppdf/status.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/picture.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/keys.h"
#include "velmora/win/win.h"

namespace editor {

using data::FileId;
using ui::ControlDesc;
using ui::ControlType;
using ui::Prop;

namespace {

constexpr const char* kEditorIcon = "~C:\\Tavrel6\\icons\\edit.ico";
constexpr int kToolbarHeight = 50;  // dialog units: three rows of controls

ControlDesc Item(std::string use, std::string text) {
  ControlDesc d;
  d.type = ControlType::Item;
  d.use = std::move(use);
  d.text = std::move(text);
  return d;
}

ControlDesc Menu(std::string use, std::string text, std::vector<ControlDesc> items) {
  ControlDesc d;
  d.type = ControlType::Menu;
  d.use = std::move(use);
  d.text = std::move(text);
  d.children = std::move(items);
  return d;
}

ControlDesc Tool(ControlType type, std::string use, int x, int y, int width, std::string text,
                 std::string tip = {}) {
  ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.x = x;
  d.y = y;
  d.width = width;
  d.height = 14;
  d.text = std::move(text);
  d.tip = tip.empty() ? d.text : std::move(tip);
  return d;
}

ControlDesc Button(std::string use, int x, int y, int width, std::string text, std::string tip = {}) {
  return Tool(ControlType::Button, std::move(use), x, y, width, std::move(text), std::move(tip));
}

// A control without a command: it keeps its number but never shows.
ControlDesc Unused(ControlDesc d) {
  d.hidden = true;
  return d;
}

// The open editors by window handle.
std::mutex gEditorsMu;
std::map<long, FormEditor*>& Editors() {
  static std::map<long, FormEditor*> editors;
  return editors;
}

}  // namespace

ui::WindowDesc EditorWindow() {
  ui::WindowDesc w;
  w.caption = "Form Editor";
  w.kind = ui::WindowKind::MdiChild;
  w.width = 520;
  w.height = 330;
  w.menus = {
      Menu("?FILE", "&File",
           {Item("?FILEPRINT", "&Print..."), Item("?FILEIMPORTFIELDS", "&Import Fields"),
            Menu("?FILEIMPORTDATA", "Import &Data",
                 {Item("?FILEIMPORTDATAFROMPDF", "From &PDF"), Item("?FILEIMPORTDATAFROMFDF", "From &FDF")})}),
      Menu("?SEND", "&Send",
           {Item("?SENDEMAILAS", "&Email as a Fillable PDF"),
            Item("?SENDEMAILASUNEDITABLEPDF", "E&mail as Uneditable PDF")}),
      Menu("?EDIT", "&Edit", {Item("?EDITTABORDER", "&Tab Order")}),
  };
  ControlDesc bar;
  bar.type = ControlType::Toolbar;
  bar.use = "?TOOLBAR";
  bar.height = kToolbarHeight;
  ControlDesc zoom = Tool(ControlType::Spin, "?ITP:ZOOMVALUE", 339, 1, 36, {}, "Zoom");
  zoom.picture = "@p<###%p";
  ControlDesc faces = Tool(ControlType::DropList, "?LOC:FACENAME", 1, 17, 96, {}, "Font name");
  ControlDesc sizes = Tool(ControlType::DropList, "?LOC:FONTSIZE", 99, 17, 26, {}, "Font size");
  ControlDesc kind = Tool(ControlType::DropList, "?CONTROLTYPE", 385, 17, 44, {}, "Control Type");
  kind.from = "Text|Check";
  kind.format = "80L(2)|M~Control Type~@s20@";
  ControlDesc page = Tool(ControlType::Spin, "?FOR1:PAGENO", 467, 1, 30, {}, "Page");
  page.picture = "@n_3";
  page.props = {{Prop::RangeLow, "1"}, {Prop::RangeHigh, "1"}};
  ControlDesc prompt = Tool(ControlType::Prompt, "?PROMPT1", 445, 3, 20, "Page:");
  w.toolbar = {
      bar,
      Button("?LOOKUPFILE", 1, 1, 14, "..."),
      Button("?PDFOPEN", 17, 1, 56, "Open PDF File"),
      Button("?BUTTON1", 75, 1, 46, "Insert Field", "Adds New Field"),
      Button("?ZOOMIN", 123, 1, 32, "Zoom In"),
      Button("?ZOOMOUT", 157, 1, 36, "Zoom Out"),
      Button("?ZOOMWIDTH", 195, 1, 62, "Zoom Page Width"),
      Button("?ZOOMPAGE", 259, 1, 32, "Fit Page"),
      Button("?ZOOMACTUAL", 293, 1, 44, "Actual Size"),
      Button("?INFO", 377, 1, 64, "Form Information"),
      zoom,
      faces,
      sizes,
      Tool(ControlType::Check, "?BBOLD", 127, 17, 28, "Bold"),
      Tool(ControlType::Check, "?BITALIC", 157, 17, 28, "Italic"),
      Tool(ControlType::Check, "?BUNDERLINE", 187, 17, 44, "Underline"),
      Tool(ControlType::Check, "?BSTRIKE", 233, 17, 42, "Strikeout"),
      Unused(Button("?RTF:FONT", 277, 17, 34, "Font style")),
      Unused(Button("?RTF:COLOR", 313, 17, 34, "Font color")),
      Button("?SAVEFORM", 1, 33, 38, "Save Form", "Save Form to a Fillable PDF"),
      Button("?SAVEFORMLOCKED", 41, 33, 38, "Save Form", "Save Form to an Uneditable PDF"),
      prompt,
      Button("?SAVE", 383, 33, 50, "Exit and Save"),
      Button("?CANCEL", 435, 33, 62, "Exit without Save"),
      Button("?PRINT", 81, 33, 26, "Print"),
      kind,
      page,
      Unused(Button("?BUTTON5", 349, 17, 34, "Button 5")),
      Button("?SELECTFILLEDFORM", 109, 33, 44, "Select Data"),
      Button("?LOADDATAFROMPDF", 155, 33, 84, "Load Data from PDF File"),
  };
  ControlDesc form;
  form.type = ControlType::Image;
  form.use = "?FORM";
  form.props = {{Prop::Scroll, "1"}};
  w.controls = {form};
  return w;
}

// ---- collaborators

EditorCalls& Calls() {
  static EditorCalls calls = [] {
    EditorCalls c;
    c.updateFilledForm = [](FormEditor&) { return static_cast<int>(cl::response::Cancelled); };
    c.selectFilledForm = [](FormEditor&) { return static_cast<int>(cl::response::Cancelled); };
    c.updateForms = [](FormEditor&, bool) { return static_cast<int>(cl::response::Cancelled); };
    return c;
  }();
  return calls;
}

void ResetCalls() {
  Calls().updateFilledForm = [](FormEditor&) { return static_cast<int>(cl::response::Cancelled); };
  Calls().selectFilledForm = [](FormEditor&) { return static_cast<int>(cl::response::Cancelled); };
  Calls().updateForms = [](FormEditor&, bool) { return static_cast<int>(cl::response::Cancelled); };
}

void RunFormEditor(std::string_view mode) {
  FormEditor editor{std::string(mode)};
  editor.RunWindow();
}

std::string ChooseFile(std::string_view title, std::string_view masks) {
  ui::FileRequest request;
  request.title = std::string(title);
  request.masks = ui::ParseFileMasks(masks);
  request.keepFolder = true;
  const std::vector<std::string> names = ui::FileDialog(request);
  return names.empty() ? std::string() : names.front();
}

FormEditor* EditorOfWindow(long handle) {
  std::lock_guard l(gEditorsMu);
  auto it = Editors().find(handle);
  return it == Editors().end() ? nullptr : it->second;
}

// ---- set-up and tear-down

FormEditor::FormEditor(std::string mode) : ProcedureWindow("FormEditor"), Mode(std::move(mode)) {
  FaceName = "Arial";
  FontSize = "10";
  ControlTypeText = "Text";
}

FormEditor::~FormEditor() {
  std::lock_guard l(gEditorsMu);
  for (auto it = Editors().begin(); it != Editors().end();)
    it = it->second == this ? Editors().erase(it) : std::next(it);
}

int FormEditor::Key(int file, std::string_view label) const {
  return data::ThisThread().Access(static_cast<FileId>(file))->KeyNumber(label);
}

int FormEditor::Setup() {
  ui::SetCursor(ui::cursor::Wait);
  data::GlobalErrors().PushProcedure(Procedure());
  ProcedureWindow::Setup();
  data::Dictionary& d = data::ThisThread();
  for (FileId id : {FileId::AliasFilledForm, FileId::FieldValues})
    if (d.Relate(id)->Open() == cl::kBenign) relationsOpened_.push_back(static_cast<int>(id));
  for (FileId id : {FileId::FormPages, FileId::PageControls, FileId::Forms, FileId::FilledForm,
                    FileId::FilledData})
    if (d.Access(id)->Open() == cl::kBenign) opened_.push_back(static_cast<int>(id));
  Load(EditorWindow());
  Open();
  {
    std::lock_guard l(gEditorsMu);
    Editors()[Win().GetLong(0, Prop::Handle)] = this;
  }
  FormId = d.FOR1.FORMID;
  DataSetId = d.FIL.ID;
  SetEmptyToolbar(Mode == "3");
  FreeControls();
  ZoomPercent = 100;
  ZoomFactor = 1.0;
  if (Mode != "3") {
    Win().Set(kPageNo, Prop::RangeHigh, std::max<long>(1, d.FOR.TOTALPAGES));
    pageNo_ = d.FOR1.PAGENO;
    ShownPage = d.FOR1.PAGENO;
  }
  Win().Bind(kPageNo, ui::UseVar::Of(pageNo_));
  Win().Bind(kZoomValue, ui::UseVar::Of(ZoomValue));
  Win().Bind(kFaceName, ui::UseVar::Of(FaceName));
  Win().Bind(kFontSize, ui::UseVar::Of(FontSize));
  Win().Bind(kBold, ui::UseVar::Of(Bold));
  Win().Bind(kItalic, ui::UseVar::Of(Italic));
  Win().Bind(kUnderline, ui::UseVar::Of(Underline));
  Win().Bind(kStrike, ui::UseVar::Of(Strike));
  Win().Bind(kControlType, ui::UseVar::Of(ControlTypeText));
  InstallPageProc(*this);
  Win().Alert(0, ui::key::Esc);  // cancels a field insertion
  LoadScreenFonts();
  FillFontSizes();
  ReadSettings();
  if (Win().Get(0, Prop::Icon).empty()) Win().Set(0, Prop::Icon, kEditorIcon);
  RestorePosition(app::INIMgr());
  // The window fills the frame's client area from its top-left corner.
  ui::Window::Rect r = Win().Position(0);
  Win().SetPosition(0, 0, 0, r.width + 2 * r.x, r.height + 2 * r.y + kToolbarHeight);
  Win().Set(0, Prop::Pixels, 1L);
  // The page scrolls when it is larger than the client area.
  Win().Set(0, Prop::HScroll, 1L);
  Win().Set(0, Prop::VScroll, 1L);
  InstallStatus();
  ShowPage();
  BuildPageControls();
  savedState_ = SavedState();
  Win().Set(kZoomValue, Prop::Step, static_cast<long>(ZoomStep));
  Win().Set(kZoomValue, Prop::RangeLow, static_cast<long>(kZoomMin));
  Win().Set(kZoomValue, Prop::RangeHigh, static_cast<long>(kZoomMax));
  ZoomValue = ZoomPercent;
  Win().Display();
  ui::SetCursor(ui::cursor::Arrow);
  return cl::kBenign;
}

int FormEditor::Teardown() {
  if (Loaded()) {
    Win().SetClientProc(nullptr);
    Win().Set(0, Prop::Pixels, 0L);
  }
  ProcedureWindow::Teardown();
  // The controls no longer show the entries' buffers.
  if (Loaded())
    for (int n : Win().Controls()) Win().Bind(n, ui::UseVar{});
  // the progress texts go to the editor below on this thread again, if any
  apppdf::SetStatusHandler(nullptr);
  if (auto below = ui::TopWindow())
    if (FormEditor* outer = EditorOfWindow(below->GetLong(0, Prop::Handle)); outer && outer != this)
      outer->InstallStatus();
  data::Dictionary& d = data::ThisThread();
  for (int id : opened_) d.Access(static_cast<FileId>(id))->Close();
  for (int id : relationsOpened_) d.Relate(static_cast<FileId>(id))->Close();
  opened_.clear();
  relationsOpened_.clear();
  if (Loaded()) SavePosition(app::INIMgr());
  data::GlobalErrors().PopProcedure();
  return cl::kBenign;
}

void FormEditor::InstallStatus() {
  apppdf::SetStatusHandler([w = WindowPtr()](std::string_view text) { w->Set(0, Prop::StatusText, text, 1); });
}

void FormEditor::ReadSettings() {
  const app::AppSettings s = app::ReadSettings();
  FieldColor = s.fieldColor;
  SelectedFieldColor = s.selectedFieldColor;
  DefaultTransparent = s.fieldTransparent;
  DefaultFlat = s.fieldFlat;
  DefaultBoxed = s.fieldBoxed;
  RadioFieldColor = s.rbFieldColor;
  SelectedRadioFieldColor = s.srbFieldColor;
}

void FormEditor::SetEmptyToolbar(bool empty) {
  // the editing controls, with those that style and choose the kind of a
  // new field: without a page there is nothing to edit
  static const int editing[] = {kButton1,  kZoomIn,      kZoomOut,         kZoomWidth,      kZoomPage,
                                kZoomActual, kInfo,      kZoomValue,       kFaceName,       kSaveForm,
                                kSaveFormLocked, kPrompt1, kSave,          kPrint,          kPageNo,
                                kSelectFilledForm, kLoadDataFromPdf, kFileImportFields, kFilePrint,
                                kFontSize, kBold,        kItalic,          kUnderline,      kStrike,
                                kControlType};
  if (empty) Win().Unhide(kPdfOpen); else Win().Hide(kPdfOpen);
  for (int n : editing) Win().Set(n, Prop::Hide, empty ? 1L : 0L);
}

// ---- commands

int FormEditor::DispatchEvent() {
  ++busy_;
  const int result = ProcedureWindow::DispatchEvent();
  --busy_;
  return result;
}

void FormEditor::TakeFieldValues() {
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    if (e.VALUE && e.CTLTYPE != kCheck) Win().Update(e.CTLNO);
  }
}

int FormEditor::OnAccepted() {
  const int control = Win().Field();
  TakeFieldValues();
  if (FindControl(control)) return cl::kBenign;  // a field: OnFieldEvent
  switch (control) {
    case kFilePrint: Win().Post(ui::ev::Accepted, kPrint); break;
    case kFileImportFields: ImportFields(); break;
    case kFileImportDataFromFdf: ImportDataFromFdf(); break;
    case kSendEmailAs: EmailPdf(false); break;
    case kSendEmailAsUneditablePdf: EmailPdf(true); break;
    case kEditTabOrder:
      Win().Update();
      TabOrderEditor();
      Win().Display();
      break;
    case kLookupFile: LookupPicture(); break;
    case kPdfOpen: OpenPdfFile(); break;
    case kButton1: StartInsert(); break;
    case kZoomIn:
      ZoomPercent = ZoomIn(ZoomPercent, ZoomStep);
      ZoomMode = kPercentage;
      ApplyZoom();
      break;
    case kZoomOut:
      ZoomPercent = ZoomOut(ZoomPercent, ZoomStep);
      ZoomMode = kPercentage;
      ApplyZoom();
      break;
    case kZoomWidth: ZoomMode = kPageWidth; ApplyZoom(); break;
    case kZoomPage: ZoomMode = kFitPage; ApplyZoom(); break;
    case kZoomActual: ZoomMode = kActualSize; ApplyZoom(); break;
    case kZoomValue:
      ZoomPercent = std::clamp<Short>(ZoomValue, kZoomMin, kZoomMax);
      ZoomMode = kPercentage;
      ApplyZoom();
      break;
    case kPageNo:
      if (pageNo_ != ShownPage) SwitchPage();
      break;
    case kInfo: {
      cl::ThreadRequest() = cl::request::Change;
      data::Dictionary& d = data::ThisThread();
      const bool withDataSet = PdfOpened || Mode == "2";
      if (withDataSet) {
        d.FIL.ID = DataSetId;
        d.Access(FileId::FilledForm)->TryFetch(Key(static_cast<int>(FileId::FilledForm), "FIL:ID_Key"));
      }
      Calls().updateForms(*this, withDataSet);
      break;
    }
    case kSaveForm: SaveFillablePdf(); break;
    case kSaveFormLocked: SaveUneditablePdf(); break;
    case kSave: ExitAndSave(); break;
    case kCancel: ExitWithoutSave(); break;
    case kPrint: PrintForm(); break;
    case kSelectFilledForm: SelectData(); break;
    case kLoadDataFromPdf: ImportDataFromPdf(); break;
    default: break;
  }
  const int result = ProcedureWindow::OnAccepted();
  if (result == cl::kBenign && control == kFileImportDataFromPdf) Win().Post(ui::ev::Accepted, kLoadDataFromPdf);
  return result;
}

int FormEditor::OnNewSelection() {
  const int control = Win().Field();
  if (control == kPageNo) {
    Win().Update(kPageNo);
    if (pageNo_ != ShownPage) SwitchPage();
  } else if (control == kZoomValue) {
    Win().Update(kZoomValue);
    ZoomPercent = std::clamp<Short>(ZoomValue, kZoomMin, kZoomMax);
    ZoomMode = kPercentage;
    ApplyZoom();
  }
  return cl::kBenign;
}

int FormEditor::OnWindowEvent() {
  const int event = Win().EventNo();
  switch (event) {
    case kMouseMoved: MouseMoved(); break;
    case kMouseDown: MouseDown(); break;
    case ui::ev::Sized:
    case ui::ev::Maximized: ApplyZoom(); break;
    case ui::ev::CloseWindow:
      if (!MayClose()) {
        Win().CancelClose();
        return cl::kNotify;
      }
      break;
    default: break;
  }
  const int result = ProcedureWindow::OnWindowEvent();
  if (result == cl::kBenign && event == ui::ev::AlertKey && Win().Keycode() == ui::key::Esc) CancelInsert();
  return result;
}

void FormEditor::OpenPdfFile() {
  const std::string file = ChooseFile("Select PDF File", "Adobe PDF | *.pdf");
  if (file.empty()) return;
  Win().Display();
  Win().Invalidate();
  const rt::Short created = apppdf::CreateFormFromPdf(file);
  // Nothing was imported: the editor stays empty.
  if (created < 0) return;
  data::Dictionary& d = data::ThisThread();
  FormId = d.FOR.ID;
  d.FOR1.FORMID = d.FOR.ID;
  d.FOR1.PAGENO = 1;
  ShownPage = 1;
  pageNo_ = 1;
  LoadPageRecord();
  Win().Set(kPageNo, Prop::RangeHigh, std::max<long>(1, d.FOR.TOTALPAGES));
  Mode = "1";
  Win().Unhide(kForm);
  ShowPage();
  BuildPageControls();
  // the document's own values show, but no data set holds them yet
  savedState_ = SavedState();
  PdfFileName = file;
  LoadDataFromPdf();
  ApplyZoom();
  SetEmptyToolbar(false);
  // Only a form this window created is removed again by Exit without Save.
  PdfOpened = created == 1 ? 1 : 0;
  Mode = "2";
  cl::FileManager* sets = d.Access(FileId::FilledForm);
  d.File(FileId::FilledForm).ClearRecord();
  d.FIL.FORMID = d.FOR.ID;
  const rt::Long today = rt::Today(), now = rt::Clock();
  d.FIL.FILLEDFORMNAME = rt::Clip(d.FOR.FORMNAME.View()) + " Created: " + rt::Format(today, "@d17") +
                         " at " + rt::Format(now, "@t7");
  d.FIL.DATECREATED = today;
  d.FIL.TIMECREATED = now;
  dataSetAdded_ = sets->TryInsert() == cl::kBenign && !PdfOpened;
  DataSetId = d.FIL.ID;
}

void FormEditor::ExitWithoutSave() {
  if (PdfOpened) {
    data::Dictionary& d = data::ThisThread();
    cl::RelationManager* forms = d.Relate(FileId::Forms);
    if (forms->Open() == cl::kBenign) {
      d.FOR.ID = FormId;
      if (d.Access(FileId::Forms)->TryFetch(Key(static_cast<int>(FileId::Forms), "FOR:ID_Key")) == cl::kBenign)
        forms->TryDelete();
      forms->Close();
    }
  } else if (dataSetAdded_) {
    // the data set this window added to a form it kept goes again, with
    // any values stored under it
    data::Dictionary& d = data::ThisThread();
    cl::RelationManager* sets = d.Relate(FileId::FilledForm);
    if (sets->Open() == cl::kBenign) {
      d.FIL.ID = DataSetId;
      if (d.Access(FileId::FilledForm)->TryFetch(Key(static_cast<int>(FileId::FilledForm), "FIL:ID_Key")) ==
          cl::kBenign)
        sets->TryDelete();
      sets->Close();
    }
  }
  leaving_ = true;
  Win().Post(ui::ev::CloseWindow);
}

std::string FormEditor::SavedState() {
  TakeFieldValues();
  std::string state;
  auto add = [&state](const auto& v) {
    if constexpr (std::is_arithmetic_v<std::decay_t<decltype(v)>>) state += std::to_string(v);
    else state += std::string(v);
    state += '\x1f';
  };
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    for (Long v : {e.CTLID, e.CTLTYPE, e.CTLX, e.CTLY, e.CTLW, e.CTLH, e.PDFFIELDBACKGROUNDCOLOR, e.PDFFIELDTEXTCOLOR,
                   e.PDFFIELDROTATION, e.PDFBORDERCOLOR, e.BORDERSTYLE})
      add(v);
    for (Short v : {e.FORMPAGE, e.FONTSIZE, e.TABORDER}) add(v);
    for (Byte v : {e.FONTBOLD, e.FONTIT, e.FONTUL, e.FONTSTRIKE, e.FLAT, e.TRANSPARENT, e.BOXED, e.VSCROLL,
                   e.HASBORDER, e.CHECKED})
      add(v);
    for (Real v : {e.BORDERWIDTH, e.DASHON, e.DASHOFF, e.PDFX, e.PDFY, e.PDFW, e.PDFH}) add(v);
    add(e.NAME.View());
    add(e.FONTNAME.View());
    add(e.PICTURE.View());
    add(e.ALIGN.View());
    add(e.Value());
    state += '\x1e';
  }
  return state;
}

bool FormEditor::HasUnsavedChanges() { return FormId != 0 && SavedState() != savedState_; }

bool FormEditor::MayClose() {
  if (leaving_ || !HasUnsavedChanges()) return true;
  // what the changes belong to: the data set being filled, else the form
  data::Dictionary& d = data::ThisThread();
  std::string name;
  if (Mode == "2" || PdfOpened) {
    d.FIL.ID = DataSetId;
    if (d.Access(FileId::FilledForm)->TryFetch(Key(static_cast<int>(FileId::FilledForm), "FIL:ID_Key")) ==
        cl::kBenign)
      name = rt::Clip(d.FIL.FILLEDFORMNAME.View());
  }
  if (name.empty()) {
    d.FOR.ID = FormId;
    if (d.Access(FileId::Forms)->TryFetch(Key(static_cast<int>(FileId::Forms), "FOR:ID_Key")) == cl::kBenign)
      name = rt::Clip(d.FOR.FORMNAME.View());
  }
  const int answer = ui::Message("Save the changes to " + name + "?", "Velmora", ui::icon::Question,
                                 ui::button::Yes | ui::button::No | ui::button::Cancel, ui::button::Yes);
  if (answer == ui::button::Yes) {
    ExitAndSave();
    return leaving_;  // a save that failed has said so; the window stays
  }
  if (answer == ui::button::No) {
    ExitWithoutSave();
    return true;
  }
  return false;
}

bool CloseEditors() {
  std::vector<std::shared_ptr<ui::Window>> editors;
  {
    std::lock_guard l(gEditorsMu);
    for (const auto& w : ui::OpenWindows())  // in opening order
      for (const auto& [handle, ed] : Editors())
        if (ed->Loaded() && ed->WindowPtr() == w) editors.push_back(w);
  }
  for (auto it = editors.rbegin(); it != editors.rend(); ++it) {
    ui::Window& w = **it;
    const long refused = w.CloseRefusals();
    w.InputClose();
    // an editor of this thread cannot answer while its caller waits here
    if (w.Thread() == rt::ThreadNumber()) continue;
    rt::UnlockThread();
    while (w.IsOpen() && w.CloseRefusals() == refused) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    rt::LockThread();
    if (w.IsOpen()) return false;
  }
  return true;
}

void FormEditor::SelectData() {
  cl::ThreadRequest() = cl::request::Select;
  Win().Update();
  const int response = Calls().selectFilledForm(*this);
  if (response == cl::response::Completed) {
    data::Dictionary& d = data::ThisThread();
    cl::FileManager* values = d.Access(FileId::FilledData);
    d.File(FileId::FilledData).ClearRecord();
    const rt::Long chosen = d.ALI.ID;
    d.FIL1.ID = chosen;
    values->SetKeyFromRecord(Key(static_cast<int>(FileId::FilledData), "FIL1:FiledForm_key"));
    while (values->TryNext() == cl::kBenign && d.FIL1.ID == chosen) {
      // a value belongs to the field of its own page and kind
      for (long i = 1; i <= Queue.Count(); ++i) {
        Queue.Get(i);
        FormControl& e = Queue.Buffer();
        if (e.CTLID != d.FIL1.CONTROLID || e.FORMPAGE != d.FIL1.PAGENO) continue;
        if ((e.CTLTYPE == kRegionCheck) != (d.FIL1.ISCHECKBOX != 0)) continue;
        const std::string value = First(d.FIL1.VALUE.View(), 255);
        if (e.CTLTYPE == kRegionCheck) {
          const bool on = rt::Clip(value) == "Checked";
          if (on && !e.CHECKED) DrawCheck(e);
          if (!on && e.CHECKED) RemoveCheck(e);
        } else if (e.PDFFIELDTYPE == kPdfRadio && !rt::Clip(value).empty()) {
          e.SetValue("x");
          Win().Set(e.CTLNO, Prop::Color, SelectedRadioFieldColor);
          e.CHECKED = 1;
        } else {
          e.SetValue(value);
        }
        Queue.Put();
        break;
      }
    }
  }
  Win().Display();
}

void FormEditor::LookupPicture() {
  ui::FileRequest request;
  request.title = "Select File";
  request.masks = ui::ParseFileMasks("All Files|*.*");
  const std::vector<std::string> names = ui::FileDialog(request);
  if (names.empty()) return;
  Win().Set(0, Prop::Pixels, 1L);
  const int probe = Win().CreateControl(ControlType::Image);
  Win().Set(probe, Prop::Text, names.front());
  const long width = Win().GetLong(probe, Prop::ImageWidth), height = Win().GetLong(probe, Prop::ImageHeight);
  Win().Destroy(probe);
  Win().SetPosition(kForm, 0, 0, width, height);
  Win().Set(kForm, Prop::Text, names.front());
  Win().Unhide(kForm);
}

// ---- field events

long FormEditor::FindControl(int control) {
  if (control <= 0) return 0;
  for (long i = 1; i <= Queue.Count(); ++i)
    if (Queue.At(i).CTLNO == control) return i;
  return 0;
}

int FormEditor::OnFieldEvent() {
  const int event = Win().EventNo();
  const long position = FindControl(Win().Field());
  if (event == ui::ev::AlertKey && Win().Keycode() == ui::key::Esc) CancelInsert();
  if (!position || event == ui::ev::PreAlertKey) return cl::kBenign;
  TakeFieldValues();
  Queue.Get(position);
  switch (event) {
    case ui::ev::AlertKey: {
      const int key = Win().Keycode();
      if (key == ui::key::MouseLeft2) {
        UpdateRuntimeControl();
        Win().Display();
        Win().Select(Queue.Buffer().CTLNO);
      } else if (key == ui::key::MouseRight) {
        RightClick(position);
      } else if (key == ui::key::MouseLeft && Queue.Buffer().RADIOBUTTONNUMBER > 0) {
        SetCheckState(true);
      }
      break;
    }
    case ui::ev::Accepted: CheckAccepted(position); break;
    case ui::ev::Selected: FieldSelected(position); break;
    case ui::ev::NewSelection: FieldKeystroke(position); break;
    default: break;
  }
  return cl::kBenign;
}

void FormEditor::RightClick(long position) {
  const int choice = ui::Popup("&Edit|&Delete|&Change Position/Resize");
  Queue.Get(position);
  FormControl& e = Queue.Buffer();
  switch (choice) {
    case 1:
      UpdateRuntimeControl();
      Bold = e.FONTBOLD;
      Italic = e.FONTIT;
      Underline = e.FONTUL;
      Strike = e.FONTSTRIKE;
      Win().Display();
      Win().Select(e.CTLNO);
      break;
    case 2: DeleteSelectedControl(); break;
    case 3: {
      MorphBox(e.CTLNO);
      const ui::Window::Rect r = Win().Position(e.CTLNO);
      const Rect page = ToPage({static_cast<Long>(r.x), static_cast<Long>(r.y), static_cast<Long>(r.width),
                                static_cast<Long>(r.height)},
                               ZoomFactor, PageLeft, PageTop);
      e.CTLX = page.x;
      e.CTLY = page.y;
      e.CTLW = page.width;
      e.CTLH = page.height;
      Queue.Put();
      break;
    }
    default: break;
  }
}

void FormEditor::CheckAccepted(long position) {
  FormControl& e = Queue.Buffer();
  if (e.CTLTYPE == kRegionCheck) {
    if (!e.CHECKED) DrawCheck(e); else RemoveCheck(e);
    Queue.Put();
  }
  Queue.Get(position);
  if (Queue.Buffer().PDFFIELDTYPE == kPdfRadio) SetCheckState(false);
}

void FormEditor::FieldSelected(long position) {
  FormControl& e = Queue.Buffer();
  ValueOnEntry = First(e.Value(), 127);
  const bool radio = e.PDFFIELDTYPE == kPdfRadio;
  Win().Set(e.CTLNO, Prop::Color, radio && e.CHECKED ? SelectedRadioFieldColor : SelectedFieldColor);
  if (PreviousControl > 0 && PreviousControl != e.CTLNO && Win().Exists(PreviousControl)) {
    long colour = FieldColor;
    if (PreviousType == kPdfRadio) colour = PreviousChecked ? SelectedRadioFieldColor : RadioFieldColor;
    Win().Set(PreviousControl, Prop::Color, colour);
  }
  PreviousControl = e.CTLNO;
  PreviousType = e.PDFFIELDTYPE;
  PreviousChecked = e.CHECKED;
  FaceName = e.FONTNAME.View();
  ListFaceName();
  FontSize = std::to_string(e.FONTSIZE);
  Bold = e.FONTBOLD;
  Italic = e.FONTIT;
  Underline = e.FONTUL;
  Strike = e.FONTSTRIKE;
  (void)position;
  Win().Display();
}

void FormEditor::FieldKeystroke(long position) {
  const FormControl& e = Queue.At(position);
  if (e.PDFFIELDLENGTH <= 0) return;
  Win().Update(e.CTLNO);
  const std::string value = e.Value();
  if (value != ValueOnEntry.View() && static_cast<long>(value.size()) == e.PDFFIELDLENGTH) {
    Win().Post(ui::ev::Accepted, e.CTLNO);
    Win().Select(e.CTLNO + 1);
  }
}

void FormEditor::DeleteSelectedControl() {
  const int answer = ui::Message("Are you sure you want to delete selected control?", "CONFIRM",
                                 ui::icon::Question, ui::button::Yes | ui::button::No, ui::button::No);
  if (answer != ui::button::Yes) return;
  FormControl& e = Queue.Buffer();
  Win().Destroy(e.CTLNO);
  if (e.LINE_FEQ1 && e.LINE_FEQ2) RemoveCheck(e);
  if (PreviousControl == e.CTLNO) PreviousControl = -1;
  e.CTLCAPTION.clear();
  e.CTLTIPS.clear();
  Queue.Delete();
}

void FormEditor::SetCheckState(bool byClick) {
  FormControl& clicked = Queue.Buffer();
  if (clicked.RADIOBUTTONNUMBER <= 0) return;
  Win().Update(clicked.CTLNO);
  const int control = clicked.CTLNO;
  const Short group = clicked.PDFFIELDNUMBER;
  const std::string remembered = First(clicked.Value(), 20);
  Queue.Sort(&FormControl::CTLNO);
  for (long i = 1; i <= Queue.Count(); ++i) {
    Queue.Get(i);
    FormControl& e = Queue.Buffer();
    if (e.PDFFIELDNUMBER != group || e.RADIOBUTTONNUMBER <= 0) continue;
    e.SetValue("");
    Win().Set(e.CTLNO, Prop::ScreenText, "");
    Win().Set(e.CTLNO, Prop::Color, RadioFieldColor);
    e.CHECKED = 0;
    Queue.Put();
  }
  const long position = FindControl(control);
  Queue.Get(position);
  FormControl& e = Queue.Buffer();
  const bool blank = rt::Clip(remembered).empty();
  const bool select = byClick ? blank : !blank;
  if (select) {
    e.SetValue("x");
    e.CHECKED = 1;
    Win().Set(e.CTLNO, Prop::Color, SelectedRadioFieldColor);
  }
  if (!byClick) PreviousChecked = e.CHECKED;
  Queue.Put();
  Win().Display();
  if (byClick) Win().Select(control);
}

}  // namespace editor
