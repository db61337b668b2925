// The Prepare Forms window, as the frame starts it.
#include "velmora/app/procedures.h"
#include "velmora/library/treewindows.h"

namespace app {

void ShowFormsTree() { library::ShowFormsTree(); }

}  // namespace app
