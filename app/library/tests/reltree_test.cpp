// The relation tree on its own: rows from the data files, lazy branches,
// rebuilds that keep branches and selection, updates through the record
// windows of each level, stale rows.
#include <memory>

#include "library_fixture.h"
#include "velmora/library/reltree.h"

namespace {

using data::FileId;
using library::RelationTree;
using library::RelationTreeDesc;
using Lines = std::vector<std::string>;

class Tree : public libtest::LibraryFixture {
 protected:
  void TearDown() override {
    tree_.reset();
    win_.reset();
    LibraryFixture::TearDown();
  }
  RelationTree& Make(const RelationTreeDesc& desc) {
    ui::WindowDesc w;
    w.caption = "tree";
    ui::ControlDesc list;
    list.type = ui::ControlType::List;
    list.number = 1;
    list.format = desc.format;
    w.controls = {list};
    win_ = ui::Window::Create(w);
    tree_ = std::make_unique<RelationTree>(desc);
    tree_->Attach(*win_, 1, 0, 0, 0);
    tree_->ContractAll();
    return *tree_;
  }
  // The rows as "level text", as the list shows them.
  Lines Shown() {
    Lines out;
    for (long r = 1; r <= win_->GetLong(1, ui::Prop::Items); ++r)
      out.push_back(std::to_string(win_->RowLevel(1, r)) + " " + win_->CellText(1, r, 1));
    return out;
  }
  long RowOf(const std::string& text, long after = 0) {
    for (long r = after + 1; r <= tree_->RelationTreeQueue.Count(); ++r)
      if (tree_->RelationTreeQueue.At(r).DISPLAY == text) return r;
    ADD_FAILURE() << "no row " << text;
    return 0;
  }
  void Select(long row) { tree_->SelectRow(row); }
  long Selected() { return win_->GetLong(1, ui::Prop::Selected); }

  std::shared_ptr<ui::Window> win_;
  std::unique_ptr<RelationTree> tree_;
};

RelationTreeDesc Pages() { return library::PrepareFormsWindow().rows; }
RelationTreeDesc Sets() { return library::FilledDocumentsWindow().rows; }

TEST_F(Tree, RowsAreReadLazilyInEachWindowsOrder) {
  EXPECT_EQ((Make(Pages()), Shown()), (Lines{"0 Forms"}));  // no forms: the root alone
  const long beta = AddForm("Beta", 2);
  AddForm("Alpha", 0);
  AddForm("Gamma", 1, 2);
  EXPECT_EQ((Make(Pages()), Shown()), (Lines{"0 Forms", "1 Alpha", "-1 Beta", "-1 Gamma"}));
  EXPECT_EQ(tree_->RelationTreeQueue.At(1).ICON, 1);
  EXPECT_EQ(tree_->RelationTreeQueue.At(2).ICON, 3);
  EXPECT_EQ(win_->Get(1, ui::Prop::IconList, 1), "");  // the window loads the icons
  // Filled Documents: forms by number, data sets below them
  EXPECT_EQ((Make(Sets()), Shown()), (Lines{"0 Forms", "1 Beta", "1 Alpha", "-1 Gamma"}));
  Select(RowOf("Gamma"));
  tree_->ExpandBranch();
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "1 Beta", "1 Alpha", "1 Gamma", "2 Set 1", "2 Set 2"}));
  EXPECT_EQ(tree_->RelationTreeQueue.At(1).ICON, 2);
  EXPECT_EQ(tree_->RelationTreeQueue.At(5).ICON, 3);
  (void)beta;
}

TEST_F(Tree, BranchesOpenAndCloseExactlyTheirRows) {
  AddForm("Alpha", 0);
  AddForm("Beta", 2);
  AddForm("Gamma", 1);
  RelationTree& t = Make(Pages());
  Select(RowOf("Beta"));
  t.ExpandBranch();
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "1 Alpha", "1 Beta", "2 Page 1", "2 Page 2", "-1 Gamma"}));
  t.ExpandBranch();  // open already: nothing
  EXPECT_EQ(Shown().size(), 6u);
  EXPECT_EQ(t.LoadedBranchQueue.Count(), 1);
  Select(RowOf("Alpha"));  // a leaf opens to nothing
  t.ExpandBranch();
  EXPECT_EQ(Shown().size(), 6u);
  Select(RowOf("Gamma"));
  t.ExpandBranch();
  EXPECT_EQ(Shown().back(), "2 Page 1");
  Select(RowOf("Beta"));
  t.ContractBranch();
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "1 Alpha", "-1 Beta", "1 Gamma", "2 Page 1"}));
  EXPECT_EQ(t.LoadedBranchQueue.Count(), 2);  // Alpha and Gamma
}

