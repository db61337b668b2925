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
#include <QAbstractButton>
#include <QComboBox>
#include <QAction>
#include <QEnterEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <map>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "qt_app.h"
#include "qt_dialogs.h"
#include "forms.h"
#include "velmora/editor/formeditor.h"
#include "velmora/ui/desktop.h"
#include "frame_fixture.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/qt_backend.h"

namespace {

class AppFrameQt : public apptest::FrameFixture {
 protected:
  static void SetUpTestSuite() {
    uitest::StartQtApplication("app_tests");
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
  // The frame's child window with the caption, as Qt shows it.
  QMdiSubWindow* Child(const QString& caption) {
    QWidget* top = Shown("Velmora");
    auto* area = top ? top->findChild<QMdiArea*>() : nullptr;
    if (area)
      for (QMdiSubWindow* sub : area->subWindowList())
        if (sub->windowTitle() == caption && sub->isVisible()) return sub;
    return nullptr;
  }
  // Starts the frame and waits for it and its Getting Started window.
  QWidget* ShowFrame() {
    EXPECT_NE(StartFrame(), nullptr);
    EXPECT_TRUE(Pump([&] { return Shown("Velmora") && Child("Getting Started"); }));
    Pump([] { return false; }, 200);  // let the mirror settle
    return Shown("Velmora");
  }
  // Ends the frame from its File menu and waits until everything is gone.
  void ExitFrame() {
    if (auto frame = ui::Frame()) frame->InputAccept(-4);
    ASSERT_TRUE(Pump([&] { return ui::OpenWindows().empty() && !Shown("Velmora"); }));
    rt::WaitForThreads();
  }
  std::unique_ptr<ui::QtBackend> backend_;
};

// Where a window is and how big, on the screen or in the frame.
QRect Place(const QWidget* w) { return QRect(w->pos(), w->size()); }
std::string Text(const QRect& r) {
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

// Differences of at most a pixel: positions are kept in dialog units.
bool Near(const QRect& a, const QRect& b) {
  return std::abs(a.x() - b.x()) <= 1 && std::abs(a.y() - b.y()) <= 1 &&
         std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1;
}

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

// The user moves and sizes the frame and a child; the next start shows both
// where they were left, and further starts change nothing.
TEST_F(AppFrameQt, FrameAndChildPlacesAreSavedAndRestored) {
  QWidget* top = ShowFrame();
  ASSERT_NE(top, nullptr);
  QMdiSubWindow* manual = Child("Getting Started");
  ASSERT_NE(manual, nullptr);
  // places and sizes that lie on the (offscreen) screen and in the frame
  top->move(37, 45);
  top->resize(661, 533);
  manual->move(21, 13);
  manual->resize(343, 217);
  Pump([] { return false; }, 200);
  const QRect frameLeft = Place(top), manualLeft = Place(manual);
  ExitFrame();

  std::vector<std::pair<QRect, QRect>> starts;
  for (int start = 0; start < 2; ++start) {
    SCOPED_TRACE(start);
    top = ShowFrame();
    ASSERT_NE(top, nullptr);
    manual = Child("Getting Started");
    ASSERT_NE(manual, nullptr);
    starts.emplace_back(Place(top), Place(manual));
    ExitFrame();
  }
  EXPECT_TRUE(Near(starts[0].first, frameLeft)) << Text(starts[0].first) << " left at " << Text(frameLeft);
  EXPECT_TRUE(Near(starts[0].second, manualLeft)) << Text(starts[0].second) << " left at " << Text(manualLeft);
  EXPECT_EQ(Text(starts[1].first), Text(starts[0].first)) << "a further start moves and shrinks nothing";
  EXPECT_EQ(Text(starts[1].second), Text(starts[0].second));

  // a frame left maximized starts maximized
  top = ShowFrame();
  ASSERT_NE(top, nullptr);
  top->showMaximized();
  Pump([] { return false; }, 200);
  ExitFrame();
  top = ShowFrame();
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isMaximized());
  ExitFrame();
}

// Tips of menu items and toolbar buttons show in the frame's status bar;
// the clipboard items carry the desktop's shortcuts.
TEST_F(AppFrameQt, StatusBarShowsTipsAndClipboardItemsHaveStandardShortcuts) {
  auto* top = qobject_cast<QMainWindow*>(ShowFrame());
  ASSERT_NE(top, nullptr);
  QStatusBar* status = top->findChild<QStatusBar*>();
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(status->isVisible());
  std::map<QString, QAction*> items;
  for (QAction* a : top->findChildren<QAction*>()) items[a->text()] = a;
  struct Case {
    const char* item;
    const char* tip;
    QKeySequence::StandardKey key;  // QKeySequence::UnknownKey: none
  } cases[] = {
      {"Cu&t", "Remove item to Windows Clipboard", QKeySequence::Cut},
      {"&Copy", "Copy item to Windows Clipboard", QKeySequence::Copy},
      {"&Paste", "Paste contents of Windows Clipboard", QKeySequence::Paste},
      {"T&ile", "Make all open windows visible", QKeySequence::UnknownKey},
      {"E&xit", "Exit this application", QKeySequence::UnknownKey},
      {"&Manual", "", QKeySequence::UnknownKey},  // no tip: the status bar stays empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    QAction* a = items[c.item];
    ASSERT_NE(a, nullptr);
    status->clearMessage();
    a->showStatusText(top->menuBar());  // what an open menu does for the item under the pointer
    EXPECT_EQ(status->currentMessage(), c.tip);
    EXPECT_EQ(a->shortcut(), c.key == QKeySequence::UnknownKey ? QKeySequence() : QKeySequence(c.key));
  }
  // the pointer enters the "Show Forms" button
  QToolButton* showForms = nullptr;
  for (QToolButton* b : top->findChildren<QToolButton*>())
    if (b->toolTip() == "Show Forms") showForms = b;
  ASSERT_NE(showForms, nullptr);
  status->clearMessage();
  QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), showForms->mapToGlobal(QPointF(3, 3)));
  QApplication::sendEvent(showForms, &enter);
  EXPECT_EQ(status->currentMessage(), "Show Forms");
  ExitFrame();
}

