#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "forms.h"
#include "frame_fixture.h"
#include "velmora/editor/formeditor.h"
#include "velmora/app/settings.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/ui/events.h"
#include "velmora/win/win.h"

namespace {

using apptest::Started;
using data::FileId;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class AppFrame : public apptest::FrameFixture {};

TEST_F(AppFrame, OpensWithGettingStartedHoldsPageControlsAndSavesItsPosition) {
  std::filesystem::remove_all("data");
  app::INIMgr().UpdatePosition("Main", {20, 30, 400, 260, false});
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  auto manual = ui::WaitForWindow("Getting Started");
  ASSERT_NE(manual, nullptr);

  EXPECT_TRUE(std::filesystem::is_directory("data"));
  for (const char* f : {"forms.tps", "pdffrm.tps", "formpage.tps", "pagecont.tps", "fieldval.tps",
                        "FILLEDFO.TPS", "filledda.tps"})
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path("data") / f)) << f;
  ASSERT_NE(pages_, nullptr);
  EXPECT_TRUE(pages_->IsOpen()) << "held open while the frame runs";
  EXPECT_EQ(app::FrameThread(), frame->Thread());
  EXPECT_NE(manual->Thread(), frame->Thread());
  EXPECT_EQ(Starts(), (std::vector<Started>{{"ViewManual", 0, {}, manual->Thread()}}));
  const ui::Window::Rect r = frame->Position(0);
  EXPECT_EQ(r.x, 20);
  EXPECT_EQ(r.width, 400);
  EXPECT_EQ(cl::SystemIcon(), "~C:\\Tavrel6\\icons\\edit.ico");
  EXPECT_EQ(frame->Get(0, ui::Prop::Icon), cl::SystemIcon());
  EXPECT_EQ(manual->Get(0, ui::Prop::Icon), cl::SystemIcon());

  frame->SetPosition(0, 44, 55, 500, 300);
  CloseFrame();
  EXPECT_FALSE(pagesOpenAfter_);
  EXPECT_TRUE(ui::OpenWindows().empty());
  cl::WindowPosition saved;
  ASSERT_TRUE(app::INIMgr().FetchPosition("Main", saved));
  EXPECT_EQ(saved.x, 44);
  EXPECT_EQ(saved.height, 300);
  EXPECT_TRUE(app::INIMgr().FetchPosition("ViewManual", saved));
  EXPECT_TRUE(data::GlobalErrors().Procedure().empty());
}

TEST_F(AppFrame, EveryCommandStartsItsProcedureOnANewThread) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  struct Case {
    int control;
    Started start;
    const char* caption;
  } cases[] = {
      {-3, {"ApplicationSetup", 25000, {}, 0}, "Application Setup"},
      {-10, {"ShowAll", 25000, {}, 0}, "Forms"},
      {-10, {"ShowAll", 25000, {}, 0}, "Forms"},  // twice: two windows
      {-11, {"FormEditor", 25000, {"3"}, 0}, "Form Editor"},
      {-17, {"ViewManual", 25000, {}, 0}, "Getting Started"},
      {-18, {"ViewManual", 25000, {}, 0}, "Getting Started"},  // the three help actions
      {-19, {"ViewManual", 25000, {}, 0}, "Getting Started"},
      {-20, {"ViewManual", 25000, {}, 0}, "Getting Started"},
      {-21, {"AboutWindow", 25000, {}, 0}, "About Velmora"},
      {-23, {"ApplicationSetup", 25000, {}, 0}, "Application Setup"},
      {-24, {"ShowAll", 25000, {}, 0}, "Forms"},
      {-25, {"ShowFilledFormsTree", 25000, {}, 0}, "Filled Documents"},
  };
  std::set<int> threads = {frame->Thread()};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    const size_t before = Windows(c.caption).size();
    ASSERT_TRUE(frame->InputAccept(c.control));
    ASSERT_TRUE(WaitForWindows(c.caption, before + 1));
    Started s = Starts().back();
    EXPECT_EQ(s.name, c.start.name);
    EXPECT_EQ(s.stack, c.start.stack);
    EXPECT_EQ(s.args, c.start.args);
    bool found = false;
    for (auto& w : Windows(c.caption)) found = found || w->Thread() == s.thread;
    EXPECT_TRUE(found) << "the window opened on the started thread";
    EXPECT_TRUE(threads.insert(s.thread).second) << "a thread of its own";
    for (auto& w : Windows(c.caption)) EXPECT_EQ(w->GetLong(0, ui::Prop::Mdi), 1) << "inside the frame";
  }
  CloseFrame();
  EXPECT_TRUE(ui::OpenWindows().empty()) << "closing the frame closed every child";
}

