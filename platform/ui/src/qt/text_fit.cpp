// Field text that fits its box on the Qt backend.
#include "text_fit.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace ui::qtfit {
namespace {

constexpr double kSmallest = 4;

// What the control's frame and margins take of its height and width.
QSizeF Chrome(const QWidget* widget, ControlType type) {
  const int frame = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
  switch (type) {
    case ControlType::Entry: {
      auto* edit = qobject_cast<const QLineEdit*>(widget);
      const int f = edit && !edit->hasFrame() ? 0 : frame;
      return QSizeF(2 * f + 4, 2 * f + 2);  // the line edit's own margins: 2 across, 1 down
    }
    case ControlType::Text:
      return QSizeF(2 * frame + 2 * kOneLineMargin, 2 * frame + 2 * kOneLineMargin);
    default: {  // the lists of choices: the arrow and the edit field's margins
      auto* combo = qobject_cast<const QComboBox*>(widget);
      if (!combo) return QSizeF(2 * frame, 2 * frame);
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = combo->isEditable();
      option.frame = true;
      option.rect = QRect(0, 0, 200, 100);
      const QRect field = widget->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, combo);
      return QSizeF(200 - field.width() + 4, 100 - field.height() + 2);
    }
  }
}

}  // namespace

QFont Fitted(const QWidget* widget, ControlType type, bool multiLine, const QSize& box, QFont font,
             const QStringList& choices) {
  const bool choiceList = type == ControlType::DropList || type == ControlType::Combo ||
                          type == ControlType::DropCombo;
  if (!widget || box.isEmpty() || (type != ControlType::Entry && !choiceList &&
                                   (type != ControlType::Text || multiLine)))
    return font;
  const QSizeF chrome = Chrome(widget, type);
  const double height = box.height() - chrome.height(), width = box.width() - chrome.width();
  auto fits = [&](const QFont& f) {
    const QFontMetricsF metrics(f);
    if (metrics.height() > height) return false;
    if (!choiceList) return true;
    for (const QString& choice : choices)
      if (metrics.horizontalAdvance(choice) > width) return false;
    return true;
  };
  double size = font.pointSizeF();
  if (size <= 0) return font;
  while (size > kSmallest && !fits(font)) {
    size = std::max(kSmallest, size - 0.5);
    font.setPointSizeF(size);
  }
  return font;
}

}  // namespace ui::qtfit
