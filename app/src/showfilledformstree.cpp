// The Filled Documents window.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void ShowFilledFormsTree() { RunPlainWindow("ShowFilledFormsTree", "Filled Documents"); }

}  // namespace app
