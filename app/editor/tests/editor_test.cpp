// The Form Editor driven end to end through the headless window layer:
// opening a PDF, pages, zoom, field insertion, field events, Exit and Save.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "editor_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/picture.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/keys.h"
#include "velmora/win/win.h"

namespace {

using data::FileId;
using edtest::Opened;
using editor::FormEditor;
using ui::Prop;

// The tests run on runtime thread 1, with the program's thread hooks.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    rt::SetThreadHooks(&app::ThreadStartHook, &app::ProgramExitHook);
    static char name[] = "editor_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(rt::StartRuntime(1, argv)) << rt::StartError();
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

template <class T>
T V(T value) {
  return value;
}

class Editor : public edtest::EditorFixture {
 protected:
  data::FormPagesRecord Page(long form, short page) {
    for (const auto& p : All(FileId::FormPages, D().FOR1, 1))
      if (p.FORMID == form && p.PAGENO == page) return p;
    return {};
  }
  // Names of the queue's entries, in queue order.
  std::vector<std::string> Names(FormEditor* ed) {
    std::vector<std::string> out;
    for (long i = 1; i <= ed->Queue.Count(); ++i) out.push_back(rt::Clip(ed->Queue.At(i).NAME.View()));
    return out;
  }
  // Inserts a field by Insert Field, two clicks and the moves between.
  void Insert(const Opened& o, const std::string& kind, int x1, int y1, int x2, int y2) {
    o.ed->ControlTypeText = kind;
    Accept(o, editor::kButton1);
    Mouse(o, ui::msg::LButtonDown, x1, y1);
    Mouse(o, ui::msg::MouseMove, (x1 + x2) / 2, (y1 + y2) / 2);
    Mouse(o, ui::msg::MouseMove, x2, y2);
    Mouse(o, ui::msg::LButtonDown, x2, y2);
  }
};

TEST_F(Editor, EmptyEditorOpensAPdfAndExitWithoutSaveRemovesTheForm) {
  Opened o = StartEditor("3");
  EXPECT_EQ(o.win->Get(0, Prop::Text), "Form Editor");
  const std::pair<const char*, int> uses[] = {
      {"?FILE", editor::kFile},           {"?EDITTABORDER", editor::kEditTabOrder},
      {"?LOOKUPFILE", editor::kLookupFile}, {"?ITP:ZOOMVALUE", editor::kZoomValue},
      {"?BSTRIKE", editor::kStrike},      {"?FOR1:PAGENO", editor::kPageNo},
      {"?LOADDATAFROMPDF", editor::kLoadDataFromPdf}, {"?FORM", editor::kForm}};
  for (const auto& [use, number] : uses) EXPECT_EQ(o.win->Number(use), number) << use;
  EXPECT_EQ(o.win->Get(editor::kButton1, Prop::Tip), "Adds New Field");
  EXPECT_EQ(o.win->Get(editor::kSaveFormLocked, Prop::Tip), "Save Form to an Uneditable PDF");
  EXPECT_EQ(o.win->GetLong(0, Prop::Pixels), 1);
  // the toolbar's controls that show: without a page only Open PDF File,
  // the picture lookup and Exit without Save; the controls without a
  // command never show
  auto shownTools = [&] {
    std::set<int> shown;
    for (int n = editor::kLookupFile; n < editor::kForm; ++n)
      if (o.win->IsShown(n)) shown.insert(n);
    return shown;
  };
  EXPECT_EQ(shownTools(), (std::set<int>{editor::kLookupFile, editor::kPdfOpen, editor::kCancel}));
  for (int n : {editor::kFileImportFields, editor::kFilePrint}) EXPECT_FALSE(o.win->IsShown(n)) << n;

  ui::Headless().AnswerFile({pdf_});
  ui::Headless().AnswerMessage(ui::button::Yes);  // use the document's fields
  Accept(o, editor::kPdfOpen);
  EXPECT_EQ(o.ed->Mode, "2");
  EXPECT_EQ(o.ed->PdfOpened, 1);
  std::set<int> editing;
  for (int n = editor::kLookupFile; n < editor::kForm; ++n)
    if (n != editor::kPdfOpen && n != editor::kRtfFont && n != editor::kRtfColor && n != editor::kButton5)
      editing.insert(n);
  EXPECT_EQ(shownTools(), editing);
  EXPECT_TRUE(o.win->IsShown(editor::kForm));
  // the hidden field is not in the queue; "back" is on page 2
  EXPECT_EQ(Names(o.ed).size(), 8u);
  const editor::FormControl* back = Entry(o.ed, "back");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->FORMPAGE, 2);
  EXPECT_TRUE(o.win->Exists(back->CTLNO));
  EXPECT_FALSE(o.win->IsShown(back->CTLNO));
  EXPECT_TRUE(o.win->IsShown(Entry(o.ed, "name")->CTLNO));
  EXPECT_EQ(Entry(o.ed, "name")->PDFFIELDNAMEUPPER.View(), "NAME");
  // opened with the design caption; the data set was created
  EXPECT_EQ(o.win->Get(0, Prop::Text), "Form Editor - \"FORM\"; Page: 1");
  const long form = o.ed->FormId;
  EXPECT_EQ(All(FileId::FilledForm, D().FIL, 1).size(), 1u);
  EXPECT_NE(rt::Clip(D().FIL.FILLEDFORMNAME.View()).find("FORM Created: "), std::string::npos);
  // created now, at the date and time its name gives
  EXPECT_EQ(rt::Clip(D().FIL.FILLEDFORMNAME.View()), "FORM Created: " + rt::Format(D().FIL.DATECREATED, "@d17") +
                                                          " at " + rt::Format(D().FIL.TIMECREATED, "@t7"));
  EXPECT_LE(std::abs(long{rt::Today()} - long{D().FIL.DATECREATED}), 1);
  const long since = std::abs(long{rt::Clock()} - long{D().FIL.TIMECREATED});  // hundredths
  EXPECT_TRUE(since < 6000 || since > 8640000 - 6000) << "a minute apart at most, midnight between or not";
  EXPECT_FALSE(Controls().empty());

  // the next page shown carries the data set's name
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  EXPECT_EQ(o.win->Get(0, Prop::Text).rfind("Form Editor - \"FORM (FORM Created: ", 0), 0u);

  Accept(o, editor::kCancel);
  rt::WaitForThreads();
  EXPECT_TRUE(EditorWindows().empty());
  EXPECT_TRUE(All(FileId::Forms, D().FOR, 1).empty()) << form;
  EXPECT_TRUE(All(FileId::FilledForm, D().FIL, 1).empty());
  EXPECT_TRUE(Controls().empty());
  EXPECT_TRUE(All(FileId::FormPages, D().FOR1, 1).empty());
}

