#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "fixture.h"
#include "velmora/classlib/contextmenu.h"
#include "velmora/classlib/filepicker.h"
#include "velmora/classlib/history.h"
#include "velmora/classlib/locator.h"
#include "velmora/classlib/resizer.h"
#include "velmora/classlib/toolbar.h"
#include "velmora/classlib/window.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/keys.h"

namespace {

using namespace cl;
using ui::ControlType;
namespace ev = ui::ev;

ui::ControlDesc Control(ControlType type, std::string use, int x = 0, int y = 0, int w = 0, int h = 0) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.x = x, d.y = y, d.width = w, d.height = h;
  return d;
}

// ?OK 1, ?CANCEL 2, ?NAME 3, ?LIST 4.
ui::WindowDesc Form(std::string caption = "Form") {
  ui::WindowDesc d;
  d.caption = std::move(caption);
  d.width = 200, d.height = 100;
  d.controls = {Control(ControlType::Button, "?OK", 10, 80, 40, 14),
                Control(ControlType::Button, "?CANCEL", 60, 80, 40, 14),
                Control(ControlType::Entry, "?NAME", 10, 10, 100, 12),
                Control(ControlType::List, "?LIST", 10, 30, 180, 40)};
  return d;
}

// Writes down what each operation and component was given.
class Recorder : public WindowComponent {
 public:
  explicit Recorder(std::vector<std::string>& log, std::string name = "component")
      : log_(log), name_(std::move(name)) {}
  int TakeEvent(ProcedureWindow& w) override {
    log_.push_back(name_ + " " + std::to_string(w.Win().EventNo()) + " " + std::to_string(w.Win().Field()));
    return kBenign;
  }

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

class LoggedWindow : public ProcedureWindow {
 public:
  LoggedWindow() : ProcedureWindow("Logged") {}
  std::vector<std::string> log;
  std::vector<std::pair<int, int>> toPost;  // event, control: posted once the window is open
  int stopOn = 0;                           // a window event that ends the loop
  int swallow = 0;                          // a field event OnFieldEvent ends

  int Setup() override {
    log.push_back("Setup");
    Load(Form());
    Open();
    for (auto [event, control] : toPost) Win().Post(event, control);
    return kBenign;
  }
  void EventLoop() override {
    log.push_back("EventLoop");
    ProcedureWindow::EventLoop();
  }
  int Teardown() override {
    log.push_back("Teardown");
    return ProcedureWindow::Teardown();
  }
  int OnWindowEvent() override {
    log.push_back("Window " + std::to_string(Win().EventNo()));
    return Win().EventNo() == stopOn ? kFatal : kBenign;
  }
  int OnAccepted() override { return Note("Accepted"); }
  int OnRejected() override { return Note("Rejected"); }
  int OnSelected() override { return Note("Selected"); }
  int OnNewSelection() override { return Note("NewSelection"); }
  int OnFieldEvent() override {
    Note("Field " + std::to_string(Win().EventNo()));
    return Win().EventNo() == swallow ? kNotify : kBenign;
  }

 private:
  int Note(const std::string& what) {
    log.push_back(what + " " + std::to_string(Win().Field()));
    return kBenign;
  }
};

class ClasslibWindow : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    ui::Headless().Reset();
  }
  void TearDown() override {
    ui::Headless().Reset();
    TempFolder::TearDown();
  }
};

TEST_F(ClasslibWindow, OperationsRunInOrderAndComponentsTakeEachEventAfterTheWindow) {
  LoggedWindow w;
  Recorder component(w.log);
  w.AddComponent(&component);
  w.AddComponent(&component);  // once only
  w.toPost = {{ev::Accepted, 3}, {ev::Rejected, 3}, {ev::Selected, 3}, {ev::NewSelection, 3},
              {ev::AlertKey, 4}, {ev::User + 200, 0}, {ev::CloseWindow, 0}};
  w.RunWindow();
  const std::vector<std::string> expected = {
      "Setup", "EventLoop",
      "Window 515", "component 515 0",
      "Accepted 3", "Field 1 3", "component 1 3",
      "Rejected 3", "Field 16 3", "component 16 3",
      "Selected 3", "Field 257 3", "component 257 3",
      "NewSelection 3", "Field 2 3", "component 2 3",
      "Field 15 4", "component 15 4",
      "Window 1224", "component 1224 0",
      "Window 513", "component 513 0",
      "Teardown"};
  EXPECT_EQ(w.log, expected);
  EXPECT_FALSE(w.Win().IsOpen());
}

