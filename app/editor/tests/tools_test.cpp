// The editor's tools driven through its commands: the move and resize box
// with synthetic mouse messages, the field properties dialog and the tab
// order editor, each followed by Exit and Save and a reopened editor.
#include <algorithm>
#include <string>
#include <vector>

#include <fstream>

#include "editor_fixture.h"
#include "velmora/ui/keys.h"

namespace {

using data::FileId;
using edtest::Opened;
using editor::FormEditor;
using ui::Prop;

template <class T>
T V(T value) {
  return value;
}

class EditorTools : public edtest::EditorFixture {
 protected:
  // Waits for a window of the editor's thread to open and the editor to
  // settle with it on top.
  std::shared_ptr<ui::Window> Opens(const std::string& caption) {
    auto w = ui::WaitForWindow(caption);
    EXPECT_NE(w, nullptr) << caption;
    Settle();
    return w;
  }
  void WaitClosed(const std::shared_ptr<ui::Window>& w) {
    EXPECT_TRUE(ui::WaitUntil([&] { return !w->IsOpen(); }));
    Settle();
  }
  int Ctl(FormEditor* ed, const std::string& name) {
    const editor::FormControl* e = Entry(ed, name);
    EXPECT_NE(e, nullptr) << name;
    return e ? e->CTLNO : 0;
  }
  const data::PageControlsRecord* Saved(const std::vector<data::PageControlsRecord>& records,
                                        const std::string& name) {
    for (const auto& r : records)
      if (rt::Clip(r.CONTROLNAME.View()) == name) return &r;
    return nullptr;
  }
  void ExitAndSave(const Opened& o) {
    Accept(o, editor::kSave);
    rt::WaitForThreads();
  }
};

editor::Rect RectOf(const ui::Window& w, int control) {
  const ui::Window::Rect r = w.Position(control);
  return {static_cast<rt::Long>(r.x), static_cast<rt::Long>(r.y), static_cast<rt::Long>(r.width),
          static_cast<rt::Long>(r.height)};
}

// Where handle 1..8 of a rectangle lies (side 6).
editor::Rect Handle(const editor::Rect& r, int handle) {
  const rt::Long s = 6, x = r.x, y = r.y, w = r.width, h = r.height;
  const rt::Long xs[8] = {x, x + w / 2 - s / 2, x + w - s, x + w - s, x + w - s, x + w / 2 - s / 2, x, x};
  const rt::Long ys[8] = {y, y, y, y + h / 2 - s / 2, y + h - s, y + h - s, y + h - s, y + h / 2 - s / 2};
  return {xs[handle - 1], ys[handle - 1], s, s};
}

struct MorphCase {
  const char* what;
  int handle;  // 0: a drag inside the field, off the handles
  int dx, dy;
  const char* cursor;  // shown while the mouse is over the handle
  // The expected rectangle from the one before.
  editor::Rect (*expect)(const editor::Rect& r, int dx, int dy);
};

const MorphCase kMorphCases[] = {
    {"move", 0, 25, -14, ui::cursor::Arrow,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x + dx, r.y + dy, r.width, r.height}; }},
    {"handle 1", 1, 10, 10, ui::cursor::SizeNWSE,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x + dx, r.y + dy, r.width - dx, r.height - dy}; }},
    {"handle 2", 2, 7, -9, ui::cursor::SizeNS,
     [](const editor::Rect& r, int, int dy) { return editor::Rect{r.x, r.y + dy, r.width, r.height - dy}; }},
    {"handle 3", 3, 12, 8, ui::cursor::SizeNESW,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x, r.y + dy, r.width + dx, r.height - dy}; }},
    {"handle 4", 4, -15, 4, ui::cursor::SizeWE,
     [](const editor::Rect& r, int dx, int) { return editor::Rect{r.x, r.y, r.width + dx, r.height}; }},
    {"handle 5", 5, 10, 5, ui::cursor::SizeNWSE,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x, r.y, r.width + dx, r.height + dy}; }},
    {"handle 6", 6, 3, 11, ui::cursor::SizeNS,
     [](const editor::Rect& r, int, int dy) { return editor::Rect{r.x, r.y, r.width, r.height + dy}; }},
    {"handle 7", 7, -6, -7, ui::cursor::SizeNESW,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x + dx, r.y, r.width - dx, r.height + dy}; }},
    {"handle 8", 8, 9, 2, ui::cursor::SizeWE,
     [](const editor::Rect& r, int dx, int) { return editor::Rect{r.x + dx, r.y, r.width - dx, r.height}; }},
    // dragged past the opposite edges: the field keeps one page pixel
    // (two screen pixels at 200 %) and its far edges stay
    {"handle 1 past the far corner", 1, 1000, 1000, ui::cursor::SizeNWSE,
     [](const editor::Rect& r, int, int) { return editor::Rect{r.x + r.width - 2, r.y + r.height - 2, 2, 2}; }},
    // the handles of a field that small overlap: the first one wins
    {"handle 1 grows the field again", 1, -100, -80, ui::cursor::SizeNWSE,
     [](const editor::Rect& r, int dx, int dy) { return editor::Rect{r.x + dx, r.y + dy, r.width - dx, r.height - dy}; }},
    {"handle 5 past the near corner", 5, -1000, -1000, ui::cursor::SizeNWSE,
     [](const editor::Rect& r, int, int) { return editor::Rect{r.x, r.y, 2, 2}; }},
};

