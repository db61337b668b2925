// The Forms window.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void ShowAll() { RunPlainWindow("ShowAll", "Forms"); }

}  // namespace app
