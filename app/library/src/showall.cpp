// The Forms window: the forms tree with the page picture, beside the list
// of the selected form's data sets, from which the editor fills them.
#include "velmora/library/treewindows.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/queue_rows.h"

namespace library {

using data::FileId;
using ui::ControlType;
using ui::Prop;

namespace {

constexpr const char* kListFormat =
    "127L(2)|M~Data Set Name~@s128@[50L(2)|M@d17@32L(2)|M@t7@]|M~Date/Time Created~";
constexpr const char* kListPopup = "&Insert|&Change|&Delete|-|&Edit Form";
constexpr const char* kStaleDataSet =
    "The selected data set could not be read again: another window may have changed or deleted it. "
    "The list has been read again.";
constexpr const char* kNoForm = "Select a form in the tree first: a data set belongs to a form.";
constexpr const char* kNoDataSet = "This form has no data set to fill yet. Add one with Insert first.";

ui::ControlDesc Button(std::string use, int number, int x, int y, int width, std::string text) {
  ui::ControlDesc c;
  c.type = ControlType::Button;
  c.use = std::move(use);
  c.number = number;
  c.x = x, c.y = y, c.width = width, c.height = 20;
  c.text = std::move(text);
  return c;
}

}  // namespace

// ---- the data-set list

void ShowAllBrowse::Attach(ui::Window& window, int list) {
  window_ = &window;
  list_ = list;
  rows_ = std::make_unique<ui::QueueRows<Row>>(Queue, &Row::FILLEDFORMNAME, &Row::DATECREATED, &Row::TIMECREATED,
                                                &Row::ID, &Row::FORMID, &Row::MARK, &Row::POSITION);
  window.SetRows(list, rows_.get());
  locator_.Init(
      window, list, [this] { return Queue.Count(); },
      [this](long row) { return Queue.At(row).FILLEDFORMNAME.Clip(); });
}

void ShowAllBrowse::ResetFromLimit(long form) {
  data::Dictionary& d = data::ThisThread();
  const long selected = window_ ? window_->GetLong(list_, Prop::Selected) : 0;
  const long keep = selected >= 1 && selected <= Queue.Count() ? Queue.At(selected).ID : 0;
  Limit = form;
  locator_.Reset();
  Queue.Free();
  if (form > 0) {
    cl::FileManager* sets = d.Access(FileId::FilledForm);
    if (sets->EnsureOpen(cl::kUseReturns) == cl::kBenign) {
      const data::FilledFormRecord saved = d.FIL;
      sets->File()->ClearRecord();
      d.FIL.FORMID = static_cast<rt::Long>(form);
      sets->SetKeyFromRecord(sets->KeyNumber("FIL:FormID_Key"));
      while (sets->TryNext() == cl::kBenign && d.FIL.FORMID == form) {
        Row& r = Queue.Buffer();
        r.FILLEDFORMNAME = d.FIL.FILLEDFORMNAME.View();
        r.DATECREATED = d.FIL.DATECREATED;
        r.TIMECREATED = d.FIL.TIMECREATED;
        r.ID = d.FIL.ID;
        r.FORMID = d.FIL.FORMID;
        r.MARK = 0;
        r.POSITION = sets->Position();
        Queue.Add();
      }
      d.FIL = saved;
    }
  }
  long row = Queue.Count() ? 1 : 0;
  for (long i = 1; keep && i <= Queue.Count(); ++i)
    if (Queue.At(i).ID == keep) row = i;
  if (window_) {
    window_->Set(list_, Prop::Selected, row);
    window_->Display(list_);
  }
  if (row) TakeSelected(false);
}

void ShowAllBrowse::SelectId(long id) {
  for (long i = 1; i <= Queue.Count(); ++i)
    if (Queue.At(i).ID == id && window_) window_->Set(list_, Prop::Selected, i);
}

bool ShowAllBrowse::TakeSelected(bool report) {
  data::Dictionary& d = data::ThisThread();
  const long row = window_ ? window_->GetLong(list_, Prop::Selected) : 0;
  bool read = false;
  if (row >= 1 && row <= Queue.Count()) {
    const Row& r = Queue.At(row);
    read = d.Access(FileId::FilledForm)->TryReget(r.POSITION) == cl::kBenign && d.FIL.ID == r.ID &&
           d.FIL.FORMID == Limit;
  }
  if (read || !report) return read;
  ui::Message(kStaleDataSet, "Velmora", ui::icon::Exclamation);
  Refresh();
  return false;
}

bool ShowAllBrowse::LocatorKey(int keycode) {
  if (!locator_.TakeKey(keycode)) return false;
  TakeSelected(false);
  return true;
}

// ---- the window

ShowAllWindow::ShowAllWindow() : TreeWindow(FormsWindow()) {}

ui::WindowDesc ShowAllWindow::Describe() const {
  ui::WindowDesc w = TreeWindow::Describe();
  ui::ControlDesc list;
  list.type = ControlType::List;
  list.use = "?LIST";
  list.number = kList;
  list.x = 300, list.y = 6, list.width = 227, list.height = 161;
  list.tip = "Browsing Records";
  list.format = kListFormat;
  w.controls.push_back(list);
  w.controls.push_back(Button("?INSERT:3", kInsert3, 6, 173, 56, "&Insert"));
  w.controls.push_back(Button("?CHANGE:3", kChange3, 65, 173, 56, "&Change"));
  w.controls.push_back(Button("?DELETE:3", kDelete3, 123, 173, 56, "&Delete"));
  w.controls.push_back(Button("?INSERT:2", kInsert2, 300, 173, 55, "&Insert"));
  w.controls.push_back(Button("?CHANGE:2", kChange2, 357, 173, 55, "&Change"));
  w.controls.push_back(Button("?DELETE:2", kDelete2, 414, 173, 55, "&Delete"));
  w.controls.push_back(Button("?BUTTON11", kButton11, 472, 173, 55, "&Fill Data"));
  w.controls.push_back(Button("?BUTTON11:2", kButton11_2, 472, 197, 55, "C&lose"));
  return w;
}

void ShowAllWindow::BeforeOpen() {
  Browse.Attach(Win(), kList);
  Win().Alert(kList, ui::key::MouseLeft2);
}

void ShowAllWindow::SelectionChanged(long form) { Browse.ResetFromLimit(form); }

int ShowAllWindow::OnWindowEvent() {
  if (Win().EventNo() == ui::ev::OpenWindow && tree_.RelationTreeQueue.Count() > 1) {
    tree_.SelectRow(2);
    Win().Post(ui::ev::NewSelection, kRelTree);
    SetButtons(1);
  }
  return TreeWindow::OnWindowEvent();
}

int ShowAllWindow::CallUpdateProcedure(int request) {
  cl::ThreadRequest() = static_cast<rt::Byte>(request);
  cl::ThreadResponse() = cl::response::Cancelled;
  Calls().updateFilledForm();
  return cl::ThreadResponse();
}

void ShowAllWindow::InsertDataSet() {
  data::Dictionary& d = data::ThisThread();
  // the new data set belongs to the form selected in the tree, read again
  const long form = SelectedForm();
  if (form < 0) return;
  if (form == 0) {
    ui::Message(kNoForm, "Velmora", ui::icon::Exclamation);
    return;
  }
  cl::FileManager* sets = d.Access(FileId::FilledForm);
  if (sets->PrimeRecord() != cl::kBenign) return;
  d.FIL.FORMID = static_cast<rt::Long>(form);
  if (CallUpdateProcedure(cl::request::Insert) != cl::response::Completed) return;
  const long id = d.FIL.ID;
  Browse.ResetFromLimit(form);
  Browse.SelectId(id);
  Browse.TakeSelected(false);
  Win().Display(kList);
}

void ShowAllWindow::ChangeDataSet(int request) {
  data::Dictionary& d = data::ThisThread();
  if (!Browse.TakeSelected(true)) return;
  ReadForm(d.FIL.FORMID);  // the window shows the data set's form
  if (CallUpdateProcedure(request) == cl::response::Completed) Browse.Refresh();
}

void ShowAllWindow::FillData() {
  data::Dictionary& d = data::ThisThread();
  if (Browse.Queue.Count() == 0) {
    ui::Message(kNoDataSet, "Velmora", ui::icon::Information);
    return;
  }
  if (!Browse.TakeSelected(true) || !ReadForm(d.FIL.FORMID)) return;
  ReadFirstPage(d.FIL.FORMID);
  RunEditor("2");
  Browse.Refresh();
}

int ShowAllWindow::OnAccepted() {
  switch (Win().Field()) {
    case kInsert3: Win().Post(ui::ev::Accepted, kInsert); return cl::kBenign;
    case kChange3: Win().Post(ui::ev::Accepted, kChange); return cl::kBenign;
    case kDelete3: Win().Post(ui::ev::Accepted, kDelete); return cl::kBenign;
    case kInsert2: InsertDataSet(); return cl::kBenign;
    case kChange2: ChangeDataSet(cl::request::Change); return cl::kBenign;
    case kDelete2: ChangeDataSet(cl::request::Delete); return cl::kBenign;
    case kButton11: FillData(); return cl::kBenign;
    case kButton11_2: Win().Post(ui::ev::CloseWindow); return cl::kBenign;
    default: return TreeWindow::OnAccepted();
  }
}

int ShowAllWindow::OnNewSelection() {
  if (Win().Field() != kList) return TreeWindow::OnNewSelection();
  Browse.SelectedByUser();
  if ((Win().Keycode() & 0xFF) == ui::key::MouseRight) {
    const int item = ui::Popup(kListPopup);
    Win().SetKeycode(0);
    if (item == 1) InsertDataSet();
    else if (item == 2) ChangeDataSet(cl::request::Change);
    else if (item == 3) ChangeDataSet(cl::request::Delete);
    else if (item == 4) Win().Post(ui::ev::Accepted, kButton11);
  }
  return cl::kBenign;
}

int ShowAllWindow::OnFieldEvent() {
  if (Win().Field() == kList && Win().EventNo() == ui::ev::AlertKey) {
    const int key = Win().Keycode();
    if (key == ui::key::MouseLeft2) {
      Win().Post(ui::ev::Accepted, kButton11);
      Win().SetKeycode(0);
    } else {
      Browse.LocatorKey(key);
    }
    return cl::kBenign;
  }
  return TreeWindow::OnFieldEvent();
}

void ShowAll() {
  ShowAllWindow window;
  window.RunWindow();
}

}  // namespace library
