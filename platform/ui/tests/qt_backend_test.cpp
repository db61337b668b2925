#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QTextBrowser>
#include <QComboBox>
#include <QSpinBox>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <set>

#include "qt_app.h"
#include "fixtures.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/qt_backend.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

using test::C;
using test::TextRows;

class UiQtBackend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("ui_tests");
    backend_ = new QtBackend();
    SetBackend(backend_);
  }
  static void TearDownTestSuite() {
    SetBackend(nullptr);
    QCoreApplication::processEvents();
    delete backend_;
    backend_ = nullptr;
  }

  static bool Pump(const std::function<bool()>& done, int ms = 5000) {
    return ui::ProcessEventsUntil(done, ms);
  }

  // Opens a window on this thread and waits until it is shown.
  static std::shared_ptr<Window> OpenHere(const WindowDesc& d, const RowSource* rows = nullptr, int list = 0) {
    auto w = Window::Create(d);
    if (rows) w->SetRows(list, rows);
    w->Open();
    long handle = w->GetLong(0, Prop::Handle);
    EXPECT_TRUE(Pump([&] { return backend_->WindowWidget(handle) && backend_->WindowWidget(handle)->isVisible(); }));
    Pump([] { return false; }, 100);  // let the mirror settle
    return w;
  }
  static void CloseHere(std::shared_ptr<Window> w) {
    long handle = w->GetLong(0, Prop::Handle);
    w->Close();
    w.reset();
    EXPECT_TRUE(Pump([&] { return !backend_->WindowWidget(handle); }));
  }
  static QWidget* Widget(const Window& w, int control) {
    return backend_->ControlWidget(w.GetLong(0, Prop::Handle), control);
  }

  static QtBackend* backend_;
};
QtBackend* UiQtBackend::backend_ = nullptr;

// Distinct colours in a picture: a blank grab has one or two.
size_t Colours(const QImage& image) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) seen.insert(image.pixel(x, y));
  return seen.size();
}

TEST_F(UiQtBackend, FrameAndChildAreShownTakeInputAndGrabToAPicture) {
  std::atomic<long> frameHandle{0}, childHandle{0};
  std::atomic<int> accepted{0};
  TextRows rows;
  rows.rows = {{"Forms", "1", "0"}, {"Invoice", "3", "1"}, {"Page 1", "2", "2"}};

  rt::Start(
      [&](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Velmora";
        d.kind = WindowKind::Frame;
        d.width = 400, d.height = 250;
        ControlDesc file = C(ControlType::Menu, "?FILEMENU", "&File");
        ControlDesc exit = C(ControlType::Item, "?EXIT", "E&xit");
        exit.std = StdAction::Close;
        file.children = {exit};
        d.menus = {file};
        ControlDesc exitButton = C(ControlType::Button, "?EXITBUTTON", "Exit");
        exitButton.width = 16, exitButton.height = 15;
        d.toolbar = {exitButton};
        auto frame = Window::Create(d);
        frame->Open();
        frameHandle = frame->GetLong(0, Prop::Handle);
        while (frame->Accept()) {}
      },
      25000);
  ASSERT_TRUE(Pump([&] { return frameHandle && backend_->WindowWidget(frameHandle); }));

  rt::Start(
      [&](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Forms";
        d.kind = WindowKind::MdiChild;
        d.width = 250, d.height = 150;
        ControlDesc prompt = C(ControlType::Prompt, "?PROMPT", "Form Name:");
        prompt.x = 4, prompt.y = 4, prompt.width = 50, prompt.height = 10;
        ControlDesc entry = C(ControlType::Entry, "?FOR:FORMNAME");
        entry.x = 60, entry.y = 4, entry.width = 100, entry.height = 12;
        entry.picture = "@s20";
        ControlDesc tree = C(ControlType::List, "?RELTREE");
        tree.x = 4, tree.y = 20, tree.width = 150, tree.height = 90;
        tree.format = "100LIT@s79@";
        ControlDesc ok = C(ControlType::Button, "?OK", "&OK");
        ok.x = 170, ok.y = 120, ok.width = 50, ok.height = 14;
        d.controls = {prompt, entry, tree, ok};
        auto w = Window::Create(d);
        rt::String<20> name("Invoice");
        w->Bind(2, UseVar::Of(name));
        w->SetRows(3, &rows);
        w->Set(2, Prop::Color, 0x00FFFF);
        w->Open();
        w->Display();
        childHandle = w->GetLong(0, Prop::Handle);
        while (w->Accept()) {
          if (w->EventNo() == ev::Accepted && w->Field() == 4) {
            accepted = 1;
            w->Post(ev::CloseWindow);
          }
        }
      },
      25000);
  ASSERT_TRUE(Pump([&] {
    return childHandle && backend_->ControlWidget(childHandle, 2) && backend_->ControlWidget(childHandle, 2)->isVisible();
  }));
  Pump([] { return false; }, 200);  // let the mirror settle

  auto* label = qobject_cast<QLabel*>(backend_->ControlWidget(childHandle, 1));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Form Name:");
  auto* edit = qobject_cast<QLineEdit*>(backend_->ControlWidget(childHandle, 2));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), "Invoice");
  auto* tree = qobject_cast<QTreeWidget*>(backend_->ControlWidget(childHandle, 3));
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Invoice");

  QImage picture = backend_->WindowWidget(frameHandle)->grab().toImage();
  auto path = std::filesystem::temp_directory_path() / "velmora-ui-frame.png";
  EXPECT_TRUE(picture.save(QString::fromStdString(path.string())));
  std::cout << "frame picture: " << path.string() << "\n";
  EXPECT_GT(Colours(picture), 3u);

  // typing goes into the model; the button's click reaches the window's thread
  emit edit->textEdited("Receipt");
  auto child = WindowFromHandle(childHandle);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->Get(2, Prop::ScreenText), "Receipt");
  child.reset();
  qobject_cast<QPushButton*>(backend_->ControlWidget(childHandle, 4))->click();
  ASSERT_TRUE(Pump([&] { return accepted == 1 && !backend_->WindowWidget(childHandle); }));

  // the frame's Exit item closes it
  auto frame = WindowFromHandle(frameHandle);
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->InputAccept(frame->Number("?EXIT")));
  frame.reset();
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(frameHandle); }));
  rt::WaitForThreads();
}

