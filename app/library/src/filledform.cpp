// The data-set windows: one FilledForm record, from which the Form Editor
// opens on the data set, and the list from which the editor picks a data
// set of its form.
#include <string>
#include <vector>

#include "recordwindow.h"
#include "velmora/classlib/locator.h"
#include "velmora/editor/formeditor.h"
#include "velmora/library/records.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/rows.h"

namespace library {
namespace {

using data::FileId;
using ui::ControlType;
using ui::Prop;

// ---- UpdateFilledForm

enum : int {
  kCancel = 1, kOk, kOpenEditor, kHelp, kFormNamePrompt, kFormName, kIdPrompt, kId, kFormId, kNamePrompt, kName,
  kEdit, kCreatedPrompt, kDate, kTime, kButtonCancel, kButtonOk,
};

ui::WindowDesc DataSetWindow() {
  using T = ControlType;
  ui::WindowDesc d;
  d.caption = "Form FilledForm";
  d.width = 349;
  d.height = 57;
  d.toolbar = {ToolButton("?CANCEL", kCancel, 0, {}, "Exit without Save", "cancel.ico"),
               ToolButton("?OK", kOk, 24, "OK", "Accept data and close the window", "apply.ico"),
               ToolButton("?HELP:2", kOpenEditor, 48, {}, "Open Editor Window", "edit.ico"),
               ui::Hidden(ToolButton("?HELP", kHelp, 72, "?", "See Help Window", "help.ico"))};
  ui::ControlDesc formName = Control(T::String, "?FOR:FORMNAME", kFormName, 80, 4, 150, 10, {}, "@s79");
  formName.font.style = ui::style::Bold;
  ui::ControlDesc edit = Control(T::Button, "?BUTTON5", kEdit, 297, 19, 50, 16, "&Edit");
  edit.icon = "edit.gif";
  ui::ControlDesc cancel = Control(T::Button, "?BUTTON5:2", kButtonCancel, 243, 38, 50, 16, "&Cancel");
  cancel.icon = "cancel.gif";
  ui::ControlDesc ok = Control(T::Button, "?BUTTON5:3", kButtonOk, 297, 38, 50, 16, "&OK");
  ok.icon = "apply.gif";
  d.controls = {
      Control(T::Prompt, "?FIL:FILLEDFORMNAME:PROMPT:2", kFormNamePrompt, 2, 4, 70, 10, "Form Name:"),
      formName,
      Control(T::Prompt, "?FIL:ID:PROMPT", kIdPrompt, 241, 4, 34, 10, "Internal ID:"),
      Control(T::String, "?FIL:ID", kId, 277, 4, 29, 10, {}, "@n6"),
      Control(T::String, "?FIL:FORMID", kFormId, 314, 4, 25, 10, {}, "@n4"),
      Control(T::Prompt, "?FIL:FILLEDFORMNAME:PROMPT", kNamePrompt, 2, 21, 76, 10, "Filled Document Name:"),
      Control(T::Entry, "?FIL:FILLEDFORMNAME", kName, 80, 21, 213, 12, {}, "@s128"),
      edit,
      Control(T::Prompt, "?FIL:FILLEDFORMNAME:PROMPT:3", kCreatedPrompt, 2, 41, 70, 10, "Created:"),
      Control(T::Entry, "?FIL:DATECREATED", kDate, 80, 40, 51, 12, {}, "@d17"),
      Control(T::Entry, "?FIL:TIMECREATED", kTime, 133, 40, 51, 12, {}, "@t7"),
      cancel,
      ok,
  };
  return d;
}

class DataSetRecordWindow : public RecordWindow {
 public:
  DataSetRecordWindow() : RecordWindow("UpdateFilledForm") {}

  int Setup() override {
    Begin();
    data::Dictionary& d = data::ThisThread();
    OpenRelation(FileId::FilledData);
    OpenFile(FileId::FormPages);
    OpenFile(FileId::PageControls);
    if (!OpenPrimary(FileId::FilledForm, kCancel, kOk)) return cl::kNotify;
    if (PrepareRequest() != cl::kBenign) return cl::kNotify;
    dataSet_ = d.FIL.ID;

    OpenWindow(DataSetWindow());
    ui::Window& w = Win();
    w.Bind(kFormName, ui::UseVar::Of(formName_));
    BindFields(FileId::FilledForm, {{kId, "FIL:ID"}, {kFormId, "FIL:FORMID"}, {kName, "FIL:FILLEDFORMNAME"},
                                    {kDate, "FIL:DATECREATED"}, {kTime, "FIL:TIMECREATED"}});
    History.Restored = [this](int control) {
      if (control == kFormId) ShowFormName();
    };
    ui::SetCursor(ui::cursor::Arrow);
    Refresh();
    return cl::kBenign;
  }

