#pragma once
// The Qt view of the progress control: a progress bar over the control's range.
class QWidget;

namespace ui {

class Window;

QWidget* MakeProgressView(QWidget* parent);
// Shows the control's range and position on its progress bar.
void ShowProgress(QWidget* widget, const Window& w, int control);

}  // namespace ui
