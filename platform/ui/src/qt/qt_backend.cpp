// The Qt mirror of the window model.
#include "velmora/ui/qt_backend.h"

#include "region_click.h"
#include "progress_view.h"
#include "rich_text_view.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGroupBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTimer>
#include <limits>
#include <QFontInfo>
#include <QFontDialog>
#include <QFontMetricsF>
#include <QFrame>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "qt_actions.h"
#include "qt_geometry.h"
#include "printer_dialogs.h"
#include "text_fit.h"
#include "window_owners.h"
#include "window_picture.h"
#include "group_header.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/window.h"
#include "image_cache.h"
#include "image_view.h"
#include "picture_spin.h"
#include "scroll_bars.h"
#include "list_keys.h"

namespace ui {
namespace {

// A mark for the window's own part (caption, icon, status bar) without
// its controls.
constexpr int kWindowOnly = std::numeric_limits<int>::min();

QString Q(const std::string& cp1252) { return QString::fromStdString(rt::ToUtf8(cp1252)); }
std::string FromQ(const QString& s) { return rt::FromUtf8(s.toStdString()); }

// Colours are 0xBBGGRR; -1 and other negative values leave the default.
bool ToColor(long v, QColor& out) {
  if (v < 0) return false;
  out = QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
  return true;
}

// The Windows fonts the windows name map to installed families of the same
// kind (metric-compatible Liberation first), once per process.
void InstallFontSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    const QStringList installed = QFontDatabase::families();
    auto present = [&](const QStringList& candidates) {
      QStringList found;
      for (const QString& c : candidates)
        if (installed.contains(c, Qt::CaseInsensitive)) found << c;
      return found;
    };
    const QStringList sans = present({"Liberation Sans", "DejaVu Sans"});
    const QStringList serif = present({"Liberation Serif", "DejaVu Serif"});
    const QStringList mono = present({"Liberation Mono", "DejaVu Sans Mono"});
    const std::pair<const char*, const QStringList*> fonts[] = {
        {"MS Sans Serif", &sans}, {"Microsoft Sans Serif", &sans}, {"Tahoma", &sans},
        {"Arial", &sans},         {"Times New Roman", &serif},     {"Courier New", &mono}};
    for (const auto& [name, families] : fonts)
      if (!families->isEmpty() && !installed.contains(name, Qt::CaseInsensitive))
        QFont::insertSubstitutions(name, *families);
  });
}

QFont ToQFont(const Font& f) {
  QFont q(Q(f.name.empty() ? std::string("MS Sans Serif") : f.name));
  q.setPointSize(f.size > 0 ? f.size : 8);
  int weight = f.style & style::WeightMask;
  if (weight >= 600) q.setBold(true);
  q.setItalic(f.style & style::Italic);
  q.setUnderline(f.style & style::Underline);
  q.setStrikeOut(f.style & style::Strikeout);
  return q;
}

Qt::CursorShape CursorShape(const std::string& name) {
  if (name == cursor::Wait) return Qt::WaitCursor;
  if (name == cursor::Cross) return Qt::CrossCursor;
  if (name == cursor::IBeam) return Qt::IBeamCursor;
  if (name == cursor::SizeAll) return Qt::SizeAllCursor;
  if (name == cursor::SizeNWSE) return Qt::SizeFDiagCursor;
  if (name == cursor::SizeNESW) return Qt::SizeBDiagCursor;
  if (name == cursor::SizeNS) return Qt::SizeVerCursor;
  if (name == cursor::SizeWE) return Qt::SizeHorCursor;
  if (name == cursor::Hand || rt::InString("hand", rt::Lower(name)) > 0) return Qt::PointingHandCursor;
  return Qt::ArrowCursor;
}

// Icons by name, found and loaded once (GUI thread).
QIcon IconOf(const std::string& name) {
  static std::map<std::string, QIcon> known;
  auto it = known.find(name);
  if (it != known.end()) return it->second;
  std::string path = FindResource(name);
  return known[name] = path.empty() ? QIcon() : QIcon(QString::fromStdString(path));
}

// Boxes, lines, regions and panels draw themselves from the model.
class Shape : public QWidget {
 public:
  Shape(QWidget* parent, ControlType type) : QWidget(parent), type_(type) { setMouseTracking(true); }
  long fill = -1, border = -1, lineWidth = 1;
  bool flipX = false, flipY = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QColor c;
    QRect r = rect().adjusted(0, 0, -1, -1);
    if (type_ == ControlType::Line) {
      p.setPen(QPen(ToColor(border, c) ? c : QColor(Qt::black), static_cast<qreal>(std::max(1L, lineWidth))));
      QPoint a = flipX ? r.topRight() : r.topLeft(), b = flipX ? r.bottomLeft() : r.bottomRight();
      if (flipY) std::swap(a.ry(), b.ry());
      p.drawLine(a, b);
      return;
    }
    if (ToColor(fill, c)) p.fillRect(rect(), c);
    if (type_ == ControlType::Box || type_ == ControlType::Panel || (type_ == ControlType::Region && border >= 0)) {
      p.setPen(QPen(ToColor(border, c) ? c : QColor(Qt::gray), static_cast<qreal>(std::max(1L, lineWidth))));
      p.drawRect(r);
    }
  }

 private:
  ControlType type_;
};

// The toolbar: its background picture is tiled behind the buttons.
class ToolBand : public QToolBar {
 public:
  explicit ToolBand(QWidget* parent) : QToolBar(parent) {}
  void SetPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    if (picture_.isNull()) return QToolBar::paintEvent(e);
    QPainter p(this);
    p.drawTiledPixmap(rect(), picture_);
  }

 private:
  QPixmap picture_;
};

class Top;

// The handle of the window a dialog asked by the calling thread belongs
// to: the window that thread shows (0: none).
long AskingWindow() {
  auto w = TopWindow();
  return w ? w->GetLong(0, Prop::Handle) : 0;
}

}  // namespace

struct QtBackend::Impl {
  QObject* gui = nullptr;
  int dpiX = 96, dpiY = 96;
  // A child's widgets go with its frame's when the frame closes first.
  struct View {
    QPointer<QMainWindow> top;
    QPointer<QMdiSubWindow> sub;
    QPointer<QWidget> client;
    QPointer<QMdiArea> mdi;
    QPointer<QWidget> toolArea;
    QPointer<ToolBand> toolBar;
    std::map<int, QWidget*> widgets;
    std::map<int, QAction*> actions;
    std::map<int, QLabel*> zones;
    // What each list shows, to change only the rows that changed.
    struct ListShown {
      std::string format;
      Font font;
      std::vector<Window::ShownRow> rows;
      std::vector<std::vector<std::string>> icons;  // icon file per cell
      std::vector<QTreeWidgetItem*> items;           // by row
    };
    std::map<int, ListShown> lists;
    bool syncing = false;
  };
  std::map<long, View> views;
  std::mutex dirtyMu;
  std::set<std::pair<long, int>> dirty;
  bool flushQueued = false;
  mutable std::mutex metricsMu;
  mutable std::map<std::pair<std::string, int>, DialogBase> metrics;

