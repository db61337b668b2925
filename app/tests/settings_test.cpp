// The Application Setup, Getting Started and About windows, headless.
#include <filesystem>
#include <fstream>

#include "frame_fixture.h"
#include "velmora/app/settings.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/keys.h"
#include "velmora/win/win.h"
#include "xdg_fixture.h"

namespace {

using ui::Prop;

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class AppSettingsWindow : public apptest::FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    frame_ = StartFrame();
    ASSERT_NE(frame_, nullptr);
  }
  // Opens Application Setup from the File menu.
  std::shared_ptr<ui::Window> OpenSetup() {
    EXPECT_TRUE(frame_->InputAccept(-3));
    EXPECT_TRUE(WaitForWindows("Application Setup", 1));
    auto w = Windows("Application Setup").front();
    // set-up is over once the samples show their colours
    EXPECT_TRUE(ui::WaitUntil([&] { return w->GetLong(13, Prop::Color) != -1; }));
    return w;
  }
  void Closed() {
    EXPECT_TRUE(ui::WaitUntil([&] { return Windows("Application Setup").empty(); }));
  }
  std::filesystem::path Registry() const { return win::UserStoreFolder() + "registry.ini"; }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) texts.push_back(a.message.caption + ": " + a.message.text);
    return texts;
  }
  std::shared_ptr<ui::Window> frame_;
};

TEST_F(AppSettingsWindow, EmptyKeyShowsTheDefaultsAndTransparentDisablesTheFieldColours) {
  auto w = OpenSetup();
  EXPECT_EQ(w->GetLong(5, Prop::Color), 0x00FFFF);
  EXPECT_EQ(w->GetLong(8, Prop::Color), 0xFFFF80);
  EXPECT_EQ(w->GetLong(10, Prop::Color), 0xFF00FF);
  EXPECT_EQ(w->GetLong(13, Prop::Color), 0xFF0000);
  EXPECT_EQ(w->GetLong(17, Prop::Checked), 1);  // Flat
  EXPECT_EQ(w->GetLong(18, Prop::Checked), 0);  // Transparent
  EXPECT_EQ(w->GetLong(19, Prop::Checked), 1);  // Boxed
  EXPECT_EQ(w->GetLong(20, Prop::Checked), 1);  // Open Editor
  for (int n : {5, 6, 8, 9, 10, 11, 13, 14}) EXPECT_EQ(w->GetLong(n, Prop::Disable), 0) << n;
  // no help stands behind "?": the button is not shown and takes no click
  ASSERT_NE(w->Number("?HELP"), 0);
  EXPECT_FALSE(w->IsShown(w->Number("?HELP")));
  EXPECT_FALSE(w->InputAccept(w->Number("?HELP")));

  ASSERT_TRUE(w->InputAccept(18));
  ASSERT_TRUE(ui::WaitUntil([&] { return w->GetLong(9, Prop::Disable) == 1; }));
  for (int n : {5, 6, 8, 9}) EXPECT_EQ(w->GetLong(n, Prop::Disable), 1) << n;
  for (int n : {10, 11, 13, 14}) EXPECT_EQ(w->GetLong(n, Prop::Disable), 0) << n;
  ASSERT_TRUE(w->InputAccept(18));
  ASSERT_TRUE(ui::WaitUntil([&] { return w->GetLong(9, Prop::Disable) == 0; }));
  EXPECT_EQ(w->GetLong(5, Prop::Disable), 0);

  // a transparent setting read back disables them when the window opens
  ASSERT_TRUE(app::WriteSetting("Field Transparent", 1));
  ASSERT_TRUE(w->InputAccept(21));  // &Cancel
  Closed();
  auto again = OpenSetup();
  EXPECT_EQ(again->GetLong(18, Prop::Checked), 1);
  EXPECT_EQ(again->GetLong(6, Prop::Disable), 1);
}

