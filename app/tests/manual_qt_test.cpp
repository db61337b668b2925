// The Getting Started and About windows on the Qt backend, offscreen.
#include <QApplication>
#include <QImage>
#include <QTextBrowser>
#include <QWidget>
#include <filesystem>
#include <iostream>

#include "frame_fixture.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/qt_backend.h"

namespace {

class AppWindowsQt : public apptest::FrameFixture {
 protected:
  static void SetUpTestSuite() {
    if (!qApp) {
      static int argc = 1;
      static char name[] = "app_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    }
  }
  void SetUp() override {
    FrameFixture::SetUp();
    rt::SetCommandLine(std::vector<std::string>{rt::WindowsPath(VELMORA_PROGRAM_DIR "/velmora")});
    backend_ = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    CloseFrame();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
    rt::SetCommandLine(std::vector<std::string>{"app_tests"});
    FrameFixture::TearDown();
  }
  QWidget* Shown(const std::string& caption) {
    for (auto& w : Windows(caption))
      if (QWidget* widget = backend_->WindowWidget(w->GetLong(0, ui::Prop::Handle)); widget && widget->isVisible())
        return widget;
    return nullptr;
  }
  // Saves a picture of the window in the temporary folder.
  std::string Grab(QWidget* window, const std::string& name) {
    const auto path = std::filesystem::temp_directory_path() / name;
    EXPECT_TRUE(window->grab().toImage().save(QString::fromStdString(path.string())));
    std::cout << "picture: " << path.string() << "\n";
    return path.string();
  }
  std::unique_ptr<ui::QtBackend> backend_;
};

TEST_F(AppWindowsQt, GettingStartedShowsTheManualAsRichText) {
  ASSERT_NE(StartFrame(), nullptr);
  QTextBrowser* view = nullptr;
  ASSERT_TRUE(ui::ProcessEventsUntil([&] {
    QWidget* w = Shown("Getting Started");
    view = w ? w->findChild<QTextBrowser*>() : nullptr;
    return view && view->toPlainText().contains("Designing fields");
  }));
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_TRUE(view->toHtml().contains("font-weight"));  // bold headings survive
  ui::ProcessEventsUntil([] { return false; }, 300);
  QWidget* window = Shown("Getting Started");
  window->parentWidget()->resize(900, 600);
  ui::ProcessEventsUntil([] { return false; }, 200);
  Grab(window->parentWidget(), "velmora-getting-started.png");
}

TEST_F(AppWindowsQt, AboutWindowShowsItsLinks) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return Shown("Getting Started") != nullptr; }));
  ASSERT_TRUE(frame->InputAccept(-21));
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return Shown("About Velmora") != nullptr; }));
  ui::ProcessEventsUntil([] { return false; }, 300);
  QWidget* about = Shown("About Velmora");
  Grab(about->parentWidget() ? about->parentWidget() : about, "velmora-about.png");
}

}  // namespace
