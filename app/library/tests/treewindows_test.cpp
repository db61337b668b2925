// The three tree windows driven through the headless window layer on
// threads of their own: buttons and popups by level, keyboard and mouse
// selection, the page picture, the editor commands, the data-set list.
#include "library_fixture.h"
#include "velmora/ui/keys.h"

namespace {

using data::FileId;
using libtest::Call;
using Lines = std::vector<std::string>;
using ui::Prop;
namespace lib = library;

class TreeWindows : public libtest::LibraryFixture {
 protected:
  // The state of the buttons: tips of insert, change, delete, then which of
  // change, delete and ?BUTTON7 are enabled ("CDE", "-" for disabled).
  std::string Buttons(ui::Window& w) {
    std::string out = w.Get(lib::kInsert, Prop::Tip) + "|" + w.Get(lib::kChange, Prop::Tip) + "|" +
                      w.Get(lib::kDelete, Prop::Tip) + "|";
    out += w.GetLong(lib::kChange, Prop::Disable) ? "-" : "C";
    out += w.GetLong(lib::kDelete, Prop::Disable) ? "-" : "D";
    out += w.GetLong(lib::kButton7, Prop::Disable) ? "-" : "E";
    return out;
  }
  void Click(ui::Window& w, int control, long row, int key = ui::key::MouseLeft) {
    ASSERT_TRUE(w.InputSelectRow(control, row, key)) << row;
    Settle(w);
  }
  void Press(ui::Window& w, int control) {
    ASSERT_TRUE(w.InputAccept(control)) << control;
    Settle(w);
  }
  void Key(ui::Window& w, int control, int key) {
    ASSERT_TRUE(w.InputKey(control, key)) << key;
    Settle(w);
  }
  long RowOf(ui::Window& w, const std::string& text, long after = 0) {
    for (long r = after + 1; r <= w.GetLong(lib::kRelTree, Prop::Items); ++r)
      if (w.CellText(lib::kRelTree, r, 1) == text) return r;
    ADD_FAILURE() << "no row " << text;
    return 0;
  }
  Lines ListRows(ui::Window& w) {
    Lines out;
    for (long r = 1; r <= w.GetLong(lib::kList, Prop::Items); ++r) out.push_back(w.CellText(lib::kList, r, 1));
    return out;
  }
  std::vector<ui::PopupItem> LastPopup() {
    std::vector<ui::PopupItem> items;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Popup) items = a.popup;
    return items;
  }
};