TEST_F(Editor, KeepingTheExistingFormOrAFailedImportRemovesNothing) {
  const long form = ImportForm();
  const size_t controls = Controls().size();
  Opened o = StartEditor("3");
  ui::Headless().AnswerFile({pdf_});
  ui::Headless().AnswerMessage(ui::button::No);  // use the existing form
  Accept(o, editor::kPdfOpen);
  EXPECT_EQ(o.ed->FormId, form);
  EXPECT_EQ(o.ed->PdfOpened, 0);
  EXPECT_EQ(Names(o.ed).size(), 8u);
  EXPECT_EQ(All(FileId::FilledForm, D().FIL, 1).size(), 1u);  // the data set to fill
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
  EXPECT_EQ(All(FileId::Forms, D().FOR, 1).size(), 1u);
  EXPECT_EQ(Controls().size(), controls);
  EXPECT_TRUE(All(FileId::FilledForm, D().FIL, 1).empty()) << "Exit without Save leaves everything as it was";

  // a file that is no PDF: the editor stays empty
  std::ofstream("junk.pdf") << "not a pdf";
  o = StartEditor("3");
  ui::Headless().AnswerFile({(dir_ / "junk.pdf").string()});
  Accept(o, editor::kPdfOpen);
  EXPECT_EQ(o.ed->Mode, "3");
  EXPECT_TRUE(o.win->IsShown(editor::kPdfOpen));
  EXPECT_EQ(o.ed->Queue.Count(), 0);
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
  EXPECT_EQ(All(FileId::Forms, D().FOR, 1).size(), 1u);
}

TEST_F(Editor, PagesAndZoomPlaceThePictureAndEveryField) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  EXPECT_EQ(o.win->Get(0, Prop::Text), "Form Editor - \"FORM\"; Page: 1");
  EXPECT_EQ(ed->LogPixelsX, 96);
  const data::FormPagesRecord one = Page(form, 1), two = Page(form, 2);
  EXPECT_EQ(ed->PageWidthPx, static_cast<long>(one.PAGEWIDTH * 96 / 72));
  EXPECT_EQ(ed->PageHeightPx, static_cast<long>(one.PAGEHEIGHT * 96 / 72));
  auto check = [&](const char* when) {
    const ui::Window::Rect f = o.win->Position(editor::kForm);
    EXPECT_EQ(f.x, ed->PageLeft) << when;
    EXPECT_EQ(f.y, ed->PageTop) << when;
    EXPECT_EQ(f.width, static_cast<long>(ed->PageWidthPx * ed->ZoomFactor)) << when;
    for (long i = 1; i <= ed->Queue.Count(); ++i) {
      const editor::FormControl& e = ed->Queue.At(i);
      const editor::Rect r = editor::ToScreen({e.CTLX, e.CTLY, e.CTLW, e.CTLH}, ed->ZoomFactor, ed->PageLeft,
                                              ed->PageTop);
      const ui::Window::Rect c = o.win->Position(e.CTLNO);
      EXPECT_EQ((editor::Rect{static_cast<rt::Long>(c.x), static_cast<rt::Long>(c.y),
                              static_cast<rt::Long>(c.width), static_cast<rt::Long>(c.height)}),
                r)
          << when << " " << e.NAME.View();
      EXPECT_EQ(o.win->GetLong(e.CTLNO, Prop::FontSize), static_cast<long>(e.FONTSIZE * ed->ZoomFactor)) << when;
    }
  };
  ASSERT_GT(ed->ClientWidth, ed->PageWidthPx);
  EXPECT_EQ(ed->PageLeft, (ed->ClientWidth - ed->PageWidthPx) / 2);
  check("actual size");
  Accept(o, editor::kZoomIn);
  EXPECT_EQ(ed->ZoomPercent, 120);
  EXPECT_EQ(ed->PageLeft, 0);
  check("zoom in");
  EXPECT_EQ(o.win->Get(0, Prop::StatusText, 2), "Zoom: 120%");
  Accept(o, editor::kZoomPage);
  EXPECT_EQ(ed->ZoomPercent, static_cast<short>(ed->ClientHeight * 100 / ed->PageHeightPx));
  check("fit page");
  Accept(o, editor::kZoomWidth);
  check("page width");
  // sizing the window zooms again
  o.win->InputSize(400, 300);
  Settle();
  EXPECT_EQ(ed->ZoomPercent, 400 * 100 / ed->PageWidthPx);
  check("sized");
  Accept(o, editor::kZoomActual);
  EXPECT_EQ(ed->ZoomPercent, 100);
  // the zoom spin steps by 20 within 25..400
  o.win->InputSpin(editor::kZoomValue, +1);
  Settle();
  EXPECT_EQ(ed->ZoomPercent, 120);
  EXPECT_EQ(ed->ZoomMode, editor::kPercentage);
  check("spin");

  // page 2: its field shows, those of page 1 hide
  const editor::FormControl* name = Entry(ed, "name");
  const editor::FormControl* back = Entry(ed, "back");
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  EXPECT_EQ(ed->ShownPage, 2);
  EXPECT_FALSE(o.win->IsShown(name->CTLNO));
  EXPECT_TRUE(o.win->IsShown(back->CTLNO));
  EXPECT_EQ(o.win->Get(0, Prop::Text), "Form Editor - \"FORM\"; Page: 2");
  EXPECT_EQ(ed->PageWidthPx, static_cast<long>(two.PAGEWIDTH * 96 / 72));
  check("page 2");
  for (int step : {+1, +1, -1, -1, -1}) {  // the spin stops at the last page, 3
    o.win->InputSpin(editor::kPageNo, step);
    Settle();
    if (step > 0) {
      EXPECT_EQ(ed->ShownPage, 3);
    }
  }
  EXPECT_EQ(ed->ShownPage, 1);
  EXPECT_TRUE(o.win->IsShown(name->CTLNO));
  EXPECT_FALSE(o.win->IsShown(back->CTLNO));
  // at actual size a portrait page is centred and the landscape page 2 is
  // not: the fields move with their page at every change
  o.win->InputSize(2000, 1500);  // room for either page at actual size
  Settle();
  Accept(o, editor::kZoomActual);
  const long portraitLeft = ed->PageLeft;
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  ASSERT_NE(ed->PageLeft, portraitLeft);
  check("landscape page 2 at actual size");
  o.win->InputSpin(editor::kPageNo, -1);
  Settle();
  check("portrait page 1 again");
}

