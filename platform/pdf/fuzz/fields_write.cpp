// Fuzz target: setting every field's value and look, adding a field, and
// saving the result.
#include "common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Loaded doc(data, size);
  if (!doc) return 0;
  const int n = iSEDFormFieldCount();
  for (int i = 1; i <= n && i <= 500; ++i) {
    const std::string kid = iSEDGetFormFieldSubCount(i) > 0 ? iSEDGetFormFieldSubName(i, 1) : "";
    iSEDSetFormFieldValue(i, kid.empty() ? "Fuzz \xE9t\xE9 (1)\\" : kid);
    iSEDSetFormFieldColor(i, 0.5, 0, 1);
    iSEDSetFormFieldAlignment(i, i % 3);
    iSEDSetFormFieldTextFlags(i, i & 1, 0, 0, 1, 0);
    iSEDSetFormFieldRotation(i, 90 * (i % 4));
    iSEDUpdateAppearanceStream(i);
  }
  if (iSEDPageCount() > 0) {
    const int f = iSEDNewFormField("added", 1);
    iSEDSetFormFieldPage(f, 1);
    iSEDSetFormFieldBounds(f, 10, 100, 120, 20);
    iSEDSetFormFieldBorderStyle(f, 1, 1, 3, 2);
    iSEDSetFormFieldBackgroundColor(f, 1, 1, 0.8);
    iSEDSetFormFieldValue(f, "new");
    iSEDUpdateAppearanceStream(f);
  }
  iSEDSetNeedAppearances(0);
  fuzz::SaveAndReload();
  return 0;
}
