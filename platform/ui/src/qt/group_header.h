#pragma once
// A list's column header that shows a column group's heading across the
// group's columns when they have no headings of their own.
#include <QTreeWidget>

#include "velmora/ui/list_format.h"

namespace ui::qtheader {

// Gives `list` such a header when `format` has a group whose columns have no
// headings; true when a group heading shows.
bool ShowGroups(QTreeWidget* list, const ListFormat& format);

}  // namespace ui::qtheader
