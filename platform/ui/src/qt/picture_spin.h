#pragma once
// The widget of a spin control: its number shown through the control's
// picture ("@p<###%p" shows 100 as "100%"), and read back through it.
#include <QSpinBox>
#include <string>

namespace ui {

class PictureSpin : public QSpinBox {
 public:
  explicit PictureSpin(QWidget* parent) : QSpinBox(parent) {}
  // The picture the number is shown with; "" shows it plain.
  void SetPicture(const std::string& picture);

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& text, int& pos) const override;

 private:
  std::string picture_;
};

}  // namespace ui