  bool OnGuiThread() const { return QThread::currentThread() == gui->thread(); }
  void Later(std::function<void()> f) { QMetaObject::invokeMethod(gui, std::move(f), Qt::QueuedConnection); }
  template <class R>
  R OnGui(const std::function<R()>& f) {
    if (OnGuiThread()) return f();
    R result{};
    QMetaObject::invokeMethod(gui, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }

  void MarkDirty(long handle, int control);
  void Flush();
  void Build(long handle);
  void Drop(long handle);
  void BuildMenus(View& v, Window& w, QMenuBar* bar);
  // A frame's Window menu lists the open windows each time it opens.
  void ListWindowsIn(QMenu* menu, Window& w, int number);
  void AddMenuItems(View& v, Window& w, QMenu* menu, int parent);
  QWidget* MakeControl(View& v, Window& w, long handle, int n);
  void Refresh(View& v, Window& w, int control);
  void ApplyKeyboardOrder(View& v, Window& w);
  void RefreshControl(View& v, Window& w, int n);
  void RefreshList(View& v, Window& w, int n, QTreeWidget* t);

  // The user activated a window's widget: the model hears of it; a window
  // that takes no input brings forward the one its thread waits in.
  void Activated(long handle);
  // Shows a window in front of the others: the one it waits under, when
  // it waits.
  void BringForward(long handle);
  // Shows a window in front (its thread's top window when it waits).
  void Show(long handle);
  // The widget a window's dialogs and owned windows belong to: the
  // window's own, or for a child of the frame the frame's; nullptr when
  // it is not shown.
  QWidget* OwnerWidget(long handle) const;
};

namespace {

// The top-level window: the close box and resizing go into the model.
class Top : public QMainWindow {
 public:
  Top(long handle, QtBackend::Impl* impl) : handle_(handle), impl_(impl) {
    setProperty(qtowners::kHandleProperty, static_cast<qlonglong>(handle));
  }

 protected:
  // A window of its own that the user makes active (a child of the frame
  // is activated through the frame's area).
  void changeEvent(QEvent* e) override {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) impl_->Activated(handle_);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (auto w = WindowFromHandle(handle_)) w->InputClose();
  }
  // An MDI child's preferred size is its own size (what cascading keeps).
  QSize sizeHint() const override {
    auto it = impl_->views.find(handle_);
    auto w = WindowFromHandle(handle_);
    QSize own = it != impl_->views.end() && w ? qtgeometry::Preferred(*w, this, it->second.client) : QSize();
    return own.isValid() ? own : QMainWindow::sizeHint();
  }
  void resizeEvent(QResizeEvent* e) override {
    QMainWindow::resizeEvent(e);
    auto it = impl_->views.find(handle_);
    if (it == impl_->views.end() || it->second.syncing || !it->second.client) return;
    if (auto w = WindowFromHandle(handle_)) w->InputSize(it->second.client->width(), it->second.client->height());
  }

 private:
  long handle_;
  QtBackend::Impl* impl_;
};

// The runtime's key code of a key press; 0 for keys it has no code for.
int KeyCode(const QKeyEvent* e) {
  int k = e->key(), code = 0;
  switch (k) {
    case Qt::Key_Tab: case Qt::Key_Backtab: code = key::Tab; break;
    case Qt::Key_Return: case Qt::Key_Enter: code = key::Enter; break;
    case Qt::Key_Escape: code = key::Esc; break;
    case Qt::Key_Space: code = key::Space; break;
    case Qt::Key_Left: code = key::Left; break;
    case Qt::Key_Up: code = key::Up; break;
    case Qt::Key_Right: code = key::Right; break;
    case Qt::Key_Down: code = key::Down; break;
    case Qt::Key_Insert: code = key::Insert; break;
    case Qt::Key_Delete: code = key::Delete; break;
    default:
      if (k >= Qt::Key_F1 && k <= Qt::Key_F12) code = key::F1 + (k - Qt::Key_F1);
      else if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) code = k;
  }
  if (!code) return 0;
  Qt::KeyboardModifiers m = e->modifiers();
  if (m & Qt::ShiftModifier || k == Qt::Key_Backtab) code |= key::Shift;
  if (m & Qt::ControlModifier) code |= key::Ctrl;
  if (m & Qt::AltModifier) code |= key::Alt;
  return code;
}

// A left click on a region that does not alert it is the region's accepted
// event (the click also reaches the client area beneath).
void AcceptRegionClick(long handle, int control, int code) {
  auto w = WindowFromHandle(handle);
  if (w && code == key::MouseLeft && w->GetLong(control, Prop::Type) == static_cast<long>(ControlType::Region) &&
      !w->IsAlerted(control, code))
    w->InputAccept(control);
}

// A control's focus, alerted keys and alerted mouse clicks go into the model.
class ControlFilter : public QObject {
 public:
  ControlFilter(QObject* parent, long handle, int control, QtBackend::Impl* impl)
      : QObject(parent), handle_(handle), control_(control), impl_(impl) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    int code = 0;
    switch (e->type()) {
      case QEvent::FocusIn: {
        auto it = impl_->views.find(handle_);
        if (it != impl_->views.end() && !it->second.syncing)
          if (auto w = WindowFromHandle(handle_)) w->InputFocus(control_);
        return false;
      }
      case QEvent::KeyPress: code = KeyCode(static_cast<QKeyEvent*>(e)); break;
      case QEvent::MouseButtonPress: {
        auto b = static_cast<QMouseEvent*>(e)->button();
        code = b == Qt::RightButton ? key::MouseRight : b == Qt::LeftButton ? key::MouseLeft : key::MouseCenter;
        AcceptRegionClick(handle_, control_, code);
        break;
      }
      case QEvent::MouseButtonDblClick:
        code = static_cast<QMouseEvent*>(e)->button() == Qt::RightButton ? key::MouseRight2 : key::MouseLeft2;
        break;
      default: return QObject::eventFilter(obj, e);
    }
    auto w = WindowFromHandle(handle_);
    if (!code || !w) return false;
    if (!(w->IsAlerted(control_, code) || w->IsAlerted(0, code))) {
      // Enter in a text control that takes no line break is the window's
      if (e->type() != QEvent::KeyPress || (code & 0xFF) != key::Enter ||
          w->GetLong(control_, Prop::Type) != static_cast<long>(ControlType::Text) ||
          !w->GetLong(control_, Prop::SingleLine))
        return false;
    }
    w->InputKey(control_, code);
    return true;  // an alerted key does not reach the control
  }

 private:
  long handle_;
  int control_;
  QtBackend::Impl* impl_;
};

// The row and column under the mouse of a list go into the model as the
// pointer moves, presses and releases over its rows (1-based; 0 for none).
class ListMouseFilter : public QObject {
 public:
  ListMouseFilter(QTreeWidget* tree, long handle, int control)
      : QObject(tree), tree_(tree), handle_(handle), control_(control) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    Prop rowProp, columnProp;
    switch (e->type()) {
      case QEvent::MouseMove: rowProp = Prop::MouseMoveRow, columnProp = Prop::MouseMoveColumn; break;
      case QEvent::MouseButtonPress: case QEvent::MouseButtonDblClick:
        rowProp = Prop::MouseDownRow, columnProp = Prop::MouseDownColumn;
        break;
      case QEvent::MouseButtonRelease: rowProp = Prop::MouseUpRow, columnProp = Prop::MouseUpColumn; break;
      default: return QObject::eventFilter(obj, e);
    }
    QPoint p = static_cast<QMouseEvent*>(e)->position().toPoint();
    QTreeWidgetItem* item = tree_->itemAt(p);
    long row = item ? item->data(0, Qt::UserRole).toLongLong() : 0;
    long column = tree_->columnAt(p.x()) + 1;
    auto w = WindowFromHandle(handle_);
    if (!w) return false;
    // moves change nothing while the pointer stays in the same cell
    if (rowProp != Prop::MouseMoveRow || w->GetLong(control_, rowProp) != row) w->Set(control_, rowProp, row);
    if (rowProp != Prop::MouseMoveRow || w->GetLong(control_, columnProp) != column)
      w->Set(control_, columnProp, column);
    return false;
  }

 private:
  QTreeWidget* tree_;
  long handle_;
  int control_;
};