TEST_F(EditorTools, MorphBoxMovesAndResizesAtAScrolledOriginAndZoom200) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  for (int i = 0; i < 5; ++i) Accept(o, editor::kZoomIn);
  ASSERT_EQ(ed->ZoomPercent, 200);
  const int name = Ctl(ed, "name");
  const int agree = Ctl(ed, "agree");
  // scrolled so that the field lies near the client area's top left
  const editor::Rect start = RectOf(*o.win, name);
  o.win->Set(0, Prop::XOrigin, static_cast<long>(start.x - 60));
  o.win->Set(0, Prop::YOrigin, static_cast<long>(start.y - 40));
  const long ox = o.win->GetLong(0, Prop::XOrigin), oy = o.win->GetLong(0, Prop::YOrigin);
  ASSERT_GT(ox, 0);
  ASSERT_GT(oy, 0);
  auto mouse = [&](unsigned message, long x, long y) {  // x, y where the field is placed
    Mouse(o, message, static_cast<int>(x - ox), static_cast<int>(y - oy));
  };

  for (const MorphCase& c : kMorphCases) {
    SCOPED_TRACE(c.what);
    const editor::Rect before = RectOf(*o.win, name);
    ui::Headless().AnswerPopup(3);  // "&Change Position/Resize"
    o.win->InputKey(name, ui::key::MouseRight);
    auto box = Opens("MorphBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetLong(0, Prop::Hide), 1);  // the box's window is never shown
    EXPECT_EQ(box->Number("?DOWN"), 1020);
    EXPECT_EQ(box->Number("?MOUSEMOVE"), 1030);
    EXPECT_EQ(box->Number("?UP"), 1050);
    EXPECT_EQ(ui::Window::MouseCapture(), o.win.get());
    for (int h = 1; h <= 8; ++h) {
      const int n = 10000 + h;
      ASSERT_TRUE(o.win->Exists(n)) << h;
      EXPECT_EQ(o.win->GetLong(n, Prop::Type), static_cast<long>(ui::ControlType::Region));
      EXPECT_EQ(o.win->GetLong(n, Prop::FillColor), 255);
      EXPECT_TRUE(o.win->IsShown(n));
      const editor::Rect shown = RectOf(*o.win, n), want = Handle(before, h);
      EXPECT_EQ(shown.x, want.x) << h;
      EXPECT_EQ(shown.y, want.y) << h;
      EXPECT_EQ(shown.width, 6);
    }
    // the point to press: inside the handle's square, or inside the field
    // away from every handle
    const editor::Rect grab = c.handle ? Handle(before, c.handle)
                                       : editor::Rect{before.x + before.width / 3, before.y + 8, 0, 0};
    const long px = grab.x + 1, py = grab.y + 1;
    mouse(ui::msg::MouseMove, px, py);
    EXPECT_EQ(ui::CurrentCursor(), c.cursor);
    mouse(ui::msg::LButtonDown, px, py);
    if (!c.handle) {
      EXPECT_EQ(ui::CurrentCursor(), ui::cursor::SizeAll);
    }
    mouse(ui::msg::MouseMove, px + c.dx, py + c.dy);
    mouse(ui::msg::LButtonUp, px + c.dx, py + c.dy);
    EXPECT_EQ(ui::CurrentCursor(), ui::cursor::Arrow);
    const editor::Rect want = c.expect(before, c.dx, c.dy), after = RectOf(*o.win, name);
    EXPECT_EQ(after, want) << after.x << "," << after.y << " " << after.width << "x" << after.height;
    // the handles sit around the new rectangle
    EXPECT_EQ(RectOf(*o.win, 10005).x, Handle(after, 5).x);
    EXPECT_EQ(RectOf(*o.win, 10005).y, Handle(after, 5).y);
    // a click outside the field ends the box; the editor stores the field
    mouse(ui::msg::LButtonDown, after.x + after.width + 40, after.y - 30);
    WaitClosed(box);
    EXPECT_EQ(ui::Window::MouseCapture(), nullptr);
    for (int h = 1; h <= 8; ++h) EXPECT_FALSE(o.win->Exists(10000 + h));
    EXPECT_EQ(RectOf(*o.win, name), want);
    const editor::FormControl* e = Entry(ed, "name");
    const editor::Rect page = editor::ToPage(want, ed->ZoomFactor, ed->PageLeft, ed->PageTop);
    EXPECT_EQ(e->CTLX, page.x);
    EXPECT_EQ(e->CTLY, page.y);
    EXPECT_EQ(e->CTLW, page.width);
    EXPECT_EQ(e->CTLH, page.height);
    EXPECT_GT(e->CTLW, 0);
    EXPECT_GT(e->CTLH, 0);
  }
  // the editor has its page's mouse messages back
  o.win->InputMouse(ui::msg::MouseMove, 3, 3);
  EXPECT_EQ(o.win->PendingEvents(), 1u);
  Settle();

  // a checked check's X follows its box
  Accept(o, editor::kZoomActual);
  ed->ControlTypeText = "Check";
  Accept(o, editor::kButton1);
  Mouse(o, ui::msg::LButtonDown, 500, 300);
  Mouse(o, ui::msg::MouseMove, 530, 330);
  Mouse(o, ui::msg::LButtonDown, 530, 330);
  const int check = ed->Queue.At(ed->Queue.Count()).CTLNO;
  Accept(o, check);
  ASSERT_EQ(ed->Queue.At(ed->FindControl(check)).CHECKED, 1);
  const int line = ed->Queue.At(ed->FindControl(check)).LINE_FEQ2;
  ui::Headless().AnswerPopup(3);
  o.win->InputKey(check, ui::key::MouseRight);
  auto box = Opens("MorphBox");
  const editor::Rect c0 = RectOf(*o.win, check);
  const long cx = o.win->GetLong(0, Prop::XOrigin), cy = o.win->GetLong(0, Prop::YOrigin);
  Mouse(o, ui::msg::LButtonDown, static_cast<int>(c0.x + 14 - cx), static_cast<int>(c0.y + 14 - cy));
  Mouse(o, ui::msg::MouseMove, static_cast<int>(c0.x + 34 - cx), static_cast<int>(c0.y + 4 - cy));
  Mouse(o, ui::msg::LButtonUp, static_cast<int>(c0.x + 34 - cx), static_cast<int>(c0.y + 4 - cy));
  Mouse(o, ui::msg::LButtonDown, 1, 1);
  WaitClosed(box);
  const editor::Rect c1 = RectOf(*o.win, check);
  EXPECT_EQ(c1.x, c0.x + 20);
  EXPECT_EQ(o.win->Position(line).x, c1.x + c1.width);
  EXPECT_EQ(o.win->Position(line).y, c1.y);
  (void)agree;

  // saved and reopened, the field has its last rectangle
  const editor::FormControl moved = *Entry(ed, "name");
  ExitAndSave(o);
  const auto records = Controls();
  const data::PageControlsRecord* r = Saved(records, "name");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(V(r->CONTROLX), moved.CTLX);
  EXPECT_EQ(V(r->CONTROLY), moved.CTLY);
  EXPECT_EQ(V(r->CONTROLWIDTH), moved.CTLW);
  EXPECT_EQ(V(r->CONTROLHEIGHT), moved.CTLH);
  o = StartEditor("1", form);
  EXPECT_EQ(Entry(o.ed, "name")->CTLX, moved.CTLX);
  EXPECT_EQ(RectOf(*o.win, Ctl(o.ed, "name")), o.ed->ScreenRectOf(moved));
}

