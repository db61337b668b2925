// Keyboard selection in lists: the arrow, page and home/end keys move the
// current row in Qt; the model hears of it with the key's code.
#include "list_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTreeWidget>

#include "velmora/ui/keys.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

// The runtime's code of a key that moves through a list; 0 for others.
int MoveKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Up: return key::Up;
    case Qt::Key_Down: return key::Down;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    default: return 0;
  }
}

class ListKeyWatcher : public QObject {
 public:
  ListKeyWatcher(QTreeWidget* list, long handle, int control) : QObject(list), handle_(handle), control_(control) {
    QObject::connect(list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
      const int key = key_;
      key_ = 0;
      if (!key || !item) return;
      if (auto w = WindowFromHandle(handle_)) w->InputSelectRow(control_, item->data(0, Qt::UserRole).toLongLong(), key);
    });
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) key_ = MoveKey(static_cast<QKeyEvent*>(e)->key());
    else if (e->type() == QEvent::KeyRelease || e->type() == QEvent::MouseButtonPress) key_ = 0;
    return QObject::eventFilter(obj, e);
  }

 private:
  long handle_;
  int control_;
  int key_ = 0;
};

}  // namespace

void WatchListKeys(QTreeWidget* list, long handle, int control) {
  list->installEventFilter(new ListKeyWatcher(list, handle, control));
}

}  // namespace ui
