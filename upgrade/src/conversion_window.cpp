// The conversion's wait window with its progress bar in percent.
#include "conversion_window.h"

#include "velmora/ui/window.h"
#include "wait_window.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

ConversionWindow* current = nullptr;

}  // namespace

ConversionWindow::ConversionWindow() {
  window_ = MessageBarWindow("Please wait", "?PROGRESSPERCENT", waitMess_, progressPercent_, nameOutFile_);
}

ConversionWindow::~ConversionWindow() { Close(); }

void ConversionWindow::Open() { OpenMessageBarWindow(*window_); }

void ConversionWindow::Display() {
  if (FlagOn(Flag::S) || !window_->IsOpen()) return;
  if (waitMess_.size() > 40) waitMess_.resize(40);
  if (nameOutFile_.size() > 255) nameOutFile_.resize(255);
  window_->Display();
}

void ConversionWindow::DisplayProgress() {
  if (!FlagOn(Flag::S) && window_->IsOpen()) window_->Display(kWaitProgress);
}

void ConversionWindow::Close() {
  if (window_->IsOpen()) window_->Close();
}

bool ConversionWindow::IsOpen() const { return window_->IsOpen(); }

ConversionWindow* CurrentConversionWindow() { return current; }
void SetCurrentConversionWindow(ConversionWindow* w) { current = w; }

}  // namespace upg
