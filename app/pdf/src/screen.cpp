#include "velmora/apppdf/screen.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace apppdf {
namespace {
std::atomic<Resolution (*)()> gSource{nullptr};
}  // namespace

Resolution ScreenResolution() {
  Resolution (*source)() = gSource.load();
  return source ? source() : Resolution{};
}

void SetResolutionSource(Resolution (*source)()) { gSource = source; }

int TruncPixels(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (value <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int>(value);  // toward zero
}

}  // namespace apppdf
