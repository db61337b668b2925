// Fuzz target: reading every field of a document.
#include "common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Loaded doc(data, size);
  if (!doc) return 0;
  const int n = iSEDFormFieldCount();
  for (int i = 1; i <= n && i <= 2000; ++i) {
    iSEDGetFormFieldType(i);
    iSEDGetFormFieldTitle(i);
    iSEDGetFormFieldPage(i);
    iSEDGetFormFieldTabOrder(i);
    iSEDGetFormFieldMaxLen(i);
    iSEDGetFormFieldFontName(i);
    iSEDGetFormFieldAlignment(i);
    iSEDGetFormFieldValue(i);
    iSEDGetFormFieldDescription(i);
    iSEDGetFormFieldVisible(i);
    for (int edge = 0; edge <= 3; ++edge) iSEDGetFormFieldBound(i, edge);
    for (int flag = 1; flag <= 5; ++flag) iSEDGetFormFieldTextFlags(i, flag);
    for (int k = 1, kids = iSEDGetFormFieldSubCount(i); k <= kids && k <= 200; ++k) {
      iSEDGetFormFieldSubName(i, k);
      const int t = iSEDGetFormFieldSubTempIndex(i, k);
      iSEDGetFormFieldPage(t);
      iSEDGetFormFieldBound(t, 0);
      iSEDGetFormFieldTabOrder(t);
    }
  }
  return 0;
}
