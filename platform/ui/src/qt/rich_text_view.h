#pragma once
// The Qt view of the rich-text control: a read-only text browser that
// shows the control's HTML.
class QWidget;

namespace ui {

class Window;

QWidget* MakeRichTextView(QWidget* parent);
// Shows the control's contents when `widget` is a rich-text view; false
// for any other widget.
bool ShowRichText(QWidget* widget, const Window& w, int control);

}  // namespace ui
