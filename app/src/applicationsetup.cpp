// The Application Setup window: the user's settings in the registry.
#include "childwindow.h"
#include "velmora/app/procedures.h"
#include "velmora/app/program.h"
#include "velmora/app/settings.h"
#include "velmora/classlib/window.h"
#include "velmora/ui/dialogs.h"

namespace app {
namespace {

enum : int {
  kOk = 1,
  kCancel = 2,
  kHelp = 3,
  kPrompt1 = 4,
  kFieldColor = 5,
  kButton4 = 6,
  kPrompt1_2 = 7,
  kSelectedFieldColor = 8,
  kButton4_2 = 9,
  kRbColor = 10,
  kButton4_3 = 11,
  kPrompt1_4 = 12,
  kSrbColor = 13,
  kButton4_4 = 14,
  kPrompt1_3 = 15,
  kGroup1 = 16,
  kFieldFlat = 17,
  kFieldTransparent = 18,
  kFieldBoxed = 19,
  kOpenEditor = 20,
  kButton8_2 = 21,
  kButton8 = 22,
};

ui::ControlDesc ToolButton(std::string use, int number, int x, std::string text, std::string tip, std::string icon) {
  ui::ControlDesc d = Control(ui::ControlType::Button, std::move(use), number, x, 0, 24, 24, std::move(text));
  d.tip = std::move(tip);
  d.icon = std::move(icon);
  return d;
}

ui::WindowDesc SetupWindow() {
  using ui::ControlType;
  ui::WindowDesc d;
  d.caption = "Application Setup";
  d.kind = ui::WindowKind::MdiChild;
  d.width = 190;
  d.height = 150;
  d.background = "grybkgnd.gif";
  d.toolbar = {ToolButton("?OK", kOk, 0, "OK", "Accept data and close the window", {}),
               ToolButton("?CANCEL", kCancel, 24, {}, "Exit without Save", "cancel.ico"),
               ui::Hidden(ToolButton("?HELP", kHelp, 48, "?", "See Help Window", {}))};
  d.controls = {
      Control(ControlType::Prompt, "?PROMPT1", kPrompt1, 10, 11, 100, 10, "Field Color:"),
      Control(ControlType::String, "?FIELDCOLOR", kFieldColor, 112, 9, 40, 12, "DATA"),
      Control(ControlType::Button, "?BUTTON4", kButton4, 156, 9, 16, 12, "..."),
      Control(ControlType::Prompt, "?PROMPT1:2", kPrompt1_2, 10, 27, 100, 10, "Selected Field Color:"),
      Control(ControlType::String, "?SELECTEDFIELDCOLOR", kSelectedFieldColor, 112, 25, 40, 12, "DATA"),
      Control(ControlType::Button, "?BUTTON4:2", kButton4_2, 156, 25, 16, 12, "..."),
      Control(ControlType::String, "?RBCOLOR", kRbColor, 112, 41, 40, 12),
      Control(ControlType::Button, "?BUTTON4:3", kButton4_3, 156, 41, 16, 12, "..."),
      Control(ControlType::Prompt, "?PROMPT1:4", kPrompt1_4, 10, 59, 100, 10, "Selected Radio Button Color:"),
      Control(ControlType::String, "?SRBCOLOR", kSrbColor, 112, 57, 40, 12, "X"),
      Control(ControlType::Button, "?BUTTON4:4", kButton4_4, 156, 57, 16, 12, "..."),
      Control(ControlType::Prompt, "?PROMPT1:3", kPrompt1_3, 10, 43, 100, 10, "Radio Button Color:"),
      Control(ControlType::Group, "?GROUP1", kGroup1, 8, 74, 166, 28, "Field Appearance Defaults"),
      Control(ControlType::Check, "?FIELDFLAT", kFieldFlat, 16, 86, 40, 10, "Flat"),
      Control(ControlType::Check, "?FIELDTRANSPARENT", kFieldTransparent, 60, 86, 60, 10, "Transparent"),
      Control(ControlType::Check, "?FIELDBOXED", kFieldBoxed, 124, 86, 44, 10, "Boxed"),
      Control(ControlType::Check, "?OPENEDITOR", kOpenEditor, 10, 108, 160, 10, "Open Editor window on the Startup"),
      Control(ControlType::Button, "?BUTTON8:2", kButton8_2, 124, 126, 48, 14, "&Cancel"),
      Control(ControlType::Button, "?BUTTON8", kButton8, 72, 126, 48, 14, "&OK"),
  };
  return d;
}

class ApplicationSetupWindow : public FrameChild {
 public:
  ApplicationSetupWindow() : FrameChild("ApplicationSetup") {}

