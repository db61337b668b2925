// The Prepare Forms window.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void ShowFormsTree() { RunPlainWindow("ShowFormsTree", "Prepare Forms"); }

}  // namespace app
