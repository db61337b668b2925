// The relation tree: rows from the data files, lazy branches, rebuilds that
// keep the opened branches, updates through the record windows.
#include "velmora/library/reltree.h"

#include <algorithm>
#include <cstdlib>

#include "velmora/classlib/window.h"
#include "velmora/files/files.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"

namespace library {

using data::FileId;

namespace {

// What the tree list reads of a row: the text, its icon and its level in
// the tree column; the list's second column shows nothing.
class TreeRows : public ui::RowSource {
 public:
  explicit TreeRows(const rt::Queue<TreeRow>& rows) : rows_(rows) {}
  long Rows() const override { return rows_.Count(); }
  std::string Field(long row, int field) const override {
    if (row < 1 || row > rows_.Count()) return {};
    const TreeRow& r = rows_.At(row);
    switch (field) {
      case 1: return r.DISPLAY;
      case 2: return std::to_string(r.ICON);
      case 3: return std::to_string(r.LEVEL);
      default: return {};
    }
  }

 private:
  const rt::Queue<TreeRow>& rows_;
};

constexpr const char* kStaleRow =
    "The record of the selected row could not be read again: another window may have changed or "
    "deleted it. The list has been read again.";

// A button that is not there, or not disabled, lets its command run.
bool Usable(ui::Window* w, int control) { return !w || !control || w->GetLong(control, ui::Prop::Disable) == 0; }

}  // namespace

RelationTree::RelationTree(RelationTreeDesc desc) : desc_(std::move(desc)) {}

void RelationTree::Attach(ui::Window& window, int tree, int insert, int change, int del) {
  window_ = &window;
  tree_ = tree, insert_ = insert, change_ = change, delete_ = del;
  formsKey_ = Forms()->KeyNumber(desc_.formsKey);
  childKey_ = Children()->KeyNumber(desc_.childKey);
  rows_ = std::make_unique<TreeRows>(RelationTreeQueue);
  window.SetRows(tree, rows_.get());
}

cl::FileManager* RelationTree::Forms() const { return data::ThisThread().Access(FileId::Forms); }
cl::FileManager* RelationTree::Children() const { return data::ThisThread().Access(desc_.childFile); }

void RelationTree::Stop() {
  if (window_) window_->Post(ui::ev::CloseWindow);
}

void RelationTree::Show() {
  if (!window_) return;
  const long count = RelationTreeQueue.Count();
  if (window_->GetLong(tree_, ui::Prop::Selected) > count) window_->Set(tree_, ui::Prop::Selected, count);
  window_->Display(tree_);
  if (OnRowsChanged) OnRowsChanged();
}

// ---- the opened branches, in order of level and position

long RelationTree::FindBranch(long level, const std::string& position) const {
  long lo = 1, hi = LoadedBranchQueue.Count();
  while (lo <= hi) {
    const long mid = (lo + hi) / 2;
    const LoadedBranch& b = LoadedBranchQueue.At(mid);
    const int c = b.LOADEDLEVEL != level ? (b.LOADEDLEVEL < level ? -1 : 1) : b.LOADEDPOSITION.compare(position);
    if (c == 0) return mid;
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return -lo;
}

void RelationTree::AddBranch(long level, const std::string& position) {
  const long at = FindBranch(level, position);
  if (at > 0) return;
  LoadedBranchQueue->LOADEDLEVEL = static_cast<rt::Long>(level);
  LoadedBranchQueue->LOADEDPOSITION = position;
  LoadedBranchQueue.AddAt(-at);
}

void RelationTree::RemoveBranch(long level, const std::string& position) {
  const long at = FindBranch(level, position);
  if (at <= 0) return;
  LoadedBranchQueue.Get(at);
  LoadedBranchQueue.Delete();
}

// ---- building

void RelationTree::InsertRow(const TreeRow& row) {
  RelationTreeQueue.Buffer() = row;
  RelationTreeQueue.AddAt(++insertAfter_);
}

void RelationTree::FormatTopEntry() {
  TreeRow& r = RelationTreeQueue.Buffer();
  r.DISPLAY = data::ThisThread().FOR.FORMNAME.Clip();
  r.ICON = desc_.topIcon;
}

void RelationTree::FormatChildEntry() {
  TreeRow& r = RelationTreeQueue.Buffer();
  r.DISPLAY = desc_.childText(data::ThisThread());
  r.ICON = desc_.childIcon;
}

bool RelationTree::BuildTreeQueue() {
  data::Dictionary& d = data::ThisThread();
  TreeRow root;
  root.DISPLAY = "Forms";
  root.ICON = desc_.rootIcon;
  insertAfter_ = RelationTreeQueue.Count();
  InsertRow(root);
  cl::FileManager* forms = Forms();
  cl::FileManager* children = Children();
  if (forms->EnsureOpen(cl::kUseReturns) != cl::kBenign) return Stop(), false;
  forms->SetKey(formsKey_);
  for (;;) {
    // the rows need no memos: a form's PDF and a page's picture stay on disk
    db::Send(*forms->File(), "NOMEMO");
    const int read = forms->Next();
    if (read == cl::kNotify) break;
    if (read != cl::kBenign) return Stop(), false;
    TreeRow row;
    row.POSITION = forms->Position();
    row.LEVEL = 1;
    const bool opened = FindBranch(1, row.POSITION) > 0;
    if (opened || ExpandAllMode) {
      if (!opened) AddBranch(1, row.POSITION);
      row.LOADED = 1;
      RelationTreeQueue.Buffer() = row;
      FormatTopEntry();
      InsertRow(RelationTreeQueue.Buffer());
      if (!LoadChildEntries()) return false;
      continue;
    }
    desc_.startChild(d);
    if (children->EnsureOpen(cl::kUseReturns) != cl::kBenign) return Stop(), false;
    children->SetKeyFromRecord(childKey_);
    db::Send(*children->File(), "NOMEMO");
    const int probe = children->Next();
    if (probe == cl::kBenign && desc_.childForm(d) == d.FOR.ID) row.LEVEL = -1;
    else if (probe != cl::kBenign && probe != cl::kNotify) return Stop(), false;
    RelationTreeQueue.Buffer() = row;
    FormatTopEntry();
    InsertRow(RelationTreeQueue.Buffer());
  }
  return true;
}

bool RelationTree::LoadChildEntries() {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* children = Children();
  desc_.startChild(d);
  if (children->EnsureOpen(cl::kUseReturns) != cl::kBenign) return Stop(), false;
  children->SetKeyFromRecord(childKey_);
  for (;;) {
    db::Send(*children->File(), "NOMEMO");
    const int read = children->Next();
    if (read == cl::kNotify) break;
    if (read != cl::kBenign) return Stop(), false;
    if (desc_.childForm(d) != d.FOR.ID) break;
    TreeRow row;
    row.LEVEL = 2;
    row.POSITION = children->Position();
    RelationTreeQueue.Buffer() = row;
    FormatChildEntry();
    InsertRow(RelationTreeQueue.Buffer());
  }
  return true;
}

// ---- rows and records

long RelationTree::SelectedRow() {
  CurrentRow = window_ ? window_->GetLong(tree_, ui::Prop::Selected) : CurrentRow;
  if (CurrentRow < 1 || CurrentRow > RelationTreeQueue.Count()) CurrentRow = RelationTreeQueue.Count() ? 1 : 0;
  return CurrentRow;
}

void RelationTree::SelectRow(long row) {
  CurrentRow = row;
  if (window_) window_->Set(tree_, ui::Prop::Selected, row);
}

long RelationTree::LevelOf(long row) const {
  return row >= 1 && row <= RelationTreeQueue.Count() ? std::labs(RelationTreeQueue.At(row).LEVEL) : 0;
}

long RelationTree::FormRowOf(long row) const {
  while (row >= 1 && LevelOf(row) == 2) --row;
  return LevelOf(row) == 1 ? row : 0;
}

bool RelationTree::Reget(long row, bool detectChanges) {
  const long level = LevelOf(row);
  if (level == 0) return false;
  cl::FileManager* fm = level == 1 ? Forms() : Children();
  const std::string& position = RelationTreeQueue.At(row).POSITION;
  (void)detectChanges;  // every re-read arms the data layer's change check
  return fm->TryReget(position) == cl::kBenign;
}

bool RelationTree::ReadRow(long row, bool report) {
  data::Dictionary& d = data::ThisThread();
  bool read = false;
  const long level = LevelOf(row);
  if (level == 1) {
    read = Reget(row, true);
  } else if (level == 2) {
    const long form = FormRowOf(row);
    read = form && Reget(form, true) && Reget(row, true) && desc_.childForm(d) == d.FOR.ID;
  }
  if (read || !report) return read;
  ui::Message(kStaleRow, "Velmora", ui::icon::Exclamation);
  ReselectLevel = 0;
  ReloadAndReselect();
  return false;
}

// ---- branches

void RelationTree::ExpandBranch() {
  const long row = CurrentRow;
  if (row < 1 || row > RelationTreeQueue.Count()) return;
  RelationTreeQueue.Get(row);
  if (RelationTreeQueue->LOADED != 0) return;
  const long level = std::labs(RelationTreeQueue->LEVEL);
  if (level == 0) return;
  if (!ReadRow(row, true)) return;
  RelationTreeQueue.Get(row);
  RelationTreeQueue->LEVEL = static_cast<rt::Long>(level);
  RelationTreeQueue->LOADED = 1;
  AddBranch(level, RelationTreeQueue->POSITION);
  if (level == 1) FormatTopEntry();
  else FormatChildEntry();
  RelationTreeQueue.Put();
  insertAfter_ = row;
  if (level == 1) LoadChildEntries();
  Show();
}

void RelationTree::ContractBranch() {
  const long row = CurrentRow;
  if (row < 1 || row > RelationTreeQueue.Count()) return;
  RelationTreeQueue.Get(row);
  if (RelationTreeQueue->LOADED == 0) return;
  const long level = std::labs(RelationTreeQueue->LEVEL);
  if (level == 0) return;
  if (!ReadRow(row, true)) return;
  RelationTreeQueue.Get(row);
  RelationTreeQueue->LEVEL = static_cast<rt::Long>(-level);
  RelationTreeQueue->LOADED = 0;
  RemoveBranch(level, RelationTreeQueue->POSITION);
  if (level == 1) FormatTopEntry();
  else FormatChildEntry();
  RelationTreeQueue.Put();
  while (row + 1 <= RelationTreeQueue.Count() && LevelOf(row + 1) > level) {
    RelationTreeQueue.Get(row + 1);
    RelationTreeQueue.Delete();
  }
  Show();
}

RowRecord RelationTree::RecordOf(long row) const {
  RowRecord r;
  if (row < 1 || row > RelationTreeQueue.Count()) return r;
  r.row = row;
  r.level = LevelOf(row);
  r.position = RelationTreeQueue.At(row).POSITION;
  if (const long form = r.level == 2 ? FormRowOf(row) : 0) r.form = RelationTreeQueue.At(form).POSITION;
  return r;
}

void RelationTree::SelectRecord(const RowRecord& record) {
  const long count = RelationTreeQueue.Count();
  if (record.row == 0 || count == 0) return;
  long formRow = 0;
  for (long i = 1; i <= count; ++i) {
    const TreeRow& r = RelationTreeQueue.At(i);
    const long level = std::labs(r.LEVEL);
    if (level == record.level && r.POSITION == record.position) return SelectRow(i);
    if (level == 1 && !record.form.empty() && r.POSITION == record.form) formRow = i;
  }
  // gone or hidden: a page or data set gives way to its form, a form to
  // the row that took its place
  SelectRow(formRow ? formRow : std::clamp(record.row, 1L, count));
}

void RelationTree::ExpandAll() {
  const RowRecord kept = RecordOf(SelectedRow());
  RelationTreeQueue.Free();
  LoadedBranchQueue.Free();
  ExpandAllMode = true;
  BuildTreeQueue();
  ExpandAllMode = false;
  SelectRecord(kept);
  Show();
}

void RelationTree::ContractAll() {
  const RowRecord kept = RecordOf(SelectedRow());
  RelationTreeQueue.Free();
  LoadedBranchQueue.Free();
  BuildTreeQueue();
  SelectRecord(kept);
  Show();
}

void RelationTree::ReloadAndReselect() {
  const RowRecord kept = RecordOf(SelectedRow());
  RelationTreeQueue.Free();
  BuildTreeQueue();
  bool found = false;
  if (ReselectLevel != 0) {
    for (long i = 1; i <= RelationTreeQueue.Count() && !found; ++i) {
      const TreeRow& r = RelationTreeQueue.At(i);
      if (std::labs(r.LEVEL) == std::labs(ReselectLevel) && r.POSITION == ReselectPosition) {
        SelectRow(i);
        if (window_ && window_->Focus() != tree_) window_->Select(tree_);
        found = true;
      }
    }
  }
  if (!found) SelectRecord(kept);
  Show();
}

// ---- updates

void RelationTree::InsertEntry() {
  PendingRequest = cl::request::Insert;
  RunUpdateRequest();
}

void RelationTree::ChangeEntry() {
  PendingRequest = cl::request::Change;
  RunUpdateRequest();
}

void RelationTree::DeleteEntry() {
  PendingRequest = cl::request::Delete;
  RunUpdateRequest();
}

void RelationTree::RunUpdateRequest() {
  for (;;) {
    cl::NavigationRequest() = 0;
    SelectedRow();
    switch (PendingRequest) {
      case cl::request::Insert: InsertRecord(); break;
      case cl::request::Change: ChangeRecord(); break;
      case cl::request::Delete: DeleteRecord(); break;
      default: return;
    }
    switch (cl::NavigationRequest()) {
      case 0: return;
      case cl::toolbar::NextRow: SelectNextRow(); break;
      case cl::toolbar::PreviousRow: SelectPreviousRow(); break;
      case cl::toolbar::NextSame: NextAtSameLevel(); break;
      case cl::toolbar::PreviousSame: PreviousAtSameLevel(); break;
      case cl::toolbar::PreviousParent: PreviousAtParentLevel(); break;
      case cl::toolbar::NextParent: NextAtParentLevel(); break;
      case cl::toolbar::Insert:
        PreviousAtParentLevel();
        PendingRequest = cl::request::Insert;
        break;
      default: break;
    }
  }
}

void RelationTree::CallRecordWindow(long level) {
  cl::ThreadResponse() = cl::response::Cancelled;
  if (level == 1) desc_.formWindow();
  else desc_.childWindow();
}

void RelationTree::ChangeRecord() {
  if (!Usable(window_, change_)) return;
  const long row = CurrentRow;
  const long level = LevelOf(row);
  if (level == 0) return;
  if (!ReadRow(row, true)) return;
  cl::ThreadRequest() = cl::request::Change;
  CallRecordWindow(level);
  if (cl::ThreadResponse() != cl::response::Completed) return;
  ReselectLevel = level;
  ReselectPosition = (level == 1 ? Forms() : Children())->Position();
  ReloadAndReselect();
}

void RelationTree::DeleteRecord() {
  if (!Usable(window_, delete_)) return;
  const long row = CurrentRow;
  const long level = LevelOf(row);
  if (level == 0) return;
  // a record that cannot be read again is never deleted
  if (!ReadRow(row, true)) return;
  cl::ThreadRequest() = cl::request::Delete;
  CallRecordWindow(level);
  if (cl::ThreadResponse() == cl::response::Completed) ReloadAndReselect();
}

void RelationTree::InsertRecord() {
  if (!Usable(window_, insert_)) return;
  data::Dictionary& d = data::ThisThread();
  const long row = CurrentRow;
  const long level = LevelOf(row);
  const bool newForm = level == 0 || (level == 1 && !desc_.formRowInsertsChild);
  if (newForm) {
    if (Forms()->PrimeRecord() != cl::kBenign) return;
    cl::ThreadRequest() = cl::request::Insert;
    CallRecordWindow(1);
    if (cl::ThreadResponse() != cl::response::Completed) return;
    ReselectLevel = 1;
    ReselectPosition = Forms()->Position();
  } else {
    const long form = FormRowOf(row);
    if (!form || !ReadRow(form, true)) return;
    cl::FileManager* children = Children();
    if (children->EnsureOpen(cl::kUseUses) != cl::kBenign) return;
    children->File()->ClearRecord();
    desc_.setChildForm(d, d.FOR.ID);
    if (children->PrimeRecord(true) != cl::kBenign) return;
    cl::ThreadRequest() = cl::request::Insert;
    CallRecordWindow(2);
    if (cl::ThreadResponse() != cl::response::Completed) return;
    ReselectLevel = 2;
    ReselectPosition = children->Position();
  }
  ReloadAndReselect();
}

// ---- navigation

void RelationTree::SelectNextRow() {
  SelectedRow();
  ExpandBranch();
  if (CurrentRow < RelationTreeQueue.Count()) SelectRow(CurrentRow + 1);
}

void RelationTree::SelectPreviousRow() {
  SelectedRow();
  if (CurrentRow <= 1) return;
  long row = CurrentRow - 1;
  for (;;) {
    const long before = RelationTreeQueue.Count();
    CurrentRow = row;
    ExpandBranch();
    const long added = RelationTreeQueue.Count() - before;
    if (added <= 0) break;
    row += added;
  }
  SelectRow(row);
}

void RelationTree::NextAtSameLevel() {
  SelectedRow();
  TargetLevel = static_cast<int>(LevelOf(CurrentRow));
  ScanForwardToLevel();
}

void RelationTree::PreviousAtSameLevel() {
  SelectedRow();
  TargetLevel = static_cast<int>(LevelOf(CurrentRow));
  ScanBackToLevel();
}

void RelationTree::NextAtParentLevel() {
  SelectedRow();
  const long level = LevelOf(CurrentRow);
  if (level <= 1) return;
  TargetLevel = static_cast<int>(level - 1);
  ScanForwardToLevel();
}

void RelationTree::PreviousAtParentLevel() {
  SelectedRow();
  const long level = LevelOf(CurrentRow);
  if (level <= 1) return;
  TargetLevel = static_cast<int>(level - 1);
  ScanBackToLevel();
}

void RelationTree::ScanForwardToLevel() {
  long row = CurrentRow;
  for (;;) {
    ++row;
    if (row > RelationTreeQueue.Count()) return;
    const long level = LevelOf(row);
    if (level > TargetLevel) continue;
    if (level == TargetLevel) return SelectRow(row);
    SelectRow(row);
    ExpandBranch();
  }
}

void RelationTree::ScanBackToLevel() {
  long row = CurrentRow;
  for (;;) {
    --row;
    if (row < 1) return;
    const long level = LevelOf(row);
    if (level > TargetLevel) continue;
    if (level == TargetLevel) return SelectRow(row);
    SelectRow(row);
    const long before = RelationTreeQueue.Count();
    ExpandBranch();
    const long added = RelationTreeQueue.Count() - before;
    if (added > 0) row += added + 1;  // continue from the last row added
  }
}

// ---- toolbar

void SetupTreeToolbar(RelationTreeToolbar& toolbar, int tree, int insert, int change, int del) {
  toolbar.CONTROL = tree;
  toolbar.INSERTBUTTON = insert;
  toolbar.CHANGEBUTTON = change;
  toolbar.DELETEBUTTON = del;
}

void RelationTreeToolbar::OnToolbarButton(ui::Window& window, int button) {
  if (button >= cl::toolbar::NextParent && button <= cl::toolbar::PreviousRow) {
    tree_.SelectedRow();
    switch (button) {
      case cl::toolbar::NextParent: tree_.NextAtParentLevel(); break;
      case cl::toolbar::PreviousParent: tree_.PreviousAtParentLevel(); break;
      case cl::toolbar::NextSame: tree_.NextAtSameLevel(); break;
      case cl::toolbar::PreviousSame: tree_.PreviousAtSameLevel(); break;
      case cl::toolbar::NextRow: tree_.SelectNextRow(); break;
      case cl::toolbar::PreviousRow: tree_.SelectPreviousRow(); break;
      default: break;
    }
    return;
  }
  switch (button) {
    case cl::toolbar::Insert: tree_.SelectedRow(); tree_.InsertEntry(); return;
    case cl::toolbar::Change: tree_.SelectedRow(); tree_.ChangeEntry(); return;
    case cl::toolbar::Delete: tree_.SelectedRow(); tree_.DeleteEntry(); return;
    default: DefaultMapping(window, button);
  }
}

}  // namespace library
