#pragma once
// Writing page pictures as GIF files.
#include <poppler/cpp/poppler-image.h>

#include <string>

namespace velmora::pdf::detail {

// Writes a 24-bit picture as a GIF with a 256-colour median-cut palette;
// the picture is released as soon as its pixels are copied out.
bool WriteGif(poppler::image rgb, const std::string& path);

}  // namespace velmora::pdf::detail