TEST_F(Editor, FieldsAreInsertedOnTheBandAndEscCancels) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Accept(o, editor::kZoomIn);  // 120 %
  const long count = ed->Queue.Count();
  // a move without a change of position posts nothing
  Mouse(o, ui::msg::MouseMove, 10, 10);
  o.win->InputMouse(ui::msg::MouseMove, 10, 10);
  EXPECT_EQ(o.win->PendingEvents(), 0u);

  ed->Bold = 1;
  ed->FontSize = "12";
  Insert(o, "Text", 300, 200, 420, 236);
  ASSERT_EQ(ed->Queue.Count(), count + 1);
  const editor::FormControl& text = ed->Queue.At(ed->Queue.Count());
  EXPECT_EQ(text.CTLTYPE, editor::kText);
  EXPECT_EQ(text.CTLX, static_cast<rt::Long>((300 - ed->PageLeft) / 1.2));
  EXPECT_EQ(text.CTLW, 100);
  EXPECT_EQ(text.CTLH, 30);
  EXPECT_EQ(text.FONTSIZE, 12);
  EXPECT_EQ(o.win->GetLong(text.CTLNO, Prop::FontSize), 14);
  EXPECT_EQ(o.win->GetLong(text.CTLNO, Prop::FontStyle), ui::style::Bold);
  EXPECT_EQ(text.FONTBOLD, 1);
  EXPECT_EQ(text.CREATEDATRUNTIME, 1);
  EXPECT_EQ(text.PDFFIELDTYPE, editor::kPdfText);
  EXPECT_EQ(text.NAME.View(), "Field " + std::to_string(count + 1));
  EXPECT_EQ(text.TABORDER, [&] {
    short highest = 0;
    for (long i = 1; i < ed->Queue.Count(); ++i)
      if (ed->Queue.At(i).FORMPAGE == 1) highest = std::max(highest, ed->Queue.At(i).TABORDER);
    return static_cast<short>(highest + 1);
  }());
  EXPECT_EQ(o.win->GetLong(text.CTLNO, Prop::Color), 0xFFFF80);  // it has the focus
  EXPECT_EQ(o.win->GetLong(text.CTLNO, Prop::Flat), 1);
  EXPECT_TRUE(o.win->IsShown(text.CTLNO));
  EXPECT_EQ(o.win->Focus(), text.CTLNO);
  EXPECT_EQ(ed->InsertMode, 0);
  EXPECT_EQ(ed->BandControl, 0);
  EXPECT_EQ(ui::CurrentCursor(), ui::cursor::Arrow);

  // a check dragged up and to the left has its corner where the band ends
  Insert(o, "Check", 500, 400, 460, 380);
  const editor::FormControl& check = ed->Queue.At(ed->Queue.Count());
  EXPECT_EQ(check.CTLTYPE, editor::kRegionCheck);
  EXPECT_EQ(check.PDFFIELDTYPE, editor::kPdfCheckBox);
  EXPECT_EQ(o.win->Position(check.CTLNO).x, 460);
  EXPECT_EQ(o.win->Position(check.CTLNO).width, 40);
  EXPECT_EQ(check.CTLH, static_cast<rt::Long>(20 / 1.2));
  EXPECT_EQ(check.Value(), "");
  EXPECT_NE(check.NAME.View(), text.NAME.View());

  // a second click before any move waits for the band
  ed->ControlTypeText = "Text";
  Accept(o, editor::kButton1);
  EXPECT_EQ(ui::CurrentCursor(), ui::cursor::Cross);
  Mouse(o, ui::msg::LButtonDown, 100, 100);
  Mouse(o, ui::msg::RButtonDown, 110, 110);  // the right button counts too
  EXPECT_EQ(ed->Queue.Count(), count + 2);
  Mouse(o, ui::msg::MouseMove, 150, 140);
  ASSERT_NE(ed->BandControl, 0);
  EXPECT_EQ(o.win->GetLong(ed->BandControl, Prop::FillColor), 0xFFFF);
  EXPECT_EQ(o.win->Position(ed->BandControl).x, 110);
  // Esc cancels: no field, no band
  const int band = ed->BandControl;
  o.win->Post(ui::ev::AlertKey, 0, ui::key::Esc);
  Settle();
  EXPECT_FALSE(o.win->Exists(band));
  EXPECT_EQ(ed->InsertMode, 0);
  Mouse(o, ui::msg::LButtonDown, 200, 200);
  EXPECT_EQ(ed->Queue.Count(), count + 2);
}

TEST_F(Editor, AFieldInsertedOnAScrolledPageHasItsPagePosition) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  for (int i = 0; i < 5; ++i) Accept(o, editor::kZoomIn);
  ASSERT_EQ(ed->ZoomPercent, 200);
  const long pageW = ed->PageWidthPx * 2, pageH = ed->PageHeightPx * 2;
  ASSERT_GT(pageW, ed->ClientWidth);
  ASSERT_GT(pageH, ed->ClientHeight);
  EXPECT_EQ(ed->PageLeft, 0);
  EXPECT_EQ(ed->PageTop, 0);
  // the origin stays between 0 and the page's far edges
  const ui::Window::ScrollRange range = o.win->ScrollLimits();
  EXPECT_EQ(range.maxX, pageW - ed->ClientWidth);
  EXPECT_EQ(range.maxY, pageH - ed->ClientHeight);
  o.win->Set(0, Prop::XOrigin, -40L);
  EXPECT_EQ(o.win->GetLong(0, Prop::XOrigin), 0);
  // scrolled to the bottom right
  o.win->Set(0, Prop::XOrigin, 1000000L);
  o.win->Set(0, Prop::YOrigin, 1000000L);
  const long ox = o.win->GetLong(0, Prop::XOrigin), oy = o.win->GetLong(0, Prop::YOrigin);
  ASSERT_EQ(ox, range.maxX);
  ASSERT_EQ(oy, range.maxY);

  // a field drawn in the client area's lower right corner lies in the
  // page's lower right corner
  const int x1 = static_cast<int>(ed->ClientWidth) - 130, y1 = static_cast<int>(ed->ClientHeight) - 70;
  Insert(o, "Text", x1, y1, x1 + 100, y1 + 40);
  const editor::FormControl& text = ed->Queue.At(ed->Queue.Count());
  EXPECT_EQ(text.CTLX, static_cast<rt::Long>((ox + x1) / 2.0));
  EXPECT_EQ(text.CTLY, static_cast<rt::Long>((oy + y1) / 2.0));
  EXPECT_EQ(text.CTLW, 50);
  EXPECT_EQ(text.CTLH, 20);
  EXPECT_GT(text.CTLX, ed->PageWidthPx / 2);
  EXPECT_GT(text.CTLY, ed->PageHeightPx / 2);
  // it shows where the band was: it scrolls with the window
  EXPECT_EQ(o.win->GetLong(text.CTLNO, Prop::Scroll), 1);
  const ui::Window::Rect shown = o.win->Position(text.CTLNO);
  EXPECT_EQ(shown.x - ox, x1);
  EXPECT_EQ(shown.y - oy, y1);

  // zoomed out until the page fits, the origin goes back to 0 and the
  // field follows the page
  Accept(o, editor::kZoomPage);
  EXPECT_EQ(o.win->GetLong(0, Prop::XOrigin), 0);
  EXPECT_EQ(o.win->GetLong(0, Prop::YOrigin), 0);
  const editor::Rect r = ed->ScreenRectOf(text);
  EXPECT_EQ(o.win->Position(text.CTLNO).x, r.x);
  EXPECT_EQ(o.win->Position(text.CTLNO).y, r.y);
}

