// The About window: name, version, and the product's web and e-mail links.
#include "childwindow.h"
#include "velmora/app/procedures.h"
#include "velmora/app/program.h"
#include "velmora/classlib/window.h"
#include "velmora/links/linkhelper.h"
#include "velmora/ui/window.h"

namespace app {
namespace {

enum : int {
  kString1_2 = 1,
  kPrompt1 = 2,
  kPrompt2 = 3,
  kString1 = 4,
  kClose = 5,
};

constexpr const char* kWebAddress = "www.velmora.example";
constexpr const char* kContactAddress = "info@velmora.example";
constexpr const char* kSupportAddress = "support@velmora.example";

constexpr long kLinkBlue = 0xFF0000;
constexpr long kLinkStyle = 0x2190;   // regular, underlined
constexpr long kHoverStyle = 0x190;   // regular

ui::ControlDesc Text(ui::ControlType type, std::string use, int number, int x, int y, int w, int h,
                     std::string text, ui::Font font = {}) {
  ui::ControlDesc d = Control(type, std::move(use), number, x, y, w, h, std::move(text));
  d.font = std::move(font);
  return d;
}

ui::WindowDesc AboutDesc() {
  using ui::ControlType;
  ui::WindowDesc d;
  d.caption = "About Velmora";
  d.kind = ui::WindowKind::MdiChild;
  d.width = 185;
  d.height = 92;
  const ui::Font link{"Arial", 9, ui::style::Bold, -1};
  d.controls = {
      Text(ControlType::String, "?STRING1:2", kString1_2, 10, 50, 165, 10, std::string("Email us: ") + kContactAddress,
              link),
      Text(ControlType::Prompt, "?PROMPT1", kPrompt1, 10, 8, 165, 12, "Velmora",
              ui::Font{"Arial", 10, ui::style::Bold, 0x800000}),
      Control(ControlType::Prompt, "?PROMPT2", kPrompt2, 10, 22, 165, 10, "Version: 1.0.23"),
      Text(ControlType::String, "?STRING1", kString1, 10, 36, 165, 10, kWebAddress, link),
      Control(ControlType::Button, "?CLOSE", kClose, 130, 70, 45, 14, "&OK"),
  };
  return d;
}

// The window's links: the web address opens as it is shown, the e-mail
// text opens a mail to the support address.
class AboutLinks : public links::LinkHelper {
 public:
  void RunUrl(long) override { LinkHelper::RunUrl(-1); }
  int TakeEvent() override {
    ui::Window* w = Win();
    if (w && (w->EventNo() == ui::ev::Accepted || w->EventNo() == ui::ev::NewSelection))
      SetItemAddress(kString1, w->Get(kString1, ui::Prop::ScreenText));
    return LinkHelper::TakeEvent();
  }
  std::string Slot7(int, int, std::string_view, std::string_view) override { return {}; }
};

class AboutWindowProc : public FrameChild {
 public:
  AboutWindowProc() : FrameChild("AboutWindow") {}

  int Setup() override {
    if (!OpenChild(AboutDesc())) return cl::kNotify;
    ui::Window& w = Win();
    links_.HANDCURSORTOUSE = "~hand2.cur";
    w.Set(0, ui::Prop::Timer, 8L);
    links_.Setup(w, ui::ev::Timer);
    links_.AddControl(kString1, std::nullopt, kLinkBlue, kLinkBlue, kLinkStyle, kHoverStyle);
    links_.AddControl(kString1_2, std::string(kSupportAddress), kLinkBlue, kLinkBlue, kLinkStyle, kHoverStyle);
    links_.CheckAllLinks(0);
    RestorePosition(INIMgr());
    return cl::kBenign;
  }

  int DispatchEvent() override {
    links_.TakeEvent();
    return ProcedureWindow::DispatchEvent();
  }

  int OnWindowEvent() override {
    if (Win().EventNo() == ui::ev::OpenWindow) links_.CheckAllLinks(0);
    return ProcedureWindow::OnWindowEvent();
  }

  int OnAccepted() override {
    if (Win().Field() == kClose) Win().Post(ui::ev::CloseWindow);
    return cl::kBenign;
  }

 private:
  AboutLinks links_;
};

}  // namespace

void AboutWindow() {
  AboutWindowProc window;
  window.RunWindow();
}

}  // namespace app
