#pragma once
// What the Qt backend adds to menu items and toolbar buttons: the
// desktop's standard shortcuts of the built-in clipboard actions.
#include <QKeySequence>

#include "velmora/ui/types.h"

namespace ui::qtactions {

// The desktop's shortcut for a built-in action (Cut, Copy, Paste); empty
// for every other action.
QKeySequence StandardShortcut(StdAction action);

}  // namespace ui::qtactions
