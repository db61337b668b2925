#include "velmora/apppdf/screen.h"

#include <atomic>
#include <cmath>
#include <cstdint>

#include "velmora/win/win.h"

namespace apppdf {
namespace {
std::atomic<Resolution (*)()> gSource{nullptr};
}  // namespace

Resolution ScreenResolution() {
  if (Resolution (*source)() = gSource.load()) return source();
  win::HDC dc = win::GetDC(nullptr);
  Resolution r{win::GetDeviceCaps(dc, win::LOGPIXELSX), win::GetDeviceCaps(dc, win::LOGPIXELSY)};
  win::ReleaseDC(nullptr, dc);
  return r;
}

void SetResolutionSource(Resolution (*source)()) { gSource = source; }

int TruncPixels(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int>(value);  // toward zero
}

PixelRect PagePixelsOf(double left, double top, double width, double height, double pageHeight,
                       double xOffset, double yOffset, Resolution r) {
  return {TruncPixels((left - xOffset) / 72 * r.across), TruncPixels((pageHeight - top + yOffset) / 72 * r.down),
          TruncPixels(width / 72 * r.across), TruncPixels(height / 72 * r.down)};
}

}  // namespace apppdf