TEST_F(Editor, NewFieldNamesStayUniqueAfterADelete) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Insert(o, "Text", 100, 100, 150, 120);
  Insert(o, "Text", 100, 200, 150, 220);
  const std::string second = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
  // delete the first new field: No keeps it, Yes removes control and entry
  const int first = ed->Queue.At(ed->Queue.Count() - 1).CTLNO;
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::No);
  o.win->InputKey(first, ui::key::MouseRight);
  Settle();
  EXPECT_TRUE(o.win->Exists(first));
  EXPECT_EQ(ed->Queue.Count(), 10);
  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].message.text, "Are you sure you want to delete selected control?");
  EXPECT_EQ(asked[1].message.caption, "CONFIRM");
  EXPECT_EQ(asked[1].message.defaultButton, ui::button::No);
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputKey(first, ui::key::MouseRight);
  Settle();
  EXPECT_FALSE(o.win->Exists(first));
  EXPECT_EQ(ed->Queue.Count(), 9);
  Insert(o, "Text", 100, 300, 150, 320);
  const std::string third = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
  EXPECT_NE(third, second);
  for (long i = 1; i < ed->Queue.Count(); ++i)
    EXPECT_NE(rt::Upper(rt::Clip(ed->Queue.At(i).NAME.View())), rt::Upper(third));
}

// Exit and Save deletes the records of the fields deleted in the editor by
// page and id: one deleted on page 2 goes though a field on page 1 has its
// id, and that one stays.
TEST_F(Editor, ADeletedFieldGoesByPageAndIdAndNoOtherWithIt) {
  const long form = ImportForm();
  cl::FileManager* controls = D().Access(FileId::PageControls);
  controls->Open();
  rt::Long nameId = 0;
  std::string backAt;
  db::Set(D().File(FileId::PageControls), 1);
  for (db::Next(D().File(FileId::PageControls)); rt::ErrorCode() == 0; db::Next(D().File(FileId::PageControls))) {
    if (rt::Clip(D().PAG.CONTROLNAME.View()) == "name") nameId = D().PAG.CONTROLUNIQUEID;
    if (rt::Clip(D().PAG.CONTROLNAME.View()) == "back") backAt = controls->Position();
  }
  ASSERT_TRUE(nameId && !backAt.empty());
  ASSERT_EQ(controls->TryReget(backAt), cl::kBenign);
  D().PAG.CONTROLUNIQUEID = nameId;
  ASSERT_EQ(controls->TryUpdate(), cl::kBenign);
  controls->Close();

  std::multiset<std::string> expected;
  for (const auto& c : Controls()) expected.insert(rt::Clip(c.CONTROLNAME.View()));
  expected.erase("back");
  expected.erase("secret");  // hidden: never in the queue, so it goes too

  Opened o = StartEditor("1", form);
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  const int back = Entry(o.ed, "back")->CTLNO;
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputKey(back, ui::key::MouseRight);
  Settle();
  ASSERT_EQ(Entry(o.ed, "back"), nullptr);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  std::multiset<std::string> names;
  for (const auto& c : Controls()) names.insert(rt::Clip(c.CONTROLNAME.View()));
  EXPECT_EQ(names, expected);
}

// A new field never takes the id under which a data set still keeps the
// value of a deleted field; its tab order follows the page's.
TEST_F(Editor, NewFieldsTakeNoIdADataSetHoldsAValueUnderAndFollowTheTabOrder) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "Old");
  Opened o = StartEditor("1", form);
  Insert(o, "Text", 100, 100, 150, 120);
  const editor::FormControl first = o.ed->Queue.At(o.ed->Queue.Count());
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  // the data set keeps a value for it; the field is deleted
  D().Access(FileId::FilledData)->Open();
  D().File(FileId::FilledData).ClearRecord();
  D().FIL1.ID = static_cast<rt::Long>(set);
  D().FIL1.PAGENO = 1;
  D().FIL1.CONTROLID = first.CTLID;
  D().FIL1.VALUE = "old value";
  ASSERT_EQ(D().Access(FileId::FilledData)->TryInsert(), cl::kBenign);
  D().Access(FileId::FilledData)->Close();
  o = StartEditor("1", form);
  const int control = Entry(o.ed, rt::Clip(first.NAME.View()))->CTLNO;
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputKey(control, ui::key::MouseRight);
  Settle();
  Accept(o, editor::kSave);
  rt::WaitForThreads();

  o = StartEditor("1", form);
  // the tab orders 2 and 3 only on the page: the new field is the first
  auto entry = [&](long i) -> editor::FormControl& { return const_cast<editor::FormControl&>(o.ed->Queue.At(i)); };
  std::vector<long> page;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (entry(i).FORMPAGE == 1) page.push_back(i);
  ASSERT_GE(page.size(), 3u);
  for (size_t i = 0; i < page.size(); ++i) {
    entry(page[i]).TABORDER = i < 2 ? static_cast<short>(i + 2) : 0;
    if (i >= 2) entry(page[i]).FORMPAGE = 3;
  }
  Insert(o, "Text", 100, 100, 150, 120);
  const long second = o.ed->Queue.Count();
  ASSERT_EQ(entry(second).CTLNO, first.CTLNO) << "the same control number as the deleted field";
  EXPECT_GT(entry(second).CTLID, first.CTLID);
  EXPECT_EQ(entry(second).TABORDER, 1);
  // tab orders 1, 2 and 5: the next is 6
  entry(page[0]).TABORDER = 1;
  entry(page[1]).TABORDER = 5;
  entry(second).TABORDER = 2;
  Insert(o, "Text", 200, 100, 250, 120);
  EXPECT_EQ(entry(o.ed->Queue.Count()).TABORDER, 6);
}

