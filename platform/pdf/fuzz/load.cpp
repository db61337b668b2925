// Fuzz target: loading a document and reading its pages and information.
#include "common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Loaded doc(data, size);
  if (!doc) return 0;
  for (int key = 0; key <= 8; ++key) iSEDGetInformation(key);
  for (int i = 1, n = iSEDFindFonts(); i <= n; ++i) iSEDSelectFont(iSEDFontID(i));
  const int pages = iSEDPageCount();
  for (int p = 1; p <= pages && p <= 50; ++p) {
    if (!iSEDSelectPage(p)) continue;
    for (int box = 1; box <= 5; ++box) {
      iSEDHasPageBox(box);
      for (int dim = 0; dim <= 5; ++dim) iSEDGetPageBox(box, dim);
    }
    iSEDGetPageContent();
    iSEDCombineLayers();
    iSEDGetPageContent();
  }
  fuzz::SaveAndReload();
  return 0;
}
