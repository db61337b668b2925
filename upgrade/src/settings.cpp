// The engine's switches, trace writer, translation INI, messages and profiler.
#include "velmora/upgrade/settings.h"

#include <array>
#include <chrono>
#include <memory>

#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/win/win.h"

namespace upg {
namespace {

constexpr size_t kTraceBuffer = 30000;  // the line and its terminator
constexpr size_t kMessageText = 255;    // MessageText holds at most this

struct Settings {
  bool switchesRead = false;
  rt::Byte silent = 0;
  std::string translationIni;
  std::string messageText;
  Profile profile;
};

Settings& S() {
  static Settings s;
  return s;
}

void Set(std::initializer_list<Flag> flags) {
  for (Flag f : flags) detail::traceFlags[static_cast<size_t>(f)] = true;
}

}  // namespace

bool EngineSwitch(std::string_view name) {
  return rt::HasSwitch(name, rt::SwitchCase::Exact);
}

std::string EngineCommand(std::string_view name) {
  return rt::Command(name, 0, rt::SwitchCase::Exact);
}

void ReadSwitches() {
  if (S().switchesRead) return;
  S().switchesRead = true;
  using enum Flag;
  if (EngineSwitch("/debugrvgpf")) Set({A, D, E});
  if (EngineSwitch("/debugrv")) Set({A, B});
  if (EngineSwitch("/debugrvall")) Set({A, B, C});
  if (EngineSwitch("/debugrvfull")) Set({A, B, C, D, E, F});
  if (EngineSwitch("/silentupgrading")) Set({S});
  if (FlagOn(A)) {
    WriteTrace("RV3 version: 3.59 Beta");
    WriteTrace("RV3 debugging level: " + rt::Command("", 1) + " Linux 0");
  }
}

void WriteTrace(std::string_view text) {
  // A fresh heap buffer per line, as the trace may run on any thread
  // inside the open hook; the text is cut so the line and its terminator fit.
  auto buffer = std::make_unique<char[]>(kTraceBuffer);
  std::string line = "[RV3] " + rt::Clip(text);
  size_t n = std::min(line.size(), kTraceBuffer - 1);
  line.copy(buffer.get(), n);
  buffer[n] = '\0';
  win::OutputDebugStringA(buffer.get());
}

rt::Byte& SilentMode() { return S().silent; }

std::string ProgramFolder() {
  std::string path = rt::Command("", 0);
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const std::string& ProgramFileName() {
  static const std::string name = [] {
    std::string path = rt::Command("", 0);
    size_t slash = path.rfind('\\');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    return last.substr(0, std::min<size_t>(last.size(), 100));
  }();
  return name;
}

void SetTranslationIni(std::string_view name) {
  if (!rt::Clip(S().translationIni).empty() && rt::Clip(name).empty()) return;
  std::string file = rt::Clip(name).empty() ? std::string("RV3") + ".Ini" : rt::Clip(name);
  S().translationIni = ProgramFolder() + file;
  Trace(Flag::A, "Ini file name (for translating) set to " + S().translationIni);
}

const std::string& TranslationIniName() { return S().translationIni; }

const std::string& ReadMessage(const MessageDef& m) {
  const std::string& ini = S().translationIni;
  std::string text = ini.empty() ? std::string(m.text) : rt::GetIni(m.section, m.id, m.text, ini);
  S().messageText = text.substr(0, std::min<size_t>(text.size(), kMessageText));
  return S().messageText;
}

const std::string& MessageText() { return S().messageText; }

void StopMessage(const MessageDef& m, std::string_view details, int exitCode) {
  std::string text = rt::Clip(ReadMessage(m));
  Trace(Flag::B, "RV3: " + rt::Clip(m.text) + std::string(details));
  rt::Stop("RV3: " + text + std::string(details), exitCode);
}

Profile& Profiler() { return S().profile; }

rt::Long ProfileClock() {
  using namespace std::chrono;
  auto t = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<rt::Long>((t / 10) & 0x7FFFFFFF);
}

void ProfileReport(int section) {
  if (!EngineSwitch("/Profile")) return;
  if (section == 1) {
    const Profile& p = S().profile;
    const rt::Long values[] = {p.usingFileCalls, p.nameTime,        p.openTime,
                               p.unusedTotal,    p.toWorkTime,      p.serialiseTime,
                               p.compareTime,    p.skippedCompares, p.recordsAdded,
                               p.workTime,       p.addUfTime,       p.closeTime};
    std::string line = "Profile of ds_UsingFile : ";
    for (size_t i = 0; i < std::size(values); ++i)
      line += (i ? " " : "") + std::to_string(values[i]);
    WriteTrace(line + " :: 0");  // the first total of section 2
  } else if (section == 2) {
    std::string line = "Profile of generatescripts :  :: ";
    for (int i = 0; i < 13; ++i) line += (i ? " 0" : "0");
    WriteTrace(line);
  }
}

void ResetSettings() {
  S() = Settings{};
  detail::traceFlags = {};
}

}  // namespace upg