TEST_F(AppSettingsWindow, CancelledDialogAndCancelKeepEverythingOkWritesWhatTheEditorReads) {
  auto w = OpenSetup();
  ui::Headless().AnswerColor(std::nullopt);
  ASSERT_TRUE(w->InputAccept(6));
  ASSERT_TRUE(ui::WaitUntil([] { return !ui::Headless().AskedDialogs().empty(); }));
  EXPECT_EQ(ui::Headless().AskedDialogs().back().title, "Choose Field Color");
  ui::Headless().AnswerColor(0x123456);
  ASSERT_TRUE(w->InputAccept(14));
  ASSERT_TRUE(ui::WaitUntil([&] { return w->GetLong(13, Prop::Color) == 0x123456; }));
  EXPECT_EQ(ui::Headless().AskedDialogs().back().title, "Choose Selected Radio Button Field Color");
  EXPECT_EQ(w->GetLong(5, Prop::Color), 0x00FFFF);  // the cancelled one
  ASSERT_TRUE(w->InputAccept(21));                  // &Cancel
  Closed();
  EXPECT_EQ(Slurp(Registry()).find("Velmora"), std::string::npos) << Slurp(Registry());

  w = OpenSetup();
  ui::Headless().AnswerColor(0x0000FF);
  ASSERT_TRUE(w->InputAccept(9));
  ASSERT_TRUE(ui::WaitUntil([&] { return w->GetLong(8, Prop::Color) == 0x0000FF; }));
  ASSERT_TRUE(w->InputAccept(17));  // Flat off
  ASSERT_TRUE(w->InputAccept(20));  // Open Editor off
  ASSERT_TRUE(w->InputAccept(22));  // &OK
  Closed();
  const app::AppSettings s = app::ReadSettings();
  EXPECT_EQ(s.fieldColor, 0x00FFFF);
  EXPECT_EQ(s.selectedFieldColor, 0x0000FF);
  EXPECT_EQ(s.rbFieldColor, 0xFF00FF);
  EXPECT_EQ(s.fieldFlat, 0);
  EXPECT_EQ(s.fieldBoxed, 1);
  EXPECT_EQ(s.openEditor, 0);
  // every value is written, as a number, in the window's order
  const std::string text = Slurp(Registry());
  size_t at = 0;
  for (const char* line : {"Field Color=65535", "Selected Field Color=255", "Field Transparent=0", "Field Flat=0",
                           "Field Boxed=1", "RB Field Color=16711935", "SRB Field Color=16711680", "Open Editor=0"}) {
    size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << text;
    at = found;
  }
  EXPECT_TRUE(Messages().empty());
}

// The lock wait of the data files comes from "Lock Wait", in seconds:
// 30 when it is not set or not a wait, at most an hour.
TEST_F(AppSettingsWindow, LockWaitIsTakenFromTheSettings) {
  EXPECT_EQ(db::LockWait(), 30);  // the program started with nothing set
  const struct {
    const char* value;
    int seconds;
  } cases[] = {{"5", 5}, {"0", 0}, {"-4", 30}, {"99999", 3600}, {"", 30}};
  for (const auto& c : cases) {
    ASSERT_TRUE(win::PutReg(win::HKEY_CURRENT_USER, std::string(app::kSettingsKey), "Lock Wait", c.value,
                            win::REG_SZ));
    app::ApplyLockWaitSetting();
    EXPECT_EQ(db::LockWait(), c.seconds) << c.value;
  }
}

TEST_F(AppSettingsWindow, FailedWriteSaysSoAndLeavesTheEarlierSettingsWhole) {
  ASSERT_TRUE(app::WriteSetting("Field Color", 0x00FF00));
  const std::string before = Slurp(Registry());
  // the store writes through a temporary file; make it impossible
  std::filesystem::create_directories(Registry().string() + ".tmp" + std::to_string(getpid()));
  auto w = OpenSetup();
  EXPECT_EQ(w->GetLong(5, Prop::Color), 0x00FF00);
  ASSERT_TRUE(w->InputAccept(1));  // the toolbar's OK
  Closed();
  EXPECT_EQ(Messages(), std::vector<std::string>(8, "Error: Error writing to the registry."));
  EXPECT_EQ(Slurp(Registry()), before);
  std::filesystem::remove_all(Registry().string() + ".tmp" + std::to_string(getpid()));
}

// ---- Getting Started

class AppManual : public apptest::FrameFixture {
 protected:
  void TearDown() override {
    rt::SetCommandLine(std::vector<std::string>{"app_tests"});
    FrameFixture::TearDown();
  }
  std::string Shown(const std::shared_ptr<ui::Window>& w) {
    ui::WaitUntil([&] { return !w->Get(2, Prop::ScreenText).empty(); });
    return w->Get(2, Prop::ScreenText);
  }
};