  int Teardown() override {
    // A new data set given up takes the values the editor stored under
    // its number with it.
    if (Response != cl::response::Completed && Request == cl::request::Insert && editorOpened_)
      DeleteDataSetValues(dataSet_);
    End();
    return cl::kBenign;
  }

  // A new data set belongs to the form its caller named, else to the
  // current form; it starts with today's date and the time of day.
  int OnRecordPrimed() override {
    data::Dictionary& d = data::ThisThread();
    if (d.FIL.FORMID == 0) d.FIL.FORMID = d.FOR.ID;
    d.FIL.DATECREATED = rt::Today();
    d.FIL.TIMECREATED = rt::Clock();
    return ProcedureWindow::OnRecordPrimed();
  }

  // "Form Name:" shows the data set's form (empty when there is none).
  void Refresh() override {
    ReadFormName();
    ProcedureWindow::Refresh();
  }

  int OnAccepted() override {
    ui::Window& w = Win();
    switch (w.Field()) {
      case kOpenEditor: OpenEditor(); break;
      case kButtonCancel: w.Post(ui::ev::Accepted, kCancel); break;
      case kButtonOk: w.Post(ui::ev::Accepted, kOk); break;
      case kEdit:
        w.Update();
        w.Post(ui::ev::Accepted, kOpenEditor);
        break;
      default: break;
    }
    return ProcedureWindow::OnAccepted();
  }

 private:
  // The Form Editor in fill mode on this data set as it stands (a new one
  // under its new number), with its form and the form's first page.
  void OpenEditor() {
    ui::Window& w = Win();
    data::Dictionary& d = data::ThisThread();
    w.Update();
    const data::FilledFormRecord entry = d.FIL;
    cl::FileManager* forms = d.Access(FileId::Forms);
    d.FOR.ID = entry.FORMID;
    if (forms->TryFetch(forms->KeyNumber("FOR:ID_Key")) != cl::kBenign) {
      ui::Message("The form of this data set does not exist.", "Velmora", ui::icon::Exclamation, ui::button::Ok);
      return;
    }
    cl::FileManager* pages = d.Access(FileId::FormPages);
    d.File(FileId::FormPages).ClearRecord();
    d.FOR1.FORMID = entry.FORMID;
    pages->SetKeyFromRecord(pages->KeyNumber("FOR1:FormID_Key"));
    if (pages->TryNext() != cl::kBenign || d.FOR1.FORMID != entry.FORMID) {
      d.File(FileId::FormPages).ClearRecord();
      d.FOR1.FORMID = entry.FORMID;
      d.FOR1.PAGENO = 1;
    }
    editorOpened_ = true;
    editor::RunFormEditor("2");
    // The editor's own windows may have read other data sets.
    d.FIL = entry;
    Refresh();
  }

  void ReadFormName() {
    const rt::Long form = data::ThisThread().FIL.FORMID;
    formName_ = "";
    SideFile forms(FileId::Forms);
    auto& f = forms.Buffer<data::FormsRecord>();
    forms.Scan(
        "FOR:ID_Key", [&] { f.ID = form; }, [&] { return f.ID == form; },
        [&](const std::string&) { formName_ = f.FORMNAME.View(); });
  }
  void ShowFormName() {
    ReadFormName();
    Win().Display(kFormName);
  }

  bool editorOpened_ = false;
  rt::Long dataSet_ = 0;
  rt::CString<80> formName_;
};

// ---- SelectFilledForm

enum : int { kBrowse = 1, kSelect, kClose, kSelectHelp };

ui::WindowDesc SelectWindow() {
  using T = ControlType;
  ui::WindowDesc d;
  d.caption = "Select Filled Form Data";
  d.width = 216;
  d.height = 177;
  ui::ControlDesc list = Control(T::List, "?BROWSE:1", kBrowse, 8, 9, 200, 124);
  list.tip = "Browsing the AliasFilledForm file";
  list.format = "53R(2)|M~Form ID~C(0)@n-14@80L(2)|M~Filled Form Name~@s128@";
  ui::ControlDesc select = Control(T::Button, "?SELECT:2", kSelect, 159, 137, 49, 14, "&Select");
  select.tip = "Select the Record";
  select.icon = "WASELECT.ICO";
  ui::ControlDesc close = Control(T::Button, "?CLOSE", kClose, 110, 158, 49, 14, "&Close");
  close.tip = "Close Window";
  close.icon = "WACLOSE.ICO";
  ui::ControlDesc help = Control(T::Button, "?HELP", kSelectHelp, 163, 158, 49, 14, "&Help");
  help.tip = "See Help Window";
  help.icon = "WAHELP.ICO";
  help.hidden = true;  // no help stands behind it on this system
  d.controls = {list, select, close, help};
  return d;
}

struct DataSetRow {
  rt::Long formId = 0;
  std::string name;
  rt::Long id = 0;
  std::string position;
};

class DataSetRows : public ui::RowSource {
 public:
  std::vector<DataSetRow> rows;
  long Rows() const override { return static_cast<long>(rows.size()); }
  std::string Field(long row, int field) const override {
    if (row < 1 || row > Rows()) return {};
    const DataSetRow& r = rows[static_cast<size_t>(row - 1)];
    switch (field) {
      case 1: return std::to_string(r.formId);
      case 2: return r.name;
      case 3: return std::to_string(r.id);
      default: return {};
    }
  }
};

class SelectDataSetWindow : public RecordWindow {
 public:
  SelectDataSetWindow() : RecordWindow("SelectFilledForm") {}