// Mouse messages over the client area reach the window's client procedure.
class ClientFilter : public QObject {
 public:
  ClientFilter(QObject* parent, long handle, QWidget* client) : QObject(parent), handle_(handle), client_(client) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    unsigned message = 0;
    switch (e->type()) {
      case QEvent::MouseMove: message = msg::MouseMove; break;
      case QEvent::MouseButtonPress:
        message = static_cast<QMouseEvent*>(e)->button() == Qt::RightButton ? msg::RButtonDown : msg::LButtonDown;
        break;
      case QEvent::MouseButtonRelease:
        message = static_cast<QMouseEvent*>(e)->button() == Qt::RightButton ? msg::RButtonUp : msg::LButtonUp;
        break;
      case QEvent::MouseButtonDblClick: message = msg::LButtonDblClk; break;
      default: return QObject::eventFilter(obj, e);
    }
    auto* me = static_cast<QMouseEvent*>(e);
    auto* widget = qobject_cast<QWidget*>(obj);
    QPoint p = widget ? widget->mapTo(client_, me->position().toPoint()) : me->position().toPoint();
    if (auto w = WindowFromHandle(handle_)) w->InputMouse(message, p.x(), p.y());
    return false;
  }

 private:
  long handle_;
  QWidget* client_;
};

}  // namespace

// --- the mirror ---

void QtBackend::Impl::MarkDirty(long handle, int control) {
  std::lock_guard l(dirtyMu);
  dirty.insert({handle, control});
  if (flushQueued) return;
  flushQueued = true;
  Later([this] { Flush(); });
}

void QtBackend::Impl::Flush() {
  std::set<std::pair<long, int>> work;
  {
    std::lock_guard l(dirtyMu);
    work.swap(dirty);
    flushQueued = false;
  }
  std::set<std::pair<long, int>> deferred;
  std::set<long> shownWindows;
  for (const auto& [handle, control] : work) {
    auto it = views.find(handle);
    auto w = WindowFromHandle(handle);
    if (it == views.end() || !w) continue;
    // a window whose painting is locked shows its changes once unlocked
    if (w->PaintLocked()) {
      deferred.insert({handle, control});
      continue;
    }
    Refresh(it->second, *w, control);
    shownWindows.insert(handle);
  }
  for (long handle : shownWindows) {
    auto it = views.find(handle);
    if (auto w = WindowFromHandle(handle); w && it != views.end()) qtscroll::Update(it->second.client, *w, handle);
  }
  if (!deferred.empty()) {
    std::lock_guard l(dirtyMu);
    dirty.insert(deferred.begin(), deferred.end());
    if (!flushQueued) {
      flushQueued = true;
      QTimer::singleShot(2, gui, [this] { Flush(); });
    }
  }
}

void QtBackend::Impl::AddMenuItems(View& v, Window& w, QMenu* menu, int parent) {
  for (const ChildEntry& k : w.Children(parent)) {
    if (k.number == 0) {
      QAction* rule = menu->addSeparator();
      rule->setVisible(!k.hidden);
      continue;
    }
    auto type = static_cast<ControlType>(w.GetLong(k.number, Prop::Type));
    QString text = Q(w.Get(k.number, Prop::Text));
    if (type == ControlType::Menu) {
      QMenu* sub = menu->addMenu(text);
      v.actions[k.number] = sub->menuAction();
      AddMenuItems(v, w, sub, k.number);
      ListWindowsIn(sub, w, k.number);
    } else {
      QAction* a = menu->addAction(text);
      a->setShortcut(qtactions::StandardShortcut(static_cast<StdAction>(w.GetLong(k.number, Prop::Std))));
      long handle = w.GetLong(0, Prop::Handle);
      int n = k.number;
      QObject::connect(a, &QAction::triggered, [handle, n] {
        if (auto win = WindowFromHandle(handle)) win->InputAccept(n);
      });
      v.actions[k.number] = a;
    }
  }
}

void QtBackend::Impl::ListWindowsIn(QMenu* menu, Window& w, int number) {
  if (w.Kind() != WindowKind::Frame || !qtowners::IsWindowMenu(w, number)) return;
  QObject::connect(menu, &QMenu::aboutToShow, menu,
                   [this, menu] { qtowners::ListWindows(menu, [this](long handle) { Show(handle); }); });
}

void QtBackend::Impl::Activated(long handle) {
  auto w = WindowFromHandle(handle);
  if (!w || w->Kind() == WindowKind::Frame || !w->IsOpen()) return;
  if (!w->InputActivate()) BringForward(handle);
}

void QtBackend::Impl::BringForward(long handle) {
  auto w = WindowFromHandle(handle);
  if (!w) return;
  if (auto blocker = w->WaitingFor()) w = blocker;
  auto it = views.find(w->GetLong(0, Prop::Handle));
  if (it == views.end()) return;
  if (it->second.sub) {
    if (it->second.sub->isMinimized()) it->second.sub->showNormal();
    qtgeometry::Activate(it->second.sub);
  } else if (it->second.top) {
    if (it->second.top->isMinimized()) it->second.top->showNormal();
    it->second.top->raise();
    it->second.top->activateWindow();
  }
}

void QtBackend::Impl::Show(long handle) {
  auto w = WindowFromHandle(handle);
  if (!w) return;
  BringForward(handle);
  if (auto blocker = w->WaitingFor()) w = blocker;
  w->InputActivate();
}

QWidget* QtBackend::Impl::OwnerWidget(long handle) const {
  auto w = WindowFromHandle(handle);
  if (!w) return nullptr;
  if (w->Kind() == WindowKind::MdiChild)
    if (auto frame = Frame()) return OwnerWidget(frame->GetLong(0, Prop::Handle));
  auto it = views.find(handle);
  if (it == views.end() || !it->second.top || !it->second.top->isVisible()) return nullptr;
  return it->second.top;
}

void QtBackend::Impl::BuildMenus(View& v, Window& w, QMenuBar* bar) {
  for (const ChildEntry& k : w.Children(Window::kMenuBar)) {
    if (k.number == 0) continue;
    QMenu* menu = bar->addMenu(Q(w.Get(k.number, Prop::Text)));
    v.actions[k.number] = menu->menuAction();
    AddMenuItems(v, w, menu, k.number);
    ListWindowsIn(menu, w, k.number);
  }
}

