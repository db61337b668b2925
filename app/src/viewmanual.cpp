// The Getting Started window: the program's manual.
#include <string>

#include "childwindow.h"
#include "velmora/app/fileutil.h"
#include "velmora/app/frame.h"
#include "velmora/app/procedures.h"
#include "velmora/app/program.h"
#include "velmora/classlib/resizer.h"
#include "velmora/classlib/window.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/ui/richtext.h"
#include "velmora/ui/window.h"

namespace app {
namespace {

enum : int {
  kCancel = 1,
  kRtfTextBox = 2,
};

constexpr const char* kManual = "manual.rtf";

// The manual in the current folder, else beside the program; "" when
// neither has it.
std::string ManualFile() {
  if (FileExists(kManual)) return kManual;
  std::string program = rt::Command("", 0);
  size_t slash = program.rfind('\\');
  std::string besideProgram = (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + kManual;
  return FileExists(besideProgram) ? besideProgram : std::string();
}

ui::WindowDesc ManualWindow() {
  ui::WindowDesc d;
  d.caption = "Getting Started";
  d.kind = ui::WindowKind::MdiChild;
  d.width = 559;
  d.height = 350;
  d.background = "grybkgnd.gif";
  ui::ControlDesc close = Control(ui::ControlType::Button, "?CANCEL", kCancel, 2, 2, 24, 24);
  close.tip = "Close Window";  // an icon button: its text is its tip
  close.icon = "cancel.ico";
  const ui::ControlDesc text = Control(ui::ControlType::Text, "?RTFTEXTBOX", kRtfTextBox, 2, 30, 555, 318);
  d.controls = {close, text};
  return d;
}

// The manual has no document title of its own.
class ViewManualRtf : public ui::RichTextControl {
 public:
  std::string DefaultTitle() const override { return {}; }
};

class ViewManualWindow : public FrameChild {
 public:
  ViewManualWindow() : FrameChild("ViewManual") {}

  int Setup() override {
    if (!OpenChild(ManualWindow())) return cl::kNotify;
    resizer_.Setup(*this);
    RestorePosition(INIMgr());
    rtf_.Init(Win(), kRtfTextBox);
    const std::string manual = ManualFile();
    if (manual.empty() || !rtf_.Load(manual))
      Win().Set(kRtfTextBox, ui::Prop::ScreenText,
                "The manual (manual.rtf) was found neither in the current folder nor beside the program.");
    Win().Invalidate();
    return cl::kBenign;
  }

  int DispatchEvent() override {
    rtf_.TakeEvent();
    return ProcedureWindow::DispatchEvent();
  }

  int OnAccepted() override {
    if (Win().Field() == kCancel) Win().Post(ui::ev::CloseWindow);
    return cl::kBenign;
  }

  // However the window closes, the frame hears of it.
  int Teardown() override {
    rtf_.Kill();
    FrameChild::Teardown();
    if (FrameThread() != 0) ui::Post(kGettingStartedClosed, 0, static_cast<int>(FrameThread()));
    return cl::kBenign;
  }

 private:
  ViewManualRtf rtf_;
  cl::WindowResizer resizer_;
};

}  // namespace

void ViewManual() {
  ViewManualWindow window;
  window.RunWindow();
}

}  // namespace app
