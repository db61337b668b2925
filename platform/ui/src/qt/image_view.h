#pragma once
// The widget of an image control: the picture is decoded once per change
// of its bytes, and a stretched picture is scaled once per change of its
// size, not at every paint.
#include <QLabel>
#include <QImage>
#include <cstdint>
#include <vector>

namespace ui {

class ImageView : public QLabel {
 public:
  explicit ImageView(QWidget* parent);
  // Shows the picture of `bytes`, drawn to the widget's size when
  // `stretch` is set, else at its natural size.
  void SetPicture(const std::vector<uint8_t>& bytes, bool stretch);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void Show();
  uint64_t key_ = 0;
  bool stretch_ = false;
  QImage source_;
  QSize shown_;
};

}  // namespace ui
