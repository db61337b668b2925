#include "placeholder.h"

#include "velmora/app/program.h"
#include "velmora/classlib/window.h"
#include "velmora/data/dictionary.h"
#include "velmora/ui/window.h"

namespace app {
namespace {

class PlainWindow : public cl::ProcedureWindow {
 public:
  PlainWindow(const std::string& procedure, std::string caption)
      : ProcedureWindow(procedure), caption_(std::move(caption)) {}

  int Setup() override {
    data::GlobalErrors().PushProcedure(Procedure());
    ProcedureWindow::Setup();
    ui::WindowDesc d;
    d.caption = caption_;
    d.kind = ui::WindowKind::MdiChild;
    d.width = 320;
    d.height = 200;
    Load(d);
    Open();
    // A frame that closed before this window opened cannot close it.
    if (!ui::Frame()) {
      Win().Close();
      return cl::kNotify;
    }
    RestorePosition(INIMgr());
    return cl::kBenign;
  }

  int Teardown() override {
    ProcedureWindow::Teardown();
    SavePosition(INIMgr());
    data::GlobalErrors().PopProcedure();
    return cl::kBenign;
  }

 private:
  std::string caption_;
};

}  // namespace

void RunPlainWindow(const std::string& procedure, const std::string& caption,
                    const std::function<void()>& closed) {
  PlainWindow window(procedure, caption);
  window.RunWindow();
  if (closed) closed();
}

}  // namespace app