TEST_F(EditorTools, PropertiesDialogChangesTheFieldAndTheChangeIsSaved) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Accept(o, editor::kZoomIn);  // 120 %
  const int name = Ctl(ed, "name");

  // a radio button shows its kind; Cancel keeps the entry as it was
  int radio = 0;
  for (long i = 1; i <= ed->Queue.Count(); ++i)
    if (ed->Queue.At(i).RADIOBUTTONNUMBER > 0) radio = ed->Queue.At(i).CTLNO;
  ASSERT_NE(radio, 0);
  const std::string radioName = rt::Clip(ed->Queue.At(ed->FindControl(radio)).NAME.View());
  o.win->InputKey(radio, ui::key::MouseLeft2);
  auto dialog = Opens("Form Control Properties");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(rt::Clip(dialog->Get(dialog->Number("?CONTROLTYPE"), Prop::ScreenText)), "Radio Button");
  EXPECT_TRUE(dialog->InputType(dialog->Number("?FORMCONTROLS:NAME"), "renamed"));
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTON7:2")));
  WaitClosed(dialog);
  EXPECT_EQ(rt::Clip(ed->Queue.At(ed->FindControl(radio)).NAME.View()), radioName);
  EXPECT_EQ(rt::Clip(ed->Queue.Buffer().NAME.View()), radioName);

  // the text field "name" through the popup's "&Edit"
  ui::Headless().AnswerPopup(1);
  o.win->InputKey(name, ui::key::MouseRight);
  dialog = Opens("Form Control Properties");
  ASSERT_NE(dialog, nullptr);
  auto n = [&](const char* use) {
    const int number = dialog->Number(use);
    EXPECT_NE(number, 0) << use;
    return number;
  };
  EXPECT_EQ(rt::Clip(dialog->Get(n("?CONTROLTYPE"), Prop::ScreenText)), "Entry");
  EXPECT_EQ(rt::Clip(dialog->Get(n("?FORMCONTROLS:NAME"), Prop::ScreenText)), "name");
  // the fourteen PDF fonts in order, the sixteen sizes
  const std::vector<std::string> fonts = ui::MessageLines(dialog->Get(n("?LOC:FACENAME"), Prop::From));
  ASSERT_EQ(fonts.size(), 14u);
  EXPECT_EQ(fonts[0], "Courier");
  EXPECT_EQ(fonts[9], "TimesBold");
  EXPECT_EQ(fonts[13], "ZapfDingbats");
  EXPECT_EQ(ui::MessageLines(dialog->Get(n("?LOC:FONTSIZE"), Prop::From)).size(), 16u);

  // border width 2 points at 96 dots per inch: the sample's line 2/72*96
  ASSERT_TRUE(dialog->InputTab(n("?SHEET1"), 2));
  EXPECT_TRUE(dialog->IsShown(n("?TEMPWIDTH")));
  EXPECT_FALSE(dialog->IsShown(n("?FORMCONTROLS:NAME")));
  ASSERT_TRUE(dialog->InputType(n("?TEMPWIDTH"), "2"));
  ASSERT_TRUE(dialog->InputAccept(n("?TEMPWIDTH")));
  Settle();
  EXPECT_EQ(dialog->GetLong(n("?BOX1"), Prop::LineWidth), static_cast<long>(2.0 / 72 * 96));
  // the colours through the colour dialog
  ui::Headless().AnswerColor(0x0000FF);
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3")));
  Settle();
  ui::Headless().AnswerColor(0x00FF00);
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3:2")));
  Settle();
  ui::Headless().AnswerColor(std::nullopt);  // cancelled: no change
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3:3")));
  Settle();
  ui::Headless().AnswerColor(0xFF0000);
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3:3")));
  Settle();
  EXPECT_EQ(dialog->GetLong(n("?FIELDCOLOR"), Prop::Color), 0x0000FF);
  EXPECT_EQ(dialog->GetLong(n("?FIELDCOLOR"), Prop::FontColor), 0x00FF00);
  EXPECT_EQ(dialog->GetLong(n("?BOX1"), Prop::Color), 0xFF0000);
  std::vector<std::string> titles;
  for (const auto& asked : ui::Headless().AskedDialogs())
    if (asked.kind == ui::HeadlessBackend::Asked::Color) titles.push_back(asked.title);
  ASSERT_EQ(titles.size(), 4u);
  EXPECT_EQ(titles[0], "Choose Field Background Color");
  EXPECT_EQ(titles[1], "Choose Field Text Color");
  EXPECT_EQ(titles[3], "Choose Field Border Color");
  ASSERT_TRUE(dialog->InputAccept(n("?FORMCONTROLS:CTLG:HASBORDER")));
  ASSERT_TRUE(dialog->InputSelectRow(n("?BORDERSTYLE"), 2));  // Dashed
  ASSERT_TRUE(dialog->InputSelectRow(n("?FORMCONTROLS:CTLG:PDFFIELDROTATION"), 3));  // 180
  // font, size, bold, name and alignment on the first tab
  ASSERT_TRUE(dialog->InputTab(n("?SHEET1"), 1));
  ASSERT_TRUE(dialog->InputSelectRow(n("?LOC:FACENAME"), 10));  // TimesBold
  ASSERT_TRUE(dialog->InputSelectRow(n("?LOC:FONTSIZE"), 6));   // 14
  ASSERT_TRUE(dialog->InputAccept(n("?BBOLD")));
  ASSERT_TRUE(dialog->InputType(n("?FORMCONTROLS:NAME"), "Full name"));
  const int option = n("?FORMCONTROLS:CTLG:ALIGN");
  const int right = dialog->Children(option).at(0).number;
  EXPECT_EQ(dialog->Get(right, Prop::Text), "Right");
  ASSERT_TRUE(dialog->InputAccept(right));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON7")));
  WaitClosed(dialog);

  // the live control and the queue entry
  const editor::FormControl* e = Entry(ed, "Full name");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->CTLNO, name);
  EXPECT_EQ(e->FONTNAME.View(), "TimesBold");
  EXPECT_EQ(e->FONTSIZE, 14);
  EXPECT_EQ(e->FONTBOLD, 1);
  EXPECT_EQ(e->ALIGN.View(), "2");
  EXPECT_EQ(e->PDFFIELDBACKGROUNDCOLOR, 0x0000FF);
  EXPECT_EQ(e->PDFFIELDTEXTCOLOR, 0x00FF00);
  EXPECT_EQ(e->PDFBORDERCOLOR, 0xFF0000);
  EXPECT_EQ(e->HASBORDER, 1);
  EXPECT_EQ(e->BORDERSTYLE, 1);
  EXPECT_DOUBLE_EQ(e->BORDERWIDTH, 2);
  EXPECT_EQ(e->PDFFIELDROTATION, 180);
  EXPECT_EQ(o.win->Get(name, Prop::FontName), "TimesBold");
  EXPECT_EQ(o.win->GetLong(name, Prop::FontSize), 16);  // 14 at 120 %
  EXPECT_EQ(o.win->GetLong(name, Prop::FontStyle), ui::style::Bold);
  EXPECT_EQ(o.win->GetLong(name, Prop::Alignment), 2);
  EXPECT_EQ(o.win->Get(name, Prop::Tip), "Full name");
  EXPECT_EQ(ed->Bold, 1);  // the toolbar's toggles follow the field

  // Exit and Save writes it; the reopened editor shows it
  ExitAndSave(o);
  const auto records = Controls();
  const data::PageControlsRecord* r = Saved(records, "Full name");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(V(r->CONTROLFONTHEIGHT), 14);
  EXPECT_EQ(rt::Clip(r->CONTROLFONTNAME.View()), "TimesBold");
  EXPECT_EQ(V(r->CONTROLFONTBOLD), 1);
  EXPECT_EQ(V(r->CONTROLALIGNMENT), 2);
  EXPECT_EQ(V(r->PDFFIELDBACKGROUNDCOLOR), 0x0000FF);
  EXPECT_EQ(V(r->PDFFIELDTEXTCOLOR), 0x00FF00);
  EXPECT_EQ(V(r->PDFBORDERCOLOR), 0xFF0000);
  EXPECT_EQ(V(r->HASBORDER), 1);
  EXPECT_EQ(V(r->BORDERSTYLE), 1);
  EXPECT_DOUBLE_EQ(V(r->BORDERWIDTH), 2);
  EXPECT_EQ(V(r->PDFFIELDROTATION), 180);
  EXPECT_NE(Saved(records, radioName), nullptr);
  o = StartEditor("1", form);
  e = Entry(o.ed, "Full name");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->FONTSIZE, 14);
  EXPECT_EQ(o.win->GetLong(e->CTLNO, Prop::Alignment), 2);
  EXPECT_EQ(o.win->GetLong(e->CTLNO, Prop::FontStyle), ui::style::Bold);
}