  int Setup() override {
    values_ = ReadSettings();
    if (!OpenChild(SetupWindow())) return cl::kNotify;
    ui::Window& w = Win();
    w.Set(kFieldColor, ui::Prop::Color, values_.fieldColor);
    w.Set(kSelectedFieldColor, ui::Prop::Color, values_.selectedFieldColor);
    w.Set(kRbColor, ui::Prop::Color, values_.rbFieldColor);
    w.Set(kSrbColor, ui::Prop::Color, values_.srbFieldColor);
    w.Set(kFieldTransparent, ui::Prop::Checked, values_.fieldTransparent ? 1L : 0L);
    w.Set(kFieldFlat, ui::Prop::Checked, values_.fieldFlat ? 1L : 0L);
    w.Set(kFieldBoxed, ui::Prop::Checked, values_.fieldBoxed ? 1L : 0L);
    w.Set(kOpenEditor, ui::Prop::Checked, values_.openEditor ? 1L : 0L);
    RestorePosition(INIMgr());
    ApplyTransparent();
    return cl::kBenign;
  }

  int OnAccepted() override {
    ui::Window& w = Win();
    switch (w.Field()) {
      case kButton4: ChooseColour("Choose Field Color", values_.fieldColor, kFieldColor); break;
      case kButton4_2:
        ChooseColour("Choose Selected Field Color", values_.selectedFieldColor, kSelectedFieldColor);
        break;
      case kButton4_3: ChooseColour("Choose Radio Button Field Color", values_.rbFieldColor, kRbColor); break;
      case kButton4_4:
        ChooseColour("Choose Selected Radio Button Field Color", values_.srbFieldColor, kSrbColor);
        break;
      case kFieldTransparent: ApplyTransparent(); break;
      case kButton8: w.Post(ui::ev::Accepted, kOk); break;
      case kButton8_2: w.Post(ui::ev::Accepted, kCancel); break;
      case kOk:
        Save();
        w.Post(ui::ev::CloseWindow);
        break;
      case kCancel: w.Post(ui::ev::CloseWindow); break;
      default: break;
    }
    return cl::kBenign;
  }

 private:
  void ChooseColour(std::string_view title, rt::Long& colour, int sample) {
    if (auto chosen = ui::ColorDialog(title, colour)) {
      colour = static_cast<rt::Long>(*chosen);
      Win().Set(sample, ui::Prop::Color, static_cast<long>(colour));
    }
  }

  // A transparent field shows no colour of its own: its two colour
  // choices are not offered.
  void ApplyTransparent() {
    ui::Window& w = Win();
    const bool transparent = w.GetLong(kFieldTransparent, ui::Prop::Checked) != 0;
    for (int n : {kFieldColor, kButton4, kSelectedFieldColor, kButton4_2})
      transparent ? w.Disable(n) : w.Enable(n);
  }

  void Save() {
    ui::Window& w = Win();
    auto checked = [&](int n) { return static_cast<rt::Long>(w.GetLong(n, ui::Prop::Checked) != 0); };
    const std::pair<std::string_view, rt::Long> values[] = {
        {"Field Color", values_.fieldColor},
        {"Selected Field Color", values_.selectedFieldColor},
        {"Field Transparent", checked(kFieldTransparent)},
        {"Field Flat", checked(kFieldFlat)},
        {"Field Boxed", checked(kFieldBoxed)},
        {"RB Field Color", values_.rbFieldColor},
        {"SRB Field Color", values_.srbFieldColor},
        {"Open Editor", checked(kOpenEditor)},
    };
    for (const auto& [name, value] : values)
      if (!WriteSetting(name, value))
        ui::Message("Error writing to the registry.", "Error", ui::icon::None, ui::button::Ok);
  }

  AppSettings values_;
};

}  // namespace

void ApplicationSetup() {
  ApplicationSetupWindow window;
  window.RunWindow();
}

}  // namespace app
