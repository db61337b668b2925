// The form record window: a new form from a PDF, repeated and cancelled
// imports, the stored PDF, two windows at once, deletes, view mode and the
// Form Editor's variant.
#include "records_fixture.h"
#include "velmora/app/settings.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/picture.h"

namespace rectest {
namespace {

using cl::request::Change;
using cl::request::Delete;
using cl::request::Insert;
using cl::request::View;

size_t ControlsOf(const std::vector<data::PageControlsRecord>& all, long form) { return Records::Of(all, form); }

TEST_F(Records, NewFormImportsAPdfAndOkStoresItWithItsPdf) {
  auto out = RunForm(Insert);
  auto w = Window("Record Will Be Added");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Get(11, Prop::ScreenText), rt::Clip(rt::Format(rt::Today(), "@d17")));
  EXPECT_EQ(w->GetLong(15, Prop::Checked), 1);
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 0);
  EXPECT_EQ(w->GetLong(38, Prop::Hide), 1);  // no data set tab
  // "Based in the PDF file" decides whether "PDF File" can be used
  Press(w, 15);
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 1);
  Press(w, 15);
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 0);

  ImportInto(w, pdf_);
  EXPECT_EQ(w->Get(9, Prop::ScreenText), "FORM");
  EXPECT_EQ(w->Get(17, Prop::ScreenText), "   3");
  // the document's dates in the user's format, its file as the desktop names it
  EXPECT_EQ(rt::Clip(w->Get(w->Number("?FOR:CREATIONDATE"), Prop::ScreenText)), "01/02/2024 03:04");
  EXPECT_EQ(rt::Clip(w->Get(w->Number("?FOR:ORIGINALPDFFILE"), Prop::ScreenText)), rt::ShownPath(rt::WindowsPath(pdf_)));
  // the pages are stored before the form, under the number it was given
  const auto pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_TRUE(Forms().empty());
  Press(w, 46);  // &OK
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  const auto forms = Forms();
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(long{forms[0].ID}, long{pages[0].FORMID});
  EXPECT_EQ(Of(Pages(), forms[0].ID), 3u);
  EXPECT_EQ(ControlsOf(Controls(), forms[0].ID), 9u);  // every field on a page
  EXPECT_EQ(StoredPdf(forms[0].ID), Slurp(pdf_));
  EXPECT_EQ(rt::Clip(forms[0].CREATIONDATE.View()), "D:20240102030405Z");  // stored as the PDF gives it
}

// The imported fields take the look the settings give, transparent off,
// flat and boxed on while nothing is set.
TEST_F(Records, ImportedFieldsTakeTheLookTheSettingsGive) {
  struct Case {
    long set;  // -1: nothing written
    int transparent, flat, boxed;
  };
  for (const Case& c : {Case{-1, 0, 1, 1}, Case{1, 1, 0, 0}}) {
    if (c.set >= 0) {
      ASSERT_TRUE(app::WriteSetting("Field Transparent", 1));
      ASSERT_TRUE(app::WriteSetting("Field Flat", 0));
      ASSERT_TRUE(app::WriteSetting("Field Boxed", 0));
    }
    auto out = RunForm(Insert);
    auto w = Window("Record Will Be Added");
    ASSERT_TRUE(w);
    ImportInto(w, pdf_);
    Press(w, 46);  // &OK
    ASSERT_TRUE(Finished(out));
    size_t n = 0;
    for (const auto& p : Controls()) {
      if (p.FORMID != out->form) continue;
      ++n;
      EXPECT_EQ(p.CONTROLTRANSPARENT, c.transparent);
      EXPECT_EQ(p.CONTROLFLAT, c.flat);
      EXPECT_EQ(p.CONTROLBOXED, c.boxed);
    }
    EXPECT_GT(n, 0u);
    ui::Headless().Reset();
  }
}

