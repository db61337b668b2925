#pragma once
// Display of a value through a control's or column's picture.
#include <string>
#include <string_view>

namespace ui::detail {

// A value as its picture shows it, without trailing blanks.
std::string ShowWithPicture(std::string_view value, std::string_view picture);
// The value a shown text stands for under its picture.
std::string TakeWithPicture(std::string_view shown, std::string_view picture);
// Most characters a picture takes ("@s80" 80); 0 when it sets no limit.
size_t PictureLength(std::string_view picture);

}  // namespace ui::detail
