// The user's journey on the Qt backend, offscreen, with the real message
// boxes and file dialogs answered as a user would; pictures of the Forms
// window and the editor are kept in the build tree.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <iostream>

#include "journey.h"
#include "qt_app.h"
#include "velmora/ui/qt_backend.h"

namespace {

using journey::Journey;

// Answers each dialog as it comes up, from the answers given in advance.
class QtDriver : public journey::Driver {
 public:
  QtDriver() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start();
  }
  void SetBackend(ui::QtBackend* backend) { backend_ = backend; }
  void AnswerMessage(int button) override { messages_.push_back(button); }
  void AnswerFile(const std::string& path) override { files_.push_back(path); }
  bool Until(const std::function<bool()>& done, int ms) override { return ui::ProcessEventsUntil(done, ms); }
  std::vector<std::string> Messages() override { return asked_; }

  // The window as the user sees it: its frame and everything in it.
  void Shot(ui::Window& w, const std::string& name) override {
    QWidget* widget = backend_->WindowWidget(w.GetLong(0, ui::Prop::Handle));
    ASSERT_NE(widget, nullptr) << name;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget())) widget = sub;
    ui::ProcessEventsUntil([] { return false; }, 200);  // let the mirror draw
    const std::filesystem::path dir = std::filesystem::path(APP_TESTS_BUILD_DIR) / "app/tests/artefacts";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(widget->grab().toImage().save(QString::fromStdString((dir / name).string())));
    std::cout << "picture: " << (dir / name).string() << "\n";
  }

  void CheckInFront(ui::Window& w) override {
    ui::ProcessEventsUntil([] { return false; }, 100);  // let the mirror follow
    QWidget* widget = backend_->WindowWidget(w.GetLong(0, ui::Prop::Handle));
    ASSERT_NE(widget, nullptr);
    auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget());
    ASSERT_NE(sub, nullptr) << "inside the frame";
    EXPECT_EQ(sub->mdiArea()->activeSubWindow(), sub) << sub->windowTitle().toStdString() << " in front";
    const QRect room = sub->mdiArea()->viewport()->rect();
    EXPECT_TRUE(room.contains(sub->geometry())) << "the window fits the frame";
    for (QAbstractButton* b : sub->findChildren<QAbstractButton*>()) {
      if (!b->isVisibleTo(sub) || b->text().isEmpty()) continue;
      const QRect at(b->mapTo(sub, QPoint(0, 0)), b->size());
      EXPECT_TRUE(sub->rect().contains(at)) << b->text().toStdString() << " is cut";
    }
  }

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (modal == answered_.data()) return;
      answered_ = modal;
      asked_.push_back(box->text().toStdString());
      const int button = messages_.empty() ? 0 : messages_.front();
      if (!messages_.empty()) messages_.pop_front();
      const std::pair<int, QMessageBox::StandardButton> map[] = {
          {ui::button::Ok, QMessageBox::Ok}, {ui::button::Yes, QMessageBox::Yes}, {ui::button::No, QMessageBox::No}};
      QAbstractButton* press = box->defaultButton();
      for (const auto& [ours, theirs] : map)
        if (ours == button && box->button(theirs)) press = box->button(theirs);
      if (press) press->click();
      else box->done(0);
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (modal != answered_.data()) {
        answered_ = modal;
        tries_ = 0;
        file_.clear();
        if (files_.empty()) {
          QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
          return;
        }
        file_ = files_.front();
        files_.pop_front();
      } else if (file_.empty() || ++tries_ % 20) {
        return;  // a dialog still reading its folder may ignore the first try: again every 200 ms
      }
      // the name typed into its name field and the dialog closed as
      // accepted (its own accept and selection may wait for its folder's
      // listing, which a busy machine delays)
      if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(QString::fromStdString(file_));
      else dialog->selectFile(QString::fromStdString(file_));
      static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    }
  }

  QTimer timer_;
  ui::QtBackend* backend_ = nullptr;
  QPointer<QWidget> answered_;  // the dialog being answered
  std::string file_;            // the file chosen in it
  int tries_ = 0;
  std::deque<int> messages_;
  std::deque<std::string> files_;
  std::vector<std::string> asked_;
};

class JourneyQt : public Journey {
 protected:
  static void SetUpTestSuite() { uitest::StartQtApplication("app_tests"); }
  void SetUp() override {
    driver_ = std::make_unique<QtDriver>();
    Begin(*driver_);
    backend_ = std::make_unique<ui::QtBackend>();
    driver_->SetBackend(backend_.get());
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    End();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
    driver_.reset();
  }
  std::unique_ptr<ui::QtBackend> backend_;
  std::unique_ptr<QtDriver> driver_;
};

class JourneyAgainQt : public JourneyQt {
 public:
  void TestBody() override { OpenAgainAndWrite(); }
};

[[maybe_unused]] const bool kRegistered = [] {
  if (getenv(journey::kAgain))
    testing::RegisterTest("JourneyAgainQt", "SameFolder", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> JourneyQt* { return new JourneyAgainQt; });
  return true;
}();

TEST_F(JourneyQt, DesignFillRestartAndWrite) {
  DesignAndFill();
  ASSERT_FALSE(HasFailure());
  const rt::ProcessResult again = RunAgain("JourneyAgainQt.SameFolder");
  ASSERT_TRUE(again.Succeeded()) << "the second run:\n" << again.output;
  EXPECT_NE(again.output.find("[  PASSED  ] 1 test"), std::string::npos) << again.output;
  journey::CheckWritten(dir_, placed_);
}

}  // namespace
