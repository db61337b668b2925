// The Form Editor on the Qt backend, offscreen: the page picture and the
// yellow fields are drawn where the queue says.
#include <QAbstractButton>
#include <QCloseEvent>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>
#include <filesystem>
#include <iostream>

#include "qt_app.h"
#include "qt_dialogs.h"
#include "editor_fixture.h"
#include "velmora/ui/keys.h"
#include "velmora/app/frame.h"
#include "velmora/ui/qt_backend.h"

namespace {

using edtest::Opened;

class EditorQt : public edtest::EditorFixture {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("editor_tests");
  }
  void SetUp() override {
    EditorFixture::SetUp();
    form_ = ImportForm();  // its question is answered by the headless backend
    backend_ = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend_.get());
  }
  void TearDown() override {
    CloseAll([](const std::function<bool()>& done) { ui::ProcessEventsUntil(done, 2000); });
    rt::WaitForThreads();
    ui::SetBackend(nullptr);
    QCoreApplication::processEvents();
    backend_.reset();
    EditorFixture::TearDown();
  }
  // Runs Qt's events until the editors are idle (a window below another
  // on its thread waits for that one) and the mirror has caught up.
  void Pump() {
    ui::ProcessEventsUntil([] {
      for (auto& w : ui::OpenWindows())
        if (w->PendingEvents() && ui::TopWindow(w->Thread()) == w) return false;
      return true;
    });
    ui::ProcessEventsUntil([] { return false; }, 150);
  }
  // Starts the editor on its own thread on the fixture's form and waits
  // until Qt shows its client area.
  void OpenEditor(Opened& o, QWidget*& client, const std::string& mode = "1") {
    const long form = mode == "3" ? 0 : form_;
    // the editor starts on its own thread; its window appears once Qt runs
    const size_t before = EditorWindows().size();
    rt::Start(
        [form, mode](std::vector<std::string>) {
          data::Dictionary& d = data::ThisThread();
          d.Relate(data::FileId::Forms)->Open();
          d.FOR.ID = static_cast<rt::Long>(form);
          d.Access(data::FileId::Forms)->TryFetch(d.Access(data::FileId::Forms)->KeyNumber("FOR:ID_Key"));
          d.FOR1.FORMID = static_cast<rt::Long>(form);
          d.FOR1.PAGENO = 1;
          editor::RunFormEditor(mode);
          d.Relate(data::FileId::Forms)->Close();
        },
        25000);
    ASSERT_TRUE(ui::ProcessEventsUntil([&] { return EditorWindows().size() > before; }));
    Pump();
    o.win = EditorWindows().back();
    o.ed = editor::EditorOfWindow(o.win->GetLong(0, ui::Prop::Handle));
    client = backend_->ClientWidget(o.win->GetLong(0, ui::Prop::Handle));
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(ui::ProcessEventsUntil([&] { return client->isVisible(); }));
    Pump();
  }
  std::unique_ptr<ui::QtBackend> backend_;
  long form_ = 0;
};

bool Yellow(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80; }
bool White(QRgb c) { return qRed(c) > 250 && qGreen(c) > 250 && qBlue(c) > 250; }