TEST_F(UiQtBackend, FocusAndAlertedClicksReachTheModel) {
  std::atomic<long> handle{0};
  std::mutex seenMu;
  std::vector<std::pair<int, int>> seen;  // event, keycode
  rt::Start(
      [&](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Form Editor";
        d.width = 200, d.height = 100;
        ControlDesc a = C(ControlType::Entry, "?A");
        a.x = 4, a.y = 4, a.width = 60, a.height = 12;
        ControlDesc b = C(ControlType::Text, "?B");
        b.x = 4, b.y = 30, b.width = 60, b.height = 30;
        b.alerts = {key::MouseRight};
        d.controls = {a, b};
        auto w = Window::Create(d);
        w->Open();
        handle = w->GetLong(0, Prop::Handle);
        while (w->Accept()) {
          std::lock_guard l(seenMu);
          seen.emplace_back(w->EventNo(), w->Keycode());
          if (w->EventNo() == ev::AlertKey) w->Post(ev::CloseWindow);
        }
      },
      25000);
  ASSERT_TRUE(Pump([&] { return handle && backend_->ControlWidget(handle, 2) && backend_->ControlWidget(handle, 2)->isVisible(); }));
  QWidget* text = backend_->ControlWidget(handle, 2);
  QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(text, &focus);
  EXPECT_EQ(WindowFromHandle(handle)->Focus(), 2);
  QPointF at(5, 5);
  QMouseEvent press(QEvent::MouseButtonPress, at, text->mapToGlobal(at), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(text, &press);
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(handle); }));
  rt::WaitForThreads();
  std::lock_guard l(seenMu);
  auto has = [&](int event, int keycode) {
    return std::find(seen.begin(), seen.end(), std::make_pair(event, keycode)) != seen.end();
  };
  EXPECT_TRUE(has(ev::Selected, 0));
  EXPECT_TRUE(has(ev::AlertKey, key::MouseRight));
}

// The platform's multi-line control moves the focus on Tab and, where it
// takes no line break, leaves Enter to the window.
TEST_F(UiQtBackend, TextControlsMoveTheFocusOnTabAndKeepEnterWhereSingleLine) {
  std::atomic<long> handle{0};
  std::atomic<int> accepted{0};
  rt::Start(
      [&](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Fields";
        d.width = 200, d.height = 100;
        ControlDesc multi = C(ControlType::Text, "?MULTI"), one = C(ControlType::Text, "?ONE");
        multi.x = 4, multi.y = 4, multi.width = 60, multi.height = 30;
        one.x = 4, one.y = 40, one.width = 60, one.height = 12;
        d.controls = {multi, one};
        auto w = Window::Create(d);
        w->Set(2, Prop::SingleLine, 1L);
        w->Open();
        handle = w->GetLong(0, Prop::Handle);
        while (w->Accept())
          if (w->EventNo() == ev::Accepted) accepted = w->Field();
      },
      25000);
  ASSERT_TRUE(Pump([&] { return handle && backend_->ControlWidget(handle, 2) && backend_->ControlWidget(handle, 2)->isVisible(); }));
  auto* multi = qobject_cast<QPlainTextEdit*>(backend_->ControlWidget(handle, 1));
  auto* one = qobject_cast<QPlainTextEdit*>(backend_->ControlWidget(handle, 2));
  ASSERT_TRUE(multi && one);
  auto key = [&](QWidget* to, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, code, modifiers, text);
    QApplication::sendEvent(to, &release);
    Pump([] { return false; }, 50);
  };
  backend_->WindowWidget(handle)->activateWindow();
  multi->setFocus();
  ASSERT_TRUE(Pump([&] { return QApplication::focusWidget() == multi; }));
  key(multi, Qt::Key_A, Qt::NoModifier, "a");
  key(multi, Qt::Key_Return, Qt::NoModifier, "\r");
  key(multi, Qt::Key_B, Qt::NoModifier, "b");
  EXPECT_EQ(multi->toPlainText(), "a\nb");
  key(multi, Qt::Key_Tab, Qt::NoModifier, "\t");
  EXPECT_EQ(multi->toPlainText(), "a\nb");
  EXPECT_TRUE(Pump([&] { return QApplication::focusWidget() == one; }));
  EXPECT_TRUE(Pump([&] { return WindowFromHandle(handle)->Focus() == 2; }));
  key(one, Qt::Key_C, Qt::NoModifier, "c");
  key(one, Qt::Key_Return, Qt::NoModifier, "\r");
  key(one, Qt::Key_Enter, Qt::KeypadModifier, "\r");
  EXPECT_EQ(one->toPlainText(), "c");
  EXPECT_TRUE(Pump([&] { return accepted == 2; }));
  key(one, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_TRUE(Pump([&] { return QApplication::focusWidget() == multi; }));
  EXPECT_EQ(WindowFromHandle(handle)->Get(1, Prop::ScreenText), "a\nb");
  WindowFromHandle(handle)->InputClose();
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(handle); }));
  rt::WaitForThreads();
}