QWidget* QtBackend::Impl::MakeControl(View& v, Window& w, long handle, int n) {
  auto type = static_cast<ControlType>(w.GetLong(n, Prop::Type));
  bool inToolbar = false;
  for (const ChildEntry& k : w.Children(Window::kToolbar))
    if (k.number == n) inToolbar = true;
  QWidget* parent = inToolbar && v.toolArea ? v.toolArea : v.client;
  auto accept = [handle, n] {
    if (auto win = WindowFromHandle(handle)) win->InputAccept(n);
  };
  QWidget* widget = nullptr;
  switch (type) {
    case ControlType::Menu: case ControlType::Item: case ControlType::Tab: case ControlType::Toolbar:
      return nullptr;
    case ControlType::String: case ControlType::Prompt: {
      auto* l = new QLabel(parent);
      l->setMouseTracking(true);
      widget = l;
      break;
    }
    case ControlType::Image:
      widget = new ImageView(parent);
      break;
    case ControlType::Entry: {
      auto* e = new QLineEdit(parent);
      QObject::connect(e, &QLineEdit::textEdited, [handle, n](const QString& t) {
        if (auto win = WindowFromHandle(handle)) win->InputType(n, FromQ(t));
      });
      QObject::connect(e, &QLineEdit::editingFinished, accept);
      widget = e;
      break;
    }
    case ControlType::Text: {
      if (w.GetLong(n, Prop::RichText)) {
        widget = MakeRichTextView(parent);
        break;
      }
      auto* t = new QPlainTextEdit(parent);
      t->setTabChangesFocus(true);  // Tab and Shift+Tab move between fields, as everywhere
      QObject::connect(t, &QPlainTextEdit::textChanged, [this, handle, n, t] {
        auto it = views.find(handle);
        if (it != views.end() && it->second.syncing) return;
        if (auto win = WindowFromHandle(handle)) win->InputType(n, FromQ(t->toPlainText()));
      });
      widget = t;
      break;
    }
    case ControlType::Button: {
      if (inToolbar) {
        auto* b = new QToolButton(parent);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        QObject::connect(b, &QToolButton::clicked, accept);
        widget = b;
      } else {
        auto* b = new QPushButton(parent);
        QObject::connect(b, &QPushButton::clicked, accept);
        widget = b;
      }
      break;
    }
    case ControlType::Check: {
      auto* c = new QCheckBox(parent);
      QObject::connect(c, &QCheckBox::clicked, accept);
      widget = c;
      break;
    }
    case ControlType::Radio: {
      auto* r = new QRadioButton(parent);
      r->setAutoExclusive(false);
      QObject::connect(r, &QRadioButton::clicked, accept);
      widget = r;
      break;
    }
    case ControlType::Option: case ControlType::Group: {
      auto* f = new QGroupBox(parent);  // its text is the title on the frame
      f->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = f;
      break;
    }
    case ControlType::Spin: {
      auto* s = new PictureSpin(parent);
      s->setRange(-2147483647, 2147483647);
      QObject::connect(s, &QSpinBox::valueChanged, [this, handle, n](int value) {
        auto it = views.find(handle);
        if (it != views.end() && it->second.syncing) return;
        if (auto win = WindowFromHandle(handle)) {
          win->InputType(n, std::to_string(value));
          win->InputAccept(n);
        }
      });
      widget = s;
      break;
    }
    case ControlType::DropList: case ControlType::Combo: case ControlType::DropCombo: {
      auto* c = new QComboBox(parent);
      c->setEditable(type != ControlType::DropList);
      QObject::connect(c, &QComboBox::activated, [handle, n](int index) {
        if (auto win = WindowFromHandle(handle)) {
          win->InputSelectRow(n, index + 1, key::MouseLeft);
          win->InputAccept(n);
        }
      });
      if (c->isEditable())
        QObject::connect(c, &QComboBox::editTextChanged, [this, handle, n](const QString& t) {
          auto it = views.find(handle);
          if (it != views.end() && it->second.syncing) return;
          if (auto win = WindowFromHandle(handle)) win->InputType(n, FromQ(t));
        });
      widget = c;
      break;
    }
    case ControlType::List: {
      auto* t = new QTreeWidget(parent);
      t->setRootIsDecorated(false);
      t->setUniformRowHeights(true);  // long lists lay out without measuring every row
      t->setContextMenuPolicy(Qt::CustomContextMenu);
      auto rowOf = [t](QTreeWidgetItem* item) { return item ? item->data(0, Qt::UserRole).toLongLong() : 0; };
      QObject::connect(t, &QTreeWidget::itemClicked, [handle, n, rowOf](QTreeWidgetItem* item, int column) {
        if (auto win = WindowFromHandle(handle)) win->InputSelectRow(n, rowOf(item), key::MouseLeft, column + 1);
      });
      QObject::connect(t, &QTreeWidget::customContextMenuRequested, [handle, n, t, rowOf](const QPoint& p) {
        if (auto win = WindowFromHandle(handle))
          win->InputSelectRow(n, rowOf(t->itemAt(p)), key::MouseRight, t->columnAt(p.x()) + 1);
      });
      QObject::connect(t, &QTreeWidget::itemDoubleClicked, [handle, n](QTreeWidgetItem*, int) {
        if (auto win = WindowFromHandle(handle)) win->InputKey(n, key::MouseLeft2);
      });
      auto box = [this, handle, n, rowOf](QTreeWidgetItem* item) {
        auto it = views.find(handle);
        if (it != views.end() && it->second.syncing) return;
        if (auto win = WindowFromHandle(handle)) win->InputTreeBox(n, rowOf(item));
      };
      QObject::connect(t, &QTreeWidget::itemExpanded, box);
      QObject::connect(t, &QTreeWidget::itemCollapsed, box);
      // mouse input reaches the rows' viewport: alerted clicks are taken
      // there, after the row and column under the mouse are known
      t->viewport()->setMouseTracking(true);
      t->viewport()->installEventFilter(new ControlFilter(t, handle, n, this));
      t->viewport()->installEventFilter(new ListMouseFilter(t, handle, n));
      WatchListKeys(t, handle, n);
      widget = t;
      break;
    }
    case ControlType::Progress:
      widget = MakeProgressView(parent);
      break;
    case ControlType::Sheet: {
      auto* bar = new QTabBar(parent);
      // Tabs are drawn in the desktop's colours: a window's background
      // picture would make the style paint them black.
      QPalette pal = bar->palette();
      pal.setBrush(QPalette::Window, QApplication::palette().window());
      pal.setBrush(QPalette::Button, QApplication::palette().button());
      bar->setPalette(pal);
      QObject::connect(bar, &QTabBar::tabBarClicked, [handle, n](int index) {
        if (auto win = WindowFromHandle(handle)) win->InputTab(n, index + 1);
      });
      widget = bar;
      break;
    }
    default:
      widget = new Shape(parent, type);
      if (type == ControlType::Region) ReportRegionClicks(widget, handle, n);
      break;
  }
  widget->installEventFilter(new ControlFilter(widget, handle, n, this));
  v.widgets[n] = widget;
  return widget;
}

