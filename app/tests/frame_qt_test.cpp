// The frame on the Qt backend, offscreen.
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTextBrowser>
#include <QWidget>
#include <filesystem>
#include <iostream>
#include <set>

#include "frame_fixture.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/qt_backend.h"

namespace {

class AppFrameQt : public apptest::FrameFixture {
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
    backend_ = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    CloseFrame();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
    FrameFixture::TearDown();
  }
  static bool Pump(const std::function<bool()>& done, int ms = 5000) {
    return ui::ProcessEventsUntil(done, ms);
  }
  QWidget* Shown(const std::string& caption) {
    for (auto& w : Windows(caption))
      if (QWidget* widget = backend_->WindowWidget(w->GetLong(0, ui::Prop::Handle)); widget && widget->isVisible())
        return widget;
    return nullptr;
  }
  std::unique_ptr<ui::QtBackend> backend_;
};

size_t Colours(const QImage& image) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) seen.insert(image.pixel(x, y));
  return seen.size();
}

TEST_F(AppFrameQt, FrameWithAChildWindowIsShownAndGrabbed) {
  ASSERT_NE(StartFrame(), nullptr);
  ASSERT_TRUE(Pump([&] { return Shown("Velmora") && Shown("Getting Started"); }));
  auto frame = ui::Frame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(frame->InputAccept(-10));
  ASSERT_TRUE(Pump([&] { return Shown("Forms") != nullptr; }));
  Pump([] { return false; }, 300);  // let the mirror settle

  QWidget* top = Shown("Velmora");
  ASSERT_NE(top, nullptr);
  auto* area = top->findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  std::set<QString> titles;
  for (QMdiSubWindow* sub : area->subWindowList()) titles.insert(sub->windowTitle());
  EXPECT_TRUE(titles.count("Forms"));
  EXPECT_TRUE(titles.count("Getting Started"));

  const QImage picture = top->grab().toImage();
  const auto path = std::filesystem::temp_directory_path() / "velmora-app-frame.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
  std::cout << "frame picture: " << path.string() << "\n";
  EXPECT_GT(Colours(picture), 8u) << "not blank";

  // Exit from the File menu closes the frame and its children.
  ASSERT_TRUE(frame->InputAccept(-4));
  frame.reset();
  ASSERT_TRUE(Pump([&] { return ui::OpenWindows().empty() && !Shown("Velmora"); }));
}

TEST_F(AppFrameQt, OurPicturesAndIconsLoad) {
  for (const char* name : {"cancel.ico", "settings.ico", "folder new.ico", "open.ico", "edit.ico"}) {
    SCOPED_TRACE(name);
    const std::string path = ui::FindResource(name);
    ASSERT_FALSE(path.empty());
    QIcon icon(QString::fromStdString(path));
    EXPECT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(32, 32).toImage();
    EXPECT_GT(Colours(image), 2u);
  }
  const QImage background(QString::fromStdString(ui::FindResource("grybkgnd.gif")));
  ASSERT_FALSE(background.isNull());
  EXPECT_EQ(background.width(), 64);
  EXPECT_GT(Colours(background), 8u);
}

// Saves a picture of the window in the temporary folder and names it.
void Grab(QWidget* window, const std::string& name) {
  const auto path = std::filesystem::temp_directory_path() / name;
  EXPECT_TRUE(window->grab().toImage().save(QString::fromStdString(path.string())));
  std::cout << "picture: " << path.string() << "\n";
}

TEST_F(AppFrameQt, GettingStartedShowsTheManualAsRichText) {
  // the manual installed beside the program
  rt::SetCommandLine(std::vector<std::string>{rt::WindowsPath(VELMORA_PROGRAM_DIR "/velmora")});
  ASSERT_NE(StartFrame(), nullptr);
  QTextBrowser* view = nullptr;
  ASSERT_TRUE(Pump([&] {
    QWidget* w = Shown("Getting Started");
    view = w ? w->findChild<QTextBrowser*>() : nullptr;
    return view && view->toPlainText().contains("Designing fields");
  }));
  rt::SetCommandLine(std::vector<std::string>{"app_tests"});
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_TRUE(view->toHtml().contains("font-weight"));  // bold headings survive
  QWidget* window = Shown("Getting Started")->parentWidget();
  window->resize(900, 600);
  Pump([] { return false; }, 300);
  Grab(window, "velmora-getting-started.png");
}

TEST_F(AppFrameQt, AboutWindowShowsItsLinks) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(Pump([&] { return Shown("Getting Started") != nullptr; }));
  ASSERT_TRUE(frame->InputAccept(-21));
  ASSERT_TRUE(Pump([&] { return Shown("About Velmora") != nullptr; }));
  Pump([] { return false; }, 300);
  QWidget* about = Shown("About Velmora");
  auto* link = about->findChild<QLabel*>();
  ASSERT_NE(link, nullptr);
  Grab(about->parentWidget() ? about->parentWidget() : about, "velmora-about.png");
}

TEST_F(AppFrameQt, ApplicationSetupShowsItsColourSamples) {
  auto frame = StartFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(frame->InputAccept(-3));
  ASSERT_TRUE(Pump([&] { return Shown("Application Setup") != nullptr; }));
  Pump([] { return false; }, 300);
  auto setup = Windows("Application Setup").front();
  QWidget* sample = backend_->ControlWidget(setup->GetLong(0, ui::Prop::Handle), 5);
  ASSERT_NE(sample, nullptr);
  const QImage picture = sample->grab().toImage();
  EXPECT_EQ(QColor(picture.pixel(2, picture.height() / 2)), QColor(255, 255, 0));  // 0x00FFFF is yellow
  QWidget* window = Shown("Application Setup");
  Grab(window->parentWidget() ? window->parentWidget() : window, "velmora-application-setup.png");
}

}  // namespace