TEST_F(ClasslibWindow, NotifyEndsTheEventAndFatalEndsTheLoop) {
  LoggedWindow w;
  Recorder component(w.log);
  w.AddComponent(&component);
  w.swallow = ev::AlertKey;
  w.stopOn = ev::User + 1;
  w.toPost = {{ev::AlertKey, 4}, {ev::User + 1, 0}, {ev::Accepted, 3}};
  w.RunWindow();
  const std::vector<std::string> expected = {"Setup", "EventLoop", "Window 515", "component 515 0",
                                             "Field 15 4", "Window 1025", "Teardown"};
  EXPECT_EQ(w.log, expected);
  EXPECT_FALSE(w.Win().IsOpen());  // Teardown closed it
}

TEST_F(ClasslibWindow, PositionIsSavedAndRestoredUnderTheProcedureName) {
  IniMgr ini;
  ini.Setup("Quintrel.INI");
  {
    ProcedureWindow w("UpdateForms");
    w.Load(Form());
    EXPECT_FALSE(w.RestorePosition(ini));
    w.Win().SetPosition(0, 12, 34, 250, 150);
    w.SavePosition(ini);
  }
  ProcedureWindow again("UpdateForms");
  again.Load(Form());
  ASSERT_TRUE(again.RestorePosition(ini));
  const ui::Window::Rect r = again.Win().Position(0);
  EXPECT_EQ(r.x, 12);
  EXPECT_EQ(r.y, 34);
  EXPECT_EQ(r.width, 250);
  EXPECT_EQ(r.height, 150);
  EXPECT_EQ(ini.Fetch("UpdateForms", "XPos"), "12") << "kept under the procedure name";
  ProcedureWindow other("ShowAll");
  other.Load(Form());
  EXPECT_FALSE(other.RestorePosition(ini));
}

TEST_F(ClasslibWindow, TheProgramIconGoesToWindowsWithoutOne) {
  SetSystemIcon("edit.ico");
  ProcedureWindow plain("Plain"), own("Own");
  plain.Load(Form());
  ui::WindowDesc d = Form();
  d.icon = "own.ico";
  own.Load(d);
  plain.Open();
  own.Open();
  EXPECT_EQ(plain.Win().Get(0, ui::Prop::Icon), "edit.ico");
  EXPECT_EQ(own.Win().Get(0, ui::Prop::Icon), "own.ico");
  SetSystemIcon("");
}

// ---- record windows

#pragma pack(push, 1)
struct Item {
  int32_t id;
  rt::CString<20> name;
};
#pragma pack(pop)

class RecordWindow : public ProcedureWindow {
 public:
  explicit RecordWindow(FileManager* fm) : ProcedureWindow("UpdateItem") { Primary = fm; }
  std::vector<std::string> captions;
  bool primed = false;
  std::vector<int> toAccept;  // controls accepted once the window is open

  int Setup() override {
    TakeRequest();
    Load(Form("Item"));
    CancelControl = 2;
    if (Request != request::View) OkControl = 1;
    if (PrepareRequest() != kBenign) return kNotify;
    Open();
    Win().Bind(3, ui::UseVar::Of(rec->name));
    Win().Display();
    for (int c : toAccept) Win().Post(ev::Accepted, c);
    return kBenign;
  }
  void EventLoop() override {
    SetRecordCaption();
    captions.push_back(Win().Get(0, ui::Prop::Text));
    ProcedureWindow::EventLoop();
  }
  int OnRecordPrimed() override {
    primed = true;
    return kBenign;
  }
  Item* rec = nullptr;
};

