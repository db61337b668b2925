// Clicks on region controls go into the model.
#include "region_click.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

#include "velmora/ui/window.h"

namespace ui {
namespace {

class RegionClick : public QObject {
 public:
  RegionClick(QWidget* region, long handle, int control)
      : QObject(region), region_(region), handle_(handle), control_(control) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonRelease) {
      auto* me = static_cast<QMouseEvent*>(e);
      if (me->button() == Qt::LeftButton && region_->rect().contains(me->position().toPoint()))
        if (auto w = WindowFromHandle(handle_)) w->InputAccept(control_);
    }
    return QObject::eventFilter(obj, e);
  }

 private:
  QWidget* region_;
  long handle_;
  int control_;
};

}  // namespace

void ReportRegionClicks(QWidget* region, long handle, int control) {
  region->installEventFilter(new RegionClick(region, handle, control));
}

}  // namespace ui
