// The Forms window on the Qt backend, offscreen, over a form imported from
// a PDF: the tree with its icons, the page picture in its panel, the
// data-set list, keyboard selection; a picture of it is kept in the build
// tree.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QWidget>
#include <filesystem>
#include <iostream>

#include "qt_app.h"
#include "forms.h"
#include "library_fixture.h"
#include "velmora/apppdf/import.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/qt_backend.h"

namespace {

using ui::Prop;
namespace lib = library;

class FormsQt : public libtest::LibraryFixture {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("forms_tests");
  }
  void SetUp() override {
    LibraryFixture::SetUp();
    const std::string pdf = forms::MakeForm((dir_ / "Application.pdf").string());
    ui::Headless().AnswerMessage(ui::button::Yes);  // take the document's fields
    ASSERT_EQ(apppdf::CreateFormFromPdf(pdf), 1);
    form_ = D().FOR.ID;
    AddSet(form_, "Jones household");
    AddSet(form_, "Smith family");
    AddForm("Order sheet", 0);
    ui::Headless().Reset();
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
    LibraryFixture::TearDown();
  }
  void Pump() {
    ui::ProcessEventsUntil([] {
      for (auto& w : ui::OpenWindows())
        if (w->PendingEvents()) return false;
      return true;
    });
    ui::ProcessEventsUntil([] { return false; }, 150);
  }
  std::unique_ptr<ui::QtBackend> backend_;
  long form_ = 0;
};

TEST_F(FormsQt, FormsWindowShowsTheTreeThePagePictureAndTheDataSets) {
  rt::Start([](std::vector<std::string>) { lib::ShowAll(); }, 25000);
  std::shared_ptr<ui::Window> w;
  ASSERT_TRUE(ui::ProcessEventsUntil([&] {
    for (auto& o : ui::OpenWindows())
      if (o->Get(0, Prop::Text) == "Forms") w = o;
    return w != nullptr;
  }));
  Pump();
  const long handle = w->GetLong(0, Prop::Handle);
  ASSERT_TRUE(w->InputAccept(lib::kExpand));
  Pump();
  ASSERT_TRUE(w->InputSelectRow(lib::kRelTree, 3, ui::key::MouseLeft));  // page 1 of the imported form
  Pump();
  EXPECT_EQ(w->Get(lib::kInsert, Prop::Tip), "Add Form Page");

  // keys move the selection in Qt; the buttons follow as for a click
  QWidget* tree = backend_->ControlWidget(handle, lib::kRelTree);
  ASSERT_NE(tree, nullptr);
  auto press = [&](Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(tree, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(tree, &up);
    Pump();
  };
  press(Qt::Key_Up);
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 2);
  EXPECT_EQ(w->Get(lib::kInsert, Prop::Tip), "Add New Form");
  EXPECT_TRUE(w->GetLong(lib::kButton7, Prop::Disable));
  press(Qt::Key_Down);
  EXPECT_EQ(w->GetLong(lib::kRelTree, Prop::Selected), 3);
  EXPECT_EQ(w->Get(lib::kInsert, Prop::Tip), "Add Form Page");
  EXPECT_FALSE(w->GetLong(lib::kButton7, Prop::Disable));
  EXPECT_EQ(w->GetLong(lib::kList, Prop::Items), 2);

  // the page picture: upright, as high as its panel, centred across it
  QWidget* image = backend_->ControlWidget(handle, lib::kImage);
  QWidget* panel = backend_->ControlWidget(handle, lib::kPanel1);
  ASSERT_NE(image, nullptr);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(image->isVisible());
  EXPECT_NEAR(image->height(), panel->height(), 2);
  EXPECT_LT(image->width(), panel->width());
  EXPECT_NEAR(image->x() - panel->x(), panel->x() + panel->width() - image->x() - image->width(), 2);
  const QImage page = image->grab().toImage();
  int dark = 0, light = 0;
  for (int y = 0; y < page.height(); y += 2)
    for (int x = 0; x < page.width(); x += 2) {
      const int grey = qGray(page.pixel(x, y));
      dark += grey < 128;
      light += grey > 240;
    }
  EXPECT_GT(dark, 10);  // the page's text
  EXPECT_GT(light, dark);

  const QImage shot = backend_->WindowWidget(handle)->grab().toImage();
  const std::string path = std::string(FORMS_SHOT_DIR) + "/forms-window.png";
  ASSERT_TRUE(shot.save(QString::fromStdString(path)));
  std::cout << "forms window picture: " << path << "\n";
}

TEST_F(FormsQt, FormRowsWithPagesShowTheirExpandArrowBeforeTheyAreOpened) {
  rt::Start([](std::vector<std::string>) { lib::ShowAll(); }, 25000);
  std::shared_ptr<ui::Window> w;
  ASSERT_TRUE(ui::ProcessEventsUntil([&] {
    for (auto& o : ui::OpenWindows())
      if (o->Get(0, Prop::Text) == "Forms") w = o;
    return w != nullptr;
  }));
  Pump();
  auto* tree = qobject_cast<QTreeWidget*>(backend_->ControlWidget(w->GetLong(0, Prop::Handle), lib::kRelTree));
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  ASSERT_EQ(root->childCount(), 2);  // "Application" with pages, "Order sheet" without
  QTreeWidgetItem* withPages = root->child(0);
  QTreeWidgetItem* leaf = root->child(1);
  EXPECT_EQ(withPages->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_FALSE(withPages->isExpanded());  // closed: its arrow points at it
  EXPECT_NE(leaf->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  // opening it by its arrow loads the pages below it
  tree->expandItem(withPages);
  Pump();
  ASSERT_EQ(tree->topLevelItem(0)->child(0)->childCount(), 3);
  EXPECT_TRUE(tree->topLevelItem(0)->child(0)->isExpanded());
  const QImage shot = backend_->WindowWidget(w->GetLong(0, Prop::Handle))->grab().toImage();
  ASSERT_TRUE(shot.save(QString::fromStdString(std::string(FORMS_SHOT_DIR) + "/forms-tree-arrows.png")));
}

}  // namespace
