// Standard shortcuts of the built-in actions on the Qt backend.
#include "qt_actions.h"

namespace ui::qtactions {

QKeySequence StandardShortcut(StdAction action) {
  switch (action) {
    case StdAction::Cut: return QKeySequence(QKeySequence::Cut);
    case StdAction::Copy: return QKeySequence(QKeySequence::Copy);
    case StdAction::Paste: return QKeySequence(QKeySequence::Paste);
    default: return {};
  }
}

}  // namespace ui::qtactions