TEST_F(TreeWindows, PrepareFormsSetsButtonsAndPictureForEveryKindOfSelection) {
  const long alpha = AddForm("Alpha", 2);
  AddForm("Beta", 1);
  auto w = Start(&lib::ShowFormsTree, "Prepare Forms");
  ASSERT_TRUE(w);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "-1 Alpha", "-1 Beta"}));
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 1);
  EXPECT_EQ(w->Get(lib::kRelTree, Prop::IconList, 2), "download.ico");
  EXPECT_EQ(Buttons(*w), "Add New Form|Change Form|Delete Form|---");
  EXPECT_FALSE(w->IsShown(lib::kImage));

  // the expand box opens a branch
  ASSERT_TRUE(w->InputTreeBox(lib::kRelTree, 2));
  Settle(*w);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "1 Alpha", "2 Page 1", "2 Page 2", "-1 Beta"}));
  // a page chosen with the keyboard sets the buttons as a click does
  Click(*w, lib::kRelTree, 4, ui::key::Down);
  EXPECT_EQ(Buttons(*w), "Add Form Page|Change Form Page|Delete Form Page|CDE");
  // its picture, 600 by 800, fills the panel's height, centred across
  ASSERT_TRUE(w->IsShown(lib::kImage));
  const ui::Window::Rect r = w->Position(lib::kImage);
  EXPECT_EQ(r.height, 222);
  EXPECT_EQ(r.y, 6);
  EXPECT_EQ(r.width, 167);
  EXPECT_EQ(r.x, 239);
  EXPECT_EQ(w->Image(lib::kImage).size(), Picture(2).size());
  Click(*w, lib::kRelTree, 2);
  EXPECT_EQ(Buttons(*w), "Add New Form|Change Form|Delete Form|CD-");
  EXPECT_EQ(std::string(w->Image(lib::kImage).begin(), w->Image(lib::kImage).end()), Picture(1));
  // the root: no picture; its popup offers only a new form
  ui::Headless().AnswerPopup(0);
  Click(*w, lib::kRelTree, 1, ui::key::MouseRight);
  EXPECT_FALSE(w->IsShown(lib::kImage));
  const auto items = LastPopup();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_FALSE(items[0].greyed);
  EXPECT_TRUE(items[1].greyed && items[2].greyed);
  // the buttons check the level themselves: Edit on the root does nothing
  w->Enable(lib::kButton7);
  Press(*w, lib::kButton7);
  EXPECT_TRUE(calls_.empty());

  // Edit on a page designs its form, opened on that page
  Click(*w, lib::kRelTree, 4);
  Press(*w, lib::kButton7);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "editor");
  EXPECT_EQ(calls_[0].request, 1);
  EXPECT_EQ(calls_[0].form, alpha);
  EXPECT_EQ(calls_[0].pageForm, alpha);
  EXPECT_EQ(calls_[0].page, 2);
  // the popup's fourth item and the double-click do the same
  ui::Headless().AnswerPopup(4);
  Click(*w, lib::kRelTree, 3, ui::key::MouseRight);
  Key(*w, lib::kRelTree, ui::key::MouseLeft2);
  ASSERT_EQ(calls_.size(), 3u);
  EXPECT_EQ(calls_[1].page, 1);
  EXPECT_EQ(calls_[2].page, 1);
  EXPECT_EQ(calls_[2].request, 1);
  // a double-click on a form changes it
  Click(*w, lib::kRelTree, RowOf(*w, "Beta"));
  Key(*w, lib::kRelTree, ui::key::MouseLeft2);
  ASSERT_EQ(calls_.size(), 4u);
  EXPECT_EQ(calls_[3].what, "forms");
  EXPECT_EQ(calls_[3].request, cl::request::Change);
  // Ctrl+Right and Ctrl+Left open and close the selected branch
  Key(*w, lib::kRelTree, ui::key::Ctrl | ui::key::Right);
  EXPECT_EQ(Rows(*w).back(), "2 Page 1");
  Key(*w, lib::kRelTree, ui::key::Ctrl | ui::key::Left);
  EXPECT_EQ(Rows(*w).back(), "-1 Beta");
  // Expand All, then a focus return keeps every branch open
  Press(*w, lib::kExpand);
  w->Post(ui::ev::GainFocus);
  Settle(*w);
  EXPECT_EQ(Rows(*w).size(), 6u);
  Press(*w, lib::kContract);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "-1 Alpha", "-1 Beta"}));
}

TEST_F(TreeWindows, FilledDocumentsFillsTheSelectedDataSetAndAddsAFormsFirst) {
  const long alpha = AddForm("Alpha", 2, 2);
  const long second = D().FIL.ID;
  const long beta = AddForm("Beta", 1);
  auto w = Start(&lib::ShowFilledFormsTree, "Filled Documents");
  ASSERT_TRUE(w);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "-1 Alpha", "1 Beta"}));  // forms by number
  EXPECT_EQ(w->Get(lib::kButton7, Prop::Tip), "Fill Form");
  // a form without data sets receives its first one at its row
  Click(*w, lib::kRelTree, 3);
  EXPECT_EQ(Buttons(*w), "New Document|Change Form|Delete Form|CD-");
  ASSERT_TRUE(w->IsShown(lib::kImage));  // page 1 of the form
  beforeWrite_ = [] { D().FIL.FILLEDFORMNAME = "First"; };
  Press(*w, lib::kInsert);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "sets");
  EXPECT_EQ(calls_[0].setForm, beta);
  EXPECT_EQ(Count(FileId::FilledForm, beta, 12), 1);
  // filling from the button, the popup and the double-click opens the
  // selected data set, also after a rebuild by a focus return
  Press(*w, lib::kExpand);
  const long row = RowOf(*w, "Set 2");
  Click(*w, lib::kRelTree, row);
  EXPECT_EQ(Buttons(*w), "New Document|Change Document|Delete Document|CDE");
  w->Post(ui::ev::GainFocus);
  Settle(*w);
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), row);
  calls_.clear();
  Press(*w, lib::kButton7);
  ui::Headless().AnswerPopup(4);
  Click(*w, lib::kRelTree, row, ui::key::MouseRight);
  Key(*w, lib::kRelTree, ui::key::MouseLeft2);
  ASSERT_EQ(calls_.size(), 3u);
  for (const Call& c : calls_) {
    EXPECT_EQ(c.what, "editor");
    EXPECT_EQ(c.request, 2);
    EXPECT_EQ(c.set, second);
    EXPECT_EQ(c.form, alpha);
    EXPECT_EQ(c.pageForm, alpha);
    EXPECT_EQ(c.page, 1);
  }
  // deleting the last data set of a form leaves it a leaf
  Click(*w, lib::kRelTree, RowOf(*w, "First"));
  Press(*w, lib::kDelete);
  EXPECT_EQ(Rows(*w).back(), "1 Beta");
}

