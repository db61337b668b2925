// Mouse capture on Qt: the capturing window's client widget grabs the
// mouse, so every mouse event reaches its client procedure.
#include <QApplication>
#include <QPointer>
#include <QWidget>

#include "velmora/ui/qt_backend.h"
#include "velmora/ui/window.h"

namespace ui {

void QtBackend::MouseCaptured(Window* window) {
  const long handle = window ? window->GetLong(0, Prop::Handle) : 0;
  QMetaObject::invokeMethod(
      qApp,
      [this, handle] {
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        if (!handle) return;
        QWidget* client = ClientWidget(handle);
        if (client && client->isVisible()) client->grabMouse();
      },
      Qt::QueuedConnection);
}

}  // namespace ui
