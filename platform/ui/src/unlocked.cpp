#include "unlocked.h"

#include "velmora/runtime/threads.h"

namespace ui::detail {

Unlocked::Unlocked() : held_(rt::HoldsThreadLock()) {
  if (held_) rt::UnlockThread();
}

Unlocked::~Unlocked() {
  if (held_) rt::LockThread();
}

}  // namespace ui::detail
