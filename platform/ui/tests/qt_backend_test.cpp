#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <filesystem>
#include <set>

#include "fixtures.h"
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
    if (!qApp) {
      static int argc = 1;
      static char name[] = "ui_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    }
    backend_ = new QtBackend();
    SetBackend(backend_);
  }
  static void TearDownTestSuite() {
    SetBackend(nullptr);
    QCoreApplication::processEvents();
    delete backend_;
    backend_ = nullptr;
  }

  // Runs the GUI thread, without the runtime lock, until `done` holds.
  static bool Pump(const std::function<bool()>& done, int ms = 5000) {
    rt::UnlockThread();
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    while (timer.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (done()) {
        ok = true;
        break;
      }
    }
    rt::LockThread();
    return ok;
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

}  // namespace
}  // namespace ui