// Cascade keeps every child's own size; Arrange Icons lines up only the
// minimized children along the bottom and leaves the others alone.
TEST_F(AppFrameQt, CascadeKeepsSizesAndArrangeIconsMovesOnlyMinimizedChildren) {
  ASSERT_NE(ShowFrame(), nullptr);
  auto frame = ui::Frame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(frame->InputAccept(-21));  // About
  ASSERT_TRUE(frame->InputAccept(-3));   // Application Setup
  ASSERT_TRUE(Pump([&] { return Child("About Velmora") && Child("Application Setup"); }));
  Pump([] { return false; }, 200);
  QMdiSubWindow* manual = Child("Getting Started");
  QMdiSubWindow* about = Child("About Velmora");
  QMdiSubWindow* setup = Child("Application Setup");
  manual->resize(manual->width() - 50, manual->height() - 40);  // a size of its own
  Pump([] { return false; }, 100);
  const QSize sizes[] = {manual->size(), about->size(), setup->size()};

  ASSERT_TRUE(frame->InputAccept(-15));  // Cascade
  Pump([] { return false; }, 200);
  EXPECT_EQ(manual->size(), sizes[0]);
  EXPECT_EQ(about->size(), sizes[1]);
  EXPECT_EQ(setup->size(), sizes[2]);
  std::set<std::pair<int, int>> corners = {{manual->x(), manual->y()}, {about->x(), about->y()},
                                           {setup->x(), setup->y()}};
  EXPECT_EQ(corners.size(), 3u) << "stacked, each a step from the last";

  about->showMinimized();
  setup->showMinimized();
  about->move(150, 40);
  setup->move(10, 10);
  manual->move(33, 27);
  Pump([] { return false; }, 200);
  const QRect manualBefore = Place(manual);
  ASSERT_TRUE(frame->InputAccept(-16));  // Arrange Icons
  Pump([] { return false; }, 200);
  EXPECT_EQ(Text(Place(manual)), Text(manualBefore)) << "a window that is not minimized stays";
  const int bottom = about->parentWidget()->height();
  std::vector<QMdiSubWindow*> icons = {about, setup};
  std::sort(icons.begin(), icons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
  EXPECT_EQ(icons[0]->x(), 0);
  EXPECT_EQ(icons[1]->x(), icons[0]->width());
  for (QMdiSubWindow* icon : icons) EXPECT_EQ(icon->y() + icon->height(), bottom);
  // the window showing itself again leaves its icon where it was put
  const QRect aboutIcon = Place(about);
  Windows("About Velmora").front()->Set(0, ui::Prop::Text, "About Velmora");
  Pump([] { return false; }, 200);
  EXPECT_EQ(Text(Place(about)), Text(aboutIcon));
  frame.reset();
  ExitFrame();
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

// Closing Getting Started opens the empty editor inside the frame: larger
// than the frame's area as the editor asks, it is made to fit, every
// control it shows within reach, and only its working controls show.
TEST_F(AppFrameQt, TheEmptyEditorFitsTheFrameArea) {
  QWidget* top = ShowFrame();
  ASSERT_NE(top, nullptr);
  for (auto& w : Windows("Getting Started")) w->InputClose();
  QMdiSubWindow* editor = nullptr;
  ASSERT_TRUE(Pump([&] { return (editor = Child("Form Editor")) != nullptr; }, 20000));
  Pump([] { return false; }, 300);
  auto* area = top->findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  const QRect room = area->viewport()->rect();
  EXPECT_TRUE(room.contains(editor->geometry())) << Text(editor->geometry()) << " in " << Text(room);
  std::set<QString> shown;
  for (QAbstractButton* b : editor->findChildren<QAbstractButton*>()) {
    if (!b->isVisibleTo(editor) || b->text().isEmpty()) continue;
    shown.insert(b->text());
    const QRect at(b->mapTo(editor, QPoint(0, 0)), b->size());
    EXPECT_TRUE(editor->rect().contains(at)) << b->text().toStdString() << " " << Text(at);
  }
  EXPECT_EQ(shown, (std::set<QString>{"...", "Open PDF File", "Exit without Save"}));
  for (QComboBox* list : editor->findChildren<QComboBox*>())
    EXPECT_FALSE(list->isVisibleTo(editor)) << list->currentText().toStdString();
  Grab(top, "velmora-empty-editor.png");
}

// The end of the desktop session closes the program as its Exit would: an
// editor holding unsaved values asks, and Cancel there cancels the end.
TEST_F(AppFrameQt, TheSessionsEndAsksTheEditorsAndCancelKeepsTheProgram) {
  const std::string pdf = forms::MakeForm((dir_ / "form.pdf").string());
  ASSERT_NE(ShowFrame(), nullptr);
  for (auto& w : Windows("Getting Started")) w->InputClose();
  ASSERT_TRUE(Pump([&] { return Child("Form Editor") != nullptr; }, 20000));
  auto editorWindow = Windows("Form Editor").front();
  uitest::QtAnswers answers;
  answers.File(pdf);
  answers.Message(QMessageBox::Yes);  // the document's fields
  ASSERT_TRUE(editorWindow->InputAccept(editor::kPdfOpen));
  editor::FormEditor* ed = nullptr;
  ASSERT_TRUE(Pump([&] {
    ed = editor::EditorOfWindow(editorWindow->GetLong(0, ui::Prop::Handle));
    return ed && ed->FormId != 0 && !ed->Busy() && editorWindow->PendingEvents() == 0;
  }, 20000));
  auto endSession = [] {
    rt::UnlockThread();
    const bool ended = ui::EndDesktopSession();
    rt::LockThread();
    return ended;
  };
  answers.Message(QMessageBox::Cancel);
  EXPECT_FALSE(endSession());
  ASSERT_EQ(answers.Asked().size(), 2u);
  EXPECT_EQ(answers.Asked().back().rfind("Save the changes to FORM Created: ", 0), 0u) << answers.Asked().back();
  EXPECT_TRUE(ui::Frame() != nullptr);
  EXPECT_TRUE(editorWindow->IsOpen());
  answers.Message(QMessageBox::No);
  EXPECT_TRUE(endSession());
  EXPECT_TRUE(Pump([] { return ui::OpenWindows().empty(); }));
}

}  // namespace
