#pragma once
// The editor's tool windows: their common set-up and tear-down, and
// controls written from their tables.
#include <string>
#include <utility>

#include "velmora/app/program.h"
#include "velmora/classlib/window.h"
#include "velmora/data/dictionary.h"
#include "velmora/ui/desc.h"

namespace editor {

// A control at x, y with its size, in dialog units.
inline ui::ControlDesc Ctl(ui::ControlType type, std::string use, int x, int y, int width, int height,
                           std::string text = {}) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.x = x;
  d.y = y;
  d.width = width;
  d.height = height;
  d.text = std::move(text);
  return d;
}

// The same with a number of its own.
inline ui::ControlDesc Ctl(ui::ControlType type, std::string use, int number, int x, int y, int width, int height,
                           std::string text) {
  ui::ControlDesc d = Ctl(type, std::move(use), x, y, width, height, std::move(text));
  d.number = number;
  return d;
}

// A window of the editor's tools: its procedure name is on the error
// manager's stack while it runs, its position kept under that name.
class ToolWindow : public cl::ProcedureWindow {
 public:
  using ProcedureWindow::ProcedureWindow;

  int Teardown() override {
    if (Loaded()) SavePosition(app::INIMgr());
    ProcedureWindow::Teardown();
    data::GlobalErrors().PopProcedure();
    return cl::kBenign;
  }

 protected:
  // The start of every set-up: the name on the stack, the base set-up.
  void BeginSetup() {
    data::GlobalErrors().PushProcedure(Procedure());
    ProcedureWindow::Setup();
  }
};

}  // namespace editor