TEST_F(Editor, FieldEventsCheckRadioFocusAndAutoAdvance) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  // a check placed in the editor: its X is two lines, gone when unchecked
  Insert(o, "Check", 400, 400, 430, 430);
  const int box = ed->Queue.At(ed->Queue.Count()).CTLNO;
  Accept(o, box);
  const editor::FormControl* e = &ed->Queue.At(ed->FindControl(box));
  EXPECT_EQ(e->CHECKED, 1);
  ASSERT_NE(e->LINE_FEQ1, 0);
  const int l1 = e->LINE_FEQ1, l2 = e->LINE_FEQ2;
  EXPECT_EQ(o.win->GetLong(l1, Prop::LineWidth), 2);
  EXPECT_EQ(o.win->Position(l1).x, o.win->Position(box).x);
  EXPECT_EQ(o.win->Position(l2).x, o.win->Position(box).x + o.win->Position(box).width);
  EXPECT_EQ(o.win->Position(l2).width, -o.win->Position(box).width);
  // the lines follow the box through zoom and page switches
  Accept(o, editor::kZoomIn);
  EXPECT_EQ(o.win->Position(l1).width, o.win->Position(box).width);
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  EXPECT_FALSE(o.win->IsShown(l1));
  o.win->InputSpin(editor::kPageNo, -1);
  Settle();
  EXPECT_TRUE(o.win->IsShown(l2));
  Accept(o, box);
  e = &ed->Queue.At(ed->FindControl(box));
  EXPECT_EQ(e->CHECKED, 0);
  EXPECT_EQ(e->LINE_FEQ1, 0);
  EXPECT_EQ(e->LINE_FEQ2, 0);
  EXPECT_FALSE(o.win->Exists(l1));
  EXPECT_FALSE(o.win->Exists(l2));
  // deleting a checked box takes its lines along
  Accept(o, box);
  const int l3 = ed->Queue.At(ed->FindControl(box)).LINE_FEQ1;
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputKey(box, ui::key::MouseRight);
  Settle();
  EXPECT_FALSE(o.win->Exists(l3));

  // radio buttons: a click selects one and clears the others of its group
  std::vector<int> radios;
  for (long i = 1; i <= ed->Queue.Count(); ++i)
    if (ed->Queue.At(i).RADIOBUTTONNUMBER > 0) radios.push_back(ed->Queue.At(i).CTLNO);
  ASSERT_EQ(radios.size(), 2u);
  EXPECT_EQ(o.win->GetLong(radios[0], Prop::Color), 0xFF00FF);
  o.win->InputKey(radios[0], ui::key::MouseLeft);
  Settle();
  EXPECT_EQ(ed->Queue.At(ed->FindControl(radios[0])).Value(), "x");
  EXPECT_EQ(o.win->Get(radios[0], Prop::ScreenText), "x");
  o.win->InputKey(radios[1], ui::key::MouseLeft);
  Settle();
  EXPECT_EQ(ed->Queue.At(ed->FindControl(radios[0])).Value(), "");
  EXPECT_EQ(ed->Queue.At(ed->FindControl(radios[1])).Value(), "x");
  EXPECT_EQ(ed->Queue.At(ed->FindControl(radios[1])).CHECKED, 1);
  o.win->InputKey(radios[1], ui::key::MouseLeft);  // clicking the selected one clears it
  Settle();
  EXPECT_EQ(ed->Queue.At(ed->FindControl(radios[1])).Value(), "");
  // typed into: any text selects the button and clears the others, none
  // clears it
  o.win->InputKey(radios[1], ui::key::MouseLeft);
  Settle();
  for (const std::string typed : {"q", ""}) {
    ASSERT_TRUE(o.win->InputType(radios[0], typed));
    ASSERT_TRUE(o.win->InputAccept(radios[0]));
    Settle();
    const editor::FormControl &first = ed->Queue.At(ed->FindControl(radios[0])),
                              &second = ed->Queue.At(ed->FindControl(radios[1]));
    EXPECT_EQ(first.Value(), typed.empty() ? "" : "x") << typed;
    EXPECT_EQ(first.CHECKED, typed.empty() ? 0 : 1) << typed;
    EXPECT_EQ(second.CHECKED, 0) << typed;
    EXPECT_EQ(o.win->GetLong(radios[0], Prop::Color), typed.empty() ? ed->RadioFieldColor : ed->SelectedRadioFieldColor);
  }

  // focus colours: the selected field light cyan, the one before yellow again
  const int name = Entry(ed, "name")->CTLNO, notes = Entry(ed, "notes")->CTLNO;
  o.win->InputFocus(notes);
  Settle();
  EXPECT_EQ(o.win->GetLong(notes, Prop::Color), 0xFFFF80);
  o.win->InputFocus(name);
  Settle();
  EXPECT_EQ(o.win->GetLong(name, Prop::Color), 0xFFFF80);
  EXPECT_EQ(o.win->GetLong(notes, Prop::Color), 0xFFFF);
  // the font list shows the face of the focused field, and of new fields
  // ("Arial"), also when the desktop has that face under another name
  auto listed = [&](const std::string& face) {
    const std::string from = "|" + o.win->Get(editor::kFaceName, Prop::From) + "|";
    return from.find("|" + face + "|") != std::string::npos;
  };
  EXPECT_TRUE(listed("Arial"));
  const_cast<editor::FormControl*>(Entry(ed, "notes"))->FONTNAME = "Velmora Test Face";
  o.win->InputFocus(notes);
  Settle();
  EXPECT_TRUE(listed("Velmora Test Face"));
  EXPECT_EQ(o.win->Get(editor::kFaceName, Prop::ScreenText), "Velmora Test Face");
  EXPECT_TRUE(std::is_sorted(ed->ScreenFonts.begin(), ed->ScreenFonts.end(),
                             [](const std::string& a, const std::string& b) { return rt::Upper(a) < rt::Upper(b); }));
  o.win->InputFocus(name);
  Settle();
  // "name" takes 10 characters: the tenth moves on to the next control
  o.win->InputType(name, "abcdefghi");
  Settle();
  EXPECT_EQ(o.win->Focus(), name);
  o.win->InputType(name, "abcdefghij");
  Settle();
  EXPECT_EQ(o.win->Focus(), name + 1);
  EXPECT_EQ(Entry(ed, "name")->Value(), "abcdefghij");
}

// Tab leaves every field for the next; Enter breaks the line only in a
// field that is multi-line in the PDF.
TEST_F(Editor, TabMovesOnAndOnlyMultiLineFieldsTakeLineBreaks) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Insert(o, "Text", 100, 100, 150, 120);
  const int placed = ed->Queue.At(ed->Queue.Count()).CTLNO;
  const int notes = Entry(ed, "notes")->CTLNO, back = Entry(ed, "back")->CTLNO;
  EXPECT_EQ(o.win->GetLong(notes, Prop::SingleLine), 0);
  EXPECT_EQ(o.win->GetLong(back, Prop::SingleLine), 1);  // unlimited, single-line in the PDF
  EXPECT_EQ(o.win->GetLong(placed, Prop::SingleLine), 1);
  o.win->InputFocus(notes);
  Settle();
  o.win->InputType(notes, "one");
  ASSERT_TRUE(o.win->InputKey(notes, ui::key::Enter));
  ASSERT_TRUE(o.win->InputKey(notes, ui::key::Tab));
  Settle();
  EXPECT_EQ(o.win->Focus(), o.win->NextInOrder(notes));
  EXPECT_EQ(Entry(ed, "notes")->Value(), "one\n");
  o.win->InputFocus(placed);
  Settle();
  o.win->InputType(placed, "a\tb\nc");
  ASSERT_TRUE(o.win->InputKey(placed, ui::key::Enter));
  Settle();
  EXPECT_EQ(ed->Queue.At(ed->FindControl(placed)).Value(), "a b c");
  ASSERT_TRUE(o.win->InputKey(placed, ui::key::Tab | ui::key::Shift));
  Settle();
  EXPECT_EQ(o.win->Focus(), o.win->NextInOrder(placed, true));
  // made multi-line in the properties dialog, it takes line breaks
  ed->Queue.Get(ed->FindControl(placed));
  ed->Queue.Buffer().VSCROLL = 1;
  ed->Queue.Put();
  ui::Headless().AnswerPopup(1);
  editor::ResetCalls();
  std::thread([w = o.win] {
    // OK in the properties dialog once it shows
    std::shared_ptr<ui::Window> dialog = ui::WaitForWindow("Form Control Properties");
    if (dialog) {
      dialog->Set(dialog->Number("?FORMCONTROLS:CTLG:VSCROLL"), Prop::Checked, 1L);
      dialog->InputAccept(dialog->Number("?BUTTON7"));
    }
  }).detach();
  o.win->InputKey(placed, ui::key::MouseRight);
  ASSERT_TRUE(ui::WaitUntil([&] { return o.win->GetLong(placed, Prop::SingleLine) == 0; }));
  Settle();
}