class ClasslibWindowRecord : public ClasslibWindow {
 protected:
  void SetUp() override {
    ClasslibWindow::SetUp();
    errors.Setup();
    decl = db::DeclBuilder("Items", "ITM")
               .Driver("ISAM")
               .Name(".\\data\\items.tps")
               .Field(db::Type::Long, "ID")
               .Field(db::Type::CString, "NAME", 20)
               .Key("ID_Key", {1}, db::kKeyNoCase | db::kKeyPrimary)
               .Build();
    decl->BindRecord(reinterpret_cast<uint8_t*>(&rec));
    decl->ClearRecord();
    fm.SetFile(decl.get());
    fm.SetLabel("Items");
    fm.SetErrors(&errors);
    fm.SetCreate(true);
    fm.Setup();
    fm.AddKey(1, "ITM:ID_Key", 1);
    ASSERT_EQ(fm.Open(), kBenign);
  }
  void TearDown() override {
    fm.Close();
    fm.Teardown();
    ClasslibWindow::TearDown();
  }
  // Runs the window for a request; the response it left.
  int Run(int req, std::vector<int> accept, RecordWindow* out = nullptr) {
    RecordWindow w(&fm);
    w.rec = &rec;
    w.toAccept = accept;
    ThreadRequest() = static_cast<rt::Byte>(req);
    ThreadResponse() = 9;
    const int r = w.RunWindow();
    EXPECT_EQ(ThreadRequest(), 0) << "the window took the request";
    EXPECT_EQ(ThreadResponse(), r);
    if (out) {
      out->captions = w.captions;
      out->primed = w.primed;
    }
    return r;
  }
  long Count() {
    long n = 0;
    fm.SetKey(1);
    while (fm.TryNext() == kBenign) ++n;
    return n;
  }
  ErrorReporter errors;
  Item rec{};
  std::unique_ptr<db::FileDecl> decl;
  FileManager fm;
};

TEST_F(ClasslibWindowRecord, CaptionFollowsTheRequest) {
  struct Case {
    int request;
    const char* caption;
  };
  for (Case c : {Case{request::View, "View Record"}, Case{request::Insert, "Record Will Be Added"},
                 Case{request::Change, "Record Will Be Changed"}, Case{request::Select, "Item"}}) {
    SCOPED_TRACE(c.request);
    RecordWindow seen(&fm);
    fm.PrimeRecord();
    Run(c.request, {2}, &seen);
    ASSERT_EQ(seen.captions.size(), 1u);
    EXPECT_EQ(seen.captions[0], c.caption);
    EXPECT_EQ(seen.primed, c.request == request::Insert);
  }
}

TEST_F(ClasslibWindowRecord, OkWritesTheRecordAndCancelLeavesIt) {
  fm.PrimeRecord();
  rec.name = "Invoice";
  EXPECT_EQ(Run(request::Insert, {1}), response::Completed);
  ASSERT_EQ(Count(), 1);

  fm.SetKey(1);
  ASSERT_EQ(fm.Next(), kBenign);
  rec.name = "Receipt";  // shown in ?NAME, taken back by OK
  EXPECT_EQ(Run(request::Change, {1}), response::Completed);
  fm.SetKey(1);
  ASSERT_EQ(fm.Next(), kBenign);
  EXPECT_EQ(rt::Clip(rec.name.View()), "Receipt");

  fm.PrimeRecord();
  EXPECT_EQ(Run(request::Insert, {2}), response::Cancelled);
  EXPECT_EQ(Count(), 1);
  // in view mode there is no OK control: control 1 completes nothing
  EXPECT_EQ(Run(request::View, {1, 2}), response::Cancelled);
}