TEST_F(Tree, RebuildsKeepOpenedBranchesAndShowOtherWindowsChanges) {
  AddForm("Alpha", 0);
  const long beta = AddForm("Beta", 2);
  AddForm("Gamma", 1);
  RelationTree& t = Make(Pages());
  t.ExpandAll();
  const Lines all{"0 Forms", "1 Alpha", "1 Beta", "2 Page 1", "2 Page 2", "1 Gamma", "2 Page 1"};
  EXPECT_EQ(Shown(), all);  // Alpha stays a leaf
  AddPage(beta, 3);  // another window adds a page
  t.ReloadAndReselect();
  EXPECT_EQ(Shown().size(), all.size() + 1);
  EXPECT_EQ(Shown()[5], "2 Page 3");
  t.ContractAll();
  t.ReloadAndReselect();
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "1 Alpha", "-1 Beta", "-1 Gamma"}));
  EXPECT_EQ(t.LoadedBranchQueue.Count(), 0);
}

TEST_F(Tree, ChangesSelectTheChangedRowAfterTheRebuild) {
  AddForm("Alpha", 1);
  AddForm("Beta", 2);
  RelationTree& t = Make(Pages());
  Select(RowOf("Beta"));
  t.ExpandBranch();
  // the changed page's row is selected again after the rebuild
  Select(RowOf("Page 2", RowOf("Beta")));
  t.ChangeEntry();
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "pages");
  EXPECT_EQ(calls_[0].request, cl::request::Change);
  EXPECT_EQ(calls_[0].page, 2);
  EXPECT_EQ(Selected(), RowOf("Page 2", RowOf("Beta")));
  // renaming a form moves its row; the selection follows it
  Select(RowOf("Beta"));
  beforeWrite_ = [] { D().FOR.FORMNAME = "Aardvark"; };
  t.ChangeEntry();
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "1 Aardvark", "2 Page 1", "2 Page 2", "-1 Alpha"}));
  EXPECT_EQ(Selected(), 2);
  // a cancelled window changes nothing
  answer_ = cl::response::Cancelled;
  Select(RowOf("Alpha"));
  t.ChangeEntry();
  EXPECT_EQ(Selected(), 5);
  EXPECT_EQ(Shown().size(), 5u);
}

// Each command at each level: which record window runs, on which record.
TEST_F(Tree, CommandsRunTheRecordWindowOfTheRowsLevel) {
  struct Case {
    const char* name;
    RelationTreeDesc (*desc)();
    const char* row;  // text of the selected row; its form's branch is open
    int request;
    const char* window;  // "" when nothing runs
    const char* added;   // the row selected afterwards
  };
  const Case cases[] = {
      {"insert at the root", Pages, "Forms", 1, "forms", "New"},
      {"insert at a form row adds a form", Pages, "Beta", 1, "forms", "New"},
      {"insert at a page row adds a page of its form", Pages, "Page 1", 1, "pages", "Page 3"},
      {"insert at a form row adds its data set", Sets, "Beta", 1, "sets", ""},
      {"change at the root", Pages, "Forms", 2, "", "Forms"},
      {"delete at the root", Pages, "Forms", 3, "", "Forms"},
      {"change a form", Sets, "Beta", 2, "forms", "Beta"},
      {"delete a page", Pages, "Page 2", 3, "pages", ""},
      {"delete a data set", Sets, "Set 1", 3, "sets", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteAllForms();
    calls_.clear();
    AddForm("Alpha", 1);
    const long beta = AddForm("Beta", 2, 1);
    beforeWrite_ = [] {
      if (cl::ThreadRequest() == 0 && D().FOR.FORMNAME.Clip().empty()) D().FOR.FORMNAME = "New";
    };
    RelationTree& t = Make(c.desc());
    Select(RowOf("Beta"));
    t.ExpandBranch();
    Select(RowOf(c.row));
    const long before = static_cast<long>(Shown().size());
    if (c.request == 1) t.InsertEntry();
    else if (c.request == 2) t.ChangeEntry();
    else t.DeleteEntry();
    if (!*c.window) {
      EXPECT_TRUE(calls_.empty());
      EXPECT_EQ(Shown().size(), static_cast<size_t>(before));
      continue;
    }
    ASSERT_EQ(calls_.size(), 1u);
    const libtest::Call& call = calls_[0];
    EXPECT_EQ(call.what, c.window);
    EXPECT_EQ(call.request, c.request);
    if (call.what == "pages") {
      EXPECT_EQ(call.pageForm, beta);
    } else if (call.what == "sets") {
      EXPECT_EQ(call.setForm, beta);
    }
    const long grown = c.request == 1 ? 1 : c.request == 3 ? -1 : 0;
    EXPECT_EQ(static_cast<long>(Shown().size()), before + grown);
    if (*c.added) {
      EXPECT_EQ(tree_->RelationTreeQueue.At(Selected()).DISPLAY, c.added);
    }
  }
}

TEST_F(Tree, ARowWhoseRecordIsGoneStopsEveryCommand) {
  for (int request : {1, 2, 3}) {
    SCOPED_TRACE(request);
    DeleteAllForms();
    AddForm("Alpha", 1);
    const long beta = AddForm("Beta", 2);
    RelationTree& t = Make(Pages());
    Select(RowOf("Beta"));
    t.ExpandBranch();
    Select(RowOf("Page 2", RowOf("Beta")));
    DeleteForm(beta);  // another window deletes the form
    calls_.clear();
    ui::Headless().Reset();
    if (request == 1) t.InsertEntry();
    else if (request == 2) t.ChangeEntry();
    else t.DeleteEntry();
    EXPECT_TRUE(calls_.empty());  // no record window, nothing deleted
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find("could not be read again"), std::string::npos);
    EXPECT_EQ(Shown(), (Lines{"0 Forms", "-1 Alpha"}));  // the tree was read again
    EXPECT_EQ(Count(FileId::Forms), 1);
  }
}