TEST_F(UiQtBackend, ClosingTheFrameFirstTakesItsChildWindowsAlong) {
  std::atomic<long> frameHandle{0}, childHandle{0};
  auto run = [](WindowKind kind, const char* caption, std::atomic<long>& handle) {
    return [kind, caption, &handle](std::vector<std::string>) {
      WindowDesc d;
      d.caption = caption;
      d.kind = kind;
      d.width = 200, d.height = 100;
      d.controls = {C(ControlType::Prompt, "?PROMPT", caption)};
      auto w = Window::Create(d);
      w->Open();
      handle = w->GetLong(0, Prop::Handle);
      while (w->Accept()) {}
    };
  };
  rt::Start(run(WindowKind::Frame, "Velmora", frameHandle), 25000);
  ASSERT_TRUE(Pump([&] { return frameHandle && backend_->WindowWidget(frameHandle); }));
  rt::Start(run(WindowKind::MdiChild, "Getting Started", childHandle), 25000);
  ASSERT_TRUE(Pump([&] { return childHandle && backend_->ControlWidget(childHandle, 1); }));
  WindowFromHandle(frameHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(frameHandle) && !backend_->WindowWidget(childHandle); }));
  Pump([] { return false; }, 100);  // the deferred deletes run
  rt::WaitForThreads();
}

TEST_F(UiQtBackend, MessageBoxAskedByAProcedureThreadIsAnsweredOnTheGuiThread) {
  std::atomic<int> answer{0};
  rt::Start(
      [&](std::vector<std::string>) {
        answer = Message("Do you want to exit?", "Velmora", icon::Question, button::Yes | button::No, button::No);
      },
      25000);
  // the box runs its own loop on the GUI thread: a timer there answers it
  QString text, title;
  bool noIsDefault = false;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    text = box->text();
    title = box->windowTitle();
    noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
    box->button(QMessageBox::Yes)->click();
  });
  answerer.start(10);
  ASSERT_TRUE(Pump([&] { return answer != 0; }));
  answerer.stop();
  EXPECT_EQ(text, "Do you want to exit?");
  EXPECT_EQ(title, "Velmora");
  EXPECT_TRUE(noIsDefault);
  rt::WaitForThreads();
  EXPECT_EQ(answer, button::Yes);
}

// Takes the window's events until one of `event`; false when none is queued.
bool TakeUntil(Window& w, int event) {
  while (w.AcceptPending())
    if (w.EventNo() == event) return true;
  return false;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button) {
  Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
  QMouseEvent e(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

// A window holding one list (control 1) with this format.
WindowDesc ListWindow(const std::string& format) {
  WindowDesc d;
  d.caption = "Forms";
  d.width = 200, d.height = 120;
  ControlDesc list = C(ControlType::List, "?LIST");
  list.x = 4, list.y = 4, list.width = 180, list.height = 100;
  list.format = format;
  d.controls = {list};
  return d;
}

TEST_F(UiQtBackend, ListsTellTheModelTheRowAndColumnUnderTheMouse) {
  WindowDesc d = ListWindow("60L~Name~@s20@60L~Kind~@s10@");
  d.controls[0].alerts = {key::MouseRight};
  TextRows rows;
  rows.rows = {{"Invoice", "PDF"}, {"Receipt", "FDF"}, {"Order", "PDF"}};
  auto w = OpenHere(d, &rows, 1);
  auto* tree = qobject_cast<QTreeWidget*>(Widget(*w, 1));
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 3);
  QWidget* rowsArea = tree->viewport();
  auto cell = [&](int row, int column) {
    QRect r = tree->visualItemRect(tree->topLevelItem(row - 1));
    return QPoint(tree->header()->sectionViewportPosition(column - 1) + 5, r.center().y());
  };
  const QRect last = tree->visualItemRect(tree->topLevelItem(2));

  struct Move {
    QPoint at;
    long row, column;
  } moves[] = {
      {cell(2, 2), 2, 2},
      {cell(1, 1), 1, 1},
      {cell(3, 2), 3, 2},
      {QPoint(cell(1, 1).x(), last.bottom() + 10), 0, 1},  // below the rows
  };
  for (const Move& m : moves) {
    SendMouse(rowsArea, QEvent::MouseMove, m.at, Qt::NoButton);
    EXPECT_EQ(w->GetLong(1, Prop::MouseMoveRow), m.row) << m.at.y();
    EXPECT_EQ(w->GetLong(1, Prop::MouseMoveColumn), m.column) << m.at.x();
  }

  // an alerted right click: the procedure reads where it went down
  SendMouse(rowsArea, QEvent::MouseButtonPress, cell(3, 2), Qt::RightButton);
  ASSERT_TRUE(TakeUntil(*w, ev::AlertKey));
  EXPECT_EQ(w->Keycode(), key::MouseRight);
  EXPECT_EQ(w->GetLong(1, Prop::MouseDownRow), 3);
  EXPECT_EQ(w->GetLong(1, Prop::MouseDownColumn), 2);
  SendMouse(rowsArea, QEvent::MouseButtonRelease, cell(3, 2), Qt::RightButton);
  EXPECT_EQ(w->GetLong(1, Prop::MouseUpRow), 3);
  EXPECT_EQ(w->GetLong(1, Prop::MouseUpColumn), 2);

  // a left click selects the row; its new-selection event sees the cell
  SendMouse(rowsArea, QEvent::MouseButtonPress, cell(2, 1), Qt::LeftButton);
  SendMouse(rowsArea, QEvent::MouseButtonRelease, cell(2, 1), Qt::LeftButton);
  ASSERT_TRUE(TakeUntil(*w, ev::NewSelection));
  EXPECT_EQ(w->Keycode(), key::MouseLeft);
  EXPECT_EQ(w->GetLong(1, Prop::Selected), 2);
  EXPECT_EQ(w->GetLong(1, Prop::MouseDownRow), 2);
  EXPECT_EQ(w->GetLong(1, Prop::MouseDownColumn), 1);
  EXPECT_EQ(w->GetLong(1, Prop::MouseUpRow), 2);
  EXPECT_EQ(w->GetLong(1, Prop::MouseUpColumn), 1);
  CloseHere(std::move(w));
}

TEST_F(UiQtBackend, ListChangesTouchOnlyWhatChanged) {
  WindowDesc d = ListWindow("100LIT@s20@");
  TextRows rows;
  rows.rows = {{"Forms", "1", "0"}, {"Invoice", "3", "1"}, {"Receipt", "3", "1"}};
  auto w = OpenHere(d, &rows, 1);
  auto* tree = qobject_cast<QTreeWidget*>(Widget(*w, 1));
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* forms = tree->topLevelItem(0);
  ASSERT_EQ(forms->childCount(), 2);
  // items built again lose this mark
  const int mark = Qt::UserRole + 1;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) (*it)->setData(0, mark, true);
  auto allMarked = [&] {
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
      if (!(*it)->data(0, mark).toBool()) return false;
    return true;
  };

  w->Set(1, Prop::Selected, 3);
  ASSERT_TRUE(Pump([&] { return tree->currentItem() == forms->child(1); }));
  EXPECT_TRUE(allMarked());

  rows.rows[1][0] = "Order";
  w->Display(1);
  ASSERT_TRUE(Pump([&] { return forms->child(0)->text(0) == "Order"; }));
  EXPECT_TRUE(allMarked());
  EXPECT_EQ(tree->currentItem(), forms->child(1));

  // a row moving to another level changes the shape: the tree is built again
  rows.rows[2][2] = "0";
  w->Display(1);
  ASSERT_TRUE(Pump([&] { return tree->topLevelItemCount() == 2; }));
  EXPECT_FALSE(allMarked());
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "Receipt");
  EXPECT_EQ(tree->currentItem(), tree->topLevelItem(1));

  rows.rows.push_back({"Page 1", "2", "1"});
  w->Display(1);
  ASSERT_TRUE(Pump([&] { return tree->topLevelItemCount() == 2 && tree->topLevelItem(1)->childCount() == 1; }));
  EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "Page 1");
  CloseHere(std::move(w));
}

