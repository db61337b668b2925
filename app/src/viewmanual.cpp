// The Getting Started window.
#include "placeholder.h"
#include "velmora/app/frame.h"
#include "velmora/app/procedures.h"
#include "velmora/ui/window.h"

namespace app {

// However the window closes, the frame hears of it.
void ViewManual() {
  RunPlainWindow("ViewManual", "Getting Started",
                 [] {
                   if (FrameThread() != 0)
                     ui::Post(kGettingStartedClosed, 0, static_cast<int>(FrameThread()));
                 });
}

}  // namespace app
