// The Send Message window on the Qt backend, offscreen: it is shown with
// its pictures and grabbed to a PNG.
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <iostream>
#include <set>

#include "qt_app.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/qt_backend.h"
#include "window_fixture.h"

namespace {

using namespace mail;

size_t Colours(const QImage& image) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) seen.insert(image.pixel(x, y));
  return seen.size();
}

class SendWindowQt : public mailtest::SendWindowFixture {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("mail_tests");
  }
  void SetUp() override {
    SendWindowFixture::SetUp();
    backend_ = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    if (window_ && window_->IsOpen()) window_->InputAccept(kExit);
    ui::ProcessEventsUntil([&] { return done_.load(); });
    SendWindowFixture::TearDown();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
  }
  std::unique_ptr<ui::QtBackend> backend_;
};

TEST_F(SendWindowQt, ShownWithItsPicturesAndGrabbed) {
  message_.SetSubject("Quarterly form");
  message_.SetMessageText("Please find the filled form attached.\r\nRegards");
  message_.AddAttachment(File("Quarterly Report.pdf"));
  message_.AddAttachment(File("notes.txt"));
  message_.AddTo("Ann Example", "ann@example.org");
  message_.AddCc("", "carl@example.org");
  ASSERT_NE(Run(), nullptr);
  const long handle = window_->GetLong(0, ui::Prop::Handle);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] {
    QWidget* w = backend_->WindowWidget(handle);
    return w && w->isVisible();
  }));
  window_->InputFocus(kEmailSubject);
  ui::ProcessEventsUntil([] { return false; }, 400);

  QWidget* top = backend_->WindowWidget(handle);
  ASSERT_NE(top, nullptr);
  const QImage picture = top->grab().toImage();
  const auto path = std::filesystem::temp_directory_path() / "velmora-send-message.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
  std::cout << "Send Message picture: " << path.string() << "\n";
  EXPECT_GT(Colours(picture), 16u) << "not blank";

  for (const char* icon : {"FILE.ICO", "CLIP07.ICO", "TO2.ICO", "NEW1.ICO", "EDIT1.ICO", "DELETE1.ICO", "SEND2.ICO",
                           "exit5.ico"}) {
    SCOPED_TRACE(icon);
    const std::string file = ui::FindResource(icon);
    ASSERT_FALSE(file.empty());
    const QImage image = QIcon(QString::fromStdString(file)).pixmap(16, 16).toImage();
    EXPECT_GT(Colours(image), 2u);
  }
}

}  // namespace
