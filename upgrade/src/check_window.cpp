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

enum : int { kMessage = 1, kProgress = 2, kFileName = 3 };

// RV2B$WAITWIN, made on first use and kept until it is closed (a closed
// window does not open again: the next use makes it anew).
std::shared_ptr<ui::Window>& Slot() {
  static std::shared_ptr<ui::Window> window;
  return window;
}

ui::Window& CheckWindow() {
  std::shared_ptr<ui::Window>& window = Slot();
  if (!window) {
    ui::WindowDesc d;
    d.width = 240;
    d.height = 50;
    d.controls = {WaitControl(ui::ControlType::String, "?WAITMESS", kMessage, 4, 228),
                  WaitControl(ui::ControlType::Progress, "?PROGRESS", kProgress, 20, 228),
                  WaitControl(ui::ControlType::String, "?NAMEOUTFILE", kFileName, 34, 228)};
    window = ui::Window::Create(d);
    window->Bind(kMessage, ui::UseVar::Of(WaitMessage()));
    window->Bind(kProgress, ui::UseVar::Of(ProgressPercent()));
    window->Bind(kFileName, ui::UseVar::Of(WaitFileName()));
  }
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
  if (w.IsOpen()) return w.Display();
  w.Set(kProgress, ui::Prop::RangeLow, 0L);
  w.Set(kProgress, ui::Prop::RangeHigh, 100L);
  w.Display();  // it opens with the texts of now
  w.Open();
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
