// The data-set windows: a new data set, the editor opened on it, the list
// of a form's data sets, and the Form Editor opening these windows.
#include "records_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/picture.h"

namespace rectest {
namespace {

using cl::request::Change;
using cl::request::Delete;
using cl::request::Insert;

enum { kCancel = 1, kOk = 2, kOpenEditor = 3, kFormName = 6, kName = 11, kDate = 14, kButtonOk = 17 };

class DataSets : public Records {
 protected:
  // The data-set window; a new data set of `form` when `set` is 0.
  std::shared_ptr<Outcome> RunSet(int request, long form, long set = 0) {
    return Run(
        [=](data::Dictionary& d) {
          cl::FileManager* forms = d.Access(FileId::Forms);
          d.FOR.ID = static_cast<rt::Long>(form);
          forms->TryFetch(forms->KeyNumber("FOR:ID_Key"));
          cl::FileManager* sets = d.Access(FileId::FilledForm);
          if (set == 0) {
            sets->PrimeRecord();
          } else {
            d.FIL.ID = static_cast<rt::Long>(set);
            sets->TryFetch(sets->KeyNumber("FIL:ID_Key"));
          }
          cl::ThreadRequest() = static_cast<rt::Byte>(request);
        },
        [] { library::UpdateFilledForm(); });
  }
  size_t ValuesOf(long set) {
    size_t n = 0;
    for (const auto& v : Values()) n += v.ID == set;
    return n;
  }
};

TEST_F(DataSets, ANewDataSetShowsItsFormAndOkAddsIt) {
  const long form = ImportForm();
  auto out = RunSet(Insert, form);
  auto w = Window("Record Will Be Added");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Get(kFormName, Prop::ScreenText), "FORM");
  EXPECT_EQ(w->Get(kDate, Prop::ScreenText), rt::Clip(rt::Format(rt::Today(), "@d17")));
  EXPECT_EQ(w->Get(kName, Prop::ScreenText), "");
  ASSERT_TRUE(w->InputType(kName, "First"));
  Press(w, kButtonOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  const auto sets = Records::DataSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(long{sets[0].FORMID}, form);
  EXPECT_EQ(rt::Clip(sets[0].FILLEDFORMNAME.View()), "First");

  // deleting it takes its values, and nothing of another data set
  const long other = AddDataSet(form, "Other");
  AddValue(sets[0].ID, 1, 1, "x");
  AddValue(other, 1, 1, "y");
  ui::Headless().AnswerMessage(ui::button::Yes);
  out = RunSet(Delete, form, sets[0].ID);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(Records::DataSets().size(), 1u);
  EXPECT_EQ(ValuesOf(sets[0].ID), 0u);
  EXPECT_EQ(ValuesOf(other), 1u);
}

// The editor saves values under the new data set's number before the data
// set exists; cancelling the data set takes them with it.
TEST_F(DataSets, TheEditorOnANewDataSetThenOkOrCancel) {
  const long form = ImportForm();
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    auto out = RunSet(Insert, form);
    auto w = Window("Record Will Be Added");
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->InputType(kName, ok ? "Kept" : "Dropped"));
    ASSERT_TRUE(w->InputAccept(kOpenEditor));
    ASSERT_TRUE(ui::WaitUntil([&] { return EditorWindows().size() == 1; }));
    Settle();
    edtest::Opened o;
    o.win = EditorWindows().front();
    o.ed = editor::EditorOfWindow(o.win->GetLong(0, Prop::Handle));
    ASSERT_NE(o.ed, nullptr);
    EXPECT_EQ(o.ed->Mode, "2");
    const long set = o.ed->DataSetId;
    EXPECT_GT(set, 0);
    ASSERT_TRUE(o.win->InputType(Entry(o.ed, "name")->CTLNO, "Ann"));
    Accept(o, editor::kSave);
    ASSERT_TRUE(ui::WaitUntil([&] { return EditorWindows().empty(); }));
    Settle();
    EXPECT_GT(ValuesOf(set), 0u);
    EXPECT_EQ(w->Get(kName, Prop::ScreenText), ok ? "Kept" : "Dropped");
    Press(w, ok ? kOk : kCancel);
    ASSERT_TRUE(Finished(out));
    EXPECT_EQ(out->response, ok ? cl::response::Completed : cl::response::Cancelled);
    const auto sets = Records::DataSets();
    const bool stored = std::any_of(sets.begin(), sets.end(), [&](const auto& s) { return s.ID == set; });
    EXPECT_EQ(stored, ok);
    if (ok) {
      const auto values = Values();
      EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                              [&](const auto& v) { return v.ID == set && v.VALUE.View() == "Ann"; }));
    } else {
      EXPECT_EQ(ValuesOf(set), 0u);
    }
  }
}

TEST_F(DataSets, SelectListsOnlyTheCurrentFormsDataSets) {
  const long a = ImportForm(), b = ImportSecond();
  AddDataSet(a, "A1");
  const long a2 = AddDataSet(a, "A2");
  AddDataSet(b, "B1");
  auto select = [&](long form) {
    return Run(
        [=](data::Dictionary& d) {
          d.FOR.ID = static_cast<rt::Long>(form);
          d.Access(FileId::Forms)->TryFetch(1);
          cl::ThreadRequest() = cl::request::Select;
        },
        [] { library::SelectFilledForm(); });
  };
  auto out = select(a);
  auto w = Window("Select Filled Form Data");
  ASSERT_TRUE(w);
  ASSERT_EQ(w->GetLong(1, Prop::Items), 2);
  EXPECT_EQ(w->CellText(1, 1, 2), "A1");
  EXPECT_EQ(w->CellText(1, 2, 2), "A2");
  ASSERT_TRUE(w->InputSelectRow(1, 2));
  Press(w, 2);  // &Select
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(out->alias, a2);

  // closed, or a form without data sets: cancelled
  const long none = ImportSecond();
  for (long form : {b, none}) {
    out = select(form);
    w = Window("Select Filled Form Data");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->GetLong(1, Prop::Items), form == b ? 1 : 0);
    EXPECT_EQ(w->GetLong(2, Prop::Disable), form == b ? 0 : 1);
    Press(w, 3);  // &Close
    ASSERT_TRUE(Finished(out));
    EXPECT_EQ(out->response, cl::response::Cancelled);
  }
}

