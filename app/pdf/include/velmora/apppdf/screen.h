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

// A field's page pixels (from the top-left corner of the page picture)
// from its rectangle in points: left and top edges from the page's
// lower-left corner, width and height; on a page `pageHeight` points high
// whose page box is offset by `xOffset`, `yOffset`. Truncated toward zero.
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};
PixelRect PagePixelsOf(double left, double top, double width, double height, double pageHeight,
                       double xOffset, double yOffset, Resolution r);

}  // namespace apppdf