  int Setup() override {
    Begin();
    CancelControl = kClose;
    const bool aliasOpened = OpenRelation(FileId::AliasFilledForm);
    OpenRelation(FileId::Forms);
    if (!aliasOpened) return cl::kNotify;
    OpenWindow(SelectWindow());
    locator_.Init(
        Win(), kBrowse, [this] { return rows_.Rows(); },
        [this](long row) { return rows_.rows[static_cast<size_t>(row - 1)].name; });
    LoadRows();
    Win().Select(kBrowse);
    return cl::kBenign;
  }

  int Teardown() override {
    if (Loaded()) Win().SetRows(kBrowse, nullptr);
    End();
    return cl::kBenign;
  }

  int OnAccepted() override {
    const int control = Win().Field();
    if (control == kSelect || control == kBrowse) {
      Choose();
      return cl::kNotify;
    }
    return ProcedureWindow::OnAccepted();
  }

  // A row chosen by the user starts the locator anew.
  int OnNewSelection() override {
    if (Win().Field() == kBrowse) locator_.Reset();
    return cl::kBenign;
  }

  int OnFieldEvent() override {
    if (Win().Field() == kBrowse && Win().EventNo() == ui::ev::AlertKey) locator_.TakeKey(Win().Keycode());
    return cl::kBenign;
  }

 private:
  // The data sets of the current form, in the order of ALI:FormID_Key.
  void LoadRows() {
    data::Dictionary& d = data::ThisThread();
    locator_.Reset();
    const rt::Long form = d.FOR.ID;
    rows_.rows.clear();
    cl::FileManager* sets = d.Access(FileId::AliasFilledForm);
    d.File(FileId::AliasFilledForm).ClearRecord();
    d.ALI.FORMID = form;
    sets->SetKeyFromRecord(sets->KeyNumber("ALI:FormID_Key"));
    while (sets->TryNext() == cl::kBenign && d.ALI.FORMID == form)
      rows_.rows.push_back({d.ALI.FORMID, rt::Clip(d.ALI.FILLEDFORMNAME.View()), d.ALI.ID, sets->Position()});
    Win().SetRows(kBrowse, &rows_);
    Win().Set(kBrowse, Prop::Selected, rows_.rows.empty() ? 0L : 1L);
    rows_.rows.empty() ? Win().Disable(kSelect) : Win().Enable(kSelect);
    Win().Display(kBrowse);
  }

  // The highlighted data set, read again, goes into the ALI buffer.
  void Choose() {
    const long row = Win().GetLong(kBrowse, Prop::Selected);
    if (row < 1 || row > rows_.Rows()) return;
    cl::FileManager* sets = data::ThisThread().Access(FileId::AliasFilledForm);
    if (sets->TryReget(rows_.rows[static_cast<size_t>(row - 1)].position) != cl::kBenign ||
        data::ThisThread().ALI.ID != rows_.rows[static_cast<size_t>(row - 1)].id) {
      ui::Message("This data set could not be read again: it may have been deleted.", "Velmora",
                  ui::icon::Exclamation, ui::button::Ok);
      LoadRows();
      return;
    }
    Response = cl::response::Completed;
    Win().Post(ui::ev::CloseWindow);
  }

  DataSetRows rows_;
  cl::TypeAheadLocator locator_;
};

}  // namespace

void UpdateFilledForm() {
  DataSetRecordWindow window;
  window.RunWindow();
}

void SelectFilledForm() {
  SelectDataSetWindow window;
  window.RunWindow();
}

}  // namespace library