TEST_F(ClasslibWindowRecord, DeleteAsksFirstAndNeverShowsTheWindow) {
  fm.PrimeRecord();
  rec.name = "Invoice";
  ASSERT_EQ(fm.Insert(), kBenign);
  for (int answer : {ui::button::No, ui::button::Yes}) {
    SCOPED_TRACE(answer);
    fm.SetKey(1);
    ASSERT_EQ(fm.Next(), kBenign);
    ui::Headless().Reset();
    ui::Headless().AnswerMessage(answer);
    RecordWindow seen(&fm);
    const int r = Run(request::Delete, {}, &seen);
    EXPECT_TRUE(seen.captions.empty()) << "the window did not run";
    auto asked = ui::Headless().AskedDialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message.text, "Are you sure you want to delete the highlighted record?");
    EXPECT_EQ(asked[0].message.caption, "Confirm Delete");
    EXPECT_EQ(r, answer == ui::button::Yes ? response::Completed : response::Cancelled);
    EXPECT_EQ(Count(), answer == ui::button::Yes ? 0 : 1);
  }
}

TEST(ClasslibWindowThreads, HandOverIsPerThread) {
  ThreadRequest() = request::Change;
  NavigationRequest() = 3009;
  int otherRequest = -1;
  long otherNavigation = -1;
  std::thread([&] {
    otherRequest = ThreadRequest();
    otherNavigation = NavigationRequest();
    ThreadRequest() = request::Delete;
  }).join();
  EXPECT_EQ(otherRequest, 0);
  EXPECT_EQ(otherNavigation, 0);
  EXPECT_EQ(ThreadRequest(), request::Change);
  ThreadRequest() = 0;
  NavigationRequest() = 0;
}

// ---- toolbar router, resizer, context menu, file picker, messages

class TreeClient : public ToolbarClient {
 public:
  std::vector<int> buttons;
  void OnToolbarButton(ui::Window& w, int button) override {
    if (button >= toolbar::NextParent && button <= toolbar::PreviousRow) buttons.push_back(button);
    else DefaultMapping(w, button);
  }
};

TEST_F(ClasslibWindow, ToolbarButtonsGoToTheClientOfTheFocusedControl) {
  ui::WindowDesc d = Form();
  ui::ControlDesc insert = Control(ControlType::Button, "?INSERT");
  ui::ControlDesc change = Control(ControlType::Button, "?CHANGE");
  d.controls.push_back(insert);  // 5
  d.controls.push_back(change);  // 6
  for (int n : {toolbar::Insert, toolbar::Change, toolbar::NextRow}) {
    ui::ControlDesc b = Control(ControlType::Button, "");
    b.number = n;
    d.toolbar.push_back(b);
  }
  ProcedureWindow w("Tree");
  w.Load(d);
  w.Open();
  // the toolbar is numbered first: the controls follow it
  const int ok = w.Win().Number("?OK"), name = w.Win().Number("?NAME"), list = w.Win().Number("?LIST");
  const int insertButton = w.Win().Number("?INSERT"), changeButton = w.Win().Number("?CHANGE");
  TreeClient tree, other;
  tree.CONTROL = list, tree.INSERTBUTTON = insertButton, tree.CHANGEBUTTON = changeButton;
  other.CONTROL = name, other.INSERTBUTTON = ok;
  ToolbarRouter router;
  router.Attach(w);
  router.AddTarget(&tree, list);
  router.AddTarget(&other, name);
  while (w.Win().AcceptPending()) {}  // the window-opened event
  EXPECT_EQ(router.Current(), &tree);

  struct Step {
    int event, control;
  };
  std::vector<Step> seen;
  auto run = [&](std::vector<Step> steps) {
    seen.clear();
    for (Step s : steps) w.Win().Post(s.event, s.control);
    while (w.Win().AcceptPending()) {
      seen.push_back({w.Win().EventNo(), w.Win().Field()});
      w.DispatchEvent();
    }
  };
  run({{ev::Accepted, toolbar::Insert}, {ev::Accepted, toolbar::NextRow}});
  ASSERT_EQ(seen.size(), 3u);  // the insert button's accepted event follows
  EXPECT_EQ(seen[2].event, ev::Accepted);
  EXPECT_EQ(seen[2].control, insertButton);
  EXPECT_EQ(tree.buttons, std::vector<int>{toolbar::NextRow});

  w.Win().Disable(changeButton);
  run({{ev::Accepted, toolbar::Change}});
  EXPECT_EQ(seen.size(), 1u) << "a disabled button is not pressed";

  run({{ev::Selected, name}, {ev::Accepted, toolbar::Insert}});
  EXPECT_EQ(router.Current(), &other);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].control, ok);
}