TEST_F(UiQtBackend, ToolbarShowsItsPictureTiledBehindTheButtons) {
  QImage tile(8, 6, QImage::Format_RGB32);
  for (int y = 0; y < tile.height(); ++y)
    for (int x = 0; x < tile.width(); ++x) tile.setPixel(x, y, qRgb(20 + x * 25, 30 + y * 30, 200));
  auto path = std::filesystem::temp_directory_path() / "velmora-ui-toolbar.png";
  ASSERT_TRUE(tile.save(QString::fromStdString(path.string())));

  WindowDesc d;
  d.caption = "Velmora";
  d.width = 300, d.height = 100;
  d.toolbarBackground = path.string();
  ControlDesc exitButton = C(ControlType::Button, "?EXITBUTTON", "Exit");
  exitButton.width = 16, exitButton.height = 15;
  d.toolbar = {exitButton};
  auto w = OpenHere(d);
  auto* bar = backend_->WindowWidget(w->GetLong(0, Prop::Handle))->findChild<QToolBar*>();
  ASSERT_NE(bar, nullptr);
  const QImage shown = bar->grab().toImage();
  ASSERT_GT(shown.width(), 150);
  // right of the button the picture repeats from the toolbar's corner
  for (int x = shown.width() - 40; x < shown.width() - 2; x += 7)
    for (int y = 1; y < shown.height() - 1; y += 5)
      ASSERT_EQ(QColor(shown.pixel(x, y)), QColor(tile.pixel(x % tile.width(), y % tile.height()))) << x << "," << y;
  CloseHere(std::move(w));
  std::filesystem::remove(path);
}

// The window's picture is stretched over the whole client area, however
// small the picture; a list's column group shows its heading across its
// columns.
TEST_F(UiQtBackend, WindowPictureCoversTheClientAreaAndGroupsShowTheirHeading) {
  QImage picture(4, 16, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(250 - y * 15, 250 - y * 15, 250));
  auto path = std::filesystem::temp_directory_path() / "velmora-ui-window-picture.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
  WindowDesc d;
  d.caption = "Filled Documents";
  d.width = 300, d.height = 200;
  d.background = path.string();
  ControlDesc list = C(ControlType::List, "?LIST");
  list.x = 150, list.y = 4, list.width = 140, list.height = 60;
  list.format = "60L(2)|M~Name~@s20@[30L(2)|M@d17@30L(2)|M@t7@]|M~Date/Time Created~";
  d.controls = {list};
  auto w = OpenHere(d);
  QWidget* client = backend_->ClientWidget(w->GetLong(0, Prop::Handle));
  ASSERT_NE(client, nullptr);
  ASSERT_TRUE(Pump([&] { return client->height() > 100; }));
  const QImage shown = client->grab().toImage();
  // from light at the top to dark at the bottom, once: no repeat
  int last = 256;
  for (int i = 0; i < 12; ++i) {
    const int y = 2 + (shown.height() - 5) * i / 11, grey = qGray(shown.pixel(2, y));
    EXPECT_LT(grey, last) << "row " << y;
    last = grey;
  }
  EXPECT_LT(last, 80);

  auto* tree = qobject_cast<QTreeWidget*>(Widget(*w, 1));
  ASSERT_NE(tree, nullptr);
  ASSERT_TRUE(Pump([&] { return !tree->header()->isHidden() && tree->header()->isVisible(); }));
  EXPECT_EQ(tree->headerItem()->text(0), "Name");
  EXPECT_EQ(tree->headerItem()->text(1), "");
  // the group's heading is drawn over the date and time columns: some of
  // the text's dark pixels lie right of where the date column starts
  const QImage header = tree->header()->grab().toImage();
  const int from = tree->header()->sectionViewportPosition(1) + 4;
  const int between = tree->header()->sectionViewportPosition(2);  // a section's edge, not text
  int dark = 0;
  for (int y = 3; y < header.height() - 3; ++y)
    for (int x = from; x < header.width() - 4; ++x)
      dark += std::abs(x - between) > 2 && qGray(header.pixel(x, y)) < 100;
  EXPECT_GT(dark, 40);
  CloseHere(std::move(w));
  std::filesystem::remove(path);
}

