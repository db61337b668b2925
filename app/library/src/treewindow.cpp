// The window around a relation tree: its controls, the page picture of the
// selected row, the buttons and popup menu of each level, and the commands.
#include <cmath>

#include "velmora/app/program.h"
#include "velmora/editor/formeditor.h"
#include "velmora/library/pagepicture.h"
#include "velmora/library/picture.h"
#include "velmora/library/records.h"
#include "velmora/library/treewindows.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/keys.h"

namespace library {

using data::FileId;
using ui::ControlType;
using ui::Prop;

LibraryCalls& Calls() {
  static LibraryCalls calls = [] {
    LibraryCalls c;
    c.updateForms = [](bool fromEditor) { UpdateForms(fromEditor); };
    c.updateFormPages = [] { UpdateFormPages(); };
    c.updateFilledForm = [] { UpdateFilledForm(); };
    c.formEditor = [](std::string_view mode) { editor::RunFormEditor(mode); };
    return c;
  }();
  return calls;
}

void ResetCalls() {
  Calls().updateForms = [](bool fromEditor) { UpdateForms(fromEditor); };
  Calls().updateFormPages = [] { UpdateFormPages(); };
  Calls().updateFilledForm = [] { UpdateFilledForm(); };
  Calls().formEditor = [](std::string_view mode) { editor::RunFormEditor(mode); };
}

// ---- the descriptions

namespace {

RelationTreeDesc PageRows() {
  RelationTreeDesc r;
  r.rootIcon = 1;
  r.formsKey = "FOR:FormName_Key";
  r.topIcon = 3;
  r.childFile = FileId::FormPages;
  r.childKey = "FOR1:FormID_Key";
  r.childIcon = 2;
  r.startChild = [](data::Dictionary& d) {
    d.FOR1.FORMID = d.FOR.ID;
    d.FOR1.PAGENO = 0;
  };
  r.setChildForm = [](data::Dictionary& d, long form) { d.FOR1.FORMID = static_cast<rt::Long>(form); };
  r.childForm = [](const data::Dictionary& d) { return static_cast<long>(d.FOR1.FORMID); };
  r.childText = [](const data::Dictionary& d) { return "Page " + std::to_string(d.FOR1.PAGENO); };
  r.icons = {"assess.ico", "download.ico", "publish.ico"};
  r.format = "316LIT@s79@28RIT@n-7@";
  r.formWindow = [] { Calls().updateForms(false); };
  r.childWindow = [] { Calls().updateFormPages(); };
  return r;
}

std::array<LevelTexts, 3> PageLevels() {
  return {LevelTexts{"Add New Form", "Change Form", "Delete Form", false, false,
                     "&Add New Form|~&Change Form|~&Delete Form"},
          LevelTexts{"Add New Form", "Change Form", "Delete Form", true, false,
                     "&Add New Form|&Change Form|&Delete Form"},
          LevelTexts{"Add Form Page", "Change Form Page", "Delete Form Page", true, true,
                     "&Add Form Page|&Change Form Page|&Delete Form Page|-|&Edit Form"}};
}

}  // namespace

namespace {

// What every tree window shares: its frame, tree, panel and buttons.
TreeWindowDesc Window(std::string procedure, std::string caption, int width, int height, std::string background,
                      std::string button7Tip, FileId relation, ui::Window::Rect tree, ui::Window::Rect panel,
                      int buttonsY) {
  TreeWindowDesc w;
  w.procedure = std::move(procedure);
  w.caption = std::move(caption);
  w.width = width, w.height = height;
  w.background = std::move(background);
  w.button7Tip = std::move(button7Tip);
  w.relation = relation;
  w.tree = tree;
  w.panel = panel;
  w.buttonsY = buttonsY;
  return w;
}

}  // namespace

TreeWindowDesc PrepareFormsWindow() {
  TreeWindowDesc w = Window("ShowFormsTree", "Prepare Forms", 429, 257, "14.jpg", "Edit", FileId::Forms,
                            {6, 6, 207, 222}, {219, 6, 207, 222}, 233);
  w.rows = PageRows();
  w.levels = PageLevels();
  return w;
}

TreeWindowDesc FilledDocumentsWindow() {
  TreeWindowDesc w = Window("ShowFilledFormsTree", "Filled Documents", 429, 257, "lblue069.jpg", "Fill Form",
                            FileId::FormPages, {6, 6, 207, 222}, {219, 6, 207, 222}, 233);
  RelationTreeDesc& r = w.rows;
  r.rootIcon = 2;
  r.formsKey = "FOR:ID_Key";
  r.topIcon = 1;
  r.childFile = FileId::FilledForm;
  r.childKey = "FIL:FormID_Key";
  r.childIcon = 3;
  r.startChild = [](data::Dictionary& d) {
    d.FIL.FORMID = d.FOR.ID;
    d.FIL.FILLEDFORMNAME = "";
  };
  r.setChildForm = [](data::Dictionary& d, long form) { d.FIL.FORMID = static_cast<rt::Long>(form); };
  r.childForm = [](const data::Dictionary& d) { return static_cast<long>(d.FIL.FORMID); };
  r.childText = [](const data::Dictionary& d) { return d.FIL.FILLEDFORMNAME.Clip(); };
  r.icons = {"folder.ico", "pc.ico", "rename.ico"};
  r.format = "316LIT@s79@512RIT@s128@";
  // a form's first data set is added at its row
  r.formRowInsertsChild = true;
  r.formWindow = [] { Calls().updateForms(false); };
  r.childWindow = [] { Calls().updateFilledForm(); };
  w.levels = {LevelTexts{"Add New Form", "Change Form", "Delete Form", false, false,
                         "&Add New Form|~&Change Form|~&Delete Form"},
              LevelTexts{"New Document", "Change Form", "Delete Form", true, false,
                         "&New Document|&Change Form|&Delete Form"},
              LevelTexts{"New Document", "Change Document", "Delete Document", true, true,
                         "&New Document|&Change Document|&Delete Document|-|&Fill Document"}};
  return w;
}

TreeWindowDesc FormsWindow() {
  TreeWindowDesc w = Window("ShowAll", "Forms", 530, 222, "14.jpg", "Edit", FileId::FilledForm, {6, 6, 140, 160},
                            {151, 6, 140, 160}, 197);
  w.buttonWidth = 67;
  w.rows = PageRows();
  w.levels = PageLevels();
  return w;
}

// ---- the window

namespace {

ui::ControlDesc Make(ControlType type, std::string use, int number, int x, int y, int width, int height,
                     std::string text = {}, std::string tip = {}, std::string icon = {}) {
  ui::ControlDesc c;
  c.type = type;
  c.use = std::move(use);
  c.number = number;
  c.x = x, c.y = y, c.width = width, c.height = height;
  c.text = std::move(text);
  c.tip = std::move(tip);
  c.icon = std::move(icon);
  return c;
}

ui::ControlDesc Tool(std::string use, int number, int x, std::string tip, std::string icon) {
  return Make(ControlType::Button, std::move(use), number, x, 0, 24, 24, {}, std::move(tip), std::move(icon));
}

}  // namespace

TreeWindow::TreeWindow(TreeWindowDesc desc) : ProcedureWindow(desc.procedure), desc_(desc), tree_(desc.rows) {}

TreeWindow::~TreeWindow() = default;

ui::WindowDesc TreeWindow::Describe() const {
  ui::WindowDesc w;
  w.caption = desc_.caption;
  w.kind = ui::Frame() ? ui::WindowKind::MdiChild : ui::WindowKind::Window;
  w.width = desc_.width;
  w.height = desc_.height;
  w.background = desc_.background;
  w.toolbarBackground = "grybkgnd.gif";
  ui::ControlDesc bar;
  bar.type = ControlType::Toolbar;
  bar.use = "?TOOLBAR";
  bar.number = kToolbar;
  bar.height = 26;
  w.toolbar = {bar,
               Tool("?CLOSE", kClose, 0, "Exit", "cancel.ico"),
               Tool("?INSERT", kInsert, 24, "Add New Form", "new.ico"),
               Tool("?CHANGE", kChange, 48, {}, "file_apply.ico"),
               Tool("?DELETE", kDelete, 72, {}, "file_remove.ico"),
               Tool("?BUTTON7", kButton7, 96, desc_.button7Tip, "edit.ico")};
  ui::ControlDesc tree = Make(ControlType::List, "?RELTREE", kRelTree, static_cast<int>(desc_.tree.x),
                              static_cast<int>(desc_.tree.y), static_cast<int>(desc_.tree.width),
                              static_cast<int>(desc_.tree.height));
  tree.format = desc_.rows.format;
  tree.font = ui::Font{"Tahoma", 8, 0, -1};
  ui::ControlDesc panel = Make(ControlType::Panel, "?PANEL1", kPanel1, static_cast<int>(desc_.panel.x),
                               static_cast<int>(desc_.panel.y), static_cast<int>(desc_.panel.width),
                               static_cast<int>(desc_.panel.height));
  ui::ControlDesc image = Make(ControlType::Image, "?IMAGE", kImage, static_cast<int>(desc_.panel.x) + 4,
                               static_cast<int>(desc_.panel.y) + 4, static_cast<int>(desc_.panel.width) - 8,
                               static_cast<int>(desc_.panel.height) - 8);
  image.hidden = true;
  const bool forms = desc_.procedure == "ShowAll";
  const int bx = forms ? 6 : 3, step = forms ? 71 : 87;
  w.controls = {tree, panel, image,
                Make(ControlType::Button, "?EXPAND", kExpand, bx, desc_.buttonsY, desc_.buttonWidth, 20,
                     forms ? "E&xpand All" : "&Expand All", {}, "EXPTREE2.ICO"),
                Make(ControlType::Button, "?CONTRACT", kContract, bx + step, desc_.buttonsY, desc_.buttonWidth, 20,
                     "Co&ntract All", {}, "CONTREE2.ICO")};
  return w;
}

int TreeWindow::Setup() {
  data::GlobalErrors().PushProcedure(Procedure());
  TakeRequest();
  ProcedureWindow::Setup();
  Load(Describe());
  router_.Attach(*this);
  CancelControl = kClose;
  data::Dictionary& d = data::ThisThread();
  relationOpened_ = d.Relate(desc_.relation)->Open() == cl::kBenign;
  tree_.Attach(Win(), kRelTree, kInsert, kChange, kDelete);
  tree_.OnRowsChanged = [this] {
    if (!opened_) return;
    const long row = tree_.SelectedRow();
    SetButtons(tree_.LevelOf(row));
    // a rebuild that moved the selection to another record: the picture
    // and the lists show that record
    const RowRecord now = tree_.RecordOf(row);
    if (following_ || (now.level == shown_.level && now.position == shown_.position)) return;
    following_ = true;
    RowSelected(false);
    following_ = false;
  };
  for (int i = 0; i < 3; ++i) Win().Set(kRelTree, Prop::IconList, desc_.rows.icons[static_cast<size_t>(i)], i + 1);
  tree_.ContractAll();
  BeforeOpen();
  Open();
  opened_ = true;
  cl::SetSystemIcon("edit.ico");
  if (Win().Get(0, Prop::Icon).empty()) Win().Set(0, Prop::Icon, "edit.ico");
  // the window resizes on its own sized event, then fits the page picture
  resizer_.Setup(*this);
  RemoveComponent(&resizer_);
  // a size kept from last time places the controls for it at once
  if (RestorePosition(app::INIMgr())) resizer_.Resize(Win());
  SetupTreeToolbar(toolbar_, kRelTree, kInsert, kChange, kDelete);
  router_.AddTarget(&toolbar_, kRelTree);
  tree_.SelectRow(1);
  Win().Select(kRelTree);
  for (int key : {ui::key::Ctrl | ui::key::Right, ui::key::Ctrl | ui::key::Left, ui::key::MouseLeft2})
    Win().Alert(kRelTree, key);
  SetButtons(0);
  return cl::kBenign;
}

int TreeWindow::Teardown() {
  ProcedureWindow::Teardown();
  if (relationOpened_) data::ThisThread().Relate(desc_.relation)->Close();
  relationOpened_ = false;
  if (opened_) SavePosition(app::INIMgr());
  data::GlobalErrors().PopProcedure();
  return cl::kBenign;
}

void TreeWindow::SetButtons(long level) {
  const LevelTexts& t = desc_.levels[static_cast<size_t>(std::clamp(level, 0L, 2L))];
  // the Forms window's buttons below the tree do what the toolbar's do
  const bool forms = desc_.procedure == "ShowAll";
  const std::array<int, 2> inserts{kInsert, forms ? int{kInsert3} : 0};
  const std::array<int, 2> changes{kChange, forms ? int{kChange3} : 0};
  const std::array<int, 2> deletes{kDelete, forms ? int{kDelete3} : 0};
  for (size_t i = 0; i < 2; ++i) {
    if (!inserts[i]) continue;
    Win().Set(inserts[i], Prop::Tip, t.insertTip);
    Win().Set(changes[i], Prop::Tip, t.changeTip);
    Win().Set(deletes[i], Prop::Tip, t.deleteTip);
    Win().Set(changes[i], Prop::Disable, t.canChange ? 0L : 1L);
    Win().Set(deletes[i], Prop::Disable, t.canChange ? 0L : 1L);
  }
  Win().Set(kButton7, Prop::Disable, t.button7 ? 0L : 1L);
}

bool TreeWindow::ReadFormPage(long form) {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* pages = d.Access(FileId::FormPages);
  if (pages->EnsureOpen(cl::kUseReturns) != cl::kBenign) return false;
  const int key = pages->KeyNumber("FOR1:FormID_Key");
  pages->File()->ClearRecord();
  d.FOR1.FORMID = static_cast<rt::Long>(form);
  d.FOR1.PAGENO = 1;
  if (pages->TryFetch(key) == cl::kBenign) return true;
  // no page 1: the form's first page
  return ReadFirstPage(form);
}

bool TreeWindow::ReadFirstPage(long form) {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* pages = d.Access(FileId::FormPages);
  if (pages->EnsureOpen(cl::kUseReturns) != cl::kBenign) return false;
  pages->File()->ClearRecord();
  d.FOR1.FORMID = static_cast<rt::Long>(form);
  pages->SetKeyFromRecord(pages->KeyNumber("FOR1:FormID_Key"));
  if (pages->TryNext() == cl::kBenign && d.FOR1.FORMID == form) return true;
  pages->File()->ClearRecord();
  d.FOR1.FORMID = static_cast<rt::Long>(form);
  return false;
}

long TreeWindow::SelectedForm() {
  const long row = tree_.SelectedRow();
  const long formRow = tree_.FormRowOf(row);
  if (!formRow) return 0;
  if (!tree_.ReadRow(formRow, true)) return -1;
  return data::ThisThread().FOR.ID;
}

void TreeWindow::RowSelected(bool popup) {
  data::Dictionary& d = data::ThisThread();
  const long row = tree_.SelectedRow();
  const long level = tree_.LevelOf(row);
  long form = 0;
  picture_ = {0, 0};
  shown_ = tree_.RecordOf(row);
  if (level == 0) {
    HidePagePicture(Win(), kImage);
  } else if (tree_.ReadRow(row, true)) {
    form = d.FOR.ID;
    const bool page = level == 2 && desc_.rows.childFile == FileId::FormPages;
    if (page || ReadFormPage(form)) ShowPageImage(Win(), kPanel1, kImage, &picture_);
    else HidePagePicture(Win(), kImage);
  } else {
    return;  // the tree was read again
  }
  SelectionChanged(form);
  SetButtons(level);
  if (!popup) return;
  const int item = ui::Popup(desc_.levels[static_cast<size_t>(level)].popup);
  Win().SetKeycode(0);
  switch (item) {
    case 1: tree_.InsertEntry(); break;
    case 2: tree_.ChangeEntry(); break;
    case 3: tree_.DeleteEntry(); break;
    case 4: ChildCommand(); break;
    default: return;
  }
  AfterCommand();
}

void TreeWindow::ChildCommand() {
  if (desc_.rows.childFile == FileId::FormPages) DesignForm();
  else FillDataSet();
}

void TreeWindow::RunEditor(std::string_view mode) {
  Calls().formEditor(mode);
  Win().Display();
}

void TreeWindow::DesignForm() {
  const long row = tree_.SelectedRow();
  if (tree_.LevelOf(row) != 2 || desc_.rows.childFile != FileId::FormPages) return;
  // the page's form and the page are read again: the editor opens on that page
  if (tree_.ReadRow(row, true)) RunEditor("1");
}

void TreeWindow::FillDataSet() {
  const long row = tree_.SelectedRow();
  if (tree_.LevelOf(row) != 2 || desc_.rows.childFile != FileId::FilledForm) return;
  // the data set and its form are read again, the form's first page with them
  if (!tree_.ReadRow(row, true)) return;
  ReadFirstPage(data::ThisThread().FIL.FORMID);
  RunEditor("2");
}

bool TreeWindow::ReadForm(long form) {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* forms = d.Access(FileId::Forms);
  d.FOR.ID = static_cast<rt::Long>(form);
  return forms->TryFetch(forms->KeyNumber("FOR:ID_Key")) == cl::kBenign;
}

int TreeWindow::OnAccepted() {
  switch (Win().Field()) {
    case kInsert: case kChange: case kDelete: case kExpand: case kContract: {
      Win().Update();
      tree_.SelectedRow();
      const int n = Win().Field();
      if (n == kInsert) tree_.InsertEntry();
      else if (n == kChange) tree_.ChangeEntry();
      else if (n == kDelete) tree_.DeleteEntry();
      else if (n == kExpand) tree_.ExpandAll();
      else tree_.ContractAll();
      AfterCommand();
      return cl::kBenign;
    }
    case kButton7:
      Win().Update();
      ChildCommand();
      AfterCommand();
      Win().Display();
      return cl::kBenign;
    default: return ProcedureWindow::OnAccepted();
  }
}

int TreeWindow::OnNewSelection() {
  const int result = ProcedureWindow::OnNewSelection();
  if (Win().Field() == kRelTree) {
    const bool right = (Win().Keycode() & 0xFF) == ui::key::MouseRight;
    // a selection by keyboard sets the buttons as a click does
    RowSelected(right);
  }
  return result;
}

int TreeWindow::OnFieldEvent() {
  if (Win().Field() != kRelTree) return ProcedureWindow::OnFieldEvent();
  switch (Win().EventNo()) {
    case ui::ev::AlertKey: {
      const int key = Win().Keycode();
      tree_.SelectedRow();
      if (key == (ui::key::Ctrl | ui::key::Right)) {
        Win().Post(ui::ev::Expanded, kRelTree);
      } else if (key == (ui::key::Ctrl | ui::key::Left)) {
        Win().Post(ui::ev::Contracted, kRelTree);
      } else if (key == ui::key::MouseLeft2) {
        if (tree_.LevelOf(tree_.CurrentRow) == 2) ChildCommand();
        else tree_.ChangeEntry();
        AfterCommand();
      }
      break;
    }
    case ui::ev::Expanded:
      tree_.SelectedRow();
      tree_.ExpandBranch();
      break;
    case ui::ev::Contracted:
      tree_.SelectedRow();
      tree_.ContractBranch();
      break;
    default: break;
  }
  return ProcedureWindow::OnFieldEvent();
}

int TreeWindow::OnWindowEvent() {
  if (Win().EventNo() == ui::ev::Sized && opened_) {
    // the controls in proportion, the page picture fitted to its panel again
    resizer_.Resize(Win());
    if (picture_.first > 0 && !FitPageImage(Win(), kPanel1, kImage, picture_.first, picture_.second))
      HidePagePicture(Win(), kImage);
  }
  if (Win().EventNo() == ui::ev::GainFocus && opened_) {
    // focus return: changes of other windows show, the selected row stays
    const long row = tree_.SelectedRow();
    if (row >= 1) {
      tree_.ReselectLevel = tree_.RelationTreeQueue.At(row).LEVEL;
      tree_.ReselectPosition = tree_.RelationTreeQueue.At(row).POSITION;
    }
    tree_.ReloadAndReselect();
    AfterCommand();
  }
  return ProcedureWindow::OnWindowEvent();
}

// ---- the procedures

void ShowFormsTree() {
  TreeWindow window(PrepareFormsWindow());
  window.RunWindow();
}

void ShowFilledFormsTree() {
  TreeWindow window(FilledDocumentsWindow());
  window.RunWindow();
}

}  // namespace library