void ExpectPlace(const ui::Window::Rect& r, const ui::Window::Rect& want) {
  EXPECT_EQ(r.x, want.x);
  EXPECT_EQ(r.y, want.y);
  EXPECT_EQ(r.width, want.width);
  EXPECT_EQ(r.height, want.height);
}

TEST_F(ClasslibWindow, ResizerKeepsControlsInProportion) {
  ui::WindowDesc d = Form();
  ui::ControlDesc menu = Control(ControlType::Menu, "?FILE");
  menu.children = {Control(ControlType::Item, "?EXIT")};
  d.menus = {menu};
  ProcedureWindow w("Sized");
  w.Load(d);
  w.Open();
  w.Win().Set(0, ui::Prop::Pixels, 1L);
  w.Win().SetPosition(0, 0, 0, 400, 200);
  const int list = w.Win().Number("?LIST"), ok = w.Win().Number("?OK"), name = w.Win().Number("?NAME");
  w.Win().SetPosition(list, 20, 40, 360, 80);
  w.Win().SetPosition(ok, 300, 160, 60, 20);
  w.Win().SetPosition(name, 20, 10, 100, 20);
  WindowResizer resizer;
  resizer.Setup(w);
  w.Win().SetPosition(0, 0, 0, 800, 300);  // as maximized
  while (w.Win().AcceptPending()) {}  // the window-opened event
  w.Win().Post(ev::Sized);
  ASSERT_TRUE(w.Win().AcceptPending());
  w.DispatchEvent();
  // the list takes the room; the button keeps its size, centred where the
  // scaled one would be; the entry keeps its height
  ExpectPlace(w.Win().Position(list), {40, 60, 720, 120});
  ExpectPlace(w.Win().Position(ok), {630, 245, 60, 20});
  ExpectPlace(w.Win().Position(name), {40, 20, 200, 20});
}

TEST(ClasslibResizer, EdgesAreScaledAndRounded) {
  using R = ui::Window::Rect;
  struct Case {
    R control, base, now, want;
  };
  const Case cases[] = {
      {{10, 10, 100, 12}, {0, 0, 200, 100}, {0, 0, 400, 150}, {20, 15, 200, 18}},
      // halves round away from zero at each edge; touching controls still touch
      {{3, 3, 3, 3}, {0, 0, 200, 100}, {0, 0, 300, 150}, {5, 5, 4, 4}},
      {{6, 6, 3, 3}, {0, 0, 200, 100}, {0, 0, 300, 150}, {9, 9, 5, 5}},
      // smaller than the base
      {{100, 50, 80, 40}, {0, 0, 200, 100}, {0, 0, 100, 50}, {50, 25, 40, 20}},
      // the window's own place does not count, only its size
      {{10, 10, 20, 20}, {30, 40, 100, 100}, {500, 500, 200, 100}, {20, 10, 40, 20}},
      // a base without a size leaves the control where it is
      {{10, 10, 20, 20}, {0, 0, 0, 100}, {0, 0, 200, 200}, {10, 10, 20, 20}},
  };
  for (const Case& c : cases) {
    ExpectPlace(WindowResizer::Place(c.control, c.base, c.now), c.want);
  }
  // what each kind of control keeps, smaller and larger than the base
  using K = WindowResizer::Keep;
  EXPECT_EQ(WindowResizer::KeepOf(ControlType::Button), K::Size);
  EXPECT_EQ(WindowResizer::KeepOf(ControlType::DropList), K::Height);
  EXPECT_EQ(WindowResizer::KeepOf(ControlType::List), K::Nothing);
  const R base{0, 0, 200, 100}, button{100, 80, 40, 14};
  ExpectPlace(WindowResizer::Place(button, base, {0, 0, 400, 200}, K::Size), {220, 167, 40, 14});
  ExpectPlace(WindowResizer::Place(button, base, {0, 0, 100, 50}, K::Size), {50, 40, 20, 7});
  ExpectPlace(WindowResizer::Place(button, base, {0, 0, 400, 200}, K::Height), {200, 167, 80, 14});
}

