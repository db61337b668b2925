#pragma once
// Page pictures: rendering with poppler and writing picture files.
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>

#include <string>

namespace velmora::pdf::detail {

// Renders page `index` (0-based) as a reader shows it (its rotation applied).
poppler::image RenderPage(const poppler::document& doc, int index, double dpi,
                          poppler::image::format_enum format);

// Writes a 24-bit picture as a GIF with a 256-colour median-cut palette.
bool WriteGif(const poppler::image& rgb, const std::string& path);

}  // namespace velmora::pdf::detail