TEST_F(Editor, DesignIsSavedAndReopensAsSaved) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  // page pixels 96, 96, 192, 48 at 100 %
  Insert(o, "Text", ed->PageLeft + 96, ed->PageTop + 96, ed->PageLeft + 288, ed->PageTop + 144);
  const std::string added = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
  const data::FormPagesRecord page = Page(form, 1);
  const int pick = Entry(ed, "pick")->CTLNO;
  ui::Headless().AnswerPopup(2);
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputKey(pick, ui::key::MouseRight);
  Settle();
  // a deleted field keeps its record until Exit and Save
  EXPECT_EQ(Controls().size(), 9u);
  Accept(o, editor::kSave);  // nothing typed: no question
  rt::WaitForThreads();
  EXPECT_TRUE(ui::Headless().AskedDialogs().size() == 2u);
  std::vector<data::PageControlsRecord> saved = Controls();
  ASSERT_EQ(saved.size(), 8u);  // the hidden field is deleted too
  auto find = [&](const std::string& name) -> const data::PageControlsRecord* {
    for (const auto& r : saved)
      if (rt::Clip(r.CONTROLNAME.View()) == name) return &r;
    return nullptr;
  };
  EXPECT_EQ(find("pick"), nullptr);
  const data::PageControlsRecord* r = find(added);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(V(r->CONTROLTYPE), 17);
  EXPECT_EQ(V(r->FILEDWASCREATEDATRUNTIME), 1);
  EXPECT_EQ(V(r->PDFFIELDTYPE), 1);
  EXPECT_EQ(r->PDFFIELDNAME.View(), added);
  EXPECT_EQ(V(r->CONTROLX), 96);
  EXPECT_EQ(V(r->CONTROLWIDTH), 192);
  EXPECT_DOUBLE_EQ(V(r->PDFX), 72 + page.XOFFSET);
  EXPECT_DOUBLE_EQ(V(r->PDFY), page.PAGEHEIGHT + page.YOFFSET - 72);
  EXPECT_DOUBLE_EQ(V(r->PDFWIDTH), 144);
  EXPECT_DOUBLE_EQ(V(r->PDFHEIGHT), 36);
  EXPECT_EQ(V(r->CONTROLID), 0);
  EXPECT_TRUE(Values().empty());

  // reopened, the form has the same fields, the new one as it was
  o = StartEditor("1", form);
  EXPECT_EQ(o.ed->Queue.Count(), 8);
  const editor::FormControl* e = Entry(o.ed, added);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->CREATEDATRUNTIME, 1);
  EXPECT_EQ(e->PDFFIELDTYPE, 1);
  EXPECT_EQ(e->PDFFIELDNAME.View(), added);
  EXPECT_DOUBLE_EQ(e->PDFX, 72 + page.XOFFSET);
  EXPECT_EQ(e->CTLX, 96);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  EXPECT_EQ(Controls().size(), 8u);
  const data::PageControlsRecord* again = nullptr;
  saved = Controls();
  again = find(added);
  ASSERT_NE(again, nullptr);
  EXPECT_DOUBLE_EQ(V(again->PDFY), page.PAGEHEIGHT + page.YOFFSET - 72);
}

TEST_F(Editor, ValuesTypedWhileDesigningBecomeADataSetWhenWanted) {
  const long form = ImportForm();
  // Yes, then the data-set window is cancelled: definitions only
  Opened o = StartEditor("1", form);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "typed");
  int calls = 0;
  editor::Calls().updateFilledForm = [&](FormEditor&) {
    ++calls;
    EXPECT_EQ(cl::ThreadRequest(), cl::request::Insert);
    return static_cast<int>(cl::response::Cancelled);
  };
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(Values().empty());
  // Yes, and the window adds the data set: every value is written
  o = StartEditor("1", form);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "typed");
  editor::Calls().updateFilledForm = [&](FormEditor&) {
    cl::FileManager* sets = data::ThisThread().Access(FileId::FilledForm);
    data::ThisThread().FIL.FILLEDFORMNAME = "Mine";
    EXPECT_EQ(sets->TryInsert(), cl::kBenign);
    return static_cast<int>(cl::response::Completed);
  };
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  std::vector<data::FilledDataRecord> values = Values();
  EXPECT_EQ(values.size(), 8u);
  const auto typed = std::count_if(values.begin(), values.end(),
                                   [](const data::FilledDataRecord& v) { return v.VALUE.View() == "typed"; });
  EXPECT_EQ(typed, 1);
}

TEST_F(Editor, FillModeShowsAndSavesTheDataSet) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "First");
  Opened o = StartEditor("2", form, set);
  EXPECT_EQ(o.win->Get(0, Prop::Text), "Form Editor - \"FORM (First)\"; Page: 1");
  Insert(o, "Check", 400, 400, 430, 430);
  Insert(o, "Check", 400, 450, 430, 480);
  const int checked = o.ed->Queue.At(o.ed->Queue.Count() - 1).CTLNO;
  Accept(o, checked);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, std::string(300, 'n'));
  o.win->InputKey(Entry(o.ed, "colour")->CTLNO, ui::key::MouseLeft);
  Settle();
  Accept(o, editor::kSave);  // filling: no question
  rt::WaitForThreads();
  EXPECT_TRUE(ui::Headless().AskedDialogs().empty());
  std::vector<data::FilledDataRecord> values = Values();
  ASSERT_EQ(values.size(), 10u);  // blank values too
  int boxes = 0, ticks = 0;
  for (const auto& v : values) {
    EXPECT_EQ(V(v.ID), set);
    if (v.ISCHECKBOX) ++boxes, ticks += v.VALUE.View() == "Checked";
  }
  EXPECT_EQ(boxes, 2);
  EXPECT_EQ(ticks, 1);

  o = StartEditor("2", form, set);
  EXPECT_EQ(Entry(o.ed, "notes")->Value(), std::string(255, 'n'));
  const editor::FormControl* radio = Entry(o.ed, "colour");
  EXPECT_EQ(radio->Value(), "x");
  EXPECT_EQ(radio->CHECKED, 1);
  EXPECT_EQ(o.win->GetLong(radio->CTLNO, Prop::Color), 0xFF0000);
  int shown = 0;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i) shown += o.ed->Queue.At(i).CHECKED && o.ed->Queue.At(i).LINE_FEQ1;
  EXPECT_EQ(shown, 1);
}