TEST_F(ClasslibWindow, ResizerPlacesTheControlsForARestoredSizeWhenTheWindowOpens) {
  ProcedureWindow w("Restored");
  w.Load(Form());
  w.Win().Set(0, ui::Prop::Pixels, 1L);
  w.Win().SetPosition(0, 0, 0, 400, 200);
  const int list = w.Win().Number("?LIST");
  w.Win().SetPosition(list, 20, 40, 360, 80);
  w.Open();
  WindowResizer resizer;
  resizer.Setup(w);
  int fitted = 0;
  resizer.AfterResize = [&] { ++fitted; };
  // what a restored position does: the window is larger before its
  // opened event is taken
  w.Win().SetPosition(0, 0, 0, 600, 400);
  ASSERT_TRUE(w.Win().AcceptPending());
  ASSERT_EQ(w.Win().EventNo(), ev::OpenWindow);
  w.DispatchEvent();
  ExpectPlace(w.Win().Position(list), {30, 80, 540, 160});
  EXPECT_EQ(fitted, 1);
  // opened at its own size: nothing moves
  ProcedureWindow same("Same");
  same.Load(Form());
  same.Open();
  WindowResizer still;
  still.Setup(same);
  still.AfterResize = [&] { ++fitted; };
  ASSERT_TRUE(same.Win().AcceptPending());
  same.DispatchEvent();
  EXPECT_EQ(fitted, 1);
}

TEST_F(ClasslibWindow, ContextMenuPostsTheChosenItemsEvent) {
  ProcedureWindow w("Menu");
  w.Load(Form());
  w.Open();
  ContextMenu menu;
  menu.Setup("&Insert|~&Change|-|&Delete");
  menu.SetItemEvent(3, ev::Accepted, 2);
  while (w.Win().AcceptPending()) {}
  for (int answer : {0, 1, 3}) {
    SCOPED_TRACE(answer);
    ui::Headless().AnswerPopup(answer);
    EXPECT_EQ(menu.Ask(w.Win()), answer);
    const bool posted = w.Win().AcceptPending();
    EXPECT_EQ(posted, answer == 3);
    if (posted) {
      EXPECT_EQ(w.Win().Field(), 2);
    }
  }
  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 3u);
  ASSERT_EQ(asked[0].popup.size(), 4u);
  EXPECT_TRUE(asked[0].popup[1].greyed);
  EXPECT_TRUE(asked[0].popup[2].rule);
}

TEST_F(ClasslibWindow, FilePickerKeepsItsSettingsAndClearsOnCancelWhenAsked) {
  FilePicker picker;
  picker.Init("Select PDF File", {.clearOnCancel = true});
  picker.AddMask("PDF Files", "*.pdf");
  picker.FileName = "old.pdf";
  ui::Headless().AnswerFile({"/home/u/a.pdf"});
  ASSERT_TRUE(picker.Ask());
  EXPECT_EQ(picker.FileName, "/home/u/a.pdf");
  EXPECT_FALSE(picker.Ask());  // cancelled
  EXPECT_EQ(picker.FileName, "");

  FilePicker attach;
  attach.Init("Choose File to Attach", {.multiple = true});
  attach.AddMasks("All|*.*|Text|*.txt");
  attach.FileName = "keep.txt";
  EXPECT_FALSE(attach.Ask());
  EXPECT_EQ(attach.FileName, "keep.txt");
  ui::Headless().AnswerFile({"/home/u/a.txt", "/home/u/b.txt"});
  ASSERT_TRUE(attach.Ask());
  EXPECT_EQ(attach.Names.size(), 2u);
  EXPECT_EQ(attach.FileName, ui::FileDialogText(attach.Names));

  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].file.title, "Select PDF File");
  EXPECT_EQ(asked[0].file.fileName, "old.pdf");
  ASSERT_EQ(asked[0].file.masks.size(), 1u);
  EXPECT_EQ(asked[0].file.masks[0].pattern, "*.pdf");
  EXPECT_TRUE(asked[3].file.multiple);
  ASSERT_EQ(asked[3].file.masks.size(), 2u);
  EXPECT_EQ(asked[3].file.masks[1].pattern, "*.txt");
}

