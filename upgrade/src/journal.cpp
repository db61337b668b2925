// The conversion journal and the recovery of a conversion cut short.
#include "journal.h"

#include <filesystem>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/upgrade_file.h"

namespace upg {
namespace {

constexpr const char* kSection = "Upgrade";
constexpr const char* kKey = "State";

const char* PhaseName(JournalPhase p) {
  switch (p) {
    case JournalPhase::Moving: return "moving";
    case JournalPhase::Moved: return "moved";
    case JournalPhase::Placing: return "placing";
    case JournalPhase::Kept: return "kept";
  }
  return "";
}

// The name with its folder made absolute, so the journal holds wherever
// the next run's current folder is.
std::string Absolute(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(db::HostPath(name), ec);
  std::string host = ec ? db::HostPath(name) : p.lexically_normal().string();
  std::string table;
  if (size_t bang = name.find("\\!"); bang != std::string::npos) table = name.substr(bang);
  return rt::WindowsPath(host) + table;
}

// Moves a data file by name (the table part of a name moves with its file).
void MoveFile(const db::FileDecl& like, const std::string& from, const std::string& to) {
  std::unique_ptr<db::FileDecl> f = like.Clone();
  f->SetName(from);
  db::Rename(*f, to);
}

void RemoveFile(const db::FileDecl& like, const std::string& name) {
  std::unique_ptr<db::FileDecl> f = like.Clone();
  f->SetName(name);
  db::Remove(*f);
}

}  // namespace

std::string JournalName(const std::string& fileName) {
  std::string host = rt::Clip(fileName);
  if (size_t bang = host.find("\\!"); bang != std::string::npos) host.resize(bang);
  return host + ".rv3";
}

std::string WorkName(const std::string& fileName) {
  std::string name = rt::Clip(fileName);
  size_t bang = name.find("\\!");
  if (bang == std::string::npos) return name + ".cnv";
  return name.substr(0, bang) + ".cnv" + name.substr(bang);
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(db::HostPath(name), ec);
}

void WriteJournal(const std::string& fileName, const std::string& backupName, JournalPhase phase,
                  bool keepBackup) {
  // One entry, written in one atomic replace of the journal file.
  std::string state = std::string(PhaseName(phase)) + "|" + (keepBackup ? "1" : "0") + "|" +
                      Absolute(backupName);
  rt::PutIni(kSection, kKey, state, JournalName(fileName));
}

void RemoveJournal(const std::string& fileName) {
  std::error_code ec;
  std::filesystem::remove(rt::IniPath(JournalName(fileName)), ec);
}

void RecoverInterruptedUpgrade(const db::FileDecl& file) {
  const std::string name = rt::Clip(file.Name());
  if (name.empty()) return;
  std::error_code ec;
  if (!std::filesystem::exists(rt::IniPath(JournalName(name)), ec)) return;
  rt::ErrorSnapshot error = rt::SaveError();
  std::string state = rt::GetIni(kSection, kKey, "", JournalName(name));
  size_t a = state.find('|'), b = a == std::string::npos ? a : state.find('|', a + 1);
  if (b == std::string::npos) {  // a journal without its entry: nothing was moved yet
    RemoveJournal(name);
    rt::RestoreError(error);
    return;
  }
  const std::string phase = state.substr(0, a), backup = state.substr(b + 1);
  const bool keep = state.substr(a + 1, b - a - 1) == "1";
  Trace(Flag::B, "Interrupted conversion of " + name + " (" + phase + "), old data: " + backup);
  if (FileExists(WorkName(name))) RemoveFile(file, WorkName(name));
  bool done = true;
  if (!FileExists(name)) {
    if (FileExists(backup)) {
      MoveFile(file, backup, name);
      done = rt::ErrorCode() == 0;
      Trace(Flag::B, std::string(done ? "Old file moved back: " : "Old file could not be moved back: ") +
                         backup + " - " + name + " " + rt::ErrorText());
    }
  } else if (phase == "placing" && !keep && FileExists(backup)) {
    RemoveFile(file, backup);  // the new file is complete
  }
  if (done) RemoveJournal(name);
  rt::RestoreError(error);
}

}  // namespace upg
