// The SQL check's wait window: its message, the file's name and a bar.
#include "velmora/upgrade/check_window.h"

#include <memory>

#include "velmora/ui/window.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"
#include "wait_window.h"

namespace upg {
namespace {

// RV2B$WAITWIN, made on first use and kept until it is closed (a closed
// window does not open again: the next use makes it anew). The slot is
// never destroyed: a window still open when the program ends must not be
// closed after the window layer is gone.
std::shared_ptr<ui::Window>& Slot() {
  static auto* window = new std::shared_ptr<ui::Window>();
  return *window;
}

ui::Window& CheckWindow() {
  std::shared_ptr<ui::Window>& window = Slot();
  if (!window) window = MessageBarWindow("Please wait", "?PROGRESS", WaitMessage(), ProgressPercent(), WaitFileName());
  return *window;
}

}  // namespace

std::string& WaitFileName() {
  static std::string name;
  return name;
}

void OpenCheckWindow() {
  if (FlagOn(Flag::S)) return;
  ui::Window& w = CheckWindow();
  w.Display();  // it opens with the texts of now
  OpenMessageBarWindow(w);
  // The scripts' progress repaints the bar row by row.
  SetProgressRedisplay(&RedisplayCheckWindow);
}

void RedisplayCheckWindow() {
  if (FlagOn(Flag::S)) return;
  if (const std::shared_ptr<ui::Window>& w = Slot(); w && w->IsOpen()) w->Display();
}

void CloseCheckWindow() {
  if (std::shared_ptr<ui::Window> w = std::move(Slot()); w && w->IsOpen()) w->Close();
  SetProgressRedisplay(nullptr);
}

}  // namespace upg
