#pragma once
// Program start-up and shut-down: the entry routine, the main procedure,
// the per-thread dictionary hooks and the one registration of the data
// files with the upgrade engine.
#include <functional>
#include <string_view>

#include "velmora/classlib/inimgr.h"
#include "velmora/classlib/textmatcher.h"
#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace app {

// ---- process-wide objects
cl::TextMatcher& GlobalMatcher();
cl::IniMgr& INIMgr();
rt::Byte& EngineRegistered();
// The drag-full-windows setting as read at start-up.
rt::Long& DragSetting();
// The driver template that tells the upgrade engine which driver "Tps"
// stands for: the ISAM driver, one BYTE field __GTPS:A; never opened.
db::FileDecl& GTPS();

// ---- entry and main procedure
// Starts the runtime, runs ProgramMain and ends the process. When the
// runtime cannot start, the reason goes to stderr and the exit code is 1.
[[noreturn]] void ProgramEntry(int argc, char** argv);
// The same on the calling thread (which becomes thread 1), returning the
// exit code instead of ending the process.
int RunProgram(int argc, char** argv);
// Where the windows find their pictures and icons, and the message box of
// the runtime shown through the window layer: the start-up module of the
// window layer (RunProgram runs it; tests that start the runtime
// themselves call it).
void StartWindowLayer();
void ProgramMain();

// ---- per-thread hooks
void ThreadStartHook();
void ProgramExitHook();
void DictionaryExitHook();
void StartDictionary();

// ---- registration with the upgrade engine (once per process)
struct EngineInterface {
  std::function<void(std::string_view name, std::string_view value)> setOption;
  std::function<void(std::string_view code, db::FileDecl& file, rt::Long length,
                     uint8_t* record)> addDriver;
  std::function<void(std::string_view name, rt::Long flags)> ignoreDriver;
  std::function<void(std::string_view destination, std::string_view source)> alternateName;
  std::function<void(db::FileDecl& file, rt::Short version, std::string_view prefix,
                     std::string_view label)> usingFile;
};
// The engine's own entry points.
EngineInterface UpgradeEngine();
// The registration calls, in order, through `engine`.
void RegisterDataFiles(const EngineInterface& engine);
// What ProgramMain registers through (the upgrade engine unless replaced).
void SetEngineInterface(EngineInterface engine);

// ---- the application frame
// The frame ProgramMain calls; Main unless replaced.
void SetFrame(std::function<void()> frame);
// The application frame (frame.h): runs the frame window until it closes,
// leaving its response in ThreadResponse.
void Main();

}  // namespace app
