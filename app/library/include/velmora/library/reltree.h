#pragma once
// The relation tree: the stored forms as a two-level tree list. Row 1 is
// the root ("Forms"), each form is a level-1 row and, below a form whose
// branch is open, each of its child records (its pages or its data sets)
// is a level-2 row.
//
// Rows live in RelationTreeQueue, in display order. A negative level marks
// a closed branch whose children are not in the queue; a positive level an
// open branch or a row without children. Branches load lazily: a closed
// form costs one probe read, and only opened forms have their children
// read. LoadedBranchQueue names every opened branch by level and record
// position, so a rebuild from the data files shows the same branches open.
//
// Each tree window describes what it puts into the tree (RelationTreeDesc):
// the order of the forms, the child file and key, texts, icons and the
// record window of each level. The tree itself is the same for all.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "velmora/classlib/toolbar.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/queue.h"
#include "velmora/runtime/types.h"
#include "velmora/ui/rows.h"
#include "velmora/ui/window.h"

namespace library {

// One row of the tree (REL1).
struct TreeRow {
  std::string DISPLAY;
  rt::Short ICON = 0;
  rt::Long LEVEL = 0;
  rt::Short LOADED = 0;
  std::string POSITION;  // the record's position in its file; empty for the root
};

// One opened branch.
struct LoadedBranch {
  rt::Long LOADEDLEVEL = 0;
  std::string LOADEDPOSITION;
};

// The record a row shows, to find it again after the rows are rebuilt.
struct RowRecord {
  long level = 0;        // absolute
  std::string position;  // the row's record
  std::string form;      // a child row's form row's record
  long row = 0;          // where it was
  bool operator==(const RowRecord&) const = default;
};

// What one window puts into the tree.
struct RelationTreeDesc {
  rt::Short rootIcon = 1;
  std::string formsKey;  // the order of the forms ("FOR:FormName_Key")
  rt::Short topIcon = 3;
  data::FileId childFile = data::FileId::FormPages;
  std::string childKey;  // "FOR1:FormID_Key"
  rt::Short childIcon = 2;
  // Sets the child key's start values from FOR:ID.
  std::function<void(data::Dictionary&)> startChild;
  // Puts a form's number into the child buffer (a new child of it).
  std::function<void(data::Dictionary&, long form)> setChildForm;
  // The form of the record in the child buffer.
  std::function<long(const data::Dictionary&)> childForm;
  // The text of a child row, from the child buffer.
  std::function<std::string(const data::Dictionary&)> childText;
  std::array<std::string, 3> icons;
  std::string format;
  // Insert at a form row adds a child of that form (else a new form).
  bool formRowInsertsChild = false;
  // The record windows of level 1 and level 2 (ThreadRequest set, the
  // record current in its buffer; they leave ThreadResponse).
  std::function<void()> formWindow;
  std::function<void()> childWindow;
};

// The tree of a window. It reads and writes the calling thread's record
// buffers and shows its rows in the window's tree list.
class RelationTree {
 public:
  explicit RelationTree(RelationTreeDesc desc);

  // The tree list and the buttons whose state commands check (0: none).
  void Attach(ui::Window& window, int tree, int insert, int change, int del);
  const RelationTreeDesc& Desc() const { return desc_; }

  // ---- rows
  // Appends the root and the forms (with the opened branches' children);
  // false when a read error stopped it (the close-window event is posted).
  bool BuildTreeQueue();
  bool LoadChildEntries();
  void FormatTopEntry();
  void FormatChildEntry();

  // ---- branches (the selected row)
  void ExpandBranch();
  void ContractBranch();
  void ExpandAll();
  void ContractAll();
  // Rebuilds keeping the opened branches, then selects the row named by
  // ReselectLevel and ReselectPosition when it is there, else the record
  // that was selected (or the nearest row). Every rebuild keeps the
  // selection on the record, not on the row number.
  void ReloadAndReselect();

  // ---- updates through the record windows
  void InsertEntry();
  void ChangeEntry();
  void DeleteEntry();
  void RunUpdateRequest();
  void InsertRecord();
  void ChangeRecord();
  void DeleteRecord();

  // ---- navigation
  void SelectNextRow();
  void SelectPreviousRow();
  void NextAtSameLevel();
  void PreviousAtSameLevel();
  void NextAtParentLevel();
  void PreviousAtParentLevel();
  void ScanForwardToLevel();
  void ScanBackToLevel();

  // ---- helpers the windows use
  // The list's selected row (made current).
  long SelectedRow();
  void SelectRow(long row);
  // Absolute level of a row (0 for a row that does not exist).
  long LevelOf(long row) const;
  // The form row of a row (the row itself for a form, 0 for the root).
  long FormRowOf(long row) const;
  // Reads the record of a row again into its buffer by its position: the
  // form for a form row; the form and then the child for a child row, the
  // child checked to still belong to that form. False when the record is
  // gone; with `report` the user is told and the tree is rebuilt.
  bool ReadRow(long row, bool report);
  // Shows the rows in the tree list again.
  void Show();
  // The record of a row (level 0, empty, for a row that does not exist).
  RowRecord RecordOf(long row) const;
  // Selects the row of that record after a rebuild, else the nearest one:
  // a child's form, or the row now at its place.
  void SelectRecord(const RowRecord& record);
  // Runs after every rebuild and branch change (the window sets its
  // buttons and picture for the selected row).
  std::function<void()> OnRowsChanged;

  rt::Queue<TreeRow> RelationTreeQueue;
  rt::Queue<LoadedBranch> LoadedBranchQueue;
  bool ExpandAllMode = false;
  int PendingRequest = 0;
  long CurrentRow = 0;
  long ReselectLevel = 0;
  std::string ReselectPosition;
  int TargetLevel = 0;

 private:
  cl::FileManager* Forms() const;
  cl::FileManager* Children() const;
  // Index of a branch in LoadedBranchQueue (1-based), or minus the place
  // where it would go.
  long FindBranch(long level, const std::string& position) const;
  void AddBranch(long level, const std::string& position);
  void RemoveBranch(long level, const std::string& position);
  // Reads the record of a row by position into its buffer (no checks).
  bool Reget(long row, bool detectChanges);
  // Appends a row after the current row of the queue.
  void InsertRow(const TreeRow& row);
  void CallRecordWindow(long level);
  void Stop();

  RelationTreeDesc desc_;
  ui::Window* window_ = nullptr;
  int tree_ = 0, insert_ = 0, change_ = 0, delete_ = 0;
  int formsKey_ = 0, childKey_ = 0;
  std::unique_ptr<ui::RowSource> rows_;
  long insertAfter_ = 0;  // the queue row new rows go after
};

// The toolbar client of a tree list: insert, change and delete and the
// navigation buttons run the tree's own operations.
class RelationTreeToolbar : public cl::ToolbarClient {
 public:
  explicit RelationTreeToolbar(RelationTree& tree) : tree_(tree) {}
  void OnToolbarButton(ui::Window& window, int button) override;

 private:
  RelationTree& tree_;
};

// Fills the client's members for the tree list and its buttons.
void SetupTreeToolbar(RelationTreeToolbar& toolbar, int tree, int insert, int change, int del);

}  // namespace library
