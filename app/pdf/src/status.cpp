#include "velmora/apppdf/status.h"

#include "velmora/runtime/threads.h"

namespace apppdf {
namespace {
rt::ThreadLocal<StatusHandler> gHandler;
}  // namespace

void SetStatusHandler(StatusHandler handler) { *gHandler = std::move(handler); }

void ShowStatus(std::string_view text) {
  if (*gHandler) (*gHandler)(text);
}

}  // namespace apppdf
