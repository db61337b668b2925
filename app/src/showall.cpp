// The Forms window, as the frame starts it.
#include "velmora/app/procedures.h"
#include "velmora/library/treewindows.h"

namespace app {

void ShowAll() { library::ShowAll(); }

}  // namespace app
