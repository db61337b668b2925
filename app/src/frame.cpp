// The application frame.
#include "velmora/app/frame.h"

#include <filesystem>
#include <map>
#include <mutex>

#include "velmora/app/fileutil.h"
#include "velmora/app/procedures.h"
#include "velmora/app/program.h"
#include "velmora/app/settings.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/files/files.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"
#include "velmora/win/win.h"

namespace app {
namespace {

// Menu items, toolbar buttons and the menus without a use name.
enum : int {
  kFileMenu = -1,
  kPrintSetup = -2,
  kFileApplicationSetup = -3,
  kExit = -4,
  kEditMenu = -5,
  kCut = -6,
  kCopy = -7,
  kPaste = -8,
  kBrowse = -9,
  kBrowseForms = -10,
  kFormMaintenanceEditor = -11,
  kBrowseFormsTree = -12,
  kBrowseFilledDocuments = -13,
  kTile = -14,
  kCascade = -15,
  kArrange = -16,
  kHelpManual = -17,
  kHelpIndex = -18,
  kHelpSearch = -19,
  kHelpOnHelp = -20,
  kHelpAbout = -21,
  kExitButton = -22,
  kSetup = -23,
  kShowForms = -24,
  kListFilledShowForms = -25,
  kWindowMenu = -26,
  kHelpMenu = -27,
};

constexpr const char* kEditorIcon = "~C:\\Tavrel6\\icons\\edit.ico";

ui::ControlDesc Menu(std::string use, int number, std::string text, std::vector<ui::ControlDesc> items) {
  ui::ControlDesc d;
  d.type = ui::ControlType::Menu;
  d.use = std::move(use);
  d.number = number;
  d.text = std::move(text);
  d.children = std::move(items);
  return d;
}

ui::ControlDesc Item(std::string use, int number, std::string text, std::string tip = {},
                     ui::StdAction action = ui::StdAction::None, bool hidden = false) {
  ui::ControlDesc d;
  d.type = ui::ControlType::Item;
  d.use = std::move(use);
  d.number = number;
  d.text = std::move(text);
  d.tip = std::move(tip);
  d.std = action;
  d.hidden = hidden;
  return d;
}

ui::ControlDesc Rule(bool hidden = false) {
  ui::ControlDesc d;
  d.type = ui::ControlType::Item;
  d.separator = true;
  d.hidden = hidden;
  return d;
}

ui::ControlDesc Button(std::string use, int number, int x, std::string text, std::string tip,
                       std::string icon) {
  ui::ControlDesc d;
  d.type = ui::ControlType::Button;
  d.use = std::move(use);
  d.number = number;
  d.x = x;
  d.width = 24;
  d.height = 24;
  d.text = std::move(text);
  d.tip = std::move(tip);
  d.icon = std::move(icon);
  return d;
}

std::mutex& StarterLock() {
  static std::mutex mu;
  return mu;
}
ProcedureStarter& Starter() {
  static ProcedureStarter starter;
  return starter;
}

const std::map<std::string_view, ProcedureBody>& Procedures() {
  static const std::map<std::string_view, ProcedureBody> table = {
      {"ShowAll", [](std::vector<std::string>) { ShowAll(); }},
      {"FormEditor",
       [](std::vector<std::string> args) { FormEditor(args.empty() ? std::string() : args.front()); }},
      {"ShowFormsTree", [](std::vector<std::string>) { ShowFormsTree(); }},
      {"ShowFilledFormsTree", [](std::vector<std::string>) { ShowFilledFormsTree(); }},
      {"ApplicationSetup", [](std::vector<std::string>) { ApplicationSetup(); }},
      {"ViewManual", [](std::vector<std::string>) { ViewManual(); }},
      {"AboutWindow", [](std::vector<std::string>) { AboutWindow(); }},
  };
  return table;
}

// The data folder is made when it is missing; a failure shows at the
// first file open.
void EnsureDataFolder() {
  std::error_code ec;
  if (!std::filesystem::is_directory(db::HostPath(".\\data"), ec)) MakeFolder("data");
}

}  // namespace

rt::Long& FrameThread() {
  static rt::Long thread = 0;
  return thread;
}

void SetProcedureStarter(ProcedureStarter starter) {
  std::lock_guard l(StarterLock());
  Starter() = std::move(starter);
}

int StartProcedure(std::string_view name, uint32_t stackSize, std::vector<std::string> args) {
  auto it = Procedures().find(name);
  if (it == Procedures().end()) return 0;
  ProcedureStarter starter;
  {
    std::lock_guard l(StarterLock());
    starter = Starter();
  }
  if (starter) return starter(name, it->second, stackSize, std::move(args));
  return rt::Start(it->second, stackSize, std::move(args));
}

ui::WindowDesc FrameWindow() {
  using ui::StdAction;
  ui::WindowDesc d;
  d.caption = "Velmora";
  d.kind = ui::WindowKind::Frame;
  d.width = 520;
  d.height = 340;
  d.font = {"MS Sans Serif", 8, 0, -1};
  d.toolbarBackground = "grybkgnd.gif";
  d.menus = {
      Menu("?FILEMENU", kFileMenu, "&File",
           {Item("?PRINTSETUP", kPrintSetup, "P&rint Setup...", "Setup Printer", StdAction::PrintSetup),
            Item("?FILEAPPLICATIONSETUP", kFileApplicationSetup, "&Application Setup"),
            Item("?EXIT", kExit, "E&xit", "Exit this application", StdAction::Close)}),
      Menu("?EDITMENU", kEditMenu, "&Edit",
           {Item("?CUT", kCut, "Cu&t", "Remove item to Windows Clipboard", StdAction::Cut),
            Item("?COPY", kCopy, "&Copy", "Copy item to Windows Clipboard", StdAction::Copy),
            Item("?PASTE", kPaste, "&Paste", "Paste contents of Windows Clipboard", StdAction::Paste)}),
      Menu("?BROWSE", kBrowse, "F&orm Maintenance",
           {Item("?BROWSEFORMS", kBrowseForms, "&Forms"),
            Item("?FORMMAINTENANCEEDITOR", kFormMaintenanceEditor, "&Editor"), Rule(true),
            Item("?BROWSEFORMSTREE", kBrowseFormsTree, "&Prepare Forms", {}, StdAction::None, true),
            Item("?BROWSEFILLEDDOCUMENTS", kBrowseFilledDocuments, "Fill &Forms", {}, StdAction::None,
                 true)}),
      Menu({}, kWindowMenu, "&Window",
           {Item("?TILE", kTile, "T&ile", "Make all open windows visible", StdAction::Tile),
            Item("?CASCADE", kCascade, "&Cascade", "Stack all open windows", StdAction::Cascade),
            Item("?ARRANGE", kArrange, "&Arrange Icons", "Align all window icons", StdAction::Arrange)}),
      Menu({}, kHelpMenu, "&Help",
           {Item("?HELPMANUAL", kHelpManual, "&Manual"), Rule(),
            Item("?HELPINDEX", kHelpIndex, "&Contents", {}, StdAction::HelpIndex),
            Item("?HELPSEARCH", kHelpSearch, "&Search for Help On...", {}, StdAction::HelpSearch),
            Item("?HELPONHELP", kHelpOnHelp, "&How to Use Help", {}, StdAction::HelpOnHelp), Rule(),
            Item("?HELPABOUT", kHelpAbout, "About...")}),
  };
  d.toolbar = {
      Button("?EXITBUTTON", kExitButton, 0, "Exit", {}, "cancel.ico"),
      Button("?SETUP", kSetup, 24, {}, "Application Default Settings", "settings.ico"),
      Button("?SHOWFORMS", kShowForms, 48, {}, "Show Forms", "folder new.ico"),
      Button("?LISTFILLEDSHOWFORMS", kListFilledShowForms, 72, {}, "List Filled Forms", "open.ico"),
  };
  return d;
}

MainFrame::MainFrame() : ProcedureWindow("Main") {}

int MainFrame::Setup() {
  EnsureDataFolder();
  // "Open Editor" (empty counts as 1): whether the empty editor follows
  // the Getting Started window.
  openEditor_ = ReadSetting("Open Editor", 1);
  data::GlobalErrors().PushProcedure(Procedure());
  ProcedureWindow::Setup();
  Load(FrameWindow());
  toolbar_.Attach(*this);
  cl::RelationManager* pages = data::ThisThread().Relate(data::FileId::PageControls);
  pagesOpened_ = pages && pages->Open() == cl::kBenign;
  Open();
  EnsureDataFolder();
  cl::SetSystemIcon(kEditorIcon);
  if (Win().Get(0, ui::Prop::Icon).empty()) Win().Set(0, ui::Prop::Icon, kEditorIcon);
  RestorePosition(INIMgr());
  return cl::kBenign;
}

int MainFrame::Teardown() {
  ProcedureWindow::Teardown();
  if (pagesOpened_) {
    data::ThisThread().Relate(data::FileId::PageControls)->Close();
    pagesOpened_ = false;
  }
  SavePosition(INIMgr());
  data::GlobalErrors().PopProcedure();
  return cl::kBenign;
}

int MainFrame::OnAccepted() {
  const int control = Win().Field();
  if (control == kExitButton) {
    if (ui::Message("Do you want to exit?", "Velmora", ui::icon::Question,
                    ui::button::Yes | ui::button::No, ui::button::No) != ui::button::Yes)
      return cl::kBenign;
    Win().Post(ui::ev::CloseWindow);
  }
  switch (control) {
    case kFileApplicationSetup: StartProcedure("ApplicationSetup", kProcedureStack); break;
    case kBrowseForms: StartProcedure("ShowAll", kProcedureStack); break;
    case kFormMaintenanceEditor: StartProcedure("FormEditor", kProcedureStack, {"3"}); break;
    case kBrowseFormsTree: StartProcedure("ShowFormsTree", kProcedureStack); break;
    case kBrowseFilledDocuments: StartProcedure("ShowFilledFormsTree", kProcedureStack); break;
    default: break;
  }
  const int result = ProcedureWindow::OnAccepted();
  if (result != cl::kBenign) return result;
  switch (control) {
    // without Windows help, the help actions open the program's manual
    case kHelpManual: case kHelpIndex: case kHelpSearch: case kHelpOnHelp:
      StartProcedure("ViewManual", kProcedureStack);
      break;
    case kHelpAbout: StartProcedure("AboutWindow", kProcedureStack); break;
    case kSetup: StartProcedure("ApplicationSetup", kProcedureStack); break;
    case kShowForms: StartProcedure("ShowAll", kProcedureStack); break;
    case kListFilledShowForms: StartProcedure("ShowFilledFormsTree", kProcedureStack); break;
    default: break;
  }
  return cl::kBenign;
}

int MainFrame::OnWindowEvent() {
  const int event = Win().EventNo();
  if (event == kGettingStartedClosed && !closing_ && openEditor_ != 0)
    StartProcedure("FormEditor", kProcedureStack, {"3"});
  if (event == ui::ev::CloseWindow) {
    closing_ = 1;
    // An editor holding unsaved changes asks first; one the user keeps
    // open keeps the program running.
    if (!editor::CloseEditors()) {
      closing_ = 0;
      Win().CancelClose();
      return cl::kNotify;
    }
  }
  const int result = ProcedureWindow::OnWindowEvent();
  if (result != cl::kBenign) return result;
  if (event == ui::ev::OpenWindow) {
    // Recorded first: the Getting Started window posts to it when it closes.
    FrameThread() = rt::ThreadNumber();
    StartProcedure("ViewManual", kGettingStartedStack);
  }
  return cl::kBenign;
}

void Main() {
  MainFrame frame;
  frame.RunWindow();
  // Closing the frame has asked every child to close; each closes on its
  // own thread and saves its position as it goes. Main returns once they
  // have all finished, before the settings manager is torn down.
  rt::WaitForThreads();
}

}  // namespace app
