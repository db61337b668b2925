#include "velmora/app/program.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "velmora/app/settings.h"
#include "velmora/data/dictionary.h"
#include "velmora/library/recordcalls.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/dialogs.h"
#include "velmora/upgrade/registration.h"
#include "velmora/win/win.h"

namespace app {
namespace {

using data::FileId;

EngineInterface& Engine() {
  static EngineInterface engine = UpgradeEngine();
  return engine;
}

std::function<void()>& Frame() {
  static std::function<void()> frame = &Main;
  return frame;
}

}  // namespace

cl::TextMatcher& GlobalMatcher() {
  static cl::TextMatcher matcher;
  return matcher;
}

cl::IniMgr& INIMgr() {
  static cl::IniMgr ini;
  return ini;
}

rt::Byte& EngineRegistered() {
  static rt::Byte registered = 0;
  return registered;
}

rt::Long& DragSetting() {
  static rt::Long drag = 0;
  return drag;
}

db::FileDecl& GTPS() {
  static std::unique_ptr<db::FileDecl> gtps =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  return *gtps;
}

// ---- registration

EngineInterface UpgradeEngine() {
  return {&upg::ds_SetOption, &upg::ds_AddDriver, &upg::ds_IgnoreDriver,
          &upg::ds_AlternateFieldName, &upg::ds_UsingFile};
}

void SetEngineInterface(EngineInterface engine) { Engine() = std::move(engine); }

void RegisterDataFiles(const EngineInterface& e) {
  data::Dictionary& d = data::ThisThread();
  e.setOption("BadFile", "0");
  e.addDriver("Tps", GTPS(), 1, GTPS().Record());
  e.ignoreDriver("AllFiles", 1);
  e.setOption("SPCreate", "1");
  e.alternateName("ALI:ID", "FIL:ID");
  e.alternateName("ALI:DateCreated", "FIL:DateCreated");
  e.alternateName("ALI:TimeCreated", "FIL:TimeCreated");
  e.alternateName("ALI:FormID", "FIL:FormID");
  e.alternateName("ALI:FilledFormName", "FIL:FilledFormName");
  e.usingFile(d.File(FileId::AliasFilledForm), 1, "ALI", "AliasFilledForm");
  e.usingFile(d.File(FileId::FieldValues), 1, "FIE", "FieldValues");
  e.usingFile(d.File(FileId::FilledData), 0, "FIL1", "FilledData");
  e.usingFile(d.File(FileId::FilledForm), 1, "FIL", "FilledForm");
  e.usingFile(d.File(FileId::FormPages), 1, "FOR1", "FormPages");
  e.usingFile(d.File(FileId::Forms), 5, "FOR", "Forms");
  e.usingFile(d.File(FileId::PDFDetails), 0, "PDF", "PDFDetails");
  e.usingFile(d.File(FileId::PageControls), 5, "PAG", "PageControls");
}

// ---- per-thread hooks

void StartDictionary() {
  data::CreateFileManagers();
  data::StartRelationManagers();
}

void ThreadStartHook() {
  // Thread 1's dictionary is started by ProgramMain, once the error
  // manager exists.
  if (rt::ThreadNumber() == 1) return;
  StartDictionary();
}

void DictionaryExitHook() { data::StopDictionary(); }

void ProgramExitHook() { DictionaryExitHook(); }

// ---- entry and main procedure

void SetFrame(std::function<void()> frame) { Frame() = frame ? std::move(frame) : &Main; }

void ProgramMain() {
  data::ThisThread();
  data::GlobalErrors().Setup();
  GlobalMatcher().Setup();
  GlobalMatcher().SetOption(cl::TextMatcher::kCaseInsensitive, 1);
  GlobalMatcher().SetOption(cl::TextMatcher::kWholeWord, 0);
  INIMgr().Setup("Quintrel.INI");
  ApplyLockWaitSetting();
  StartDictionary();
  // The Form Editor opens the library's record windows.
  library::InstallEditorCalls();
  if (EngineRegistered() == 0) {
    EngineRegistered() = 1;
    RegisterDataFiles(Engine());
  }
  win::BOOL drag = 0;
  win::SystemParametersInfoA(win::SPI_GETDRAGFULLWINDOWS, 0, &drag, 0);
  DragSetting() = drag;
  constexpr win::UINT kProfile = win::SPIF_UPDATEINIFILE | win::SPIF_SENDCHANGE;
  if (DragSetting() == 1)
    win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr, kProfile);
  Frame()();
  if (DragSetting() == 1)
    win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr, kProfile);
  INIMgr().Teardown();
  GlobalMatcher().Teardown();
}

void StartWindowLayer() {
  static std::once_flag once;
  std::call_once(once, [] {
    ui::InstallMessageHandler();
    ui::AddResourceFolder(VELMORA_RESOURCES);
  });
}

void ProgramEntry(int argc, char** argv) { std::exit(RunProgram(argc, argv)); }

int RunProgram(int argc, char** argv) {
  std::fesetenv(FE_DFL_ENV);
  rt::SetThreadHooks(&ThreadStartHook, &ProgramExitHook);
  const std::vector<rt::Module> modules = {
      {"upgrade", [] {
         upg::InstallOpenHook();
         return true;
       }},
      {"ui", [] {
         StartWindowLayer();
         return true;
       }},
  };
  if (!rt::StartRuntime(argc, argv, modules)) {
    std::fprintf(stderr, "Velmora: the runtime could not start: %s\n",
                 rt::StartError().c_str());
    return 1;
  }
  return rt::RunMain(&ProgramMain);
}

}  // namespace app
