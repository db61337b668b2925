// The About window.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void AboutWindow() { RunPlainWindow("AboutWindow", "About Velmora"); }

}  // namespace app
