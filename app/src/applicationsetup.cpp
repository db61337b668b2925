// The Application Setup window.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void ApplicationSetup() { RunPlainWindow("ApplicationSetup", "Application Setup"); }

}  // namespace app
