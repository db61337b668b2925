// What the frame's own windows share.
#include "childwindow.h"

#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/ui/window.h"

namespace app {

bool OpenInFrame(cl::ProcedureWindow& window) {
  window.Open();
  if (ui::Frame()) return true;
  window.Win().Close();
  return false;
}

bool FrameChild::OpenChild(const ui::WindowDesc& desc) {
  data::GlobalErrors().PushProcedure(Procedure());
  ProcedureWindow::Setup();
  Load(desc);
  return OpenInFrame(*this);
}

int FrameChild::Teardown() {
  ProcedureWindow::Teardown();
  SavePosition(INIMgr());
  data::GlobalErrors().PopProcedure();
  return cl::kBenign;
}

ui::ControlDesc Control(ui::ControlType type, std::string use, int number, int x, int y, int width, int height,
                        std::string text) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.number = number;
  d.x = x, d.y = y, d.width = width, d.height = height;
  d.text = std::move(text);
  return d;
}

}  // namespace app
