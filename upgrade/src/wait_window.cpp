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
