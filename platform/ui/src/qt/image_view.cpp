// Image controls on the Qt backend.
#include "image_view.h"

#include <QResizeEvent>

namespace ui {
namespace {

// A fingerprint of a picture's bytes: its size and a sample of them.
uint64_t Fingerprint(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull ^ bytes.size();
  const size_t step = bytes.size() / 4096 + 1;
  for (size_t i = 0; i < bytes.size(); i += step) h = (h ^ bytes[i]) * 1099511628211ull;
  if (!bytes.empty()) h = (h ^ bytes.back()) * 1099511628211ull;
  return h;
}

}  // namespace

ImageView::ImageView(QWidget* parent) : QLabel(parent) { setMouseTracking(true); }

void ImageView::SetPicture(const std::vector<uint8_t>& bytes, bool stretch) {
  const uint64_t key = Fingerprint(bytes);
  if (key != key_ || bytes.empty() != source_.isNull()) {
    key_ = key;
    source_ = QPixmap();
    source_.loadFromData(bytes.data(), static_cast<uint>(bytes.size()));
    shown_ = QSize();
  }
  stretch_ = stretch;
  Show();
}

void ImageView::resizeEvent(QResizeEvent* e) {
  QLabel::resizeEvent(e);
  Show();
}

void ImageView::Show() {
  const QSize size = stretch_ ? this->size() : source_.size();
  if (size == shown_ && !pixmap().isNull() == !source_.isNull()) return;
  shown_ = size;
  if (source_.isNull() || size.isEmpty()) {
    setPixmap(QPixmap());
    return;
  }
  setPixmap(stretch_ && size != source_.size()
                ? source_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                : source_);
}

}  // namespace ui
