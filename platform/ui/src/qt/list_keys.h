#pragma once
// A row chosen with the keyboard in a list goes into the model as a new
// selection carrying the key that chose it, as a click carries its button.
class QTreeWidget;

namespace ui {

void WatchListKeys(QTreeWidget* list, long handle, int control);

}  // namespace ui