TEST_F(UiQtBackend, WindowsFontsMapToInstalledFamiliesAndSetTheDialogUnits) {
  WindowDesc d;
  d.caption = "Application Setup";
  d.width = 200, d.height = 100;
  d.font = {"MS Sans Serif", 8, 0, -1};
  ControlDesc entry = C(ControlType::Entry, "?NAME");
  entry.x = 4, entry.y = 4, entry.width = 100, entry.height = 12;
  d.controls = {entry};
  for (const char* name : {"Tahoma", "Arial", "Microsoft Sans Serif", "Courier New", "Times New Roman"}) {
    ControlDesc prompt = C(ControlType::Prompt, "", name);
    prompt.font = {name, 8, 0, -1};
    d.controls.push_back(prompt);
  }
  auto w = OpenHere(d);
  const QStringList sans{"Liberation Sans", "DejaVu Sans"};
  const QStringList mono{"Liberation Mono", "DejaVu Sans Mono"};
  const QStringList serif{"Liberation Serif", "DejaVu Serif"};
  const std::pair<int, const QStringList*> expected[] = {{1, &sans}, {2, &sans}, {3, &sans},
                                                         {4, &sans}, {5, &mono}, {6, &serif}};
  const QStringList installed = QFontDatabase::families();
  for (const auto& [control, families] : expected) {
    QWidget* widget = Widget(*w, control);
    ASSERT_NE(widget, nullptr);
    QString family = QFontInfo(widget->font()).family();
    EXPECT_TRUE(families->contains(family)) << control << ": " << family.toStdString();
    EXPECT_TRUE(installed.contains(family)) << family.toStdString();
  }

  // dialog units come from the installed family's average character
  QFont real(QFontInfo(Widget(*w, 1)->font()).family());
  real.setPointSize(8);
  QFontMetricsF fm(real);
  const double cx = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
  DialogBase base = backend_->Metrics(Font{"MS Sans Serif", 8, 0, -1});
  EXPECT_DOUBLE_EQ(base.cx, cx);
  EXPECT_DOUBLE_EQ(base.cy, fm.height());
  EXPECT_EQ(Widget(*w, 1)->width(), std::lround(100 * cx / 4));
  CloseHere(std::move(w));
}

TEST_F(UiQtBackend, FileDialogTakesAndGivesWindowsFormNames) {
  auto folder = std::filesystem::temp_directory_path() / "velmora-ui-files";
  std::filesystem::create_directories(folder);
  for (const char* name : {"a.pdf", "b.pdf"}) std::ofstream(folder / name) << "%PDF";
  const std::string windowsFolder = rt::WindowsPath(folder.string());

  std::atomic<bool> done{false};
  std::vector<std::string> names;
  rt::Start(
      [&](std::vector<std::string>) {
        FileRequest r{"Choose File to Attach", {{"PDF Files", "*.pdf"}}, windowsFolder + "\\a.pdf", false, true, false};
        names = FileDialog(r);
        done = true;
      },
      25000);
  QString openedIn, initialName;
  bool answered = false;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    if (answered) {  // anything still asking (a "file not found" box) is closed
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      return;
    }
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    answered = true;
    openedIn = dialog->directory().absolutePath();
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!edit) return dialog->reject();
    initialName = edit->text();
    edit->setText("\"a.pdf\" \"b.pdf\"");
    // queued, as the OK button would: a "not found" box then meets this timer
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  answerer.start(10);
  ASSERT_TRUE(Pump([&] { return done.load(); }));
  answerer.stop();
  rt::WaitForThreads();
  EXPECT_EQ(openedIn.toStdString(), folder.string());
  EXPECT_EQ(initialName, "a.pdf");
  EXPECT_EQ(names, (std::vector<std::string>{windowsFolder + "\\a.pdf", windowsFolder + "\\b.pdf"}));
  EXPECT_EQ(FileDialogText(names), windowsFolder + "|a.pdf|b.pdf");
  std::filesystem::remove_all(folder);
}

// A text control bound to the rich-text control after the window is shown
// gets a rich view of the control's HTML, which links cannot leave.
TEST_F(UiQtBackend, RichTextControlShowsItsHtml) {
  WindowDesc d;
  d.caption = "Getting Started";
  d.width = 200;
  d.height = 120;
  ControlDesc text = C(ControlType::Text, "?RTFTEXTBOX", "", 2);
  text.width = 190;
  text.height = 100;
  d.controls = {text};
  auto w = OpenHere(d);
  ASSERT_NE(qobject_cast<QPlainTextEdit*>(Widget(*w, 2)), nullptr);
  w->Set(2, Prop::RichText, 1L);
  w->Set(2, Prop::Html, "<p><b>Bold</b> and <a href=\"https://example.org\">a link</a></p>");
  QTextBrowser* view = nullptr;
  ASSERT_TRUE(Pump([&] {
    view = qobject_cast<QTextBrowser*>(Widget(*w, 2));
    return view && view->toPlainText() == "Bold and a link";
  }));
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_FALSE(view->openLinks());
  EXPECT_TRUE(view->isVisible());
  w->Set(2, Prop::Html, "");
  w->Set(2, Prop::ScreenText, "plain words");
  EXPECT_TRUE(Pump([&] { return view->toPlainText() == "plain words"; }));
  CloseHere(w);
}