TEST_F(TreeWindows, FormsWindowListsTheSelectedFormsDataSets) {
  const long alpha = AddForm("Alpha", 2, 2);
  const long beta = AddForm("Beta", 1, 1);
  const long empty = AddForm("Empty", 1);
  auto w = Start(&lib::ShowAll, "Forms");
  ASSERT_TRUE(w);
  // the first form is selected at open: its picture and data sets show
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 2);
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1", "Set 2"}));
  EXPECT_TRUE(w->IsShown(lib::kImage));
  EXPECT_EQ(w->Position(lib::kImage).height, 160);
  EXPECT_EQ(w->Get(lib::kInsert3, Prop::Tip), "Add New Form");
  EXPECT_FALSE(w->GetLong(lib::kChange3, Prop::Disable));
  EXPECT_TRUE(w->GetLong(lib::kButton7, Prop::Disable));
  // a page of another form switches the list to that form's data sets
  Press(*w, lib::kExpand);
  Click(*w, lib::kRelTree, RowOf(*w, "Page 1", RowOf(*w, "Beta")));
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1"}));
  EXPECT_EQ(w->Get(lib::kDelete3, Prop::Tip), "Delete Form Page");
  // the list's double-click fills its data set, with the page row selected
  Key(*w, lib::kList, ui::key::MouseLeft2);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "editor");
  EXPECT_EQ(calls_[0].request, 2);
  EXPECT_EQ(calls_[0].setForm, beta);
  EXPECT_EQ(calls_[0].form, beta);
  EXPECT_EQ(calls_[0].page, 1);
  // a form without data sets: "&Fill Data" says so and opens nothing
  Click(*w, lib::kRelTree, RowOf(*w, "Empty"));
  EXPECT_TRUE(ListRows(*w).empty());
  ui::Headless().Reset();
  Press(*w, lib::kButton11);
  EXPECT_EQ(calls_.size(), 1u);
  ASSERT_EQ(Messages().size(), 1u);
  // a new data set belongs to the form selected in the tree, even after a
  // rebuild left another form in the buffer
  Click(*w, lib::kRelTree, RowOf(*w, "Page 2", RowOf(*w, "Alpha")));
  w->Post(ui::ev::GainFocus);
  Settle(*w);
  beforeWrite_ = [] { D().FIL.FILLEDFORMNAME = "Third"; };
  Press(*w, lib::kInsert2);
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[1].what, "sets");
  EXPECT_EQ(calls_[1].request, cl::request::Insert);
  EXPECT_EQ(calls_[1].setForm, alpha);
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1", "Set 2", "Third"}));
  EXPECT_EQ(w->GetLong(lib::kList, Prop::Selected), 3);
  // the locator selects by name
  Key(*w, lib::kList, 'S');
  Key(*w, lib::kList, 'E');
  Key(*w, lib::kList, 'T');
  Key(*w, lib::kList, ui::key::Space);
  Key(*w, lib::kList, '2');
  EXPECT_EQ(w->GetLong(lib::kList, Prop::Selected), 2);
  // a data set deleted by another window: change and delete stop
  D().FIL.ID = static_cast<rt::Long>(D().FIL.ID);
  {
    db::FileDecl& f = D().File(FileId::FilledForm);
    db::Set(f, 0);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f))
      if (D().FIL.FILLEDFORMNAME.Clip() == "Set 2" && D().FIL.FORMID == alpha) break;
    ASSERT_EQ(D().Relate(FileId::FilledForm)->TryDelete(), cl::kBenign);
  }
  ui::Headless().Reset();
  Press(*w, lib::kDelete2);
  EXPECT_EQ(calls_.size(), 2u);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1", "Third"}));
  // the root row: no picture, an empty list
  Click(*w, lib::kRelTree, 1);
  EXPECT_FALSE(w->IsShown(lib::kImage));
  EXPECT_TRUE(ListRows(*w).empty());
  Press(*w, lib::kButton11_2);
  EXPECT_TRUE(ui::WaitUntil([&] { return !w->IsOpen(); }));
  (void)empty;
}