TEST_F(ClasslibWindow, ErrorManagerMessagesShowAsMessageBoxes) {
  ui::InstallMessageHandler();
  ErrorReporter e;
  e.Setup();
  rt::SetError(rt::kFileNotFound);
  e.ThrowFile(Msg::OpenFailed, "PageControls");
  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, ui::HeadlessBackend::Asked::Message);
  EXPECT_EQ(asked[0].message.caption, "Error");
  EXPECT_EQ(asked[0].message.text.rfind("Unable to open PageControls:", 0), 0u);
  rt::ClearError();
}

}  // namespace

// ---- field history and the type-ahead locator

namespace {

void Pump(ProcedureWindow& w) {
  while (w.Win().IsOpen() && w.Win().AcceptPending())
    if (w.DispatchEvent() == kFatal) break;
}

}  // namespace

TEST_F(ClasslibWindowRecord, HistoryKeyPutsBackOneListedField) {
  constexpr int kHistory = ui::key::Ctrl | 'H';
  constexpr int kId = 5;
  // A window on the Items record: ?NAME takes part in the history, the
  // ID entry (created at run time) does not.
  auto open = [&](ProcedureWindow& w, FieldHistory& history, int request) {
    w.Primary = &fm;
    w.Request = request;
    w.OkControl = 1;
    w.CancelControl = 2;
    w.Load(Form("Item"));
    w.Open();
    ASSERT_EQ(w.Win().CreateControl(ControlType::Entry, kId), kId);
    w.Win().Unhide(kId);
    w.Win().Bind(3, ui::UseVar::Of(rec.name));
    w.Win().Bind(kId, ui::UseVar{&rec.id, sizeof rec.id, ui::UseKind::Long});
    history.Setup(w, kHistory, *decl);
    ASSERT_TRUE(history.AddField(3, "ITM:NAME"));
    EXPECT_FALSE(history.AddField(4, "ITM:NOSUCHFIELD"));
    w.Win().Display();
    Pump(w);
  };
  auto shown = [](ProcedureWindow& w, int control) { return rt::Clip(w.Win().Get(control, ui::Prop::ScreenText)); };

  // a new record before any was saved: the key gives the prepared value
  {
    fm.PrimeRecord();
    rec.name = "Draft";
    ProcedureWindow w("UpdateItem");
    FieldHistory history;
    open(w, history, request::Insert);
    w.Win().InputType(3, "Invoice");
    ASSERT_TRUE(w.Win().InputKey(3, kHistory));
    Pump(w);
    EXPECT_EQ(shown(w, 3), "Draft");
    w.Win().InputType(3, "Invoice");
    w.Win().Post(ev::Accepted, 1);
    Pump(w);
    ASSERT_EQ(w.Response, response::Completed);
  }
  const int32_t id = rec.id;
  // a change: the key undoes the edit of its field and of no other
  {
    fm.SetKey(1);
    ASSERT_EQ(fm.Next(), kBenign);
    ProcedureWindow w("UpdateItem");
    FieldHistory history;
    open(w, history, request::Change);
    w.Win().InputType(3, "Wrong");
    w.Win().InputType(kId, "77");
    EXPECT_FALSE(w.Win().InputKey(kId, kHistory)) << "the key is not alerted on a field outside the list";
    ASSERT_TRUE(w.Win().InputKey(3, kHistory));
    Pump(w);
    EXPECT_EQ(shown(w, 3), "Invoice");
    EXPECT_EQ(shown(w, kId), "77");
    EXPECT_EQ(rec.id, id) << "the other field's record value is untouched";
    w.Win().InputType(kId, std::to_string(id));
    w.Win().InputType(3, "Receipt");
    w.Win().Post(ev::Accepted, 1);
    Pump(w);
    ASSERT_EQ(w.Response, response::Completed);
  }
  // the next new record: the key repeats the value of the record saved last
  {
    fm.PrimeRecord();
    ProcedureWindow w("UpdateItem");
    FieldHistory history;
    open(w, history, request::Insert);
    EXPECT_EQ(shown(w, 3), "");
    ASSERT_TRUE(w.Win().InputKey(3, kHistory));
    Pump(w);
    EXPECT_EQ(shown(w, 3), "Receipt");
    EXPECT_NE(rec.id, id) << "the new record keeps its own number";
    // a read-only field is left alone
    w.Win().InputType(3, "Other");
    w.Win().Update(3);
    w.Win().Set(3, ui::Prop::ReadOnly, 1L);
    EXPECT_FALSE(history.Restore(3));
    EXPECT_EQ(rt::Clip(rec.name.View()), "Other");
    w.Win().Post(ev::Accepted, 2);
    Pump(w);
    EXPECT_EQ(w.Response, response::Cancelled);
  }
  EXPECT_EQ(Count(), 1);
}

