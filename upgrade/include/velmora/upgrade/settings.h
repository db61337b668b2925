#pragma once
// The engine's settings: command-line switches and the trace flags they
// set, the trace writer, the translation INI with the engine's messages,
// the silent settings and the profiler.
//
// Trace flags, named by letter everywhere in the engine:
//   A general (entry and exit), B detail, C more detail, D record and
//   conversion steps, E per-field copy, F serialised formats,
//   S silent upgrading (wait and progress windows stay closed).
// The engine's switches match with their case as written: "/DOWNGRADE"
// and "/downgrade" are two different switches.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace upg {

enum class Flag : uint8_t { A, B, C, D, E, F, S };

// Parses the trace switches once per process (the first ds_AddDriver).
void ReadSwitches();
namespace detail {
// The flags ReadSwitches set (asked for several times per field of every
// record copied, so read in place).
inline std::array<bool, 7> traceFlags{};
}  // namespace detail
inline bool FlagOn(Flag f) { return detail::traceFlags[static_cast<size_t>(f)]; }

// An engine switch (exact case) is on, and its value ("" when absent).
bool EngineSwitch(std::string_view name);
std::string EngineCommand(std::string_view name);

// One trace line: "[RV3] " + the clipped text, cut to 29999 characters,
// to the debugger output only.
void WriteTrace(std::string_view text);
inline void Trace(Flag f, std::string_view text) {
  if (FlagOn(f)) WriteTrace(text);
}

// SilentMode: suppresses only the stop box of message M3.
rt::Byte& SilentMode();

// The translation INI: the program's folder + "RV3.Ini" for an empty
// name, else the folder + the name. Acts only while the name is blank or
// when a name is given.
void SetTranslationIni(std::string_view name);
const std::string& TranslationIniName();

// The program's folder ("\x\y\") and file name (at most 100 characters),
// both from the program's own path on the command line.
std::string ProgramFolder();
const std::string& ProgramFileName();

// ---- messages. Every raiser passes one of these; the text shown is the
// INI entry `id` of `section` when present, else the English default.
struct MessageDef {
  std::string_view id;
  std::string_view section;
  std::string_view text;
};

inline constexpr MessageDef kM1{"M1", "Messages",
    "Possible file change without changing File Version number. File involved : "};
inline constexpr MessageDef kM2Register{"M2", "Message", "Unable to Open UPG file [1] : cause "};
inline constexpr MessageDef kM2Convert{"M2", "Messages", "Unable to Open UPG file : cause "};
inline constexpr MessageDef kM3{"M3", "Message", "Unable to upgrade file which doesn't have a prefix :"};
inline constexpr MessageDef kM4{"M4", "Message", "Unable to upgrade file - Not \"Using\" file "};
inline constexpr MessageDef kM5{"M5", "Message", "Unable to upgrade file - no file name available;"};
inline constexpr MessageDef kM6Create{"M6", "Message",
    "Unable to upgrade file - Error creating destination file : "};
inline constexpr MessageDef kM6Open{"M6", "Message",
    "Unable to upgrade file - Error opening destination file : "};
inline constexpr MessageDef kM7{"M7", "Message", "Unable to upgrade file - Error reading source file "};
inline constexpr MessageDef kM8{"M8", "Message", "Error Writing destination file "};
inline constexpr MessageDef kM10{"M10", "Message", "Warning - Driver not located - GPF likely"};
inline constexpr MessageDef kM12{"M12", "Messages", "Please wait - Upgrading file"};
inline constexpr MessageDef kM13{"M13", "Message", "MEM file missing"};
inline constexpr MessageDef kM14Register{"M14", "Messages", "Internal File Format Too Large for RV3. File :"};
inline constexpr MessageDef kM14Check{"M14", "Messages", "Warning - Internal File Format Too Large. File :"};
inline constexpr MessageDef kM14Convert{"M14", "Messages", "Internal File Format Too Large. File :"};
inline constexpr MessageDef kM15{"M15", "Message",
    "Unable to upgrade. Access to the existing file has been denied."};
inline constexpr MessageDef kM16{"M16", "Messages", "Please wait - Copying file"};
inline constexpr MessageDef kM17{"M17", "Messages", "Please wait - Building Keys"};
inline constexpr MessageDef kM18{"M18", "Messages", "Please wait - Refreshing file"};
inline constexpr MessageDef kM19{"M19", "Message", "File Corrupt. Restart program to invoke AutoFix."};
inline constexpr MessageDef kM19a{"M19a", "Message",
    "Unable to open file. Check to be sure the Pervasive Database Engine is running."};
inline constexpr MessageDef kM19b{"M19b", "Message", "Unable to open file. Errorcode 90 received."};
inline constexpr MessageDef kMShare{"M", "Message",
    "Unable to upgrade. Error occured opening (share) the file."};

// Reads the message's text (translation or default) into MessageText.
const std::string& ReadMessage(const MessageDef& m);
const std::string& MessageText();
// Shows the stop box "RV3: " + the clipped text + details and traces [B]
// "RV3: " + the default text + details. The user may end the program
// (with `exitCode`).
void StopMessage(const MessageDef& m, std::string_view details, int exitCode = 0);

// ---- profiler (counters in hundredths of a second where they are times)
struct Profile {
  rt::Long usingFileCalls = 0;
  rt::Long nameTime = 0;        // setting the store names and rebuilding
  rt::Long openTime = 0;        // opening the store
  rt::Long unusedTotal = 0;     // accumulated by nothing
  rt::Long toWorkTime = 0;      // until UsingFileWork starts
  rt::Long serialiseTime = 0;
  rt::Long compareTime = 0;
  rt::Long skippedCompares = 0;
  rt::Long recordsAdded = 0;
  rt::Long workTime = 0;        // UsingFileWork
  rt::Long addUfTime = 0;
  rt::Long closeTime = 0;
};
Profile& Profiler();
// Hundredths of a second from a monotonic clock.
rt::Long ProfileClock();
// Writes the profile report of section 1 or 2 (only with "/Profile").
void ProfileReport(int section);

// Back to process start (tests).
void ResetSettings();

}  // namespace upg
