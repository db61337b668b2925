#pragma once
// The screen resolution the Form Editor's pixel geometry is based on.

namespace apppdf {

struct Resolution {
  int across = 96;  // LOGPIXELSX
  int down = 96;    // LOGPIXELSY
};

// Pixels per inch of the current window's client area (GetDeviceCaps).
Resolution ScreenResolution();

// Replaces where ScreenResolution asks (tests); an empty function restores
// the default.
void SetResolutionSource(Resolution (*source)());

// Whole pixels for a real number, truncated toward zero (values beyond a
// LONG are held at its limits, NaN gives 0).
int TruncPixels(double value);

}  // namespace apppdf