TEST_F(AppFrame, HiddenItemsAreInTheMenuButCannotBeChosen) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  const std::vector<ui::ChildEntry> items = frame->Children(frame->Number("?BROWSE"));
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].number, -10);
  EXPECT_EQ(items[1].number, -11);
  EXPECT_EQ(items[2].number, 0);
  EXPECT_TRUE(items[2].hidden) << "the rule before the hidden items";
  EXPECT_EQ(items[3].number, -12);
  EXPECT_EQ(items[4].number, -13);
  EXPECT_EQ(frame->Number("?BROWSEFORMSTREE"), -12);
  EXPECT_EQ(frame->Number("?BROWSEFILLEDDOCUMENTS"), -13);
  for (int hidden : {-12, -13}) {
    EXPECT_FALSE(frame->IsShown(hidden));
    EXPECT_FALSE(frame->InputAccept(hidden));
  }
  EXPECT_TRUE(frame->IsShown(-10));
  // the Help menu's rules are shown
  for (const ui::ChildEntry& e : frame->Children(-27)) EXPECT_FALSE(e.hidden);
  EXPECT_EQ(Starts().size(), 1u) << "only the Getting Started window";
}

TEST_F(AppFrame, MenusAndToolbarCarryTheirNumbersTipsAndIcons) {
  ui::WindowDesc d = app::FrameWindow();
  auto frame = ui::Window::Create(d);
  struct Case {
    const char* use;
    int number;
    const char* tip;
    const char* icon;
  } cases[] = {
      {"?PRINTSETUP", -2, "Setup Printer", ""},
      {"?EXIT", -4, "Exit this application", ""},
      {"?CUT", -6, "Remove item to Windows Clipboard", ""},
      {"?PASTE", -8, "Paste contents of Windows Clipboard", ""},
      {"?TILE", -14, "Make all open windows visible", ""},
      {"?ARRANGE", -16, "Align all window icons", ""},
      {"?HELPMANUAL", -17, "", ""},
      {"?HELPABOUT", -21, "", ""},
      {"?EXITBUTTON", -22, "", "cancel.ico"},
      {"?SETUP", -23, "Application Default Settings", "settings.ico"},
      {"?SHOWFORMS", -24, "Show Forms", "folder new.ico"},
      {"?LISTFILLEDSHOWFORMS", -25, "List Filled Forms", "open.ico"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.use);
    EXPECT_EQ(frame->Number(c.use), c.number);
    EXPECT_EQ(frame->Get(c.number, ui::Prop::Tip), c.tip);
    EXPECT_EQ(frame->Get(c.number, ui::Prop::Icon), c.icon);
    if (*c.icon) {
      EXPECT_FALSE(ui::FindResource(c.icon).empty()) << "our own asset";
    }
  }
  EXPECT_EQ(frame->Get(-22, ui::Prop::Text), "Exit");
  EXPECT_EQ(frame->GetLong(-4, ui::Prop::Std), static_cast<long>(ui::StdAction::Close));
  EXPECT_EQ(frame->Get(0, ui::Prop::ToolbarBackground), "grybkgnd.gif");
  EXPECT_FALSE(ui::FindResource("grybkgnd.gif").empty());
  EXPECT_FALSE(ui::FindResource("edit.ico").empty());
  std::vector<long> xs;
  for (const ui::ChildEntry& e : frame->Children(ui::Window::kToolbar)) xs.push_back(frame->Position(e.number).x);
  EXPECT_EQ(xs, (std::vector<long>{0, 24, 48, 72}));
}