// A rename that would give two fields one name is refused with a
// message; a field placed in the editor then takes FDF values by its new
// name at once.
TEST_F(EditorTools, ARenameToAnotherFieldsNameIsRefusedAndTheNewNameTakesFdfValues) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Accept(o, editor::kButton1);
  Mouse(o, ui::msg::LButtonDown, 100, 100);
  Mouse(o, ui::msg::MouseMove, 160, 120);
  Mouse(o, ui::msg::LButtonDown, 160, 120);
  const int placed = ed->Queue.At(ed->Queue.Count()).CTLNO;
  auto rename = [&](const std::string& to, int button) {
    o.win->InputKey(placed, ui::key::MouseLeft2);
    auto dialog = Opens("Form Control Properties");
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return dialog;
    EXPECT_TRUE(dialog->InputType(dialog->Number("?FORMCONTROLS:NAME"), to));
    EXPECT_TRUE(dialog->InputAccept(dialog->Number(button == 1 ? "?BUTTON7" : "?BUTTON7:2")));
    Settle();
    return dialog;
  };
  const size_t asked = ui::Headless().AskedDialogs().size();
  auto dialog = rename("NOTES", 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->IsOpen()) << "the dialog stays for another name";
  ASSERT_EQ(ui::Headless().AskedDialogs().size(), asked + 1);
  EXPECT_EQ(ui::Headless().AskedDialogs().back().message.text,
            "The name NOTES is already the name of another field of this form.|Choose another name.");
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTON7:2")));
  WaitClosed(dialog);
  EXPECT_NE(rt::Upper(rt::Clip(ed->Queue.At(ed->FindControl(placed)).NAME.View())), "NOTES");
  dialog = rename("Fresh", 1);
  WaitClosed(dialog);
  EXPECT_EQ(rt::Clip(ed->Queue.At(ed->FindControl(placed)).NAME.View()), "Fresh");

  // a second one keeps the name it was given
  Accept(o, editor::kButton1);
  Mouse(o, ui::msg::LButtonDown, 100, 200);
  Mouse(o, ui::msg::MouseMove, 160, 220);
  Mouse(o, ui::msg::LButtonDown, 160, 220);
  const int second = ed->Queue.At(ed->Queue.Count()).CTLNO;
  const std::string fdf = (dir_ / "values.fdf").string();
  std::ofstream(fdf, std::ios::binary)
      << "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [ << /T (Fresh) /V (from the file) >> << /T ("
      << rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View())
      << ") /V (second) >> ] >> >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
  ui::Headless().AnswerFile({fdf});
  Accept(o, editor::kFileImportDataFromFdf);
  EXPECT_EQ(ed->Queue.At(ed->FindControl(placed)).Value(), "from the file");
  EXPECT_EQ(ed->Queue.At(ed->FindControl(second)).Value(), "second");
  EXPECT_EQ(o.win->Get(placed, Prop::ScreenText), "from the file");
}