// Every import of one window replaces the one before; what the window
// imported goes again when it is cancelled, and the pages the form had
// before go when it is accepted.
TEST_F(Records, RepeatedAndCancelledImportsLeaveOneSetOfPages) {
  // what one import of the second file stores
  const long reference = ImportSecond();
  const std::string second = (dir_ / "second.pdf").string();
  const size_t controls = ControlsOf(Controls(), reference), options = Of(Options(), reference);
  ASSERT_GT(controls, 0u);
  const long existing = ImportForm();
  struct Case {
    const char* name;
    bool existingForm;
    std::vector<std::string> files;
    bool ok;
    size_t pages;  // of the form afterwards
  } cases[] = {
      {"new form, one import, cancelled", false, {pdf_}, false, 0},
      {"new form, two imports, OK", false, {pdf_, second}, true, 1},
      {"new form, two imports, cancelled", false, {second, pdf_}, false, 0},
      {"saved form, import, cancelled", true, {second}, false, 3},
      {"saved form, two imports, OK", true, {second, second}, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = RunForm(c.existingForm ? Change : Insert, c.existingForm ? existing : 0);
    auto w = Window(c.existingForm ? "Record Will Be Changed" : "Record Will Be Added");
    ASSERT_TRUE(w);
    for (const std::string& file : c.files) ImportInto(w, file);
    Press(w, c.ok ? 46 : 45);
    ASSERT_TRUE(Finished(out));
    const long form = out->form;
    EXPECT_EQ(Of(Pages(), form), c.pages);
    if (!c.existingForm) {
      EXPECT_EQ(Of(Forms(), form) == 1, c.ok);
    }
    if (c.ok) {
      // one page and one set of controls and option values: the second file's
      EXPECT_EQ(ControlsOf(Controls(), form), controls);
      EXPECT_EQ(Of(Options(), form), options);
    }
  }
  // nothing of the cancelled new forms is left
  EXPECT_EQ(Forms().size(), 3u);
  EXPECT_EQ(Pages().size(), 3u);
  EXPECT_EQ(Controls().size(), 3 * controls);
  EXPECT_EQ(Options().size(), 3 * options);
}

TEST_F(Records, TheFormKeepsItsFileAndIsNeverStoredWithoutItsPdf) {
  const long form = ImportForm();
  const std::string pdf = Slurp(pdf_);
  auto out = RunForm(Change, form);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  const std::string file = w->Get(20, Prop::ScreenText);
  EXPECT_FALSE(file.empty());
  ui::Headless().AnswerFile({});  // the dialog is cancelled
  Press(w, 18, [&] { return ui::Headless().AskedDialogs().size() == 1 && w->PendingEvents() == 0; });
  EXPECT_EQ(w->Get(20, Prop::ScreenText), file);
  // the file is gone, but the form holds its PDF already
  std::filesystem::remove(pdf_);
  Press(w, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(StoredPdf(form), pdf);
  EXPECT_EQ(Of(Pages(), form), 3u);

  // a new form without a file, and one whose file went after the import
  ui::Headless().Reset();
  // a name longer than the field's 80 shown characters is kept whole
  const size_t room = 110 - std::min<size_t>(100, dir_.string().size());
  const std::string other = (dir_ / (std::string(room, 'x') + ".pdf")).string();
  std::ofstream(other, std::ios::binary) << pdf;
  out = RunForm(Insert);
  w = Window("Record Will Be Added");
  ASSERT_TRUE(w);
  Press(w, 1, [&] { return Messages().size() == 1; });
  EXPECT_TRUE(w->IsOpen());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages().back().find("No PDF file was chosen"), std::string::npos);
  // a name the field cannot hold is refused before anything is imported
  ui::Headless().AnswerFile({(dir_ / (std::string(130, 'y') + ".pdf")).string()});
  Press(w, 18, [&] { return Messages().size() == 2; });
  EXPECT_NE(Messages().back().find("is longer than 127 characters"), std::string::npos);
  EXPECT_EQ(w->Get(20, Prop::ScreenText), "");
  ImportInto(w, other);
  EXPECT_EQ(w->Get(20, Prop::ScreenText), other);
  std::filesystem::remove(other);
  Press(w, 1, [&] { return Messages().size() == 4; });  // fields question, then the report
  ASSERT_EQ(Messages().size(), 4u);
  EXPECT_NE(Messages().back().find("could not be read"), std::string::npos);
  EXPECT_TRUE(w->IsOpen());
  EXPECT_FALSE(out->done);
  // not based in a PDF, the form is stored without one
  Press(w, 15);
  Press(w, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_TRUE(StoredPdf(out->form).empty());
  EXPECT_EQ(Of(Pages(), out->form), 3u);
}

// OK on a saved form takes the file at its original path only when the
// window imported it or the form holds no PDF: another document that took
// the file's place does not replace the one the pages came from.
TEST_F(Records, OnlyAnImportOrAMissingPdfReplacesTheStoredOne) {
  const long form = ImportForm();
  const std::string pdf = Slurp(pdf_);
  const std::string other = Slurp(forms::MakePartialRadio((dir_ / "other.pdf").string()));
  std::ofstream(pdf_, std::ios::binary | std::ios::trunc) << other;
  auto out = RunForm(Change, form);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->InputType(9, "Renamed"));
  Press(w, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  ASSERT_EQ(Forms().size(), 1u);
  EXPECT_EQ(rt::Clip(Forms()[0].FORMNAME.View()), "Renamed");
  EXPECT_TRUE(StoredPdf(form) == pdf) << "the document at the path replaced the stored one";

  // a form without its PDF takes the file
  D().Relate(FileId::Forms)->Open();
  D().FOR.ID = static_cast<rt::Long>(form);
  ASSERT_EQ(D().Access(FileId::Forms)->TryFetch(1), cl::kBenign);
  db::BlobSetSize(D().File(FileId::Forms), D().File(FileId::Forms).MemoIndex("FOR:PDFDATA"), 0);
  ASSERT_EQ(D().Access(FileId::Forms)->TryUpdate(), cl::kBenign);
  D().Relate(FileId::Forms)->Close();
  ASSERT_TRUE(StoredPdf(form).empty());
  out = RunForm(Change, form);
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  Press(w, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_TRUE(StoredPdf(form) == other);

  // an import made in the window replaces it
  std::ofstream(pdf_, std::ios::binary | std::ios::trunc) << pdf;
  out = RunForm(Change, form);
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ImportInto(w, pdf_);
  Press(w, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_TRUE(StoredPdf(form) == pdf);
}

TEST_F(Records, TwoWindowsOnTwoThreadsAddFormsFromTwoPdfsAtOnce) {
  const long reference = ImportSecond();
  const std::string second = (dir_ / "second.pdf").string();
  const size_t controls = ControlsOf(Controls(), reference);
  auto a = RunForm(Insert);
  auto b = RunForm(Insert);
  ASSERT_TRUE(ui::WaitUntil([&] { return WindowsCaptioned("Record Will Be Added").size() == 2; }));
  Settle();
  auto windows = WindowsCaptioned("Record Will Be Added");
  // both imports run at once; whichever asks first gets the first file
  ui::Headless().AnswerFile({pdf_});
  ui::Headless().AnswerFile({second});
  ui::Headless().AnswerMessage(ui::button::Yes);
  ui::Headless().AnswerMessage(ui::button::Yes);
  for (auto& w : windows) ASSERT_TRUE(w->InputAccept(18));
  ASSERT_TRUE(ui::WaitUntil(
      [&] {
        for (auto& w : windows)
          if (w->Get(44, Prop::ScreenText) != "Done!" || w->PendingEvents()) return false;
        return true;
      },
      std::chrono::seconds(60)));
  for (auto& w : windows) ASSERT_TRUE(w->InputAccept(1));
  ASSERT_TRUE(Finished(a));
  ASSERT_TRUE(Finished(b));
  const auto forms = Forms();
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_NE(long{forms[1].ID}, long{forms[2].ID});
  for (const auto& f : forms) {
    if (f.ID == reference) continue;
    const bool first = rt::Clip(f.ORIGINALPDFFILE.View()) == pdf_;
    EXPECT_EQ(Of(Pages(), f.ID), first ? 3u : 1u) << long{f.ID};
    EXPECT_EQ(ControlsOf(Controls(), f.ID), first ? 9u : controls) << long{f.ID};
  }
  EXPECT_EQ(Pages().size(), 5u);
}

TEST_F(Records, DeletingAFormTakesEverythingOfItAndNothingElse) {
  const long a = ImportForm(), b = ImportSecond();
  const long setA = AddDataSet(a, "A"), setB = AddDataSet(b, "B");
  AddValue(setA, 1, 1, "a");
  AddValue(setB, 1, 1, "b");
  auto counts = [&](long form) {
    return std::vector<size_t>{Of(Forms(), form), Of(Pages(), form), ControlsOf(Controls(), form),
                               Of(Options(), form), Of(DataSets(), form)};
  };
  const auto ofA = counts(a), ofB = counts(b);
  EXPECT_EQ(ofA[1], 3u);
  // No keeps it
  ui::Headless().AnswerMessage(ui::button::No);
  auto out = RunForm(Delete, a);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Cancelled);
  EXPECT_EQ(counts(a), ofA);
  // Yes deletes it without showing the window
  ui::Headless().AnswerMessage(ui::button::Yes);
  out = RunForm(Delete, a);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(counts(a), (std::vector<size_t>(5, 0)));
  EXPECT_EQ(counts(b), ofB);
  const auto values = Values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(long{values[0].ID}, setB);
  EXPECT_EQ(Messages().size(), 2u);
  for (const std::string& m : Messages()) EXPECT_EQ(m, "Are you sure you want to delete the highlighted record?");
}

TEST_F(Records, ViewModeAndTheEditorsVariant) {
  const long form = ImportForm();
  auto out = RunForm(View, form);
  auto w = Window("View Record");
  ASSERT_TRUE(w);
  for (int n : {9, 11, 13, 15, 20}) EXPECT_EQ(w->GetLong(n, Prop::ReadOnly), 1) << n;
  for (int n : {18, 45, 46}) EXPECT_EQ(w->GetLong(n, Prop::Disable), 1) << n;
  EXPECT_FALSE(w->InputAccept(1));  // no OK in view mode
  Press(w, 2);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Cancelled);

  // from the editor: the data set's tab, no import; OK writes the data set
  const long set = AddDataSet(form, "Mine");
  out = RunForm(Change, form, true, set);
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->GetLong(38, Prop::Hide), 0);
  EXPECT_EQ(w->Get(40, Prop::ScreenText), "Mine");
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 1);
  EXPECT_EQ(w->GetLong(15, Prop::Disable), 1);
  ASSERT_TRUE(w->InputTab(4, 3));
  Settle();
  ASSERT_TRUE(w->InputType(40, "Renamed"));
  Press(w, 46);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  const auto sets = DataSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(rt::Clip(sets[0].FILLEDFORMNAME.View()), "Renamed");
}