TEST_F(EditorQt, PagePictureAndFieldsAreWhereTheQueueSays) {
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  const long handle = o.win->GetLong(0, ui::Prop::Handle);

  auto look = [&](const std::string& name) {
    const QImage shot = backend_->WindowWidget(handle)->grab().toImage();
    const std::string path = std::string(EDITOR_SHOT_DIR) + "/" + name;
    ASSERT_TRUE(shot.save(QString::fromStdString(path)));
    std::cout << "editor picture: " << path << "\n";
    const QImage page = client->grab().toImage();
    const long left = o.ed->PageLeft, top = o.ed->PageTop;
    const long width = static_cast<long>(o.ed->PageWidthPx * o.ed->ZoomFactor);
    ASSERT_GT(left, 4) << name;
    // the page picture: white paper inside, the window's own colour beside it
    EXPECT_TRUE(White(page.pixel(static_cast<int>(left + 3), static_cast<int>(top + 3)))) << name;
    EXPECT_TRUE(White(page.pixel(static_cast<int>(left + width - 4), static_cast<int>(top + 3)))) << name;
    EXPECT_FALSE(White(page.pixel(static_cast<int>(left / 2), static_cast<int>(top + 3)))) << name;
    // every text field of page 1 that shows is yellow at its centre
    int checked = 0;
    for (long i = 1; i <= o.ed->Queue.Count(); ++i) {
      const editor::FormControl& e = o.ed->Queue.At(i);
      if (e.FORMPAGE != 1 || e.CTLTYPE != editor::kText || e.CTLNO == o.win->Focus()) continue;
      const editor::Rect r = o.ed->ScreenRectOf(e);
      if (r.y + r.height + 6 >= page.height()) continue;
      const QRgb c = page.pixel(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
      EXPECT_TRUE(Yellow(c)) << name << " " << e.NAME.View() << " " << qRed(c) << "," << qGreen(c) << ","
                             << qBlue(c);
      const QRgb outside = page.pixel(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height + 6));
      EXPECT_FALSE(Yellow(outside)) << name << " " << e.NAME.View();
      ++checked;
    }
    EXPECT_GT(checked, 0) << name;
  };
  look("editor-screenshot.png");
  ASSERT_TRUE(o.win->InputAccept(editor::kZoomPage));
  Pump();
  EXPECT_LT(o.ed->ZoomPercent, 100);
  look("editor-screenshot-fit-page.png");

  // a field inserted with the mouse on the page: Qt's mouse events reach
  // the editor through the client hook
  const long count = o.ed->Queue.Count();
  ASSERT_TRUE(o.win->InputAccept(editor::kButton1));
  Pump();
  auto mouse = [&](QEvent::Type type, int x, int y, Qt::MouseButton button) {
    const QPointF at(x, y);
    QMouseEvent e(type, at, client->mapToGlobal(at), button, type == QEvent::MouseMove ? Qt::NoButton : button,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(client, &e);
    Pump();
  };
  const int x = static_cast<int>(o.ed->PageLeft) + 40, y = 30;
  mouse(QEvent::MouseButtonPress, x, y, Qt::LeftButton);
  mouse(QEvent::MouseMove, x + 60, y + 10, Qt::NoButton);
  mouse(QEvent::MouseMove, x + 120, y + 24, Qt::NoButton);
  ASSERT_NE(o.ed->BandControl, 0);
  const QImage band = client->grab().toImage();
  EXPECT_TRUE(Yellow(band.pixel(x + 60, y + 12)));
  look("editor-screenshot-band.png");
  mouse(QEvent::MouseButtonPress, x + 120, y + 24, Qt::LeftButton);
  ASSERT_EQ(o.ed->Queue.Count(), count + 1);
  const editor::FormControl& e = o.ed->Queue.At(o.ed->Queue.Count());
  EXPECT_EQ(o.ed->ScreenRectOf(e).width, static_cast<long>(static_cast<long>(120 / o.ed->ZoomFactor) * o.ed->ZoomFactor));
  // the new field has the focus: light cyan
  const QRgb focused = client->grab().toImage().pixel(x + 60, y + 12);
  EXPECT_TRUE(qRed(focused) > 100 && qRed(focused) < 160 && qGreen(focused) > 240 && qBlue(focused) > 240);
  look("editor-screenshot-inserted.png");
}

TEST_F(EditorQt, ScrollBarsShowWhenThePageIsLargerThanTheClientArea) {
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  const long handle = o.win->GetLong(0, ui::Prop::Handle);
  auto* across = client->findChild<QScrollBar*>("velmora-hscroll");
  auto* down = client->findChild<QScrollBar*>("velmora-vscroll");
  ASSERT_NE(across, nullptr);
  ASSERT_NE(down, nullptr);
  // the whole page fits: no bars
  ASSERT_TRUE(o.win->InputAccept(editor::kZoomPage));
  Pump();
  EXPECT_FALSE(across->isVisible());
  EXPECT_FALSE(down->isVisible());
  // at 200 % both bars show, their ranges reaching the page's far edges
  ASSERT_TRUE(o.win->InputAccept(editor::kZoomActual));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(o.win->InputAccept(editor::kZoomIn));
  Pump();
  ASSERT_EQ(o.ed->ZoomPercent, 200);
  EXPECT_TRUE(across->isVisible());
  EXPECT_TRUE(down->isVisible());
  // the bars cover the client area's far edges: the ranges reach past them
  EXPECT_EQ(across->maximum(), o.ed->PageWidthPx * 2 - (client->width() - down->width()));
  EXPECT_EQ(down->maximum(), o.ed->PageHeightPx * 2 - (client->height() - across->height()));
  // moving the bars moves the window's origin and the page with it
  across->setValue(across->maximum());
  down->setValue(down->maximum());
  Pump();
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::XOrigin), across->maximum());
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), down->maximum());
  const QWidget* page = backend_->ControlWidget(handle, editor::kForm);
  ASSERT_NE(page, nullptr);
  // the page's lower right corner shows next to the bars
  EXPECT_EQ(page->geometry().bottom() + 1, down->geometry().bottom() + 1);
  EXPECT_EQ(page->geometry().bottom() + 1, across->geometry().top());
  EXPECT_EQ(page->geometry().right() + 1, down->geometry().left());
  const std::string path = std::string(EDITOR_SHOT_DIR) + "/editor-screenshot-scrolled.png";
  ASSERT_TRUE(backend_->WindowWidget(handle)->grab().toImage().save(QString::fromStdString(path)));
  std::cout << "editor picture: " << path << "\n";

  // the wheel over the page scrolls down and up, with Shift across
  auto wheel = [&](QWidget* over, int notches, Qt::KeyboardModifiers modifiers) {
    const QPointF at(over->width() / 2.0, over->height() / 2.0);
    QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
    Pump();
  };
  const long bottom = down->maximum(), right = across->maximum();
  wheel(client, 2, Qt::NoModifier);  // away from the user: up the page
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), bottom - 2 * 3 * down->singleStep());
  wheel(client, -1, Qt::NoModifier);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), bottom - 3 * down->singleStep());
  wheel(client, 1, Qt::ShiftModifier);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::XOrigin), right - 3 * across->singleStep());
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), bottom - 3 * down->singleStep());
  // with no field focused the keys scroll; a focused field keeps them
  auto key = [&](QWidget* to, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
    Pump();
  };
  QWidget* top = backend_->WindowWidget(handle);
  if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  key(top, Qt::Key_Home);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), 0);
  key(top, Qt::Key_PageDown);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), down->pageStep());
  key(top, Qt::Key_Down);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), down->pageStep() + down->singleStep());
  key(top, Qt::Key_Left);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::XOrigin), right - 4 * across->singleStep());
  key(top, Qt::Key_End);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), bottom);
  QWidget* field = nullptr;
  for (long i = 1; i <= o.ed->Queue.Count() && !field; ++i)
    if (o.ed->Queue.At(i).FORMPAGE == 1 && o.ed->Queue.At(i).CTLTYPE == editor::kText)
      field = backend_->ControlWidget(handle, o.ed->Queue.At(i).CTLNO);
  ASSERT_NE(field, nullptr);
  field->setFocus();
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return QApplication::focusWidget() == field; }));
  key(field, Qt::Key_PageUp);
  EXPECT_EQ(o.win->GetLong(0, ui::Prop::YOrigin), bottom);
}