TEST_F(Tree, DeletesCascadeThroughTheRelationsAndNothingElse) {
  const long alpha = AddForm("Alpha", 2, 2);
  const long beta = AddForm("Beta", 3, 2);
  const long betaSet = D().FIL.ID;
  RelationTree& t = Make(Sets());
  Select(RowOf("Beta"));
  t.ExpandBranch();
  // a data set takes its values with it
  Select(RowOf("Set 2", RowOf("Beta")));
  t.DeleteEntry();
  EXPECT_EQ(Count(FileId::FilledForm, beta, 12), 1);
  EXPECT_EQ(Count(FileId::FilledData, betaSet), 0);
  EXPECT_EQ(Count(FileId::FilledData), 3);
  // a form takes its pages, controls, option values, data sets and values
  Select(RowOf("Beta"));
  t.DeleteEntry();
  for (FileId id : {FileId::FormPages, FileId::PageControls, FileId::FieldValues})
    EXPECT_EQ(Count(id, beta), 0) << static_cast<int>(id);
  EXPECT_EQ(Count(FileId::FilledForm, beta, 12), 0);
  EXPECT_EQ(Count(FileId::FilledData), 2);
  for (FileId id : {FileId::FormPages, FileId::PageControls, FileId::FieldValues})
    EXPECT_EQ(Count(id, alpha), 2) << static_cast<int>(id);
  EXPECT_EQ(Count(FileId::FilledForm, alpha, 12), 2);
  EXPECT_EQ(Shown(), (Lines{"0 Forms", "-1 Alpha"}));
}

TEST_F(Tree, NavigationWalksTheFullyOpenedTree) {
  AddForm("Alpha", 2);
  AddForm("Beta", 2);
  RelationTree& t = Make(Pages());
  Select(2);  // Alpha
  t.SelectNextRow();  // opens Alpha, then its first page
  EXPECT_EQ(Selected(), 3);
  Select(RowOf("Beta"));
  t.SelectPreviousRow();  // the last page of Alpha
  EXPECT_EQ(Selected(), 4);
  t.NextAtSameLevel();  // Beta's first page, Beta opened on the way
  EXPECT_EQ(Shown()[Selected() - 1], "2 Page 1");
  EXPECT_EQ(t.FormRowOf(Selected()), RowOf("Beta"));
  t.PreviousAtParentLevel();
  EXPECT_EQ(Selected(), RowOf("Beta"));
  // backwards across a closed branch: the branch is opened and its last
  // row taken, by the previous row and by the walk to the same level
  t.ContractAll();
  Select(RowOf("Beta"));
  t.SelectPreviousRow();
  EXPECT_EQ(Shown()[Selected() - 1], "2 Page 2");
  EXPECT_EQ(t.FormRowOf(Selected()), RowOf("Alpha"));
  t.ContractAll();
  Select(RowOf("Beta"));
  t.SelectNextRow();  // Beta's first page, Alpha still closed
  ASSERT_EQ(Shown()[Selected() - 1], "2 Page 1");
  t.PreviousAtSameLevel();
  EXPECT_EQ(Shown()[Selected() - 1], "2 Page 2");
  EXPECT_EQ(t.FormRowOf(Selected()), RowOf("Alpha"));
  // a record window asking for the next row runs the request again there
  int asked = 0;
  library::Calls().updateFormPages = [&] {
    calls_.push_back(Now("pages", cl::ThreadRequest()));
    cl::ThreadResponse() = cl::response::Cancelled;
    cl::NavigationRequest() = asked++ == 0 ? cl::toolbar::NextRow : 0;
  };
  Select(RowOf("Page 1", RowOf("Beta")));
  t.ChangeEntry();
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[0].page, 1);
  EXPECT_EQ(calls_[1].page, 2);
}

}  // namespace
