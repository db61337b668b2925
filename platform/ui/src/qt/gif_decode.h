#pragma once
// A fast decoder for the plain GIF pictures the program stores for pages,
// and their scaling down without a full-size colour copy.
#include <QImage>
#include <cstdint>
#include <vector>

namespace ui {

// The first image of a GIF as an 8-bit indexed picture; a null image when
// the bytes are not a GIF this decoder reads (transparency, broken data):
// the caller then decodes them the general way.
QImage DecodeGif(const std::vector<uint8_t>& bytes);

// An 8-bit indexed picture made smaller to `size` (no larger than the
// picture either way), each pixel the average of the area it covers.
QImage ShrinkIndexed(const QImage& picture, QSize size);

}  // namespace ui
