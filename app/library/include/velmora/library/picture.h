// Fits a page picture into the panel that frames it.
#pragma once

#include <optional>

namespace library {

struct Area {
  double x = 0, y = 0, width = 0, height = 0;
};

// The largest area of the picture's proportions that fits the panel, centred
// in it. Nothing when the picture or the panel has no size.
std::optional<Area> FitPicture(double pictureWidth, double pictureHeight, const Area& panel);

}  // namespace library