TEST_F(EditorTools, TabOrderEditorReordersThePageAndTheOrderIsSaved) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  // the page's fields by tab order
  auto pageFields = [](FormEditor* e) {
    std::vector<const editor::FormControl*> out;
    for (long i = 1; i <= e->Queue.Count(); ++i)
      if (e->Queue.At(i).FORMPAGE == 1) out.push_back(&e->Queue.At(i));
    std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->TABORDER < b->TABORDER; });
    return out;
  };
  const auto fields = pageFields(ed);
  ASSERT_GE(fields.size(), 4u);
  std::vector<int> controls;
  std::vector<short> orders;
  std::vector<std::string> names;  // by control number's place in `controls`
  std::vector<long> ids;
  for (auto* f : fields) {
    controls.push_back(f->CTLNO);
    ids.push_back(f->CTLID);
    orders.push_back(f->TABORDER);
    names.push_back(rt::Clip(f->NAME.View()));
  }
  auto nameOf = [&](int control) {
    for (size_t i = 0; i < controls.size(); ++i)
      if (controls[i] == control) return names[i];
    return std::string();
  };
  for (size_t i = 1; i < orders.size(); ++i) ASSERT_LT(orders[i - 1], orders[i]);

  Accept(o, editor::kEditTabOrder);
  auto dialog = Opens("Tab Order");
  ASSERT_NE(dialog, nullptr);
  const int list = dialog->Number("?LIST1"), up = dialog->Number("?MOVEUP"), down = dialog->Number("?MOVEDOWN");
  EXPECT_EQ(dialog->Get(dialog->Number("?PROMPT1"), Prop::Text), "Page No:");
  EXPECT_EQ(rt::Trim(dialog->Get(dialog->Number("?FOR1:PAGENO"), Prop::ScreenText)), "1");
  ASSERT_EQ(dialog->GetLong(list, Prop::Items), static_cast<long>(fields.size()));
  EXPECT_EQ(rt::Clip(dialog->CellText(list, 1, 1)), names[0]);
  EXPECT_EQ(dialog->GetLong(list, Prop::Selected), 1);
  EXPECT_EQ(dialog->GetLong(up, Prop::Disable), 1);
  EXPECT_EQ(dialog->GetLong(down, Prop::Disable), 0);
  // the second field moves up: it takes tab order 1, the first takes 2
  ASSERT_TRUE(dialog->InputSelectRow(list, 2, ui::key::MouseLeft));
  Settle();
  EXPECT_EQ(dialog->GetLong(up, Prop::Disable), 0);
  ASSERT_TRUE(dialog->InputAccept(up));
  Settle();
  EXPECT_EQ(rt::Clip(dialog->CellText(list, 1, 1)), names[1]);
  EXPECT_EQ(rt::Trim(dialog->CellText(list, 1, 2)), std::to_string(orders[0]));
  EXPECT_EQ(rt::Trim(dialog->CellText(list, 2, 2)), std::to_string(orders[1]));
  EXPECT_EQ(dialog->GetLong(list, Prop::Selected), 1);
  EXPECT_EQ(dialog->GetLong(up, Prop::Disable), 1);
  // the last field moves up one: down is off on the last row first
  const long last = static_cast<long>(fields.size());
  ASSERT_TRUE(dialog->InputSelectRow(list, last, ui::key::MouseLeft));
  Settle();
  EXPECT_EQ(dialog->GetLong(down, Prop::Disable), 1);
  ASSERT_TRUE(dialog->InputAccept(up));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTONOK")));
  WaitClosed(dialog);

  // the new order: 1 0 2 .. n-3 n-1 n-2 (indexes of the old order)
  std::vector<int> want = controls;
  std::swap(want[0], want[1]);
  std::swap(want[want.size() - 1], want[want.size() - 2]);
  const auto now = pageFields(ed);
  for (size_t i = 0; i < now.size(); ++i) {
    EXPECT_EQ(now[i]->CTLNO, want[i]) << i;
    EXPECT_EQ(now[i]->TABORDER, orders[i]) << i;
  }
  // Tab goes from each field to the next in the new order, from the last
  // back to the first
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(o.win->NextInOrder(want[i]), want[(i + 1) % want.size()]) << i;
  o.win->InputFocus(want[0]);
  Settle();
  o.win->InputKey(want[0], ui::key::Tab);
  Settle();
  EXPECT_EQ(o.win->Focus(), want[1]);

  // a page with one field: both moves off; OK without a move changes nothing
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  Accept(o, editor::kEditTabOrder);
  dialog = Opens("Tab Order");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetLong(dialog->Number("?LIST1"), Prop::Items), 1);
  EXPECT_EQ(dialog->GetLong(dialog->Number("?MOVEUP"), Prop::Disable), 1);
  EXPECT_EQ(dialog->GetLong(dialog->Number("?MOVEDOWN"), Prop::Disable), 1);
  const short backOrder = Entry(ed, "back")->TABORDER;
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?OK")));
  WaitClosed(dialog);
  EXPECT_EQ(Entry(ed, "back")->TABORDER, backOrder);
  o.win->InputSpin(editor::kPageNo, -1);
  Settle();

  // saved and reopened: the stored tab orders give the keyboard order
  ExitAndSave(o);
  const auto records = Controls();
  for (size_t i = 0; i < want.size(); ++i) {
    const long id = ids[static_cast<size_t>(std::find(controls.begin(), controls.end(), want[i]) - controls.begin())];
    auto r = std::find_if(records.begin(), records.end(),
                          [&](const auto& rec) { return rec.PAGENO == 1 && rec.CONTROLUNIQUEID == id; });
    ASSERT_NE(r, records.end());
    EXPECT_EQ(V(r->CONTROLTABORDER), orders[i]) << i;
  }
  o = StartEditor("1", form);
  ed = o.ed;
  const auto reopened = pageFields(ed);
  ASSERT_EQ(reopened.size(), want.size());
  std::vector<int> order;
  for (int c : o.win->KeyboardOrder())
    for (auto* f : reopened)
      if (f->CTLNO == c) order.push_back(c);
  std::vector<std::string> shown, wantNames;
  for (int c : order) shown.push_back(rt::Clip(ed->Queue.At(ed->FindControl(c)).NAME.View()));
  for (int c : want) wantNames.push_back(nameOf(c));
  EXPECT_EQ(shown, wantNames);

  // fields that share a tab order still change places: the page is
  // numbered from 1 in the list's order
  for (long i = 1; i <= ed->Queue.Count(); ++i)
    if (ed->Queue.At(i).FORMPAGE == 1) {
      ed->Queue.Get(i);
      ed->Queue->TABORDER = 0;
      ed->Queue.Put();
    }
  std::vector<int> listed;
  for (auto* f : pageFields(ed)) listed.push_back(f->CTLNO);
  Accept(o, editor::kEditTabOrder);
  dialog = Opens("Tab Order");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(dialog->InputSelectRow(dialog->Number("?LIST1"), 3, ui::key::MouseLeft));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?MOVEUP")));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTONOK")));
  WaitClosed(dialog);
  std::swap(listed[1], listed[2]);
  const auto renumbered = pageFields(ed);
  for (size_t i = 0; i < renumbered.size(); ++i) {
    EXPECT_EQ(renumbered[i]->CTLNO, listed[i]) << i;
    EXPECT_EQ(renumbered[i]->TABORDER, static_cast<short>(i + 1)) << i;
  }
}

}  // namespace