// Inside the program's frame, whose area is smaller than the editor asks
// for, the editor is made to fit: every control it shows can be reached.
TEST_F(EditorQt, InsideTheFrameTheEditorFitsItsArea) {
  // the program's frame window, without its procedure
  auto frame = ui::Window::Create(app::FrameWindow());
  frame->Open();
  const long frameHandle = frame->GetLong(0, ui::Prop::Handle);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] {
    QWidget* top = backend_->WindowWidget(frameHandle);
    return top && top->isVisible();
  }));
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  QWidget* top = backend_->WindowWidget(frameHandle);
  auto* area = top->findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(area->subWindowList().size(), 1);
  QMdiSubWindow* sub = area->subWindowList().front();
  EXPECT_TRUE(area->viewport()->rect().contains(sub->geometry()));
  int buttons = 0;
  for (QAbstractButton* b : sub->findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(sub) || b->text().isEmpty()) continue;
    const QRect at(b->mapTo(sub, QPoint(0, 0)), b->size());
    EXPECT_TRUE(sub->rect().contains(at)) << b->text().toStdString();
    ++buttons;
  }
  EXPECT_GT(buttons, 15);
  // the model knows the client area it got, and the page is placed in it
  EXPECT_EQ(o.win->PixelPosition(0).width, client->width());
  EXPECT_EQ(o.ed->ClientWidth, client->width());
  const std::string path = std::string(EDITOR_SHOT_DIR) + "/editor-screenshot-in-frame.png";
  ASSERT_TRUE(top->grab().toImage().save(QString::fromStdString(path)));
  std::cout << "editor picture: " << path << "\n";
  o.win->InputClose();
  ui::ProcessEventsUntil([&] { return EditorWindows().empty(); });
  frame->Close();
}