void QtBackend::Impl::RefreshControl(View& v, Window& w, int n) {
  auto type = static_cast<ControlType>(w.GetLong(n, Prop::Type));
  auto it = v.actions.find(n);
  if (it != v.actions.end()) {
    it->second->setText(Q(w.Get(n, Prop::Text)));
    it->second->setVisible(!w.GetLong(n, Prop::Hide));
    it->second->setEnabled(!w.GetLong(n, Prop::Disable));
    it->second->setToolTip(Q(w.Get(n, Prop::Tip)));
    it->second->setStatusTip(Q(w.Get(n, Prop::Tip)));  // shown in the frame's status bar
    return;
  }
  auto wi = v.widgets.find(n);
  QWidget* widget = wi == v.widgets.end() ? nullptr : wi->second;
  if (!widget) return;
  Window::Rect r = w.PixelPosition(n);
  bool flipX = r.width < 0, flipY = r.height < 0;
  QRect rect(static_cast<int>(flipX ? r.x + r.width : r.x), static_cast<int>(flipY ? r.y + r.height : r.y),
             static_cast<int>(std::labs(r.width)), static_cast<int>(std::labs(r.height)));
  if (w.GetLong(n, Prop::Scroll)) {
    Window::Rect origin{w.GetLong(0, Prop::XOrigin), w.GetLong(0, Prop::YOrigin), 0, 0};
    rect.translate(-static_cast<int>(origin.x), -static_cast<int>(origin.y));
  }
  if (rect.width() == 0 || rect.height() == 0) {
    QSize hint = widget->sizeHint();
    if (rect.width() == 0) rect.setWidth(hint.width());
    if (rect.height() == 0) rect.setHeight(hint.height());
  }
  widget->setGeometry(rect);
  widget->setVisible(w.IsShown(n));
  widget->setEnabled(!w.GetLong(n, Prop::Disable));
  if (QString tip = Q(w.Get(n, Prop::Tip)); widget->toolTip() != tip) {
    widget->setToolTip(tip);
    if (qobject_cast<QToolButton*>(widget)) widget->setStatusTip(tip);
  }
  Font f{w.Get(n, Prop::FontName), static_cast<int>(w.GetLong(n, Prop::FontSize)),
         static_cast<int>(w.GetLong(n, Prop::FontStyle)), w.GetLong(n, Prop::FontColor)};
  {
    // field text fits its box: the list of choices, for the widest choice
    QStringList choices;
    if (type == ControlType::DropList || type == ControlType::Combo || type == ControlType::DropCombo) {
      for (const auto& row : w.ShownRows(n)) choices << Q(row.cells.empty() ? std::string() : row.cells[0]);
      if (choices.isEmpty())
        for (const std::string& choice : MessageLines(w.Get(n, Prop::From))) choices << Q(choice);
      choices << Q(w.Get(n, Prop::ScreenText));
    }
    const QFont font = qtfit::Fitted(widget, type, w.GetLong(n, Prop::VScroll) != 0, rect.size(), ToQFont(f), choices);
    if (widget->font() != font) widget->setFont(font);
  }
  QPalette pal = widget->palette();
  QColor c;
  if (ToColor(f.color, c)) {
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::Text, c);
    pal.setColor(QPalette::ButtonText, c);
  }
  // a box's or line's colour is its border's, drawn by the shape itself
  if (type != ControlType::Box && type != ControlType::Line && ToColor(w.GetLong(n, Prop::Color), c)) {
    pal.setColor(QPalette::Window, c);
    pal.setColor(QPalette::Base, c);
    pal.setColor(QPalette::Button, c);
    widget->setAutoFillBackground(!w.GetLong(n, Prop::Transparent));
  }
  if (pal != widget->palette()) widget->setPalette(pal);
  std::string cur = w.Get(n, Prop::Cursor);
  if (cur.empty()) widget->unsetCursor(); else widget->setCursor(CursorShape(cur));
  QString screen = Q(w.Get(n, Prop::ScreenText));
  bool readOnly = w.GetLong(n, Prop::ReadOnly) != 0;
  switch (type) {
    case ControlType::String: case ControlType::Prompt:
      static_cast<QLabel*>(widget)->setText(screen);
      break;
    case ControlType::Option: case ControlType::Group:
      static_cast<QGroupBox*>(widget)->setTitle(Q(w.Get(n, Prop::Text)));
      break;
    case ControlType::Image:
      static_cast<ImageView*>(widget)->SetPicture(w.Image(n), w.GetLong(n, Prop::Stretch) || r.width || r.height);
      break;
    case ControlType::Entry: {
      auto* e = static_cast<QLineEdit*>(widget);
      if (e->text() != screen) e->setText(screen);
      e->setReadOnly(readOnly);
      long max = w.GetLong(n, Prop::MaxLength);
      e->setMaxLength(max > 0 ? static_cast<int>(max) : 32767);
      e->setFrame(!w.GetLong(n, Prop::Flat) || w.GetLong(n, Prop::Boxed));
      long align = w.GetLong(n, Prop::Alignment);
      e->setAlignment(align == 1 ? Qt::AlignCenter : align == 2 ? Qt::AlignRight : Qt::AlignLeft);
      break;
    }
    case ControlType::Text: {
      if (ShowRichText(widget, w, n)) break;
      auto* t = static_cast<QPlainTextEdit*>(widget);
      if (t->toPlainText() != screen) t->setPlainText(screen);
      t->setReadOnly(readOnly);
      const bool multiLine = w.GetLong(n, Prop::VScroll) != 0;
      t->setVerticalScrollBarPolicy(multiLine ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
      // one line of text keeps its bottom: the text area's margin is small
      const qreal margin = multiLine ? 4 : qtfit::kOneLineMargin;
      if (t->document()->documentMargin() != margin) t->document()->setDocumentMargin(margin);
      break;
    }
    case ControlType::Button:
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
        b->setText(Q(w.Get(n, Prop::Text)));
        b->setIcon(IconOf(w.Get(n, Prop::Icon)));
      }
      break;
    case ControlType::Check: case ControlType::Radio: {
      auto* b = static_cast<QAbstractButton*>(widget);
      b->setText(Q(w.Get(n, Prop::Text)));
      b->setChecked(w.GetLong(n, Prop::Checked) != 0);
      break;
    }
    case ControlType::Progress:
      ShowProgress(widget, w, n);
      break;
    case ControlType::Spin: {
      auto* s = static_cast<PictureSpin*>(widget);
      s->SetPicture(w.Get(n, Prop::Picture));
      if (!w.Get(n, Prop::RangeLow).empty() || !w.Get(n, Prop::RangeHigh).empty())
        s->setRange(static_cast<int>(w.GetLong(n, Prop::RangeLow)), static_cast<int>(w.GetLong(n, Prop::RangeHigh)));
      if (long step = w.GetLong(n, Prop::Step)) s->setSingleStep(static_cast<int>(step));
      s->setValue(static_cast<int>(std::strtol(rt::Trim(w.Get(n, Prop::ScreenText)).c_str(), nullptr, 10)));
      s->setReadOnly(readOnly);
      break;
    }
    case ControlType::DropList: case ControlType::Combo: case ControlType::DropCombo: {
      auto* cb = static_cast<QComboBox*>(widget);
      QStringList items;
      auto rows = w.ShownRows(n);
      if (rows.empty()) {
        for (const std::string& choice : MessageLines(w.Get(n, Prop::From))) items << Q(choice);
      } else {
        for (const auto& row : rows) items << Q(row.cells.empty() ? std::string() : row.cells[0]);
      }
      // a long list (the desktop's fonts) is filled again only when it changed
      bool same = cb->count() == items.size();
      for (int i = 0; same && i < cb->count(); ++i) same = cb->itemText(i) == items[i];
      if (!same) {
        cb->clear();
        cb->addItems(items);
      }
      int found = cb->findText(screen);
      long selected = w.GetLong(n, Prop::Selected);
      cb->setCurrentIndex(found >= 0 ? found : static_cast<int>(selected) - 1);
      if (cb->isEditable()) cb->setEditText(screen);
      break;
    }
    case ControlType::List:
      RefreshList(v, w, n, static_cast<QTreeWidget*>(widget));
      break;
    case ControlType::Sheet: {
      auto* bar = static_cast<QTabBar*>(widget);
      while (bar->count()) bar->removeTab(0);
      for (const ChildEntry& k : w.Children(n)) {
        int index = bar->addTab(Q(w.Get(k.number, Prop::Text)));
        bar->setTabVisible(index, !w.GetLong(k.number, Prop::Hide));
      }
      bar->setCurrentIndex(static_cast<int>(w.GetLong(n, Prop::Selected)) - 1);
      // The bar is the row of tabs; the tabs' controls lie on the window below it.
      bar->setGeometry(rect.x(), rect.y(), rect.width(), bar->sizeHint().height());
      // every control on the tabs shows or hides, those inside groups too
      std::function<void(int)> mark = [&](int parent) {
        for (const ChildEntry& k : w.Children(parent)) {
          MarkDirty(w.GetLong(0, Prop::Handle), k.number);
          mark(k.number);
        }
      };
      mark(n);
      break;
    }
    default:
      if (auto* s = dynamic_cast<Shape*>(widget)) {
        s->fill = w.GetLong(n, Prop::FillColor);
        s->border = w.GetLong(n, Prop::Color);
        s->lineWidth = w.GetLong(n, Prop::LineWidth);
        s->flipX = flipX != flipY;
        s->flipY = false;
        s->update();
      }
      break;
  }
  // stacked once: pictures, panels and boxes below, the rest above; a
  // filled box covers what lies under it
  if (!widget->property("velmoraStacked").toBool()) {
    widget->setProperty("velmoraStacked", true);
    widget->lower();
    const bool filledBox = type == ControlType::Box && w.GetLong(n, Prop::FillColor) >= 0 &&
                           !w.Get(n, Prop::FillColor).empty();
    if ((type != ControlType::Image && type != ControlType::Panel && type != ControlType::Box) || filledBox)
      widget->raise();
  }
}

namespace {
bool SameRow(const Window::ShownRow& a, const Window::ShownRow& b) {
  return a.cells == b.cells && a.icons == b.icons && a.level == b.level;
}
}  // namespace

