// Shows a page picture fitted to its panel.
#include "velmora/library/pagepicture.h"

#include <cmath>

#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/library/picture.h"

namespace library {

bool FitPageImage(ui::Window& window, int panel, int image, double width, double height) {
  const ui::Window::Rect p = window.Position(panel);
  const auto fitted = FitPicture(width, height, {static_cast<double>(p.x), static_cast<double>(p.y),
                                                 static_cast<double>(p.width), static_cast<double>(p.height)});
  if (!fitted) return false;
  window.Set(image, ui::Prop::NoWidth, 0L);
  window.Set(image, ui::Prop::NoHeight, 0L);
  window.Set(image, ui::Prop::Stretch, 1L);
  window.SetPosition(image, std::lround(fitted->x), std::lround(fitted->y), std::lround(fitted->width),
                     std::lround(fitted->height));
  return true;
}

bool ShowPagePicture(ui::Window& window, int panel, int image, const std::vector<uint8_t>& bytes,
                     double fallbackWidth, double fallbackHeight, std::pair<double, double>* natural) {
  // the image takes its picture's natural size first
  window.Set(image, ui::Prop::NoWidth, 1L);
  window.Set(image, ui::Prop::NoHeight, 1L);
  window.SetImage(image, bytes);
  double w = static_cast<double>(window.GetLong(image, ui::Prop::ImageWidth));
  double h = static_cast<double>(window.GetLong(image, ui::Prop::ImageHeight));
  if (w <= 0 || h <= 0) w = fallbackWidth, h = fallbackHeight;
  if (natural) *natural = {w, h};
  if (bytes.empty() || !FitPageImage(window, panel, image, w, h)) {
    HidePagePicture(window, image);
    if (natural) *natural = {0, 0};
    return false;
  }
  window.Unhide(image);
  return true;
}

std::vector<uint8_t> PageImageBytes() {
  db::FileDecl& pages = data::ThisThread().File(data::FileId::FormPages);
  const int memo = pages.MemoIndex("FOR1:PAGEIMAGE");
  if (memo < 0) return {};
  return db::BlobRead(pages, memo, 0, db::BlobSize(pages, memo));
}

bool ShowPageImage(ui::Window& window, int panel, int image, std::pair<double, double>* natural) {
  const data::FormPagesRecord& page = data::ThisThread().FOR1;
  return ShowPagePicture(window, panel, image, PageImageBytes(), page.PAGEWIDTH, page.PAGEHEIGHT,
                         natural);
}

void HidePagePicture(ui::Window& window, int image) {
  window.SetImage(image, {});
  window.Hide(image);
}

}  // namespace library
