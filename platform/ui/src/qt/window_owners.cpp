// Owned windows on the Qt backend: refused input and the Window menu.
#include "window_owners.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QVariant>

#include "velmora/runtime/text.h"
#include "velmora/ui/window.h"

namespace ui::qtowners {
namespace {

constexpr const char* kListedProperty = "velmoraListed";

class InputRefuser : public QObject {
 public:
  InputRefuser(QObject* parent, std::function<void(long)> bringForward)
      : QObject(parent), bringForward_(std::move(bringForward)) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::Wheel: case QEvent::ContextMenu:
      case QEvent::Shortcut: case QEvent::ShortcutOverride:
        break;
      default:
        return QObject::eventFilter(obj, e);
    }
    if (!obj->isWidgetType()) return false;
    const long handle = HandleOf(static_cast<QWidget*>(obj));
    if (!handle) return false;
    auto w = WindowFromHandle(handle);
    if (!w || w->TakesInput()) return false;
    if (e->type() == QEvent::MouseButtonPress && bringForward_) bringForward_(handle);
    return true;
  }

 private:
  std::function<void(long)> bringForward_;
};

}  // namespace

long HandleOf(const QWidget* widget) {
  for (const QWidget* p = widget; p; p = p->parentWidget()) {
    const QVariant v = p->property(kHandleProperty);
    if (v.isValid()) return v.toLongLong();
  }
  return 0;
}

void RefuseInputOfWaitingWindows(QObject* parent, std::function<void(long)> bringForward) {
  qApp->installEventFilter(new InputRefuser(parent, std::move(bringForward)));
}

bool IsWindowMenu(const Window& window, int menu) {
  for (const ChildEntry& k : window.Children(menu)) {
    const auto action = static_cast<StdAction>(window.GetLong(k.number, Prop::Std));
    if (k.number && (action == StdAction::Tile || action == StdAction::Cascade)) return true;
  }
  return false;
}

void ListWindows(QMenu* menu, const std::function<void(long)>& activate) {
  for (QAction* a : menu->actions()) {
    if (!a->property(kListedProperty).toBool()) continue;
    menu->removeAction(a);
    a->deleteLater();
  }
  const auto active = ActiveWindow();
  int n = 0;
  for (const auto& w : OpenWindows()) {
    if (w->Kind() == WindowKind::Frame) continue;
    if (n == 0) menu->addSeparator()->setProperty(kListedProperty, true);
    QString caption = QString::fromStdString(rt::ToUtf8(w->Get(0, Prop::Text)));
    caption.replace("&", "&&");
    QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(caption));
    a->setProperty(kListedProperty, true);
    a->setCheckable(true);
    a->setChecked(w == active);
    const long handle = w->GetLong(0, Prop::Handle);
    QObject::connect(a, &QAction::triggered, menu, [activate, handle] { activate(handle); });
  }
}

}  // namespace ui::qtowners