TEST_F(AppManual, TheManualIsFoundHereOrBesideTheProgramAndNeverEmpty) {
  // beside the program, when the current folder has none
  rt::SetCommandLine(std::vector<std::string>{rt::WindowsPath(VELMORA_PROGRAM_DIR "/velmora")});
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  auto manual = ui::WaitForWindow("Getting Started");
  ASSERT_NE(manual, nullptr);
  std::string text = Shown(manual);
  for (const char* heading : {"Importing a PDF as a form", "Designing fields", "Data sets and filling in",
                              "Saving, printing and e-mailing PDFs", "Importing values from PDF and FDF files",
                              "Settings", "Where your data lives"})
    EXPECT_NE(text.find(heading), std::string::npos) << heading;
  EXPECT_EQ(manual->GetLong(2, Prop::RichText), 1);
  // headings are bold in the view
  const std::string html = manual->Get(2, Prop::Html);
  const size_t heading = html.find("Designing fields");
  ASSERT_NE(heading, std::string::npos);
  EXPECT_NE(html.rfind("<b>", heading), std::string::npos);
  EXPECT_LT(heading - html.rfind("<b>", heading), 60u);
  manual->InputAccept(1);  // Close Window
  ASSERT_TRUE(WaitForWindows("Form Editor", 1));

  // the current folder's own manual comes first
  std::ofstream("manual.rtf") << "{\\rtf1\\ansi Our own notes\\par}";
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  EXPECT_EQ(Shown(Windows("Getting Started").front()), "Our own notes\n");
  Windows("Getting Started").front()->InputClose();
  ASSERT_TRUE(WaitForWindows("Form Editor", 2));

  // neither: a line that says so
  std::filesystem::remove("manual.rtf");
  rt::SetCommandLine(std::vector<std::string>{"\\nowhere\\velmora"});
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  EXPECT_EQ(Shown(Windows("Getting Started").front()),
            "The manual (manual.rtf) was found neither in the current folder nor beside the program.");
}

TEST_F(AppManual, TwoCopiesClosedEachPostTheirEvent) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(WaitForWindows("Getting Started", 1));
  ASSERT_TRUE(frame->InputAccept(-17));
  ASSERT_TRUE(WaitForWindows("Getting Started", 2));
  auto copies = Windows("Getting Started");
  copies[0]->InputClose();  // the close box
  ASSERT_TRUE(WaitForWindows("Form Editor", 1));
  copies[1]->InputAccept(1);  // Close Window
  ASSERT_TRUE(WaitForWindows("Form Editor", 2));
  size_t editors = 0;
  for (const auto& s : Starts()) editors += s.name == "FormEditor";
  EXPECT_EQ(editors, 2u);
}

// ---- About

class AppAbout : public xdgtest::PrivateDesktopOn<apptest::FrameFixture> {};

TEST_F(AppAbout, LinksShowAsLinksAndOpenInTheDesktopsPrograms) {
  Register("browser", {"x-scheme-handler/http"});
  Register("mailer", {"x-scheme-handler/mailto"});
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(frame->InputAccept(-21));
  ASSERT_TRUE(WaitForWindows("About Velmora", 1));
  auto about = Windows("About Velmora").front();
  ASSERT_TRUE(ui::WaitUntil([&] { return about->Exists(2801) && about->Exists(2804); }));
  EXPECT_EQ(about->Get(3, Prop::Text), "Version: 1.0.23");
  for (int link : {1, 4}) {
    EXPECT_EQ(about->GetLong(link, Prop::FontColor), 0xFF0000) << link;
    EXPECT_EQ(about->GetLong(link, Prop::FontStyle), 0x2190) << link;
    EXPECT_EQ(about->Get(link + 2800, Prop::Cursor), "~hand2.cur") << link;
  }
  // hovering the web address takes its underline away until the mouse leaves
  const ui::Window::Rect r = about->PixelPosition(4);
  about->InputMouse(ui::msg::MouseMove, static_cast<int>(r.x + 3), static_cast<int>(r.y + 3));
  ASSERT_TRUE(ui::WaitUntil([&] { return about->GetLong(4, Prop::FontStyle) == 0x190; }));
  about->InputMouse(ui::msg::LButtonUp, 0, 0);  // gone without a move the links saw
  ASSERT_TRUE(ui::WaitUntil([&] { return about->GetLong(4, Prop::FontStyle) == 0x2190; }));

  // (the runtime lock is let go while waiting for the stand-ins)
  ASSERT_TRUE(about->InputAccept(2804));
  ASSERT_TRUE(ui::WaitUntil([&] { return Ran("browser"); }, std::chrono::seconds(30)));
  EXPECT_EQ(Recorded("browser"), std::vector<std::string>{"http://www.velmora.example"});
  ASSERT_TRUE(about->InputAccept(2801));
  ASSERT_TRUE(ui::WaitUntil([&] { return Ran("mailer"); }, std::chrono::seconds(30)));
  EXPECT_EQ(Recorded("mailer"), std::vector<std::string>{"mailto:support@velmora.example"});
  ASSERT_TRUE(about->InputAccept(5));  // &OK
  EXPECT_TRUE(ui::WaitUntil([&] { return Windows("About Velmora").empty(); }));
}

}  // namespace
