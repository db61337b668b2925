#pragma once
// The application frame: the multiple-document window in which every
// other window opens, with its menus and toolbar. Its commands start their
// procedures on threads of their own.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/classlib/toolbar.h"
#include "velmora/classlib/window.h"
#include "velmora/runtime/types.h"
#include "velmora/ui/desc.h"

namespace app {

// The program's own event: a Getting Started window has closed.
inline constexpr int kGettingStartedClosed = 1224;

// Stack sizes of the procedures the frame starts.
inline constexpr uint32_t kProcedureStack = 25000;
inline constexpr uint32_t kGettingStartedStack = 0;  // the runtime's minimum

// The frame's thread number, recorded when its window opens.
rt::Long& FrameThread();

// The frame's window: caption "Velmora", menus and toolbar with their
// numbers.
ui::WindowDesc FrameWindow();

// Starts a procedure of the frame on a new thread. The names are the
// procedures': "ShowAll", "FormEditor", "ShowFormsTree",
// "ShowFilledFormsTree", "ApplicationSetup", "ViewManual", "AboutWindow".
// Returns the new thread's number, 0 when it could not start.
using ProcedureBody = std::function<void(std::vector<std::string>)>;
int StartProcedure(std::string_view name, uint32_t stackSize, std::vector<std::string> args = {});

// What starts the threads: rt::Start unless replaced (nullptr puts it
// back); a test replaces it to see what was started.
using ProcedureStarter = std::function<int(std::string_view name, ProcedureBody body,
                                           uint32_t stackSize, std::vector<std::string> args)>;
void SetProcedureStarter(ProcedureStarter starter);

// The frame window procedure.
class MainFrame : public cl::ProcedureWindow {
 public:
  MainFrame();
  int Setup() override;
  int Teardown() override;
  int OnAccepted() override;
  int OnWindowEvent() override;

  bool Closing() const { return closing_ != 0; }

 private:
  rt::Byte closing_ = 0;
  rt::Long openEditor_ = 1;
  bool pagesOpened_ = false;
  cl::ToolbarRouter toolbar_;
};

}  // namespace app