TEST_F(Editor, SelectDataMatchesPageControlAndKind) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "Other");
  // a value for "back" (page 2), and one under the same id on page 1
  D().Access(FileId::FilledData)->Open();
  auto add = [&](short page, long id, rt::Byte box, const char* value) {
    D().File(FileId::FilledData).ClearRecord();
    D().FIL1.ID = static_cast<rt::Long>(set);
    D().FIL1.PAGENO = page;
    D().FIL1.CONTROLID = static_cast<rt::Long>(id);
    D().FIL1.ISCHECKBOX = box;
    D().FIL1.VALUE = value;
    ASSERT_EQ(D().Access(FileId::FilledData)->TryInsert(), cl::kBenign);
  };
  Opened o = StartEditor("1", form);
  const editor::FormControl back = *Entry(o.ed, "back");
  const editor::FormControl name = *Entry(o.ed, "name");
  add(2, back.CTLID, 0, "page two");
  add(1, back.CTLID, 0, "not mine");
  add(1, name.CTLID, 1, "Checked");  // a check box's value for a text field
  // a radio button's stored value selects it
  const editor::FormControl* button = nullptr;
  for (long i = 1; i <= o.ed->Queue.Count() && !button; ++i)
    if (o.ed->Queue.At(i).PDFFIELDTYPE == editor::kPdfRadio && o.ed->Queue.At(i).RADIOBUTTONNUMBER == 2)
      button = &o.ed->Queue.At(i);
  ASSERT_NE(button, nullptr);
  const long buttonNo = button->CTLNO;
  ASSERT_FALSE(button->CHECKED);
  add(button->FORMPAGE, button->CTLID, 0, "No");
  D().Access(FileId::FilledData)->Close();
  editor::Calls().selectFilledForm = [&](FormEditor&) {
    EXPECT_EQ(cl::ThreadRequest(), cl::request::Select);
    data::ThisThread().ALI.ID = static_cast<rt::Long>(set);
    return static_cast<int>(cl::response::Completed);
  };
  Accept(o, editor::kSelectFilledForm);
  EXPECT_EQ(Entry(o.ed, "back")->Value(), "page two");
  EXPECT_EQ(Entry(o.ed, "name")->Value(), "");
  EXPECT_EQ(o.win->Get(back.CTLNO, Prop::ScreenText), "page two");
  const editor::FormControl* selected = nullptr;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (o.ed->Queue.At(i).CTLNO == buttonNo) selected = &o.ed->Queue.At(i);
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->Value(), "x");
  EXPECT_TRUE(selected->CHECKED);
  EXPECT_EQ(o.win->GetLong(buttonNo, Prop::Color), o.ed->SelectedRadioFieldColor);
}

TEST_F(Editor, TwoEditorsAndANestedOneKeepTheirOwnFields) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "Nested");
  Opened a = StartEditor("1", form);
  Opened b = StartEditor("3");  // the frame's empty editor beside it
  EXPECT_EQ(b.ed->Queue.Count(), 0);
  EXPECT_EQ(a.ed->Queue.Count(), 8);
  Insert(a, "Text", 100, 100, 150, 120);
  // the data-set window opens a fill-mode editor on the same thread
  Opened nested;
  editor::Calls().updateFilledForm = [&](FormEditor&) {
    data::Dictionary& d = data::ThisThread();
    d.FIL.ID = static_cast<rt::Long>(set);
    d.Access(FileId::FilledForm)->TryFetch(d.Access(FileId::FilledForm)->KeyNumber("FIL:ID_Key"));
    d.FOR1.PAGENO = 1;
    editor::RunFormEditor("2");
    return static_cast<int>(cl::response::Cancelled);
  };
  a.win->InputType(Entry(a.ed, "notes")->CTLNO, "outer");
  ui::Headless().AnswerMessage(ui::button::Yes);
  a.win->InputAccept(editor::kSave);
  ASSERT_TRUE(ui::WaitUntil([&] { return EditorWindows().size() == 3; }));
  Settle();
  nested.win = EditorWindows().back();
  nested.ed = editor::EditorOfWindow(nested.win->GetLong(0, Prop::Handle));
  EXPECT_EQ(nested.ed->Queue.Count(), 8);  // the outer editor's new field is not saved yet
  EXPECT_EQ(a.ed->Queue.Count(), 9);
  nested.win->InputType(Entry(nested.ed, "notes")->CTLNO, "inner");
  Accept(nested, editor::kSave);
  ASSERT_TRUE(ui::WaitUntil([&] { return EditorWindows().size() == 1; }));
  Settle();
  EXPECT_EQ(EditorWindows().front(), b.win);
  // the outer save kept its own new field and the nested one saved its value
  EXPECT_EQ(Controls().size(), 9u);
  std::vector<data::FilledDataRecord> values = Values();
  EXPECT_EQ(values.size(), 8u);
  EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                          [](const data::FilledDataRecord& v) { return v.VALUE.View() == "inner"; }));
  Accept(b, editor::kCancel);
  rt::WaitForThreads();
  EXPECT_EQ(All(FileId::Forms, D().FOR, 1).size(), 1u);
}

TEST_F(Editor, AValueThatCannotBeWrittenKeepsTheEditorOpen) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "keep me");
  editor::Calls().updateFilledForm = [&](FormEditor&) {
    cl::FileManager* sets = data::ThisThread().Access(FileId::FilledForm);
    EXPECT_EQ(sets->TryInsert(), cl::kBenign);
    // the values' file turns read-only under the editor
    db::FileDecl& values = data::ThisThread().File(FileId::FilledData);
    db::Close(values);
    for (int i = 0; i < 100; ++i) {
      db::Open(values, db::kReadOnly | db::kDenyNone);
      if (rt::ErrorCode() == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(db::IsOpen(values)) << rt::ErrorCode();
    return static_cast<int>(cl::response::Completed);
  };
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSave);
  EXPECT_EQ(EditorWindows().size(), 1u);
  EXPECT_FALSE(o.ed->Unsaved().empty());
  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[1].message.text.find("notes (page 1)"), std::string::npos);
  EXPECT_EQ(Entry(o.ed, "notes")->Value(), "keep me");
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