TEST_F(TreeWindows, RebuildsKeepTheHighlightedRecordAndThePictureAndListFollowIt) {
  AddForm("Alpha", 2, 2);
  const long beta = AddForm("Beta", 1, 1);
  AddForm("Gamma", 1, 3);
  auto w = Start(&lib::ShowAll, "Forms");
  ASSERT_TRUE(w);
  auto selected = [&] { return w->CellText(lib::kRelTree, w->GetLong(lib::kRelTree, Prop::Selected), 1); };
  Click(*w, lib::kRelTree, RowOf(*w, "Beta"));
  ASSERT_EQ(ListRows(*w), (Lines{"Set 1"}));
  // Expand All puts rows above Beta: the highlight moves with it
  Press(*w, lib::kExpand);
  EXPECT_EQ(selected(), "Beta");
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1"}));
  // Contract All hides a page: its form is highlighted, its data sets listed
  Click(*w, lib::kRelTree, RowOf(*w, "Page 1", RowOf(*w, "Gamma")));
  Press(*w, lib::kContract);
  EXPECT_EQ(selected(), "Gamma");
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1", "Set 2", "Set 3"}));
  // a form deleted meanwhile: the row that takes its place, and its lists
  Click(*w, lib::kRelTree, RowOf(*w, "Beta"));
  DeleteForm(beta);
  w->Post(ui::ev::GainFocus);
  Settle(*w);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "-1 Alpha", "-1 Gamma"}));
  EXPECT_EQ(selected(), "Gamma");
  EXPECT_EQ(ListRows(*w), (Lines{"Set 1", "Set 2", "Set 3"}));
  EXPECT_EQ(w->GetLong(lib::kChange3, Prop::Disable), 0);
  Press(*w, lib::kButton11_2);
  EXPECT_TRUE(ui::WaitUntil([&] { return !w->IsOpen(); }));
}

TEST_F(TreeWindows, FilledDocumentsShowsChangesMadeElsewhereWhenActivated) {
  AddForm("Alpha", 1, 1);
  auto documents = Start(&lib::ShowFilledFormsTree, "Filled Documents");
  ASSERT_TRUE(documents);
  auto forms = Start(&lib::ShowAll, "Forms");
  ASSERT_TRUE(forms);
  AddForm("Beta", 1, 0);  // as the Forms window's record window writes it
  EXPECT_EQ(Rows(*documents), (Lines{"0 Forms", "-1 Alpha"}));
  ASSERT_TRUE(documents->InputActivate());  // the user clicks into it
  Settle(*documents);
  EXPECT_EQ(Rows(*documents), (Lines{"0 Forms", "-1 Alpha", "1 Beta"}));
  forms->InputClose();
  documents->InputClose();
  EXPECT_TRUE(ui::WaitUntil([&] { return !forms->IsOpen() && !documents->IsOpen(); }));
}

TEST_F(TreeWindows, FormsWindowWithoutFormsShowsOnlyTheRoot) {
  auto w = Start(&lib::ShowAll, "Forms");
  ASSERT_TRUE(w);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms"}));
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 1);
  EXPECT_TRUE(ListRows(*w).empty());
  // insert at the root adds the first form
  beforeWrite_ = [] { D().FOR.FORMNAME = "First"; };
  Press(*w, lib::kInsert3);
  EXPECT_EQ(Rows(*w), (Lines{"0 Forms", "1 First"}));
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 2);
}

}  // namespace

namespace {

// A window made smaller (as the frame does when it is smaller than the
// window) keeps every control inside and the page picture in proportion,
// within its panel.
TEST_F(TreeWindows, FormsWindowMadeSmallerKeepsItsControlsInsideAndThePictureInProportion) {
  AddForm("Alpha", 1);
  auto w = Start(&lib::ShowAll, "Forms");
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->IsShown(lib::kImage));
  const ui::Window::Rect full = w->PixelPosition(0);
  w->InputSize(full.width * 3 / 4, full.height * 4 / 5);
  Settle(*w);
  const ui::Window::Rect now = w->Position(0);
  for (int control : {lib::kRelTree, lib::kList, lib::kButton11, lib::kButton11_2, lib::kDelete2, lib::kContract}) {
    const ui::Window::Rect r = w->Position(control);
    EXPECT_LE(r.x + r.width, now.width) << control;
    EXPECT_LE(r.y + r.height, now.height) << control;
  }
  const ui::Window::Rect image = w->Position(lib::kImage), panel = w->Position(lib::kPanel1);
  EXPECT_TRUE(w->IsShown(lib::kImage));
  EXPECT_NEAR(static_cast<double>(image.width) / static_cast<double>(image.height), 600.0 / 800.0, 0.02);
  EXPECT_GE(image.x, panel.x);
  EXPECT_GE(image.y, panel.y);
  EXPECT_LE(image.x + image.width, panel.x + panel.width);
  EXPECT_LE(image.y + image.height, panel.y + panel.height);
}

}  // namespace
