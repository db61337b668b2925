// Record windows that answer "cancelled" until they are built.
#include "velmora/classlib/window.h"
#include "velmora/library/records.h"

namespace library {

namespace {
void Cancelled() {
  cl::ThreadRequest() = 0;
  cl::ThreadResponse() = 2;
}
}  // namespace

void UpdateForms(bool) { Cancelled(); }
void UpdateFormPages() { Cancelled(); }
void UpdateFilledForm() { Cancelled(); }
void SelectFilledForm() { Cancelled(); }

}  // namespace library