TEST_F(UiQtBackend, ProgressControlShowsItsRangeAndPosition) {
  WindowDesc d;
  d.caption = "Wait";
  d.width = 150;
  d.height = 40;
  ControlDesc bar = C(ControlType::Progress, "?PROGRESS", "", 2);
  bar.width = 140;
  bar.height = 10;
  d.controls = {bar};
  auto w = OpenHere(d);
  QProgressBar* view = nullptr;
  ASSERT_TRUE(Pump([&] {
    view = qobject_cast<QProgressBar*>(Widget(*w, 2));
    return view && view->maximum() == 100;
  }));
  w->Set(2, Prop::RangeHigh, 40L);
  w->Set(2, Prop::Progress, 10L);
  EXPECT_TRUE(Pump([&] { return view->maximum() == 40 && view->value() == 10; }));
  w->Set(2, Prop::Progress, 99L);  // beyond the range: shown full
  EXPECT_TRUE(Pump([&] { return view->value() == 40; }));
  CloseHere(w);
}

TEST_F(UiQtBackend, SpinShowsItsNumberWithItsPicture) {
  WindowDesc d;
  d.caption = "Zoom";
  d.width = 150;
  d.height = 40;
  ControlDesc zoom = C(ControlType::Spin, "?ZOOM", "", 2);
  zoom.width = 60;
  zoom.height = 14;
  zoom.picture = "@p<###%p";
  zoom.props = {{Prop::RangeLow, "25"}, {Prop::RangeHigh, "400"}, {Prop::Step, "20"}};
  ControlDesc page = C(ControlType::Spin, "?PAGE", "", 3);
  page.y = 20;
  page.width = 40;
  page.height = 14;
  page.picture = "@n_3";
  d.controls = {zoom, page};
  rt::Long value = 100, pageNo = 7;
  auto w = Window::Create(d);
  w->Bind(2, UseVar::Of(value));
  w->Bind(3, UseVar::Of(pageNo));
  w->Open();
  w->Display();
  QSpinBox* spin = nullptr;
  QSpinBox* plain = nullptr;
  ASSERT_TRUE(Pump([&] {
    spin = qobject_cast<QSpinBox*>(Widget(*w, 2));
    plain = qobject_cast<QSpinBox*>(Widget(*w, 3));
    return spin && plain && spin->text() == "100%" && plain->text() == "7";
  })) << (spin ? spin->text().toStdString() : "no spin");
  // a step shows the new number with the picture and reaches the model
  spin->stepUp();
  EXPECT_TRUE(Pump([&] { return std::atoi(w->Get(2, Prop::ScreenText).c_str()) == 120 && spin->text() == "120%"; }))
      << w->Get(2, Prop::ScreenText) << " " << spin->text().toStdString();
  // typed with or without the sign, the number is read through the picture
  for (const char* typed : {"150%", "175"}) {
    spin->findChild<QLineEdit*>()->setText(typed);
    spin->interpretText();
    const int want = std::atoi(typed);
    EXPECT_TRUE(Pump([&] { return spin->value() == want; })) << typed << " " << spin->text().toStdString();
  }
  CloseHere(w);
}

}  // namespace
}  // namespace ui

namespace ui {
namespace {

// A frame with a Window menu (Tile, Cascade) on a thread of its own.
void StartFrame(std::atomic<long>& handle) {
  rt::Start(
      [&handle](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Velmora";
        d.kind = WindowKind::Frame;
        d.width = 500, d.height = 300;
        ControlDesc menu = C(ControlType::Menu, {}, "&Window");
        ControlDesc tile = C(ControlType::Item, "?TILE", "T&ile");
        tile.std = StdAction::Tile;
        ControlDesc cascade = C(ControlType::Item, "?CASCADE", "&Cascade");
        cascade.std = StdAction::Cascade;
        menu.children = {tile, cascade};
        d.menus = {menu};
        auto frame = Window::Create(d);
        frame->Open();
        handle = frame->GetLong(0, Prop::Handle);
        while (frame->Accept()) {}
      },
      25000);
}

QMenu* WindowMenu(QWidget* frame) {
  for (QMenu* m : frame->findChildren<QMenu*>())
    if (m->title() == "&Window") return m;
  return nullptr;
}

TEST_F(UiQtBackend, DialogStaysAboveTheFrameAndItsOwnerTakesNoInputMeanwhile) {
  std::atomic<long> frameHandle{0}, childHandle{0}, dialogHandle{0};
  std::atomic<int> clicks{0};
  StartFrame(frameHandle);
  ASSERT_TRUE(Pump([&] { return frameHandle && backend_->WindowWidget(frameHandle); }));
  rt::Start(
      [&](std::vector<std::string>) {
        WindowDesc d;
        d.caption = "Form Editor";
        d.kind = WindowKind::MdiChild;
        d.width = 200, d.height = 100;
        ControlDesc edit = C(ControlType::Button, "?EDIT", "&Edit");
        edit.x = 4, edit.y = 4, edit.width = 50, edit.height = 14;
        d.controls = {edit};
        auto w = Window::Create(d);
        w->Open();
        childHandle = w->GetLong(0, Prop::Handle);
        while (w->Accept()) {
          if (w->EventNo() != ev::Accepted) continue;
          // each click opens the properties dialog, which runs here
          ++clicks;
          WindowDesc pd;
          pd.caption = "Form Control Properties";
          pd.width = 150, pd.height = 60;
          auto dialog = Window::Create(pd);
          dialog->Open();
          dialogHandle = dialog->GetLong(0, Prop::Handle);
          while (dialog->Accept()) {}
          dialogHandle = 0;
        }
      },
      25000);
  ASSERT_TRUE(Pump([&] { return childHandle && Widget(*WindowFromHandle(childHandle), 1); }));
  Pump([] { return false; }, 100);
  auto click = [&] {
    QWidget* button = Widget(*WindowFromHandle(childHandle), 1);
    SendMouse(button, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    SendMouse(button, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton);
  };
  click();
  ASSERT_TRUE(Pump([&] { return dialogHandle && backend_->WindowWidget(dialogHandle) &&
                                backend_->WindowWidget(dialogHandle)->isVisible(); }));
  QWidget* dialog = backend_->WindowWidget(dialogHandle);
  QWidget* frame = backend_->WindowWidget(frameHandle);
  // a window of its own, owned by the frame's window (the window manager's owner)
  EXPECT_TRUE(dialog->isWindow());
  ASSERT_NE(dialog->parentWidget(), nullptr);
  EXPECT_EQ(dialog->parentWidget()->window(), frame);
  ASSERT_NE(dialog->windowHandle(), nullptr);
  EXPECT_EQ(dialog->windowHandle()->transientParent(), frame->windowHandle());
  // X11 tells the window manager the owner only for a dialog-type window
  EXPECT_EQ(dialog->windowType(), Qt::Dialog);
  EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMinMaxButtonsHint);

  // a second click on the editor opens nothing, now or later
  click();
  Pump([] { return false; }, 200);
  EXPECT_EQ(clicks.load(), 1);
  EXPECT_EQ(ActiveWindow(), WindowFromHandle(dialogHandle));

  // the frame's Window menu lists both; choosing the waiting editor brings the dialog
  QMenu* menu = WindowMenu(frame);
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  QStringList listed;
  QAction* editorItem = nullptr;
  for (QAction* a : menu->actions()) {
    if (a->text().size() > 2 && a->text()[1].isDigit()) listed << a->text();
    if (a->text() == "&1 Form Editor") editorItem = a;
  }
  EXPECT_EQ(listed, (QStringList{"&1 Form Editor", "&2 Form Control Properties"}));
  ASSERT_NE(editorItem, nullptr);
  editorItem->trigger();
  EXPECT_EQ(ActiveWindow(), WindowFromHandle(dialogHandle));

  WindowFromHandle(dialogHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return dialogHandle == 0; }));
  ASSERT_TRUE(Pump([&] { return WindowFromHandle(childHandle)->TakesInput(); }));
  click();
  ASSERT_TRUE(Pump([&] { return clicks == 2 && dialogHandle != 0; }));
  WindowFromHandle(dialogHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return dialogHandle == 0; }));
  WindowFromHandle(frameHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(frameHandle); }));
  rt::WaitForThreads();
}