TEST_F(AppFrame, ExitQuestionNoKeepsTheFrameYesClosesItAndEveryChild) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  ui::Headless().AnswerMessage(ui::button::No);
  ASSERT_TRUE(frame->InputAccept(-22));
  // The frame still answers a command after the No.
  ASSERT_TRUE(frame->InputAccept(-21));
  ASSERT_TRUE(WaitForWindows("About Velmora", 1));
  EXPECT_TRUE(frame->IsOpen());
  auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].message.text, "Do you want to exit?");
  EXPECT_EQ(asked[0].message.caption, "Velmora");
  EXPECT_EQ(asked[0].message.icon, ui::icon::Question);
  EXPECT_EQ(asked[0].message.buttons, ui::button::Yes | ui::button::No);
  EXPECT_EQ(asked[0].message.defaultButton, ui::button::No);

  ui::Headless().AnswerMessage(ui::button::Yes);
  ASSERT_TRUE(frame->InputAccept(-22));
  rt::WaitForThreads();
  EXPECT_FALSE(frame->IsOpen());
  EXPECT_TRUE(ui::OpenWindows().empty());
  for (const Started& s : Starts()) EXPECT_NE(s.name, "FormEditor") << "the frame was closing";
}

// The frame's Exit asks an editor holding unsaved values first; Cancel
// there keeps the program running.
TEST_F(AppFrame, ExitAsksTheEditorsFirstAndCancelKeepsTheProgram) {
  const std::string pdf = forms::MakeForm((dir_ / "form.pdf").string());
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  // the import and the editor are slow under load: every wait is generous
  const auto kLong = std::chrono::seconds(120);
  auto manual = ui::WaitForWindow("Getting Started", kLong);
  ASSERT_NE(manual, nullptr);
  manual->InputClose();
  ASSERT_TRUE(ui::WaitUntil([&] { return Windows("Form Editor").size() >= 1; }, kLong));
  auto editorWindow = Windows("Form Editor").front();
  ui::Headless().AnswerFile({rt::WindowsPath(pdf)});
  ui::Headless().AnswerMessage(ui::button::Yes);  // the document's fields
  ASSERT_TRUE(editorWindow->InputAccept(editor::kPdfOpen));
  editor::FormEditor* ed = nullptr;
  ASSERT_TRUE(ui::WaitUntil([&] {
    ed = editor::EditorOfWindow(editorWindow->GetLong(0, ui::Prop::Handle));
    return ed && ed->FormId != 0 && !ed->Busy() && editorWindow->PendingEvents() == 0;
  }, kLong));
  int notes = 0;
  for (long i = 1; i <= ed->Queue.Count(); ++i)
    if (rt::Clip(ed->Queue.At(i).NAME.View()) == "notes") notes = ed->Queue.At(i).CTLNO;
  ASSERT_TRUE(editorWindow->InputType(notes, "typed"));
  const size_t asked = ui::Headless().AskedDialogs().size();
  ui::Headless().AnswerMessage(ui::button::Cancel);
  ASSERT_TRUE(frame->InputAccept(-4));  // E&xit
  ASSERT_TRUE(ui::WaitUntil([&] { return ui::Headless().AskedDialogs().size() > asked; }, kLong));
  EXPECT_EQ(ui::Headless().AskedDialogs().back().message.text.rfind("Save the changes to FORM Created: ", 0), 0u)
      << ui::Headless().AskedDialogs().back().message.text;
  // the frame answers a command again: it stayed, with the editor
  ASSERT_TRUE(frame->InputAccept(-21));
  ASSERT_TRUE(ui::WaitUntil([&] { return Windows("About Velmora").size() >= 1; }, kLong));
  EXPECT_TRUE(frame->IsOpen());
  EXPECT_TRUE(editorWindow->IsOpen());
  // No: the editor goes without saving, and the program ends
  ui::Headless().AnswerMessage(ui::button::No);
  ASSERT_TRUE(frame->InputAccept(-4));
  rt::WaitForThreads();
  EXPECT_TRUE(ui::OpenWindows().empty());
}