TEST_F(Editor, RegistryColoursAndDefaultsAreRead) {
  const long form = ImportForm();
  win::PutReg(win::HKEY_CURRENT_USER, "Software\\Velmora", "Field Color", "255", win::REG_DWORD);
  win::PutReg(win::HKEY_CURRENT_USER, "Software\\Velmora", "Field Flat", "0", win::REG_DWORD);
  Opened o = StartEditor("1", form);
  EXPECT_EQ(o.ed->FieldColor, 255);
  EXPECT_EQ(o.ed->SelectedFieldColor, 0xFFFF80);
  EXPECT_EQ(o.ed->RadioFieldColor, 0xFF00FF);
  EXPECT_EQ(o.ed->SelectedRadioFieldColor, 0xFF0000);
  EXPECT_EQ(o.ed->DefaultFlat, 0);
  EXPECT_EQ(o.ed->DefaultBoxed, 1);
  EXPECT_EQ(o.ed->DefaultTransparent, 0);
  EXPECT_EQ(o.win->GetLong(Entry(o.ed, "notes")->CTLNO, Prop::Color), 255);
  EXPECT_FALSE(o.ed->ScreenFonts.empty());
  EXPECT_TRUE(std::is_sorted(o.ed->ScreenFonts.begin(), o.ed->ScreenFonts.end(),
                             [](const std::string& a, const std::string& b) { return rt::Upper(a) < rt::Upper(b); }));
  EXPECT_EQ(o.ed->FaceName.View(), "Arial");
  EXPECT_EQ(o.win->Get(editor::kFontSize, Prop::From).substr(0, 8), " 8| 9|10");
  o.win->SetPosition(0, 0, 0, 700, 500);
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
  cl::WindowPosition saved;
  ASSERT_TRUE(app::INIMgr().FetchPosition("FormEditor", saved));
}

}  // namespace

namespace {

class EditorEdges : public edtest::EditorFixture {
 protected:
  // Changes every stored record of a file through `change`.
  template <class Rec>
  void ChangeAll(FileId id, Rec& buffer, const std::function<void(Rec&)>& change) {
    cl::FileManager* fm = D().Access(id);
    fm->Open();
    std::vector<std::string> positions;
    db::Set(D().File(id), 1);
    for (db::Next(D().File(id)); rt::ErrorCode() == 0; db::Next(D().File(id))) positions.push_back(fm->Position());
    for (const std::string& p : positions) {
      ASSERT_EQ(fm->TryReget(p), cl::kBenign);
      change(buffer);
      ASSERT_EQ(fm->TryUpdate(), cl::kBenign);
    }
    fm->Close();
  }
};

TEST_F(EditorEdges, HiddenFieldsAndPagesWithoutSize) {
  const long form = ImportForm();
  ChangeAll<data::PageControlsRecord>(FileId::PageControls, D().PAG, [](auto& r) { r.HIDDEN = 1; });
  ChangeAll<data::FormPagesRecord>(FileId::FormPages, D().FOR1, [](auto& r) { r.PAGEHEIGHT = 0; });
  Opened o = StartEditor("1", form);
  EXPECT_EQ(o.ed->Queue.Count(), 0);
  EXPECT_EQ(o.ed->LogPixelsX, 96);  // the screen's, whatever the page
  for (int zoom : {editor::kZoomPage, editor::kZoomWidth, editor::kZoomIn, editor::kZoomActual}) {
    Accept(o, zoom);
    EXPECT_GE(o.ed->ZoomPercent, editor::kZoomMin) << zoom;
    EXPECT_LE(o.ed->ZoomPercent, editor::kZoomMax) << zoom;
    EXPECT_GT(o.ed->ZoomFactor, 0) << zoom;
  }
  o.win->InputSize(0, 0);
  Settle();
  EXPECT_GT(o.ed->ZoomFactor, 0);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  EXPECT_TRUE(Controls().empty());  // hidden records go at Exit and Save
}

}  // namespace

namespace {

class EditorClose : public edtest::EditorFixture {
 protected:
  // The message boxes asked so far, their texts.
  std::vector<ui::HeadlessBackend::Asked> Messages() {
    std::vector<ui::HeadlessBackend::Asked> out;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) out.push_back(a);
    return out;
  }
  long Typed() {
    long n = 0;
    for (const auto& v : Values()) n += v.VALUE.View() == "typed";
    return n;
  }
};

// The close box, the frame's Exit (through CloseEditors) and the end of
// the desktop session all ask before typed values are lost.
TEST_F(EditorClose, UnsavedChangesAreAskedForBeforeTheEditorCloses) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "First");
  // nothing changed: no question, whatever closes it
  Opened o = StartEditor("2", form, set);
  o.win->InputClose();
  rt::WaitForThreads();
  EXPECT_TRUE(EditorWindows().empty());
  EXPECT_TRUE(Messages().empty());
  o = StartEditor("2", form, set);
  EXPECT_TRUE(editor::CloseEditors());
  rt::WaitForThreads();
  EXPECT_TRUE(Messages().empty());

  // a value typed: Cancel keeps the editor open with the value
  o = StartEditor("2", form, set);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "typed");
  EXPECT_TRUE(o.ed->HasUnsavedChanges());
  ui::Headless().AnswerMessage(ui::button::Cancel);
  o.win->InputClose();
  Settle();
  ASSERT_EQ(EditorWindows().size(), 1u);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].message.text, "Save the changes to First?");
  EXPECT_EQ(Messages()[0].message.caption, "Velmora");
  EXPECT_EQ(Messages()[0].message.buttons, ui::button::Yes | ui::button::No | ui::button::Cancel);
  EXPECT_EQ(Messages()[0].message.defaultButton, ui::button::Yes);
  EXPECT_EQ(Entry(o.ed, "notes")->Value(), "typed");
  // the frame's Exit: Cancel keeps it too, and says so
  ui::Headless().AnswerMessage(ui::button::Cancel);
  EXPECT_FALSE(editor::CloseEditors());
  Settle();
  EXPECT_EQ(EditorWindows().size(), 1u);
  // No: closed, nothing written
  ui::Headless().AnswerMessage(ui::button::No);
  EXPECT_TRUE(editor::CloseEditors());
  rt::WaitForThreads();
  EXPECT_TRUE(EditorWindows().empty());
  EXPECT_EQ(Typed(), 0);

  // Yes: Exit and Save, then closed
  o = StartEditor("2", form, set);
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "typed");
  ui::Headless().AnswerMessage(ui::button::Yes);
  o.win->InputClose();
  rt::WaitForThreads();
  EXPECT_TRUE(EditorWindows().empty());
  EXPECT_EQ(Typed(), 1);
  // saved values are no change; a field moved on the page is one
  o = StartEditor("2", form, set);
  EXPECT_FALSE(o.ed->HasUnsavedChanges());
  const_cast<editor::FormControl*>(Entry(o.ed, "name"))->CTLX += 5;
  EXPECT_TRUE(o.ed->HasUnsavedChanges());
  const size_t asked = Messages().size();
  ui::Headless().AnswerMessage(ui::button::No);
  o.win->InputClose();
  rt::WaitForThreads();
  EXPECT_EQ(Messages().size(), asked + 1);
  // designing: the question names the form
  o = StartEditor("1", form);
  Accept(o, editor::kZoomIn);  // a zoom is no change
  EXPECT_FALSE(o.ed->HasUnsavedChanges());
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "x");
  ui::Headless().AnswerMessage(ui::button::No);
  o.win->InputClose();
  rt::WaitForThreads();
  EXPECT_EQ(Messages().back().message.text, "Save the changes to FORM?");
}

}  // namespace
