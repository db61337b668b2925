// The control queue's helpers: value buffers, font sizes, name matching
// and the editor's geometry.
#include "velmora/editor/formcontrols.h"

#include <algorithm>
#include <cmath>

#include "velmora/apppdf/screen.h"

namespace editor {

using apppdf::TruncPixels;

void ValueBuffer::Write(std::string_view s) {
  const size_t n = std::min(s.size(), text.size() - 1);
  std::copy_n(s.data(), n, text.data());
  std::fill(text.begin() + static_cast<long>(n), text.end(), '\0');
}

const std::vector<std::string>& FontSizes() {
  static const std::vector<std::string> sizes = {" 8", " 9", "10", "11", "12", "14", "16", "18",
                                                 "20", "22", "24", "26", "28", "36", "48", "72"};
  return sizes;
}

std::string MatchName(std::string_view pdfName) {
  std::string upper = rt::Upper(rt::Clip(pdfName));
  if (!upper.empty() && upper.back() == '.') upper.pop_back();
  return upper;
}

Rect ToScreen(const Rect& page, double zoom, Long pageLeft, Long pageTop) {
  return {TruncPixels(page.x * zoom + pageLeft), TruncPixels(page.y * zoom + pageTop),
          TruncPixels(page.width * zoom), TruncPixels(page.height * zoom)};
}

Rect ToPage(const Rect& screen, double zoom, Long pageLeft, Long pageTop) {
  if (!(zoom > 0)) zoom = 1.0;
  return {TruncPixels((screen.x - pageLeft) / zoom), TruncPixels((screen.y - pageTop) / zoom),
          TruncPixels(screen.width / zoom), TruncPixels(screen.height / zoom)};
}

Rect Normalised(const Rect& r) {
  Rect n = r;
  if (n.width < 0) n.x += n.width, n.width = -n.width;
  if (n.height < 0) n.y += n.height, n.height = -n.height;
  return n;
}

Zoom ComputeZoom(Short mode, Short percent, Long clientWidth, Long clientHeight, Long pageWidthPx,
                 Long pageHeightPx) {
  Zoom z;
  switch (mode) {
    case kFitPage:
    case kPageWidth: {
      const double client = mode == kFitPage ? clientHeight : clientWidth;
      const double page = mode == kFitPage ? pageHeightPx : pageWidthPx;
      z.factor = client > 0 && page > 0 ? client / page : 1.0;
      z.factor = std::clamp(z.factor, kZoomMin / 100.0, kZoomMax / 100.0);
      z.percent = static_cast<Short>(TruncPixels(z.factor * 100));
      return z;
    }
    case kActualSize: return z;
    default:
      z.percent = percent;
      z.factor = percent / 100.0;
      if (!(z.factor > 0)) z = Zoom{};
      return z;
  }
}

Short ZoomIn(Short percent, Byte step) {
  if (percent > kZoomMax) return percent;
  return static_cast<Short>(std::min<int>(kZoomMax, percent + step));
}

Short ZoomOut(Short percent, Byte step) {
  if (percent < kZoomMin) return percent;
  return static_cast<Short>(std::max<int>(kZoomMin, percent - step));
}

Long PageOrigin(Long client, Long pageScaled) {
  return pageScaled < client ? TruncPixels((client - pageScaled) / 2.0) : 0;
}

Long PagePixels(double points, int dpi) { return TruncPixels(dpi * points / 72); }

PdfRect ToPoints(const Rect& page, int dpiX, int dpiY, Real pageHeight, Real xOffset, Real yOffset) {
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  PdfRect r;
  r.left = static_cast<Real>(page.x) / dpiX * 72 + xOffset;
  r.width = static_cast<Real>(page.width) / dpiX * 72;
  r.height = static_cast<Real>(page.height) / dpiY * 72;
  r.top = pageHeight + yOffset - static_cast<Real>(page.y) / dpiY * 72;
  return r;
}

}  // namespace editor