// Two windows' threads asking for a popup: the later one closes the
// earlier, which answers nothing chosen; one menu shows at a time.
TEST_F(UiQtBackend, OnePopupMenuShowsAtATime) {
  std::atomic<int> first{-1}, second{-1};
  auto visibleMenus = [] {
    std::vector<QMenu*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) shown.push_back(m);
    return shown;
  };
  auto showsItem = [&](const QString& text) {
    for (QMenu* m : visibleMenus())
      for (QAction* a : m->actions())
        if (a->text() == text) return true;
    return false;
  };
  // a menu runs its own loop on this (the GUI) thread: the checks run from a timer
  int step = 0;
  size_t shownTogether = 0;
  bool firstStillShown = true;
  QElapsedTimer clock;
  clock.start();
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (step == 0 && showsItem("&Insert")) {
      rt::Start([&](std::vector<std::string>) { second = Popup("&Edit|&Delete", 40, 40); }, 25000);
      step = 1;
    } else if (step == 1 && showsItem("&Edit")) {
      shownTogether = visibleMenus().size();
      firstStillShown = showsItem("&Insert");
      for (QMenu* m : visibleMenus()) m->close();
      step = 2;
    } else if (clock.elapsed() > 20000) {
      for (QMenu* m : visibleMenus()) m->close();  // never left hanging
    }
  });
  timer.start(20);
  rt::Start([&](std::vector<std::string>) { first = Popup("&Insert|&Change", 20, 20); }, 25000);
  ASSERT_TRUE(Pump([&] { return first >= 0 && second >= 0; }, 30000));
  timer.stop();
  EXPECT_EQ(step, 2);
  EXPECT_EQ(shownTogether, 1u);
  EXPECT_FALSE(firstStillShown);
  EXPECT_EQ(first.load(), 0);
  EXPECT_EQ(second.load(), 0);
  rt::WaitForThreads();
}

