// The engine's wait windows: a line of text over a progress bar.
#include "wait_window.h"

#include "velmora/ui/window.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

enum : int { kString1 = 1, kProgress = 2 };

}  // namespace

ui::ControlDesc WaitControl(ui::ControlType type, std::string use, int number, int y, int width,
                            std::string text) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.number = number;
  d.x = 6;
  d.y = y;
  d.width = width;
  d.height = 10;
  d.text = std::move(text);
  return d;
}

std::shared_ptr<ui::Window> MessageBarWindow(const std::string& caption, const std::string& progressUse,
                                             std::string& message, rt::Long& percent,
                                             std::string& fileName) {
  ui::WindowDesc d;
  d.caption = caption;
  d.width = 232;
  d.height = 50;
  d.controls = {WaitControl(ui::ControlType::String, "?WAITMESS", kWaitMessage, 4, 220),
                WaitControl(ui::ControlType::Progress, progressUse, kWaitProgress, 18, 220),
                WaitControl(ui::ControlType::String, "?NAMEOUTFILE", kWaitFileName, 32, 220)};
  std::shared_ptr<ui::Window> window = ui::Window::Create(d);
  window->Bind(kWaitMessage, ui::UseVar::Of(message));
  window->Bind(kWaitProgress, ui::UseVar::Of(percent));
  window->Bind(kWaitFileName, ui::UseVar::Of(fileName));
  return window;
}

void OpenMessageBarWindow(ui::Window& window) {
  if (FlagOn(Flag::S) || window.IsOpen()) return;
  window.Set(kWaitProgress, ui::Prop::RangeLow, 0L);
  window.Set(kWaitProgress, ui::Prop::RangeHigh, 100L);
  window.Open();
}

WaitWindow::WaitWindow(const std::string& text) {
  ui::WindowDesc d;
  d.caption = text;
  d.width = 200;
  d.height = 36;
  d.controls = {WaitControl(ui::ControlType::String, "?STRING1", kString1, 4, 188, text),
                WaitControl(ui::ControlType::Progress, "?PROGRESS", kProgress, 20, 188)};
  window_ = ui::Window::Create(d);
  window_->Bind(kProgress, ui::UseVar::Of(counter_));
}

WaitWindow::~WaitWindow() { Close(); }

void WaitWindow::Open(rt::Long total) {
  if (FlagOn(Flag::S)) return;
  window_->Set(kProgress, ui::Prop::RangeLow, 0L);
  window_->Set(kProgress, ui::Prop::RangeHigh, static_cast<long>(total));
  window_->Open();
  window_->Display();
}

void WaitWindow::Redisplay() {
  if (!FlagOn(Flag::S) && window_->IsOpen()) window_->Display(kProgress);
}

void WaitWindow::Close() {
  if (window_->IsOpen()) window_->Close();
}

}  // namespace upg
