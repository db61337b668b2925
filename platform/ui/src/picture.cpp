#include "picture.h"

#include <cctype>

#include "velmora/runtime/picture.h"
#include "velmora/runtime/text.h"

namespace ui::detail {

size_t PictureLength(std::string_view picture) {
  if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
  if (picture.empty() || (picture.front() != 's' && picture.front() != 'S')) return 0;
  size_t n = 0;
  for (size_t i = 1; i < picture.size() && std::isdigit(static_cast<unsigned char>(picture[i])); ++i)
    n = n * 10 + static_cast<size_t>(picture[i] - '0');
  return n;
}

std::string ShowWithPicture(std::string_view value, std::string_view picture) {
  if (picture.empty()) return rt::Clip(value);
  return rt::Clip(rt::Format(value, picture));
}

std::string TakeWithPicture(std::string_view shown, std::string_view picture) {
  if (picture.empty()) return std::string(shown);
  return rt::Deformat(shown, picture);
}

}  // namespace ui::detail
