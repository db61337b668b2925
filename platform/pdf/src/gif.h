#pragma once
// Writing page pictures as GIF files.
#include <poppler/cpp/poppler-image.h>

#include <cstddef>
#include <string>

namespace velmora::pdf::detail {

// Writes a 24-bit picture as a GIF with a 256-colour median-cut palette;
// the picture is released as soon as its pixels are copied out.
bool WriteGif(poppler::image rgb, const std::string& path);

// The same from rows of `w` RGB pixels, `stride` bytes apart.
bool WriteGif(const unsigned char* rgb, int w, int h, size_t stride, const std::string& path);

}  // namespace velmora::pdf::detail
