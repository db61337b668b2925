#pragma once
// The form library's tree windows: Prepare Forms (forms and their pages),
// Filled Documents (forms and their data sets) and Forms (forms and their
// pages beside the selected form's data sets). Each is one TreeWindow, a
// window around a RelationTree, configured by a TreeWindowDesc; the Forms
// window adds its data-set list.
//
// Every command re-reads the selected row's records by their stored
// positions before it acts, so a rebuild or another window's change never
// makes a command act on a record of another row; a record that cannot be
// read again stops the command with a message.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "velmora/classlib/resizer.h"
#include "velmora/classlib/locator.h"
#include "velmora/classlib/toolbar.h"
#include "velmora/classlib/window.h"
#include "velmora/library/reltree.h"
#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"

namespace library {

// The procedures the windows call on their thread. Tests replace them.
struct LibraryCalls {
  std::function<void(bool fromEditor)> updateForms;
  std::function<void()> updateFormPages;
  std::function<void()> updateFilledForm;
  std::function<void(std::string_view mode)> formEditor;
};
LibraryCalls& Calls();
// Puts the real procedures back.
void ResetCalls();

// The windows' controls (the same numbers in all three).
enum Control : int {
  kClose = 1, kInsert, kChange, kDelete, kButton7, kRelTree, kPanel1, kImage, kExpand, kContract,
  kList, kInsert3, kChange3, kDelete3, kInsert2, kChange2, kDelete2, kButton11, kButton11_2, kToolbar,
};

// Tips, enabled state and popup menu of the buttons for a row's level.
struct LevelTexts {
  std::string insertTip, changeTip, deleteTip;
  bool canChange = false;  // change and delete enabled
  bool button7 = false;    // the child command enabled
  std::string popup;       // item 4 runs the child command
};

struct TreeWindowDesc {
  std::string procedure, caption;
  int width = 0, height = 0;
  std::string background;
  std::string button7Tip;
  data::FileId relation = data::FileId::Forms;  // opened at set-up
  ui::Window::Rect tree, panel;
  int buttonsY = 0, buttonWidth = 85;  // Expand All and Contract All
  RelationTreeDesc rows;
  std::array<LevelTexts, 3> levels;  // root, form, child
};

// The three descriptions.
TreeWindowDesc PrepareFormsWindow();
TreeWindowDesc FilledDocumentsWindow();
TreeWindowDesc FormsWindow();

class TreeWindow : public cl::ProcedureWindow {
 public:
  explicit TreeWindow(TreeWindowDesc desc);
  ~TreeWindow() override;

  int Setup() override;
  int Teardown() override;
  int OnAccepted() override;
  int OnNewSelection() override;
  int OnFieldEvent() override;
  int OnWindowEvent() override;

  RelationTree& Tree() { return tree_; }
  const TreeWindowDesc& Desc() const { return desc_; }

  // Shows the picture of the selected row and sets the buttons for its
  // level; with `popup` the level's menu is asked and its command run.
  void RowSelected(bool popup);
  void SetButtons(long level);
  // The child command on the selected row: design the page's form
  // (pages) or fill the data set (data sets). Nothing on other levels.
  void ChildCommand();
  void DesignForm();
  void FillDataSet();
  // Reads a form's page 1 (or its first page) into the FormPages buffer;
  // false when the form has no page.
  bool ReadFormPage(long form);
  // Reads a form by its number into the Forms buffer; false when it is gone.
  bool ReadForm(long form);
  // The form's first page in page order (what the editor fills on).
  bool ReadFirstPage(long form);
  // The form of the selected row, its record read again: 0 for the root
  // row, -1 when the record is gone (the user was told).
  long SelectedForm();

 protected:
  virtual ui::WindowDesc Describe() const;
  // The rows are built, the window not yet open.
  virtual void BeforeOpen() {}
  // The selected row changed (after the picture).
  virtual void SelectionChanged(long form) { (void)form; }
  virtual void AfterCommand() {}
  // Opens the editor with the records current.
  void RunEditor(std::string_view mode);

  TreeWindowDesc desc_;
  RelationTree tree_;
  RelationTreeToolbar toolbar_{tree_};
  cl::ToolbarRouter router_;
  // keeps the controls in proportion when the window is fitted to the frame
  cl::WindowResizer resizer_;
  std::pair<double, double> picture_{0, 0};  // the page picture's size, while one shows
  RowRecord shown_;        // the row whose picture and lists show
  bool following_ = false;  // the picture is following a rebuilt selection
  bool relationOpened_ = false;
  bool opened_ = false;
};

// The Forms window's data-set list: the FilledForm records of one form in
// FIL:FormID_Key order, with a type-ahead locator on the name.
class ShowAllBrowse {
 public:
  struct Row {
    rt::String<128> FILLEDFORMNAME;
    rt::Long DATECREATED = 0;
    rt::Long TIMECREATED = 0;
    rt::Long ID = 0;
    rt::Long FORMID = 0;
    rt::Byte MARK = 0;
    std::string POSITION;
  };

  void Attach(ui::Window& window, int list);
  // Reads the list again for `form` (0: empty), keeping the selected data
  // set when it is still there.
  void ResetFromLimit(long form);
  void Refresh() { ResetFromLimit(Limit); }
  // Selects the row of a data set (by its number).
  void SelectId(long id);
  // Reads the selected row's data set again into the FilledForm buffer;
  // false (with a message when `report`) when it is gone or belongs to
  // another form.
  bool TakeSelected(bool report);
  // A key typed on the list: the type-ahead locator on the name selects
  // its row; false when it is not a locator key.
  bool LocatorKey(int keycode);
  // The user selected a row: its data set is read, the locator starts anew.
  void SelectedByUser() {
    locator_.Reset();
    TakeSelected(false);
  }

  long Limit = 0;
  rt::Queue<Row> Queue;

 private:
  ui::Window* window_ = nullptr;
  int list_ = 0;
  cl::TypeAheadLocator locator_;
  std::unique_ptr<ui::RowSource> rows_;
};

class ShowAllWindow : public TreeWindow {
 public:
  ShowAllWindow();

  int OnAccepted() override;
  int OnNewSelection() override;
  int OnFieldEvent() override;
  int OnWindowEvent() override;

  // `ShowAll.CallUpdateProcedure`: the data-set window with `request`.
  int CallUpdateProcedure(int request);
  void InsertDataSet();
  void ChangeDataSet(int request);
  void FillData();

  ShowAllBrowse Browse;

 protected:
  ui::WindowDesc Describe() const override;
  void BeforeOpen() override;
  void SelectionChanged(long form) override;
  void AfterCommand() override { Browse.Refresh(); }
};

// The procedures the frame starts.
void ShowAll();
void ShowFormsTree();
void ShowFilledFormsTree();

}  // namespace library
