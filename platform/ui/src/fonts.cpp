// Installed font faces from fontconfig.
#include "velmora/ui/fonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <mutex>

#include "velmora/runtime/text.h"

namespace ui {

std::vector<std::string> ScreenFontFaces() {
  // fontconfig's default configuration is not safe to load from two
  // threads at once.
  static std::mutex mu;
  std::lock_guard l(mu);
  std::vector<std::string> faces;
  if (!FcInit()) return faces;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, static_cast<char*>(nullptr));
  FcFontSet* set = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
  for (int i = 0; set && i < set->nfont; ++i) {
    // a font may name its family in several languages: each counts
    FcChar8* family = nullptr;
    for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &family) == FcResultMatch; ++k)
      faces.push_back(rt::FromUtf8(reinterpret_cast<const char*>(family)));
  }
  if (set) FcFontSetDestroy(set);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  auto less = [](const std::string& a, const std::string& b) { return rt::Upper(a) < rt::Upper(b); };
  auto same = [](const std::string& a, const std::string& b) { return rt::Upper(a) == rt::Upper(b); };
  std::sort(faces.begin(), faces.end(), less);
  faces.erase(std::unique(faces.begin(), faces.end(), same), faces.end());
  return faces;
}

}  // namespace ui
