// The Qt view of the progress control: a progress bar over the control's range.
#include "progress_view.h"

#include <QProgressBar>

#include <algorithm>

#include "velmora/ui/window.h"

namespace ui {

QWidget* MakeProgressView(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  return bar;
}

void ShowProgress(QWidget* widget, const Window& w, int control) {
  auto* bar = static_cast<QProgressBar*>(widget);
  long low = 0, high = 100;
  if (!w.Get(control, Prop::RangeLow).empty() || !w.Get(control, Prop::RangeHigh).empty()) {
    low = w.GetLong(control, Prop::RangeLow);
    high = w.GetLong(control, Prop::RangeHigh);
  }
  if (high < low) high = low;
  bar->setRange(static_cast<int>(low), static_cast<int>(high));
  bar->setValue(static_cast<int>(std::clamp(w.GetLong(control, Prop::Progress), low, high)));
}

}  // namespace ui