// A place given off the screen, or off the frame's area, is moved in as far
// as the window's size allows, and the model learns it; Cascade leaves
// every child inside the frame's area, at its own size where it fits.
TEST_F(UiQtBackend, RestoredPlacesAndCascadeStayInsideTheScreenAndTheFrame) {
  WindowDesc d;
  d.caption = "Form Control Properties";
  d.width = 150, d.height = 60;
  auto top = Window::Create(d);
  top->SetPosition(0, 4000, 3000, 150, 60);  // saved on a larger screen
  top->Open();
  const long topHandle = top->GetLong(0, Prop::Handle);
  ASSERT_TRUE(Pump([&] { return backend_->WindowWidget(topHandle) && backend_->WindowWidget(topHandle)->isVisible(); }));
  QWidget* shown = backend_->WindowWidget(topHandle);
  const QRect screen = shown->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(shown->frameGeometry())) << shown->frameGeometry().x() << "," << shown->frameGeometry().y() << " " << shown->frameGeometry().width() << "x" << shown->frameGeometry().height() << " in " << screen.width() << "x" << screen.height();
  ASSERT_TRUE(Pump([&] { return top->PixelPosition(0).x == shown->x() && top->PixelPosition(0).y == shown->y(); }));
  // a place on the screen stays as it is
  top->SetPosition(0, 10, 12, 150, 60);
  ASSERT_TRUE(Pump([&] { return shown->pos() == QPoint(static_cast<int>(top->PixelPosition(0).x),
                                                         static_cast<int>(top->PixelPosition(0).y)); }));
  EXPECT_GT(shown->x(), 0);
  CloseHere(top);

  std::atomic<long> frameHandle{0};
  StartFrame(frameHandle);
  ASSERT_TRUE(Pump([&] { return frameHandle && backend_->WindowWidget(frameHandle); }));
  std::atomic<int> opened{0};
  std::atomic<long> lastHandle{0};
  std::atomic<bool> done{false};
  // three children, the last restored far outside the frame
  rt::Start(
      [&](std::vector<std::string>) {
        std::vector<std::shared_ptr<Window>> children;
        for (int i = 0; i < 3; ++i) {
          WindowDesc cd;
          cd.caption = "Child " + std::to_string(i + 1);
          cd.kind = WindowKind::MdiChild;
          cd.width = 260, cd.height = 120;
          auto c = Window::Create(cd);
          if (i == 2) c->SetPosition(0, 2000, 1500, 260, 120);
          c->Open();
          lastHandle = c->GetLong(0, Prop::Handle);
          children.push_back(c);
          ++opened;
        }
        // the thread waits in its last window's loop until the test closes it
        while (children.back()->Accept()) {}
        for (auto& c : children) c->Close();
        done = true;
      },
      25000);
  ASSERT_TRUE(Pump([&] { return opened == 3; }));
  QWidget* frame = backend_->WindowWidget(frameHandle);
  auto* area = frame->findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(Pump([&] {
    int visible = 0;
    for (QMdiSubWindow* sub : area->subWindowList()) visible += sub->isVisible();
    return visible == 3;
  }));
  Pump([] { return false; }, 100);
  const QRect room = area->viewport()->rect();
  for (QMdiSubWindow* sub : area->subWindowList())
    EXPECT_TRUE(room.contains(sub->geometry())) << sub->windowTitle().toStdString() << " restored";
  const QSize own = area->subWindowList().front()->size();

  backend_->ArrangeChildren(StdAction::Cascade);
  Pump([] { return false; }, 200);
  std::set<std::pair<int, int>> corners;
  for (QMdiSubWindow* sub : area->subWindowList()) {
    EXPECT_TRUE(room.contains(sub->geometry())) << sub->windowTitle().toStdString() << " cascaded";
    corners.insert({sub->x(), sub->y()});
  }
  EXPECT_EQ(corners.size(), 3u);
  EXPECT_EQ(area->subWindowList().front()->size(), own) << "the first keeps its size";
  WindowFromHandle(lastHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return done.load(); }));
  WindowFromHandle(frameHandle)->InputClose();
  ASSERT_TRUE(Pump([&] { return !backend_->WindowWidget(frameHandle); }));
  rt::WaitForThreads();
}

TEST_F(UiQtBackend, WithoutAPrintServerPrintingOffersAPdfFile) {
  // nothing answers on this port: the desktop has no printer
  setenv("CUPS_SERVER", "127.0.0.1:9", 1);
  const auto folder = std::filesystem::temp_directory_path() / "velmora-ui-print";
  std::filesystem::create_directories(folder);
  std::atomic<bool> done{false};
  std::optional<PrinterChoice> choice;
  rt::Start(
      [&](std::vector<std::string>) {
        choice = PrinterDialog({"Print"});
        done = true;
      },
      25000);
  QString told;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      told = box->text();
      box->button(QMessageBox::Yes)->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
        edit->setText(QString::fromStdString((folder / "form").string()));
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
  });
  answerer.start(10);
  ASSERT_TRUE(Pump([&] { return done.load(); }));
  answerer.stop();
  rt::WaitForThreads();
  EXPECT_EQ(told, "No printer is set up on this computer.\nDo you want to print to a PDF file instead?");
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->printer, "");
  EXPECT_EQ(choice->file, rt::WindowsPath((folder / "form.pdf").string()));
  std::filesystem::remove_all(folder);
}

TEST_F(UiQtBackend, FieldTextFitsItsBoxAtTheFormsSizeOrSmaller) {
  WindowDesc d;
  d.caption = "Form Editor";
  d.width = 400, d.height = 300;
  auto field = [](ControlType type, const char* use, int y, int width, int height, int points) {
    ControlDesc c = C(type, use);
    c.x = 4, c.y = y, c.width = width, c.height = height;
    c.font = Font{"Arial", points, 0, -1};
    return c;
  };
  ControlDesc low = field(ControlType::Text, "?LOW", 4, 200, 20, 15);  // one line, no maximum length
  ControlDesc roomy = field(ControlType::Entry, "?ROOMY", 40, 200, 30, 10);
  ControlDesc choices = field(ControlType::DropCombo, "?PICK", 80, 100, 80, 45);  // a tall list box
  choices.from = "Red|Green|Blue";
  d.controls = {low, roomy, choices};
  auto w = Window::Create(d);
  w->Set(0, Prop::Pixels, 1);
  w->SetPosition(1, 4, 4, 200, 20);  // pixels, as the editor places its fields
  w->SetPosition(2, 4, 40, 200, 30);
  w->SetPosition(3, 4, 80, 100, 80);
  w->Open();
  ASSERT_TRUE(Pump([&] { return Widget(*w, 3) && Widget(*w, 3)->isVisible(); }));
  Pump([] { return false; }, 100);

  auto* text = qobject_cast<QPlainTextEdit*>(Widget(*w, 1));
  ASSERT_NE(text, nullptr);
  const int frame = text->frameWidth();
  const double margin = text->document()->documentMargin();
  EXPECT_LE(QFontMetricsF(text->font()).height() + 2 * (frame + margin), 20.0);  // the whole line shows
  EXPECT_LT(text->font().pointSizeF(), 15);
  EXPECT_GT(text->font().pointSizeF(), 8);  // made smaller only as far as needed
  EXPECT_EQ(Widget(*w, 2)->font().pointSizeF(), 10);  // a box large enough keeps the form's size
  auto* combo = qobject_cast<QComboBox*>(Widget(*w, 3));
  ASSERT_NE(combo, nullptr);
  QStyleOptionComboBox option;
  option.initFrom(combo);
  option.editable = combo->isEditable();
  option.frame = true;
  const QRect area = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
  EXPECT_LE(QFontMetricsF(combo->font()).horizontalAdvance("Green"), area.width());  // not "G...n"
  EXPECT_LT(combo->font().pointSizeF(), 45);
  CloseHere(w);
}

}  // namespace
}  // namespace ui