// A list is built again only when its format, its font or the shape of its
// rows (their number and tree levels) changed; otherwise the rows that
// changed are updated in place and the selection moves.
void QtBackend::Impl::RefreshList(View& v, Window& w, int n, QTreeWidget* t) {
  std::string formatText = w.Get(n, Prop::Format);
  Font windowFont{w.Get(0, Prop::FontName), static_cast<int>(w.GetLong(0, Prop::FontSize)), 0, -1};
  std::vector<Window::ShownRow> rows = w.ShownRows(n);
  std::vector<std::vector<std::string>> icons(rows.size());
  for (size_t i = 0; i < rows.size(); ++i)
    for (long icon : rows[i].icons) icons[i].push_back(icon > 0 ? w.Get(n, Prop::IconList, static_cast<int>(icon)) : "");
  auto known = v.lists.find(n);
  bool rebuild = known == v.lists.end() || known->second.format != formatText || known->second.font != windowFont ||
                 known->second.rows.size() != rows.size();
  for (size_t i = 0; !rebuild && i < rows.size(); ++i)
    rebuild = std::labs(rows[i].level) != std::labs(known->second.rows[i].level);
  View::ListShown& shown = v.lists[n];
  auto fill = [&](QTreeWidgetItem* item, size_t i) {
    const auto& row = rows[i];
    for (size_t k = 0; k < row.cells.size(); ++k) item->setText(static_cast<int>(k), Q(row.cells[k]));
    for (size_t k = 0; k < icons[i].size(); ++k)
      item->setIcon(static_cast<int>(k), icons[i][k].empty() ? QIcon() : IconOf(icons[i][k]));
    item->setChildIndicatorPolicy(row.level < 0 ? QTreeWidgetItem::ShowIndicator
                                                : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  };
  if (rebuild) {
    const ListFormat* format = w.Format(n);
    t->clear();
    QStringList headers;
    bool tree = false;
    if (format) {
      for (const ListColumn& col : format->columns) {
        headers << Q(col.heading);
        tree = tree || col.tree;
      }
    }
    if (headers.isEmpty()) headers << QString();
    t->setColumnCount(static_cast<int>(headers.size()));
    t->setHeaderLabels(headers);
    // a group's heading shows across its columns when they have none
    bool anyHeading = format && qtheader::ShowGroups(t, *format);
    for (const QString& h : headers) anyHeading = anyHeading || !h.isEmpty();
    t->setHeaderHidden(!anyHeading);
    if (format) {
      // column widths are dialog units of the window's font
      double cx = CurrentBackend().Metrics(windowFont).cx;
      for (size_t k = 0; k < format->columns.size(); ++k)
        t->setColumnWidth(static_cast<int>(k), static_cast<int>(format->columns[k].width * cx / 4.0));
    }
    t->setRootIsDecorated(tree);
    shown.items.clear();
    // the items are put together first and handed to the list at once
    std::vector<QTreeWidgetItem*> parents;
    QList<QTreeWidgetItem*> top;
    for (size_t i = 0; i < rows.size(); ++i) {
      long level = std::labs(rows[i].level);
      parents.resize(static_cast<size_t>(level) + 1, nullptr);
      QTreeWidgetItem* parentItem = level > 0 ? parents[static_cast<size_t>(level - 1)] : nullptr;
      auto* item = new QTreeWidgetItem();
      if (parentItem) parentItem->addChild(item);
      else top.append(item);
      item->setData(0, Qt::UserRole, static_cast<qlonglong>(i + 1));
      fill(item, i);
      parents[static_cast<size_t>(level)] = item;
      shown.items.push_back(item);
    }
    t->addTopLevelItems(top);
    // open branches show their rows; a closed one (its rows not loaded)
    // stays closed, so its arrow shows and opening it asks for its rows
    for (size_t i = 0; i < rows.size(); ++i) shown.items[i]->setExpanded(rows[i].level >= 0);
  } else {
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!SameRow(rows[i], shown.rows[i]) || icons[i] != shown.icons[i]) fill(shown.items[i], i);
      if ((rows[i].level < 0) != (shown.rows[i].level < 0)) shown.items[i]->setExpanded(rows[i].level >= 0);
    }
  }
  shown.format = std::move(formatText);
  shown.font = windowFont;
  shown.rows = std::move(rows);
  shown.icons = std::move(icons);
  long selected = w.GetLong(n, Prop::Selected);
  QTreeWidgetItem* current = selected >= 1 && selected <= static_cast<long>(shown.items.size())
                                 ? shown.items[static_cast<size_t>(selected - 1)]
                                 : nullptr;
  if (t->currentItem() != current) {
    t->setCurrentItem(current);
    if (!current) t->clearSelection();
  }
}

void QtBackend::Impl::Refresh(View& v, Window& w, int control) {
  if (!v.top) return;
  v.syncing = true;
  if (control == 0 || control == kWindowOnly) {
    v.top->setWindowTitle(Q(w.Get(0, Prop::Text)));
    v.top->setWindowIcon(IconOf(w.Get(0, Prop::Icon)));
    // the window picture covers the client area; the toolbar's is tiled
    auto picture = [](const std::string& name) {
      std::string path = FindResource(name);
      return path.empty() ? QPixmap() : QPixmap(QString::fromStdString(path));
    };
    qtpicture::SetWindowPicture(v.client, FindResource(w.Get(0, Prop::Background)));
    if (v.toolBar) v.toolBar->SetPicture(picture(w.Get(0, Prop::ToolbarBackground)));
    qtgeometry::Apply(w, v.sub ? static_cast<QWidget*>(v.sub) : v.top, v.client);
    for (int zone = 1; zone <= 8; ++zone) {
      std::string text = w.Get(0, Prop::StatusText, zone);
      if (text.empty() && !v.zones.count(zone)) continue;
      QLabel*& label = v.zones[zone];
      if (!label) {
        label = new QLabel(v.top);
        v.top->statusBar()->addWidget(label, 1);
      }
      label->setText(Q(text));
    }
    if (control == 0)
      for (int n : w.Controls()) RefreshControl(v, w, n);
  } else if (w.Exists(control)) {
    RefreshControl(v, w, control);
  }
  v.syncing = false;
}

// Tab follows the model's keyboard order, from the last back to the first.
void QtBackend::Impl::ApplyKeyboardOrder(View& v, Window& w) {
  QWidget* previous = nullptr;
  QWidget* first = nullptr;
  for (int n : w.KeyboardOrder()) {
    auto wi = v.widgets.find(n);
    if (wi == v.widgets.end() || wi->second->focusPolicy() == Qt::NoFocus) continue;
    if (previous) QWidget::setTabOrder(previous, wi->second);
    if (!first) first = wi->second;
    previous = wi->second;
  }
  if (previous && first && previous != first) QWidget::setTabOrder(previous, first);
}

