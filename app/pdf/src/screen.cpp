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

}  // namespace apppdf
