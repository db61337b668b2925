// Fuzz target: flattening every field of a document into its pages.
#include "common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Loaded doc(data, size);
  if (!doc) return 0;
  // Each flattened field leaves the list; the next one moves to number 1.
  for (int left = iSEDFormFieldCount(), tries = 0; left > 0 && tries < 500; ++tries) {
    if (!iSEDFlattenFormField(1)) break;
    const int now = iSEDFormFieldCount();
    if (now >= left) break;
    left = now;
  }
  fuzz::SaveAndReload();
  return 0;
}
