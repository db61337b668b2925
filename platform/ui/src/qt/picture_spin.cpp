// Spin controls on the Qt backend that show their number with a picture.
#include "picture_spin.h"

#include <QLineEdit>
#include <cstdlib>

#include "velmora/runtime/picture.h"
#include "velmora/runtime/text.h"

namespace ui {

void PictureSpin::SetPicture(const std::string& picture) {
  if (picture == picture_) return;
  picture_ = picture;
  lineEdit()->setText(textFromValue(value()));
}

QString PictureSpin::textFromValue(int value) const {
  if (picture_.empty()) return QSpinBox::textFromValue(value);
  return QString::fromStdString(rt::ToUtf8(rt::Trim(rt::Format(std::to_string(value), picture_))));
}

int PictureSpin::valueFromText(const QString& text) const {
  if (picture_.empty()) return QSpinBox::valueFromText(text);
  const std::string number = rt::Deformat(rt::FromUtf8(text.toStdString()), picture_);
  return static_cast<int>(std::strtol(number.c_str(), nullptr, 10));
}

QValidator::State PictureSpin::validate(QString& text, int& pos) const {
  if (picture_.empty()) return QSpinBox::validate(text, pos);
  // while typing anything goes; a number within the range is taken
  const std::string number = rt::Trim(rt::Deformat(rt::FromUtf8(text.toStdString()), picture_));
  if (number.empty()) return QValidator::Intermediate;
  char* end = nullptr;
  const long value = std::strtol(number.c_str(), &end, 10);
  if (!end || *end != '\0') return QValidator::Intermediate;
  return value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

}  // namespace ui