constexpr int kHistoryKey = ui::key::Ctrl | 'H';

// Ctrl+H puts back the value a listed field had when the window opened,
// leaves every other field as typed, and "PDF File" follows a restored
// "Based in the PDF file".
TEST_F(Records, HistoryKeyPutsBackAListedFieldOnly) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "Set");
  auto out = RunForm(Change, form, true, set);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->InputTab(4, 3));
  ASSERT_TRUE(w->InputType(40, "Other set"));
  EXPECT_FALSE(w->InputKey(40, kHistoryKey)) << "the data set's name takes no part in the history";
  ASSERT_TRUE(w->InputTab(4, 1));
  ASSERT_TRUE(w->InputType(9, "Wrong"));
  ASSERT_TRUE(w->InputKey(9, kHistoryKey));
  EXPECT_TRUE(ui::WaitUntil([&] { return w->Get(9, Prop::ScreenText) == "FORM"; }));
  Settle();
  EXPECT_EQ(w->Get(40, Prop::ScreenText), "Other set");
  Press(w, 46);  // &OK
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  const auto forms = Forms();
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(rt::Clip(forms[0].FORMNAME.View()), "FORM");
  const auto sets = DataSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(rt::Clip(sets[0].FILLEDFORMNAME.View()), "Other set");

  out = RunForm(Change, form);
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  Press(w, 15);
  EXPECT_EQ(w->GetLong(18, Prop::Disable), 1);
  ASSERT_TRUE(w->InputKey(15, kHistoryKey));
  EXPECT_TRUE(ui::WaitUntil([&] { return w->GetLong(15, Prop::Checked) == 1 && w->GetLong(18, Prop::Disable) == 0; }));
  Press(w, 45);  // &Cancel
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Cancelled);
}

}  // namespace
}  // namespace rectest
