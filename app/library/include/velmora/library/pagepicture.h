// Shows a page picture in an image control, fitted to the panel that
// frames it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "velmora/ui/window.h"

namespace library {

// Loads `bytes` into image control `image` and fits it into control
// `panel` with its proportions kept, centred. An empty or unreadable
// picture (no size) shows nothing: the image is emptied and hidden, and
// false is returned. A picture whose size the window layer cannot tell
// takes the fallback size's proportions when one is given. `natural`
// learns the size the picture was fitted by.
bool ShowPagePicture(ui::Window& window, int panel, int image, const std::vector<uint8_t>& bytes,
                     double fallbackWidth = 0, double fallbackHeight = 0,
                     std::pair<double, double>* natural = nullptr);

// Fits the picture already in `image`, of width by height, into `panel`
// again (after the panel moved or changed its size); false when there is
// nothing to fit.
bool FitPageImage(ui::Window& window, int panel, int image, double width, double height);
// The picture of the calling thread's FormPages record.
std::vector<uint8_t> PageImageBytes();
// ShowPagePicture for that picture, with the page's size as the fallback.
bool ShowPageImage(ui::Window& window, int panel, int image,
                   std::pair<double, double>* natural = nullptr);
// Empties and hides the image.
void HidePagePicture(ui::Window& window, int image);

}  // namespace library
