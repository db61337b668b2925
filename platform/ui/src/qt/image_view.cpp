// Image controls on the Qt backend.
#include "image_view.h"

#include <QResizeEvent>

#include "image_cache.h"

namespace ui {
ImageView::ImageView(QWidget* parent) : QLabel(parent) { setMouseTracking(true); }

void ImageView::SetPicture(const std::vector<uint8_t>& bytes, bool stretch) {
  const uint64_t key = imagecache::Fingerprint(bytes);
  if (key != key_ || bytes.empty() != source_.isNull()) {
    key_ = key;
    source_ = bytes.empty() ? QImage() : imagecache::Decoded(key, bytes);
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
  setPixmap(QPixmap::fromImage(stretch_ ? imagecache::Scaled(key_, source_, size) : source_));
}

}  // namespace ui