// The editor's tools on Qt: the move and resize box grabs the mouse on the
// editor's client area and draws its handles; the two dialogs show as
// windows of their own (pictures left for a look).
TEST_F(EditorQt, ToolsShowOnQt) {
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  const long handle = o.win->GetLong(0, ui::Prop::Handle);
  auto save = [&](QWidget* widget, const std::string& name) {
    const std::string path = std::string(EDITOR_SHOT_DIR) + "/" + name;
    ASSERT_TRUE(widget->grab().toImage().save(QString::fromStdString(path)));
    std::cout << "editor picture: " << path << "\n";
  };
  auto opened = [&](const std::string& caption) -> std::shared_ptr<ui::Window> {
    std::shared_ptr<ui::Window> found;
    ui::ProcessEventsUntil([&] {
      for (auto& w : ui::OpenWindows())
        if (w->Get(0, ui::Prop::Text) == caption) found = w;
      return found != nullptr;
    });
    Pump();
    return found;
  };
  int name = 0;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (rt::Clip(o.ed->Queue.At(i).NAME.View()) == "name") name = o.ed->Queue.At(i).CTLNO;
  ASSERT_NE(name, 0);

  // the popup's third item opens the box
  QTimer pick;
  QObject::connect(&pick, &QTimer::timeout, [] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      const QList<QAction*> items = menu->actions();
      if (items.size() < 3) return;
      menu->setActiveAction(items[2]);
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(menu, &enter);
    }
  });
  pick.start(20);
  ASSERT_TRUE(o.win->InputKey(name, ui::key::MouseRight));
  auto box = opened("MorphBox");
  pick.stop();
  ASSERT_NE(box, nullptr);
  QWidget* boxWidget = backend_->WindowWidget(box->GetLong(0, ui::Prop::Handle));
  EXPECT_TRUE(boxWidget == nullptr || !boxWidget->isVisible());
  EXPECT_EQ(QWidget::mouseGrabber(), client);
  const QWidget* grip = backend_->ControlWidget(handle, 10005);
  ASSERT_NE(grip, nullptr);
  EXPECT_TRUE(grip->isVisible());
  const ui::Window::Rect before = o.win->Position(name);
  auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button) {
    QMouseEvent e(type, QPointF(at), client->mapToGlobal(QPointF(at)), button,
                  type == QEvent::MouseMove ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(client, &e);
    Pump();
  };
  const QPoint corner = grip->geometry().center();
  mouse(QEvent::MouseButtonPress, corner, Qt::LeftButton);
  mouse(QEvent::MouseMove, corner + QPoint(30, 12), Qt::NoButton);
  mouse(QEvent::MouseButtonRelease, corner + QPoint(30, 12), Qt::LeftButton);
  EXPECT_EQ(o.win->Position(name).width, before.width + 30);
  EXPECT_EQ(o.win->Position(name).height, before.height + 12);
  save(backend_->WindowWidget(handle), "editor-morphbox.png");
  mouse(QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return !box->IsOpen(); }));
  Pump();
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

  // the properties dialog, first and second tab
  ASSERT_TRUE(o.win->InputKey(name, ui::key::MouseLeft2));
  auto dialog = opened("Form Control Properties");
  ASSERT_NE(dialog, nullptr);
  QWidget* top = backend_->WindowWidget(dialog->GetLong(0, ui::Prop::Handle));
  ASSERT_NE(top, nullptr);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return top->isVisible(); }));
  Pump();
  save(top, "editor-properties.png");
  ASSERT_TRUE(dialog->InputTab(dialog->Number("?SHEET1"), 2));
  Pump();
  save(top, "editor-properties-appearance.png");
  ASSERT_TRUE(dialog->InputTab(dialog->Number("?SHEET1"), 3));
  Pump();
  save(top, "editor-properties-location.png");
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTON7:2")));
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return !dialog->IsOpen(); }));
  Pump();

  // the tab order editor
  ASSERT_TRUE(o.win->InputAccept(editor::kEditTabOrder));
  dialog = opened("Tab Order");
  ASSERT_NE(dialog, nullptr);
  top = backend_->WindowWidget(dialog->GetLong(0, ui::Prop::Handle));
  ASSERT_NE(top, nullptr);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return top->isVisible(); }));
  Pump();
  save(top, "editor-taborder.png");
  ASSERT_TRUE(dialog->InputAccept(dialog->Number("?BUTTONCANCEL")));
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return !dialog->IsOpen(); }));
  Pump();
}

