#pragma once
// Field text that fits its box on the Qt backend. A control shows its
// text at the size its window gives, as a PDF reader draws a field at the
// form's size; where the box is too small for one line (or a list of
// choices too narrow for its widest choice) the size is made smaller
// until it fits, as readers shrink text to a small box.
#include <QFont>
#include <QStringList>
#include <QWidget>

#include "velmora/ui/types.h"

namespace ui::qtfit {

// The text area's margin of a one-line text control, in pixels.
inline constexpr int kOneLineMargin = 1;

// The font `widget` (a control of `type`, `box` large) shows its text in:
// `font`, or smaller where one line of it does not fit the box's height,
// and for a list of choices where the widest of `choices` does not fit
// its width. Multi-line text keeps its size. Never below 4 points.
QFont Fitted(const QWidget* widget, ControlType type, bool multiLine, const QSize& box, QFont font,
             const QStringList& choices);

}  // namespace ui::qtfit
