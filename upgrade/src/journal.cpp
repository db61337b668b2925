// The conversion journal, the wait for a conversion that another copy of
// the program runs, and the recovery of a conversion cut short.
#include "journal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/process.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/upgrade_file.h"

namespace upg {
namespace {

constexpr const char* kSection = "Upgrade";
// "phase|flags|owner|work|backup"; flags: "1" or "0" (keep), then "c" for
// a copy. Journals of earlier releases have "State" = "phase|keep|backup".
constexpr const char* kKey = "Conversion";
constexpr const char* kOldKey = "State";

const char* PhaseName(JournalPhase p) {
  switch (p) {
    case JournalPhase::Moving: return "moving";
    case JournalPhase::Moved: return "moved";
    case JournalPhase::Placing: return "placing";
    case JournalPhase::Kept: return "kept";
  }
  return "";
}

std::optional<JournalPhase> PhaseOf(const std::string& name) {
  for (JournalPhase p : {JournalPhase::Moving, JournalPhase::Moved, JournalPhase::Placing, JournalPhase::Kept})
    if (name == PhaseName(p)) return p;
  return std::nullopt;
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

// The identity of a file on disk (device and inode, which a rename keeps);
// "" when it is missing.
std::string Identity(const std::string& name) {
  struct stat st;
  if (::stat(db::HostPath(name).c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + "." + std::to_string(st.st_ino);
}

// Splits `text` at its first `n` bars; the last part keeps any further bars.
std::vector<std::string> Split(const std::string& text, size_t n) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t bar = text.find('|', from);
    if (bar == std::string::npos) return {};
    parts.push_back(text.substr(from, bar - from));
    from = bar + 1;
  }
  parts.push_back(text.substr(from));
  return parts;
}

// The journal's entry; nothing when the journal holds none (it was cut
// short before its first entry was written).
std::optional<Journal> ReadJournal(const std::string& fileName) {
  const std::string ini = JournalName(fileName);
  Journal j;
  std::vector<std::string> p = Split(rt::GetIni(kSection, kKey, "", ini), 4);
  if (p.size() == 5) {
    j.keep = p[1].rfind('1', 0) == 0;
    j.copy = p[1].find('c') != std::string::npos;
    j.owner = p[2];
    j.work = p[3];
    j.backup = p[4];
  } else {
    p = Split(rt::GetIni(kSection, kOldKey, "", ini), 2);
    if (p.size() != 3) return std::nullopt;
    j.keep = p[1] == "1";
    j.backup = p[2];
  }
  std::optional<JournalPhase> phase = PhaseOf(p[0]);
  if (!phase) return std::nullopt;
  j.phase = *phase;
  return j;
}

bool Write(const std::string& fileName, const Journal& j) {
  std::string state = std::string(PhaseName(j.phase)) + "|" + (j.keep ? "1" : "0") + (j.copy ? "c" : "") + "|" +
                      j.owner + "|" + j.work + "|" + j.backup;
  // One entry, written in one atomic replace of the journal file, on the
  // disk before the step it announces.
  const std::string path = rt::IniPath(JournalName(fileName));
  return rt::PutIni(kSection, kKey, state, JournalName(fileName)) && rt::SyncFile(path) && rt::SyncFolderOf(path);
}

// Moves a data file by name (the table part of a name moves with its file).
bool MoveFile(const db::FileDecl& like, const std::string& from, const std::string& to) {
  std::unique_ptr<db::FileDecl> f = like.Clone();
  f->SetName(from);
  db::Rename(*f, to);
  return rt::ErrorCode() == 0;
}

bool RemoveFile(const db::FileDecl& like, const std::string& name) {
  std::unique_ptr<db::FileDecl> f = like.Clone();
  f->SetName(name);
  db::Remove(*f);
  return rt::ErrorCode() == 0;
}

bool OwnedElsewhere(const Journal& j) {
  return !j.owner.empty() && j.owner != rt::ThisProcessTag() && rt::ProcessAlive(j.owner);
}

// What a conversion in progress changes on disk: its journal, its work
// file with its WAL, the file itself.
std::string Activity(const std::string& name) {
  std::string seen;
  for (const std::string& host : {rt::IniPath(JournalName(name)), db::HostPath(WorkName(name)),
                                  db::HostPath(WorkName(name)) + "-wal", db::HostPath(name)}) {
    struct stat st;
    if (::stat(host.c_str(), &st) == 0)
      seen += std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec) + ";";
    else
      seen += "-;";
  }
  return seen;
}

// Waits while another process converts the file, with the runtime lock
// released so the program's other windows go on. True when its journal is
// gone or its process ended; false (error 5 set) when it made no progress
// for the lock wait.
bool WaitForConversion(const std::string& name, const Journal& found) {
  using Clock = std::chrono::steady_clock;
  const auto bound = std::chrono::seconds(db::LockWait());
  Trace(Flag::B, "Waiting for the conversion of " + name + " by process " + found.owner);
  std::string seen = Activity(name);
  auto lastChange = Clock::now();
  auto pause = std::chrono::milliseconds(10);
  for (;;) {
    std::optional<Journal> j = FileExists(JournalName(name)) ? ReadJournal(name) : std::nullopt;
    if (!FileExists(JournalName(name)) || (j && !OwnedElsewhere(*j))) return true;
    std::string now = Activity(name);
    if (now != seen) {
      seen = now;
      lastChange = Clock::now();
    } else if (Clock::now() - lastChange >= bound) {
      const std::string pid = found.owner.substr(0, found.owner.find('.'));
      Trace(Flag::B, "The conversion of " + name + " by process " + pid + " made no progress");
      rt::SetFileError(rt::kAccessDenied, 0,
                       rt::FromUtf8(db::HostPath(Absolute(name))) + ": another copy of the program (process " +
                           pid + ") is converting the file and has made no progress for " +
                           std::to_string(db::LockWait()) + " seconds; try again when it has finished",
                       name);
      return false;
    }
    const bool held = rt::HoldsThreadLock();
    if (held) rt::UnlockThread();
    std::this_thread::sleep_for(pause);
    if (held) rt::LockThread();
    pause = std::min(pause * 2, std::chrono::milliseconds(200));
  }
}

// Removes what processes that are gone left beside the file of their work
// on it: a new file being built ("<file>.new<pid>", and of the work file
// "<file>.cnv.new<pid>", with its "-wal", "-shm" or "-journal") and the
// journal being replaced ("<file>.rv3.tmp<pid>"). What a process that still
// runs left is its work in progress and stays.
void RemoveLeftovers(const std::string& name) {
  const std::filesystem::path host(db::HostPath(name));
  const std::string base = host.filename().string();
  if (base.empty()) return;
  const std::filesystem::path folder = host.has_parent_path() ? host.parent_path() : ".";
  std::vector<std::filesystem::path> gone;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry.size() <= base.size() || entry.compare(0, base.size(), base) != 0) continue;
    const std::string_view rest = std::string_view(entry).substr(base.size());
    for (std::string_view kind : {".new", ".cnv.new", ".rv3.tmp"}) {
      if (!rest.starts_with(kind)) continue;
      const std::string_view tail = rest.substr(kind.size());
      const size_t digits = tail.find_first_not_of("0123456789");
      const std::string_view pid = tail.substr(0, digits);
      const std::string_view after = digits == std::string_view::npos ? std::string_view() : tail.substr(digits);
      if (pid.empty() || !(after.empty() || after == "-wal" || after == "-shm" || after == "-journal")) continue;
      if (!rt::ProcessAlive(pid)) gone.push_back(it->path());
    }
  }
  for (const std::filesystem::path& p : gone) {
    std::error_code removed;
    std::filesystem::remove(p, removed);
    Trace(Flag::B, std::string(removed ? "Leftover could not be removed: " : "Leftover removed: ") +
                       rt::FromUtf8(p.string()));
  }
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

bool WriteJournal(const std::string& fileName, const std::string& backupName, JournalPhase phase, bool keep,
                  bool copy) {
  Journal j;
  j.phase = phase;
  j.keep = keep;
  j.copy = copy;
  j.owner = rt::ThisProcessTag();
  if (phase == JournalPhase::Placing || phase == JournalPhase::Kept) j.work = Identity(WorkName(fileName));
  j.backup = Absolute(backupName);
  return Write(fileName, j);
}

void ReleaseJournal(const std::string& fileName) {
  if (!FileExists(JournalName(fileName))) return;
  std::optional<Journal> j = ReadJournal(fileName);
  if (!j || j->owner != rt::ThisProcessTag()) return;
  j->owner.clear();
  Write(fileName, *j);
}

void RemoveJournal(const std::string& fileName) {
  const std::string path = rt::IniPath(JournalName(fileName));
  std::error_code ec;
  if (std::filesystem::remove(path, ec)) rt::SyncFolderOf(path);
}

std::string JournalRefusal(const std::string& fileName) {
  const int err = errno;
  return "the conversion journal " + JournalName(fileName) + " cannot be written (" + std::strerror(err) + ")";
}

bool ConvertedElsewhere(const std::string& fileName) {
  if (!FileExists(JournalName(fileName))) return false;
  std::optional<Journal> j = ReadJournal(fileName);
  return j && OwnedElsewhere(*j);
}

bool RecoverInterruptedUpgrade(const db::FileDecl& file) {
  const std::string name = rt::Clip(file.Name());
  if (name.empty()) return true;
  RemoveLeftovers(name);
  if (!FileExists(JournalName(name))) return true;
  rt::ErrorSnapshot error = rt::SaveError();
  std::optional<Journal> j = ReadJournal(name);
  if (j && OwnedElsewhere(*j)) {
    if (!WaitForConversion(name, *j)) return false;
    rt::RestoreError(error);
    if (!FileExists(JournalName(name))) return true;  // the conversion is done
    j = ReadJournal(name);
  }
  if (!j) {  // a journal without its entry: nothing was moved yet
    RemoveJournal(name);
    rt::RestoreError(error);
    return true;
  }
  Trace(Flag::B, std::string("Interrupted conversion of ") + name + " (" + PhaseName(j->phase) +
                     "), old data: " + j->backup);
  const std::string work = WorkName(name);
  bool done = true;
  if (j->phase == JournalPhase::Moving || j->phase == JournalPhase::Moved) {
    // The new file was never complete: the old data goes back.
    if (FileExists(work)) RemoveFile(file, work);
    if (!FileExists(name)) {
      if (FileExists(j->backup)) {
        done = MoveFile(file, j->backup, name);
        Trace(Flag::B, std::string(done ? "Old file moved back: " : "Old file could not be moved back: ") +
                           j->backup + " - " + name + " " + rt::ErrorText());
      }
    } else if (j->copy && !j->keep && FileExists(j->backup)) {
      RemoveFile(file, j->backup);  // the old file never left its name
    }
  } else {
    // The new file was complete: it takes the file's place, unless another
    // file holds the name; the old data goes only once the new file is
    // known to be in place.
    bool placed = false;
    if (FileExists(work)) {
      if (FileExists(name) && j->copy) RemoveFile(file, name);  // the old file, kept in the backup
      if (FileExists(name)) {
        Trace(Flag::B, "The converted file cannot take its place, another file holds the name: " + work +
                           " - " + name + ". Old data: " + j->backup);
        done = false;
      } else {
        placed = MoveFile(file, work, name);
        done = placed;
        Trace(Flag::B, std::string(placed ? "Converted file put in place: " : "Converted file could not be put in place: ") +
                           work + " - " + name + " " + rt::ErrorText());
      }
    } else if (FileExists(name)) {
      placed = j->work.empty() || Identity(name) == j->work;
      if (!placed) {
        Trace(Flag::B, "Another file holds the name of the converted file: " + name + ". Old data: " + j->backup);
        done = false;
      }
    } else if (FileExists(j->backup) && !j->copy) {
      done = MoveFile(file, j->backup, name);  // neither file is in place: the old data goes back
    }
    if (placed && j->phase == JournalPhase::Placing && !j->keep && FileExists(j->backup))
      RemoveFile(file, j->backup);
  }
  if (done) RemoveJournal(name);
  rt::RestoreError(error);
  return true;
}

}  // namespace upg
