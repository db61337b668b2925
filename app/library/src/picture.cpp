// Fits a page picture into the panel that frames it.
#include "velmora/library/picture.h"

#include <algorithm>

namespace library {

std::optional<Area> FitPicture(double pictureWidth, double pictureHeight, const Area& panel) {
  if (!(pictureWidth > 0) || !(pictureHeight > 0) || !(panel.width > 0) || !(panel.height > 0)) return std::nullopt;
  const double scale = std::min(panel.width / pictureWidth, panel.height / pictureHeight);
  Area fitted;
  fitted.width = pictureWidth * scale;
  fitted.height = pictureHeight * scale;
  fitted.x = panel.x + (panel.width - fitted.width) / 2;
  fitted.y = panel.y + (panel.height - fitted.height) / 2;
  return fitted;
}

}  // namespace library