void QtBackend::Impl::Build(long handle) {
  auto w = WindowFromHandle(handle);
  if (!w || views.count(handle) || !w->IsOpen()) return;
  View& v = views[handle];
  v.syncing = true;
  Top* top = new Top(handle, this);
  v.top = top;
  // A window of its own stays above the window it was opened from. It is
  // of the dialog type, with a normal window's title buttons: X11 window
  // managers are told the owner (WM_TRANSIENT_FOR) only for such types.
  if (w->Kind() == WindowKind::Window)
    if (auto owner = w->Owner())
      if (QWidget* parent = OwnerWidget(owner->GetLong(0, Prop::Handle)))
        top->setParent(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  if (w->Kind() == WindowKind::Frame) {
    v.top->statusBar();  // where the tips of menu items and toolbar buttons show
    v.mdi = new QMdiArea(v.top);
    // a child that cannot be made small enough to fit is reached by scrolling
    v.mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    v.mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    v.top->setCentralWidget(v.mdi);
    v.client = v.mdi->viewport();
    QObject::connect(v.mdi, &QMdiArea::subWindowActivated, v.mdi, [this](QMdiSubWindow* sub) {
      if (const long h = qtowners::HandleOf(sub)) Activated(h);
    });
  } else {
    v.client = new QWidget(v.top);
    v.top->setCentralWidget(v.client);
  }
  v.client->setMouseTracking(true);
  v.client->installEventFilter(new ClientFilter(v.top, handle, v.client));
  if (!w->Children(Window::kMenuBar).empty()) BuildMenus(v, *w, v.top->menuBar());
  if (!w->Children(Window::kToolbar).empty()) {
    auto* bar = new ToolBand(v.top);
    bar->setMovable(false);
    v.toolBar = bar;
    v.toolArea = new QWidget(bar);
    int height = 0, width = 0;
    for (const ChildEntry& k : w->Children(Window::kToolbar)) {
      Window::Rect r = w->PixelPosition(k.number);
      height = std::max<int>(height, static_cast<int>(r.y + std::max(r.height, 24L)));
      width = std::max<int>(width, static_cast<int>(r.x + std::max(r.width, 24L)));
    }
    v.toolArea->setMinimumSize(width, height);
    bar->addWidget(v.toolArea);
    v.top->addToolBar(bar);
  }
  for (int n : w->Controls()) MakeControl(v, *w, handle, n);
  ApplyKeyboardOrder(v, *w);
  auto frame = Frame();
  if (w->Kind() == WindowKind::MdiChild && frame) {
    auto fi = views.find(frame->GetLong(0, Prop::Handle));
    if (fi != views.end() && fi->second.mdi) {
      v.sub = fi->second.mdi->addSubWindow(v.top);
      v.sub->setAttribute(Qt::WA_DeleteOnClose, false);
      v.sub->setProperty(qtowners::kHandleProperty, static_cast<qlonglong>(handle));
    }
  }
  Refresh(v, *w, 0);
  if (w->GetLong(0, Prop::Hide)) return;  // a hidden window is never shown
  v.syncing = true;
  QWidget* outer = v.sub ? static_cast<QWidget*>(v.sub) : v.top;
  outer->show();
  const Window::Rect r = w->PixelPosition(0);
  qtgeometry::Apply(*w, outer, v.client);  // the frame around the client is known now
  qtgeometry::KeepInside(*w, outer);       // and so the room the window takes
  qtgeometry::Watch(outer, handle, [this, handle] {
    auto it = views.find(handle);
    return it == views.end() || it->second.syncing;
  });
  v.syncing = false;
  // The window may show larger than asked (its toolbar, the frame's
  // area): the model learns the size it has.
  if (v.client->width() != r.width || v.client->height() != r.height)
    w->InputSize(v.client->width(), v.client->height());
  qtscroll::Update(v.client, *w, handle);
  qtscroll::WatchWheelAndKeys(v.top, v.client);
}

void QtBackend::Impl::Drop(long handle) {
  auto it = views.find(handle);
  if (it == views.end()) return;
  View v = it->second;
  views.erase(it);
  if (v.sub) v.sub->deleteLater();
  if (v.top) {
    v.top->hide();
    v.top->deleteLater();
  }
}

// --- QtBackend ---

QtBackend::QtBackend() : impl_(std::make_unique<Impl>()) {
  InstallFontSubstitutes();
  impl_->gui = new QObject();
  qtowners::RefuseInputOfWaitingWindows(impl_->gui, [this](long handle) { impl_->BringForward(handle); });
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    impl_->dpiX = static_cast<int>(screen->logicalDotsPerInchX());
    impl_->dpiY = static_cast<int>(screen->logicalDotsPerInchY());
  }
}

QtBackend::~QtBackend() {
  for (auto& [h, v] : impl_->views) delete v.top.data();
  delete impl_->gui;
}

QWidget* QtBackend::WindowWidget(long handle) const {
  auto it = impl_->views.find(handle);
  return it == impl_->views.end() ? nullptr : it->second.top;
}

QWidget* QtBackend::ClientWidget(long handle) const {
  auto it = impl_->views.find(handle);
  return it == impl_->views.end() ? nullptr : it->second.client;
}

QWidget* QtBackend::ControlWidget(long handle, int control) const {
  auto it = impl_->views.find(handle);
  if (it == impl_->views.end()) return nullptr;
  auto wi = it->second.widgets.find(control);
  return wi == it->second.widgets.end() ? nullptr : wi->second;
}

void QtBackend::WindowOpened(Window& w) {
  long handle = w.GetLong(0, Prop::Handle);
  impl_->Later([this, handle] { impl_->Build(handle); });
}

void QtBackend::WindowClosed(Window& w) {
  long handle = w.GetLong(0, Prop::Handle);
  const int thread = w.Thread();
  impl_->Later([this, handle, thread] {
    impl_->Drop(handle);
    // the window that opened it (the next one of its thread) comes to the front
    if (auto next = TopWindow(thread); next && next->GetLong(0, Prop::Handle) != handle)
      if (auto it = impl_->views.find(next->GetLong(0, Prop::Handle)); it != impl_->views.end())
        qtgeometry::Activate(it->second.sub);
  });
}

void QtBackend::ControlCreated(Window& w, int control) {
  long handle = w.GetLong(0, Prop::Handle);
  impl_->Later([this, handle, control] {
    auto it = impl_->views.find(handle);
    auto win = WindowFromHandle(handle);
    if (it == impl_->views.end() || !it->second.top || !win || !win->Exists(control)) return;
    // a window built after the control was created has its widget already
    if (it->second.widgets.count(control)) return;
    impl_->MakeControl(it->second, *win, handle, control);
    impl_->MarkDirty(handle, control);
  });
}

void QtBackend::ControlDestroyed(Window& w, int control) {
  long handle = w.GetLong(0, Prop::Handle);
  impl_->Later([this, handle, control] {
    auto it = impl_->views.find(handle);
    if (it == impl_->views.end()) return;
    auto wi = it->second.widgets.find(control);
    if (wi != it->second.widgets.end()) {
      if (it->second.top) wi->second->deleteLater();
      it->second.widgets.erase(wi);
    }
    it->second.lists.erase(control);
  });
}

void QtBackend::PropertyChanged(Window& w, int control, Prop prop, int) {
  switch (prop) {
    case Prop::MouseDownRow: case Prop::MouseDownColumn: case Prop::MouseUpRow:
    case Prop::MouseUpColumn: case Prop::MouseMoveRow: case Prop::MouseMoveColumn:
      return;  // where the mouse was shows nothing
    default: break;
  }
  if (control != 0 && prop == Prop::RichText) {
    // a text control bound to the rich-text control gets its view
    ControlDestroyed(w, control);
    ControlCreated(w, control);
    return;
  }
  long handle = w.GetLong(0, Prop::Handle);
  if (control == 0 && prop == Prop::Focus) {
    int focus = w.Focus();
    impl_->Later([this, handle, focus] {
      auto it = impl_->views.find(handle);
      if (it == impl_->views.end() || !it->second.top) return;
      auto wi = it->second.widgets.find(focus);
      if (wi == it->second.widgets.end()) return;
      it->second.syncing = true;
      wi->second->setFocus(Qt::OtherFocusReason);
      it->second.syncing = false;
    });
    return;
  }
  if (prop == Prop::Follows) {
    impl_->Later([this, handle] {
      auto it = impl_->views.find(handle);
      auto win = WindowFromHandle(handle);
      if (it != impl_->views.end() && win) impl_->ApplyKeyboardOrder(it->second, *win);
    });
  }
  // the origin moves every control that scrolls with the window; the
  // caption, icon and status texts change the window alone
  if (control == 0 && (prop == Prop::XOrigin || prop == Prop::YOrigin)) {
    impl_->MarkDirty(handle, kWindowOnly);
    for (int n : w.Controls())
      if (w.GetLong(n, Prop::Scroll)) impl_->MarkDirty(handle, n);
    return;
  }
  const bool windowOnly =
      control == 0 && (prop == Prop::Text || prop == Prop::StatusText || prop == Prop::Icon);
  impl_->MarkDirty(handle, windowOnly ? kWindowOnly : control);
  if (control == 0 && prop == Prop::Pixels)
    for (int n : w.Controls()) impl_->MarkDirty(handle, n);
}

void QtBackend::Invalidated(Window& w) {
  long handle = w.GetLong(0, Prop::Handle);
  impl_->Later([this, handle] {
    auto it = impl_->views.find(handle);
    if (it != impl_->views.end() && it->second.client) it->second.client->update();
  });
}

