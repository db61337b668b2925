// The record windows on the Qt backend, offscreen: the form window with its
// tabs and the page window with its picture, kept as pictures beside the
// test.
#include <QApplication>
#include <filesystem>
#include <QImage>
#include <QWidget>

#include "qt_app.h"
#include "qt_dialogs.h"
#include "velmora/runtime/paths.h"
#include "records_fixture.h"
#include "velmora/ui/qt_backend.h"

namespace rectest {
namespace {

class RecordsQt : public Records {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("forms_tests");
  }
  void SetUp() override {
    Records::SetUp();
    form_ = ImportForm();
    backend_ = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    for (auto& w : ui::OpenWindows()) w->InputClose();
    ui::ProcessEventsUntil([] { return ui::OpenWindows().empty(); });
    rt::WaitForThreads();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
    Records::TearDown();
  }
  // Waits, running Qt, for a window with this caption and for Qt to show it.
  std::shared_ptr<ui::Window> Shown(std::string_view caption) {
    std::shared_ptr<ui::Window> w;
    EXPECT_TRUE(ui::ProcessEventsUntil([&] {
      auto all = WindowsCaptioned(caption);
      w = all.empty() ? nullptr : all.front();
      if (!w || w->PendingEvents()) return false;
      QWidget* widget = backend_->WindowWidget(w->GetLong(0, Prop::Handle));
      return widget && widget->isVisible();
    }));
    ui::ProcessEventsUntil([] { return false; }, 150);
    return w;
  }
  void Shot(const std::shared_ptr<ui::Window>& w, const std::string& name) {
    const QImage shot = backend_->WindowWidget(w->GetLong(0, Prop::Handle))->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(std::string(FORMS_SHOT_DIR) + "/" + name)));
  }
  void Close(const std::shared_ptr<ui::Window>& w, int cancel, const std::shared_ptr<Outcome>& out) {
    ASSERT_TRUE(w->InputAccept(cancel));
    ASSERT_TRUE(ui::ProcessEventsUntil([&] { return out->done.load(); }));
    rt::WaitForThreads();
  }
  long form_ = 0;
  std::unique_ptr<ui::QtBackend> backend_;
};

TEST_F(RecordsQt, TheFormAndPageWindowsShowTheirRecord) {
  auto out = RunForm(cl::request::Change, form_);
  auto w = Shown("Record Will Be Changed");
  ASSERT_TRUE(w);
  const long handle = w->GetLong(0, Prop::Handle);
  QWidget* name = backend_->ControlWidget(handle, 9);
  ASSERT_NE(name, nullptr);
  EXPECT_TRUE(name->isVisible());
  Shot(w, "form-window.png");
  Close(w, 2, out);

  out = Run(
      [&](data::Dictionary& d) {
        cl::FileManager* pages = d.Access(FileId::FormPages);
        pages->Open();
        d.FOR1.FORMID = static_cast<rt::Long>(form_);
        d.FOR1.PAGENO = 1;
        pages->TryFetch(pages->KeyNumber("FOR1:FormID_Key"));
        cl::ThreadRequest() = cl::request::Change;
      },
      [] {
        library::UpdateFormPages();
        data::ThisThread().Access(FileId::FormPages)->Close();
      });
  w = Shown("Record Will Be Changed");
  ASSERT_TRUE(w);
  QWidget* image = backend_->ControlWidget(w->GetLong(0, Prop::Handle), 10);
  QWidget* panel = backend_->ControlWidget(w->GetLong(0, Prop::Handle), 9);
  ASSERT_NE(image, nullptr);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(image->isVisible());
  // an upright page: as high as its panel, centred across it
  EXPECT_NEAR(image->height(), panel->height(), 2);
  EXPECT_LT(image->width(), panel->width());
  EXPECT_NEAR(image->x() - panel->x(), (panel->width() - image->width()) / 2.0, 2);
  Shot(w, "page-window.png");
  // the user makes the window larger: the panel grows with it and the
  // picture is fitted to it again
  QWidget* top = backend_->WindowWidget(w->GetLong(0, Prop::Handle));
  const int narrow = panel->width();
  top->resize(top->width() * 3 / 2, top->height() * 5 / 4);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return panel->width() > narrow * 5 / 4 && w->PendingEvents() == 0; }));
  ui::ProcessEventsUntil([] { return false; }, 150);
  EXPECT_NEAR(image->height(), panel->height(), 2);
  EXPECT_NEAR(image->x() - panel->x(), (panel->width() - image->width()) / 2.0, 2);
  Shot(w, "page-window-larger.png");
  Close(w, 1, out);
}

// The Qt file dialog gives a name outside ASCII in the runtime's form:
// "PDF File" imports that file and OK stores it.
TEST_F(RecordsQt, APdfWhoseNameIsOutsideAsciiIsImportedAndStored) {
  const std::filesystem::path folder = dir_ / "J\xC3\xBCrgen";
  std::filesystem::create_directories(folder);
  const std::string pdf = (folder / "M\xC3\xBCller.pdf").string();
  std::filesystem::copy_file(pdf_, pdf);
  auto out = RunForm(cl::request::Insert);
  auto w = Shown("Record Will Be Added");
  ASSERT_TRUE(w);
  uitest::QtAnswers answers;
  answers.File(pdf);
  answers.Message(QMessageBox::Yes);  // the document's fields
  ASSERT_TRUE(w->InputAccept(18));   // PDF File
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return w->Get(44, Prop::ScreenText) == "Done!"; }, 30000));
  EXPECT_EQ(rt::Clip(w->Get(20, Prop::ScreenText)), rt::ShownPath(rt::WindowsPath(pdf)));  // as the desktop names it
  ASSERT_TRUE(w->InputAccept(46));  // &OK
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return out->done.load(); }));
  rt::WaitForThreads();
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(StoredPdf(out->form), Slurp(pdf));
}

}  // namespace
}  // namespace rectest