TEST_F(AppFrame, GettingStartedClosingOpensAnEmptyEditorUnlessTheFrameCloses) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  auto manual = ui::WaitForWindow("Getting Started");
  ASSERT_NE(manual, nullptr);
  manual->InputClose();
  ASSERT_TRUE(WaitForWindows("Form Editor", 1));
  EXPECT_EQ(Starts().back().name, "FormEditor");
  EXPECT_EQ(Starts().back().args, std::vector<std::string>{"3"});
  EXPECT_EQ(Starts().back().stack, 25000u);

  // Opened again from Help and closed again: another editor.
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  Windows("Getting Started").front()->InputClose();
  ASSERT_TRUE(WaitForWindows("Form Editor", 2));

  // Closed with the frame (File, Exit): no editor after that.
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  const size_t startsBefore = Starts().size();
  ASSERT_TRUE(frame->InputAccept(-4));
  rt::WaitForThreads();
  EXPECT_TRUE(ui::OpenWindows().empty());
  EXPECT_EQ(Starts().size(), startsBefore);
}

TEST_F(AppFrame, NoEditorAfterGettingStartedWhenOpenEditorIsOff) {
  ASSERT_TRUE(app::WriteSetting("Open Editor", 0));
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  auto manual = ui::WaitForWindow("Getting Started");
  ASSERT_NE(manual, nullptr);
  manual->InputClose();
  // Its close posted 1224 before the window went; the frame takes the next
  // Getting Started command after it.
  ASSERT_TRUE(ui::WaitUntil([&] { return Windows("Getting Started").empty(); }));
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  for (const Started& s : Starts()) EXPECT_NE(s.name, "FormEditor");
  ASSERT_TRUE(frame->InputAccept(-4));
  rt::WaitForThreads();
}

// The frame as the program runs it: on thread 1 inside ProgramMain, ended
// from the File menu by another thread.
TEST_F(AppFrame, ProgramMainRunsTheFrameUntilExitAndRestoresTheDragSetting) {
  auto drag = [] {
    win::BOOL v = -1;
    win::SystemParametersInfoA(win::SPI_GETDRAGFULLWINDOWS, 0, &v, 0);
    return v;
  };
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr, win::SPIF_UPDATEINIFILE);
  std::atomic<int> during{-1};
  std::atomic<bool> sawFrame{false};
  std::thread user([&] {
    const auto kLong = std::chrono::seconds(120);
    auto frame = ui::WaitForWindow("Velmora", kLong);
    if (frame && ui::WaitForWindow("Getting Started", kLong)) {
      sawFrame = frame->Thread() == 1;
      during = drag();
      // Exit until the frame takes it: a command sent while it cannot take
      // input is refused
      ui::WaitUntil([&] { return !frame->IsOpen() || frame->InputAccept(-4); }, kLong);
    }
    // whatever went wrong, ProgramMain must return for the test to end
    if (!ui::WaitUntil([&] { return ui::OpenWindows().empty(); }, kLong))
      for (auto& w : ui::OpenWindows()) w->InputClose();
  });
  app::ProgramMain();
  app::DictionaryExitHook();
  user.join();
  EXPECT_TRUE(sawFrame) << "the frame ran on thread 1";
  EXPECT_EQ(during, 0);
  EXPECT_EQ(drag(), 1);
  rt::WaitForThreads();
  EXPECT_TRUE(ui::OpenWindows().empty());
  app::INIMgr().Setup("Quintrel.INI");  // ProgramMain tore it down
}