void QtBackend::CursorChanged(const std::string& name) {
  impl_->Later([name] {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (name != cursor::Arrow) QApplication::setOverrideCursor(QCursor(CursorShape(name)));
  });
}

void QtBackend::ArrangeChildren(StdAction action) {
  impl_->Later([this, action] {
    for (auto& [h, v] : impl_->views) {
      if (!v.mdi) continue;
      if (action == StdAction::Tile) v.mdi->tileSubWindows();
      else if (action == StdAction::Arrange) qtgeometry::ArrangeIcons(v.mdi);
      else qtgeometry::Cascade(v.mdi);
    }
  });
}

void QtBackend::Beep() {
  impl_->Later([] { QApplication::beep(); });
}

int QtBackend::DpiX() const { return impl_->dpiX; }
int QtBackend::DpiY() const { return impl_->dpiY; }

DialogBase QtBackend::Metrics(const Font& font) const {
  std::lock_guard l(impl_->metricsMu);
  auto key = std::make_pair(font.name, font.size);
  auto it = impl_->metrics.find(key);
  if (it != impl_->metrics.end()) return it->second;
  QFontMetricsF fm(ToQFont(Font{font.name, font.size, 0, -1}));
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  DialogBase base{fm.horizontalAdvance(letters) / 52.0, fm.height()};
  if (base.cx <= 0 || base.cy <= 0) base = DialogBase{};
  impl_->metrics[key] = base;
  return base;
}

std::optional<std::pair<int, int>> QtBackend::PictureSize(const std::vector<uint8_t>& bytes) const {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  QSize size = reader.size();
  if (!size.isValid()) return std::nullopt;
  return std::make_pair(size.width(), size.height());
}

void QtBackend::PrefetchPicture(std::vector<uint8_t> bytes, int width, int height) {
  imagecache::Prefetch(std::move(bytes), width > 0 && height > 0 ? QSize(width, height) : QSize());
}

std::string QtBackend::ClipboardText() const {
  return impl_->OnGui<std::string>([] { return FromQ(QGuiApplication::clipboard()->text()); });
}

void QtBackend::SetClipboardText(const std::string& text) {
  impl_->OnGui<int>([&] {
    QGuiApplication::clipboard()->setText(Q(text));
    return 0;
  });
}

int QtBackend::Message(const MessageRequest& r) {
  const long owner = AskingWindow();
  return impl_->OnGui<int>([this, &r, owner] {
    QMessageBox box(impl_->OwnerWidget(owner));
    box.setWindowTitle(Q(r.caption));
    QStringList lines;
    for (const std::string& line : MessageLines(r.text)) lines << Q(line);
    box.setText(lines.join('\n'));
    if (r.icon == icon::Question) box.setIcon(QMessageBox::Question);
    else if (r.icon == icon::Exclamation) box.setIcon(QMessageBox::Warning);
    else if (r.icon == icon::Hand) box.setIcon(QMessageBox::Critical);
    else if (r.icon == icon::Information) box.setIcon(QMessageBox::Information);
    const std::pair<int, QMessageBox::StandardButton> map[] = {
        {button::Ok, QMessageBox::Ok},         {button::Yes, QMessageBox::Yes},   {button::No, QMessageBox::No},
        {button::Cancel, QMessageBox::Cancel}, {button::Abort, QMessageBox::Abort}, {button::Retry, QMessageBox::Retry},
        {button::Ignore, QMessageBox::Ignore}};
    int buttons = r.buttons ? r.buttons : button::Ok;
    int def = r.defaultButton && (buttons & r.defaultButton) ? r.defaultButton : 0;
    for (const auto& [ours, theirs] : map) {
      if (!(buttons & ours)) continue;
      QAbstractButton* b = box.addButton(theirs);
      if (def == 0) def = ours;
      if (ours == def) box.setDefaultButton(static_cast<QPushButton*>(b));
    }
    box.exec();
    for (const auto& [ours, theirs] : map)
      if (box.clickedButton() == box.button(theirs)) return ours;
    return def;
  });
}

std::vector<std::string> QtBackend::FileDialog(const FileRequest& r) {
  const long owner = AskingWindow();
  return impl_->OnGui<std::vector<std::string>>([this, &r, owner] {
    QFileDialog dialog(impl_->OwnerWidget(owner), Q(r.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const FileMask& m : r.masks) filters << Q(m.description) + " (" + Q(m.pattern).replace(';', ' ') + ")";
    dialog.setNameFilters(filters);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : r.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    // the initial name comes in the system's Windows form: its folder opens
    if (!r.fileName.empty()) {
      QString host = QString::fromStdString(rt::HostPath(r.fileName));
      QFileInfo info(host);
      if (host.endsWith('/') || info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
      } else {
        if (host.contains('/')) dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
      }
    }
    std::vector<std::string> names;
    if (dialog.exec() == QDialog::Accepted)
      for (const QString& f : dialog.selectedFiles()) names.push_back(rt::WindowsPath(f.toStdString()));
    return names;
  });
}

std::optional<long> QtBackend::ColorDialog(const std::string& title, long initial) {
  const long owner = AskingWindow();
  return impl_->OnGui<std::optional<long>>([&]() -> std::optional<long> {
    QColor start;
    ToColor(initial, start);
    QColor c = QColorDialog::getColor(start, impl_->OwnerWidget(owner), Q(title));
    if (!c.isValid()) return std::nullopt;
    return static_cast<long>(c.red() | (c.green() << 8) | (c.blue() << 16));
  });
}

std::optional<Font> QtBackend::FontDialog(const std::string& title, const Font& initial) {
  const long owner = AskingWindow();
  return impl_->OnGui<std::optional<Font>>([&]() -> std::optional<Font> {
    bool ok = false;
    QFont f = QFontDialog::getFont(&ok, ToQFont(initial), impl_->OwnerWidget(owner), Q(title));
    if (!ok) return std::nullopt;
    int st = (f.bold() ? style::Bold : style::Regular) | (f.italic() ? style::Italic : 0) |
             (f.underline() ? style::Underline : 0) | (f.strikeOut() ? style::Strikeout : 0);
    return Font{FromQ(f.family()), f.pointSize(), st, initial.color};
  });
}

std::optional<PrinterChoice> QtBackend::PrinterDialog(const PrinterRequest& r) {
  const long owner = AskingWindow();
  return impl_->OnGui<std::optional<PrinterChoice>>(
      [&]() -> std::optional<PrinterChoice> { return qtprint::Ask(impl_->OwnerWidget(owner), r); });
}

std::vector<std::string> QtBackend::Printers() {
  return impl_->OnGui<std::vector<std::string>>([] { return qtprint::PrinterNames(); });
}

int QtBackend::Popup(const PopupRequest& r) {
  return impl_->OnGui<int>([&r] {
    // One menu at a time: a menu asked for while another is open (by the
    // window of another thread) closes that one, which answers "nothing
    // chosen".
    static QPointer<QMenu> open;
    if (open) open->close();
    QMenu menu;
    open = &menu;
    std::map<QAction*, int> numbers;
    for (const PopupItem& item : r.items) {
      if (item.rule) {
        menu.addSeparator();
        continue;
      }
      QString text = Q(item.text).replace("&", "&&");
      if (item.mnemonic) {
        int at = text.indexOf(QChar(item.mnemonic));
        if (at >= 0) text.insert(at, '&');
      }
      QAction* a = menu.addAction(text);
      a->setEnabled(!item.greyed);
      numbers[a] = item.number;
    }
    QPoint at = r.x || r.y ? QPoint(r.x, r.y) : QCursor::pos();
    QAction* chosen = menu.exec(at);
    auto it = numbers.find(chosen);
    return it == numbers.end() ? 0 : it->second;
  });
}

bool ProcessEventsUntil(const std::function<bool()>& done, int ms) {
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

}  // namespace ui