// With the hand-over installed, the editor's commands open these windows.
TEST_F(DataSets, TheFormEditorOpensTheLibrarysWindows) {
  library::InstallEditorCalls();
  edtest::Opened o = StartEditor("3");
  ui::Headless().AnswerFile({pdf_});
  ui::Headless().AnswerMessage(ui::button::Yes);  // the document's fields
  Accept(o, editor::kPdfOpen);
  const long form = o.ed->FormId, set = o.ed->DataSetId;
  ASSERT_TRUE(o.win->InputType(Entry(o.ed, "name")->CTLNO, "Zed"));
  // "Exit and Save": the values are kept as the data set, in its window
  ui::Headless().AnswerMessage(ui::button::Yes);
  ASSERT_TRUE(o.win->InputAccept(editor::kSave));
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  EXPECT_NE(w->Number("?HELP:2"), 0);
  ASSERT_TRUE(w->InputType(kName, "Saved set"));
  Press(w, kButtonOk);
  ASSERT_TRUE(ui::WaitUntil([&] { return EditorWindows().empty(); }));
  rt::WaitForThreads();
  auto sets = Records::DataSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(long{sets[0].ID}, set);
  EXPECT_EQ(rt::Clip(sets[0].FILLEDFORMNAME.View()), "Saved set");
  const auto values = Values();
  EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                          [&](const auto& v) { return v.ID == set && v.VALUE.View() == "Zed"; }));

  // "Select Data" lists the form's data sets; "Form Information" shows the data set
  o = StartEditor("2", form, set);
  ASSERT_TRUE(o.win->InputAccept(editor::kSelectFilledForm));
  w = Window("Select Filled Form Data");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->GetLong(1, Prop::Items), 1);
  Press(w, 3);
  ASSERT_TRUE(ui::WaitUntil([&] { return WindowsCaptioned("Select Filled Form Data").empty(); }));
  Settle();
  ASSERT_TRUE(o.win->InputAccept(editor::kInfo));
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->GetLong(38, Prop::Hide), 0);
  EXPECT_EQ(w->Get(40, Prop::ScreenText), "Saved set");
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 1);
  Press(w, 2);
  ASSERT_TRUE(ui::WaitUntil([&] { return WindowsCaptioned("Record Will Be Changed").empty(); }));
  Settle();
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

// Ctrl+H puts the data set's name back and leaves the other edits; the
// list of data sets locates a row by the name typed on it.
TEST_F(DataSets, HistoryKeyAndTheListsLocator) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "First");
  auto out = RunSet(Change, form, set);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  const std::string earlier = rt::Clip(rt::Format(rt::Today() - 3, "@d17"));
  ASSERT_TRUE(w->InputType(kName, "Wrong"));
  ASSERT_TRUE(w->InputType(kDate, earlier));
  ASSERT_TRUE(w->InputKey(kName, ui::key::Ctrl | 'H'));
  EXPECT_TRUE(ui::WaitUntil([&] { return w->Get(kName, Prop::ScreenText) == "First"; }));
  Settle();
  EXPECT_EQ(w->Get(kDate, Prop::ScreenText), earlier);
  Press(w, kButtonOk);
  ASSERT_TRUE(Finished(out));
  auto sets = Records::DataSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(rt::Clip(sets[0].FILLEDFORMNAME.View()), "First");
  EXPECT_EQ(long{sets[0].DATECREATED}, rt::Today() - 3);

  AddDataSet(form, "Banana");
  const long blueberry = AddDataSet(form, "Blueberry");
  out = Run(
      [=](data::Dictionary& d) {
        d.FOR.ID = static_cast<rt::Long>(form);
        d.Access(FileId::Forms)->TryFetch(1);
        cl::ThreadRequest() = cl::request::Select;
      },
      [] { library::SelectFilledForm(); });
  w = Window("Select Filled Form Data");
  ASSERT_TRUE(w);
  ASSERT_EQ(w->GetLong(1, Prop::Items), 3);
  EXPECT_EQ(w->CellText(1, 1, 2), "Banana");
  EXPECT_EQ(w->GetLong(1, Prop::Selected), 1);
  ASSERT_TRUE(w->InputKey(1, 'F'));
  EXPECT_TRUE(ui::WaitUntil([&] { return w->GetLong(1, Prop::Selected) == 3; }));
  // a row clicked starts a new search
  ASSERT_TRUE(w->InputSelectRow(1, 1, ui::key::MouseLeft));
  ASSERT_TRUE(w->InputKey(1, 'B'));
  ASSERT_TRUE(w->InputKey(1, 'L'));
  EXPECT_TRUE(ui::WaitUntil([&] { return w->GetLong(1, Prop::Selected) == 2; }));
  Settle();
  Press(w, 2);  // &Select
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(out->alias, blueberry);
}

}  // namespace
}  // namespace rectest