// A child that is slow to finish still saves its position into
// "Quintrel.INI": ProgramMain tears the settings manager down only after
// Main has seen every window go.
TEST_F(AppFrame, MainReturnsOnlyOnceEveryChildHasClosedAndSavedItsPosition) {
  std::atomic<int> running{0};
  app::SetProcedureStarter([&](std::string_view, app::ProcedureBody body, uint32_t stack,
                               std::vector<std::string> args) {
    ++running;
    return rt::Start(
        [&running, body](std::vector<std::string> a) {
          body(std::move(a));
          rt::UnlockThread();
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          rt::LockThread();
          --running;
        },
        stack, std::move(args));
  });
  std::atomic<int> runningAfterMain{-1};
  app::SetFrame([&] {
    app::Main();
    runningAfterMain = running.load();
  });
  std::thread user([] {
    auto frame = ui::WaitForWindow("Velmora");
    if (!frame || !ui::WaitForWindow("Getting Started")) return;
    frame->InputAccept(-10);
    if (ui::WaitForWindow("Forms")) frame->InputAccept(-4);
  });
  app::ProgramMain();
  app::DictionaryExitHook();
  user.join();
  app::SetFrame(nullptr);
  app::INIMgr().Setup("Quintrel.INI");  // ProgramMain tore it down
  EXPECT_EQ(runningAfterMain, 0);
  cl::WindowPosition saved;
  for (const char* procedure : {"Main", "ShowAll", "ViewManual"})
    EXPECT_TRUE(app::INIMgr().FetchPosition(procedure, saved)) << procedure;
  EXPECT_EQ(Slurp("config/Velmora/WIN.INI"), "");
}

TEST_F(AppFrame, ForeignTruncatedOrLockedFileIsReportedAndUntouched) {
  ASSERT_NE(StartFrame(), nullptr);
  CloseFrame();
  const std::string db = Slurp("data/forms.tps");
  struct Case {
    const char* what;
    std::string content;
    bool lock;
    const char* code;
  } cases[] = {
      {"foreign", "%PDF-1.4 not a data file\n", false, "(36)"},
      {"truncated", db.substr(0, db.size() / 3), false, "(36)"},
      {"locked", db, true, "(5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    { std::ofstream("data/forms.tps", std::ios::binary | std::ios::trunc) << c.content; }
    std::unique_ptr<db::FileDecl> holder;
    if (c.lock) {
      holder = data::Declaration(FileId::Forms).Clone();
      db::Open(*holder, db::kReadWrite | db::kDenyAll);
      ASSERT_EQ(rt::ErrorCode(), 0);
    }
    ui::Headless().Reset();
    auto frame = StartFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(pages_->IsOpen());
    CloseFrame();
    if (holder) db::Close(*holder);
    auto asked = ui::Headless().AskedDialogs();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0].message.text.rfind("Unable to open Forms (" + (dir_ / "data/forms.tps").string() + "): ", 0),
              0u)
        << asked[0].message.text;
    EXPECT_NE(asked[0].message.text.find(c.code), std::string::npos) << asked[0].message.text;
    EXPECT_EQ(Slurp("data/forms.tps"), c.content);
  }
}

// Two damaged files and a missing one at start-up: the user hears of each
// damaged file by its path, and every other file is still opened or made.
TEST_F(AppFrame, EveryFileIsTriedAtStartAndEachFailureIsReported) {
  ASSERT_NE(StartFrame(), nullptr);
  CloseFrame();
  for (const char* damaged : {"data/forms.tps", "data/fieldval.tps"}) {
    std::filesystem::remove(std::string(damaged) + "-wal");
    std::filesystem::remove(std::string(damaged) + "-shm");
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << "%PDF-1.4 not a data file\n";
  }
  std::filesystem::remove("data/filledda.tps");
  ui::Headless().Reset();
  ASSERT_NE(StartFrame(), nullptr);
  ASSERT_TRUE(WaitForWindows("Getting Started", 1)) << "the frame runs on";
  CloseFrame();
  std::vector<std::string> texts;
  for (const auto& a : ui::Headless().AskedDialogs())
    if (a.kind == ui::HeadlessBackend::Asked::Message) texts.push_back(a.message.text);
  ASSERT_EQ(texts.size(), 2u);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts[0].rfind("Unable to open FieldValues (" + (dir_ / "data/fieldval.tps").string() + "): ", 0), 0u)
      << texts[0];
  EXPECT_EQ(texts[1].rfind("Unable to open Forms (" + (dir_ / "data/forms.tps").string() + "): ", 0), 0u)
      << texts[1];
  for (const std::string& t : texts) EXPECT_NE(t.find("(36)"), std::string::npos) << t;
  EXPECT_TRUE(std::filesystem::exists("data/filledda.tps")) << "made although others failed";
}

}  // namespace