// The close box of the editor's window asks before typed values are lost.
TEST_F(EditorQt, TheCloseBoxAsksBeforeUnsavedChangesAreLost) {
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  const long handle = o.win->GetLong(0, ui::Prop::Handle);
  uitest::QtAnswers answers;
  auto closeBox = [&] {
    QCloseEvent close;
    QCoreApplication::sendEvent(backend_->WindowWidget(handle), &close);
    Pump();
  };
  int notes = 0;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (rt::Clip(o.ed->Queue.At(i).NAME.View()) == "notes") notes = o.ed->Queue.At(i).CTLNO;
  ASSERT_TRUE(o.win->InputType(notes, "typed"));
  Pump();
  answers.Message(QMessageBox::Cancel);
  closeBox();
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return !answers.Asked().empty(); }));
  Pump();
  EXPECT_EQ(answers.Asked().front(), "Save the changes to FORM?");
  EXPECT_TRUE(o.win->IsOpen());
  EXPECT_TRUE(backend_->WindowWidget(handle)->isVisible());
  answers.Message(QMessageBox::No);
  closeBox();
  EXPECT_TRUE(ui::ProcessEventsUntil([&] { return !o.win->IsOpen(); }));
  EXPECT_EQ(answers.Asked().size(), 2u);
}

// Typed on Qt: Tab leaves the multi-line field without a tab in its text;
// Enter in a field that is single-line in the PDF adds no line break.
TEST_F(EditorQt, TabLeavesEveryFieldAndEnterBreaksOnlyMultiLineOnes) {
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client));
  const long handle = o.win->GetLong(0, ui::Prop::Handle);
  auto number = [&](const std::string& name) {
    for (long i = 1; i <= o.ed->Queue.Count(); ++i)
      if (rt::Clip(o.ed->Queue.At(i).NAME.View()) == name) return static_cast<int>(o.ed->Queue.At(i).CTLNO);
    return 0;
  };
  auto key = [&](QWidget* to, int code, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
    Pump();
  };
  auto* notes = qobject_cast<QPlainTextEdit*>(backend_->ControlWidget(handle, number("notes")));
  ASSERT_NE(notes, nullptr);
  backend_->WindowWidget(handle)->activateWindow();
  notes->setFocus();
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return QApplication::focusWidget() == notes; }));
  key(notes, Qt::Key_A, "a");
  key(notes, Qt::Key_Return, "\r");
  key(notes, Qt::Key_B, "b");
  key(notes, Qt::Key_Tab, "\t");
  EXPECT_NE(QApplication::focusWidget(), notes);
  EXPECT_TRUE(ui::ProcessEventsUntil([&] { return o.win->Focus() != number("notes"); }));
  EXPECT_EQ(o.win->Get(number("notes"), ui::Prop::ScreenText), "a\nb");

  ASSERT_TRUE(o.win->InputSpin(editor::kPageNo, +1));
  Pump();
  auto* back = qobject_cast<QPlainTextEdit*>(backend_->ControlWidget(handle, number("back")));
  ASSERT_NE(back, nullptr);
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return back->isVisible(); }));
  back->setFocus();
  ASSERT_TRUE(ui::ProcessEventsUntil([&] { return QApplication::focusWidget() == back; }));
  key(back, Qt::Key_C, "c");
  key(back, Qt::Key_Return, "\r");
  key(back, Qt::Key_D, "d");
  EXPECT_EQ(back->toPlainText(), "cd");
  EXPECT_EQ(o.win->Get(number("back"), ui::Prop::ScreenText), "cd");
}

// The Qt file dialogs give names outside ASCII in the runtime's form, and
// every dialog of the editor opens what was chosen.
TEST_F(EditorQt, FileNamesOutsideAsciiOpenFromEveryDialog) {
  // the form the fixture imported would be the one "use existing" finds
  D().Relate(data::FileId::Forms)->Open();
  D().FOR.ID = static_cast<rt::Long>(form_);
  ASSERT_EQ(D().Access(data::FileId::Forms)->TryFetch(D().Access(data::FileId::Forms)->KeyNumber("FOR:ID_Key")),
            cl::kBenign);
  D().Relate(data::FileId::Forms)->TryDelete();
  D().Relate(data::FileId::Forms)->Close();
  Opened o;
  QWidget* client = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEditor(o, client, "3"));
  uitest::QtAnswers answers;
  DialogDriver driver;
  driver.file = [&](const std::string& host) { answers.File(host); };
  driver.yes = [&] { answers.Message(QMessageBox::Yes); };
  driver.press = [&](int control) {
    ASSERT_TRUE(o.win->InputAccept(control));
    // done once the dialogs it asks have taken their answers and the editor is idle
    ASSERT_TRUE(ui::ProcessEventsUntil(
        [&] { return answers.Used() && o.win->PendingEvents() == 0 && !o.ed->Busy(); }, 120000));
    Pump();
  };
  CheckNamesOutsideAscii(o, driver);
}

}  // namespace
