// The conversion's wait window with its progress bar in percent.
#include "conversion_window.h"

#include "velmora/ui/window.h"
#include "wait_window.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

enum : int { kWaitMess = 1, kProgressPercent = 2, kNameOutFile = 3 };

ConversionWindow* current = nullptr;

}  // namespace

ConversionWindow::ConversionWindow() {
  ui::WindowDesc d;
  d.caption = "Please wait";
  d.width = 232;
  d.height = 50;
  d.controls = {WaitControl(ui::ControlType::String, "?WAITMESS", kWaitMess, 4, 220),
                WaitControl(ui::ControlType::Progress, "?PROGRESSPERCENT", kProgressPercent, 18, 220),
                WaitControl(ui::ControlType::String, "?NAMEOUTFILE", kNameOutFile, 32, 220)};
  window_ = ui::Window::Create(d);
  window_->Bind(kWaitMess, ui::UseVar::Of(waitMess_));
  window_->Bind(kProgressPercent, ui::UseVar::Of(progressPercent_));
  window_->Bind(kNameOutFile, ui::UseVar::Of(nameOutFile_));
}

ConversionWindow::~ConversionWindow() { Close(); }

void ConversionWindow::Open() {
  if (FlagOn(Flag::S) || window_->IsOpen()) return;
  window_->Set(kProgressPercent, ui::Prop::RangeLow, 0L);
  window_->Set(kProgressPercent, ui::Prop::RangeHigh, 100L);
  window_->Open();
}

void ConversionWindow::Display() {
  if (FlagOn(Flag::S) || !window_->IsOpen()) return;
  if (waitMess_.size() > 40) waitMess_.resize(40);
  if (nameOutFile_.size() > 255) nameOutFile_.resize(255);
  window_->Display();
}

void ConversionWindow::DisplayProgress() {
  if (!FlagOn(Flag::S) && window_->IsOpen()) window_->Display(kProgressPercent);
}

void ConversionWindow::Close() {
  if (window_->IsOpen()) window_->Close();
}

bool ConversionWindow::IsOpen() const { return window_->IsOpen(); }

ConversionWindow* CurrentConversionWindow() { return current; }
void SetCurrentConversionWindow(ConversionWindow* w) { current = w; }

}  // namespace upg
