#pragma once
// The conversion's wait window: the message, a progress bar in percent
// (control 2) and the data file's name. Loaded at the start of every
// conversion, opened only when needed and never under silent upgrading.
#include <memory>
#include <string>

#include "velmora/runtime/types.h"

namespace ui {
class Window;
}

namespace upg {

class ConversionWindow {
 public:
  ConversionWindow();  // loads it, closed
  ~ConversionWindow();
  ConversionWindow(const ConversionWindow&) = delete;
  ConversionWindow& operator=(const ConversionWindow&) = delete;

  std::string& Message() { return waitMess_; }       // ?WAITMESS, 40 characters
  rt::Long& Percent() { return progressPercent_; }   // ?PROGRESSPERCENT
  std::string& OutFileName() { return nameOutFile_; }  // ?NAMEOUTFILE, 255 characters

  void Open();       // nothing under silent upgrading
  void Display();    // every control again; nothing when closed or silent
  void DisplayProgress();
  void Close();
  bool IsOpen() const;

 private:
  std::shared_ptr<ui::Window> window_;
  std::string waitMess_, nameOutFile_;
  rt::Long progressPercent_ = 0;
};

// The window of the conversion in progress (nullptr outside one).
ConversionWindow* CurrentConversionWindow();
void SetCurrentConversionWindow(ConversionWindow* w);

}  // namespace upg
