// The Filled Documents window, as the frame starts it.
#include "velmora/app/procedures.h"
#include "velmora/library/treewindows.h"

namespace app {

void ShowFilledFormsTree() { library::ShowFilledFormsTree(); }

}  // namespace app