TEST_F(ClasslibWindow, LocatorSelectsTheRowOfTheTypedPrefix) {
  struct Names : ui::RowSource {
    std::vector<std::string> rows;
    long Rows() const override { return static_cast<long>(rows.size()); }
    std::string Field(long row, int) const override { return rows[static_cast<size_t>(row - 1)]; }
  } names;
  names.rows = {"Alpha", "beta", "Beta 2", "Delta"};
  ProcedureWindow w("Locate");
  w.Load(Form());
  w.Open();
  const int list = w.Win().Number("?LIST");
  w.Win().SetRows(list, &names);
  TypeAheadLocator locator;
  locator.Init(w.Win(), list, [&] { return names.Rows(); }, [&](long row) { return names.Field(row, 1); });
  struct Case {
    const char* typed;
    long row;
  };
  for (Case c : {Case{"B", 2}, Case{"BETA 2", 3}, Case{"BETA ", 3}, Case{"C", 4}, Case{"Z", 4}, Case{"ALPHA", 1},
                 Case{"0", 1}}) {
    SCOPED_TRACE(c.typed);
    locator.Reset();
    w.Win().Set(list, ui::Prop::Selected, 0L);
    for (const char* k = c.typed; *k; ++k) {
      const int code = *k == ' ' ? ui::key::Space : *k;
      EXPECT_TRUE(w.Win().InputKey(list, code)) << "alerted on the list";
      ASSERT_TRUE(w.Win().AcceptPending());  // pre-alert
      ASSERT_TRUE(w.Win().AcceptPending());
      EXPECT_TRUE(locator.TakeKey(w.Win().Keycode()));
    }
    EXPECT_EQ(w.Win().GetLong(list, ui::Prop::Selected), c.row);
    EXPECT_EQ(locator.Typed(), c.typed);
  }
  EXPECT_FALSE(locator.TakeKey(ui::key::Ctrl | 'H'));
  EXPECT_FALSE(locator.TakeKey(ui::key::Enter));
  names.rows.clear();
  locator.Reset();
  w.Win().Set(list, ui::Prop::Selected, 0L);
  EXPECT_TRUE(locator.TakeKey('A'));
  EXPECT_EQ(w.Win().GetLong(list, ui::Prop::Selected), 0);
}
