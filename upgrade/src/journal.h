#pragma once
// The conversion journal: one INI file beside the data file (its name +
// ".rv3") with one entry that says where the old data is while a
// conversion runs and which process runs it. It is written, and synced to
// the disk, before each step that moves data and removed when the new
// file is in place, so a conversion cut short at any moment is finished or
// undone at the next open:
//   Moving  - the old file is about to be moved to the backup name;
//   Moved   - the old file is under the backup name (or copied there),
//             the new file is being built under the work name;
//   Placing - the new file is complete and about to replace the file;
//             the backup is no longer needed (unless kept);
//   Kept    - the new file is about to replace the file, but the backup
//             holds records it lacks and stays.
// While the converting process runs, its journal tells every other copy of
// the program that the file is being converted: their opens wait for it.
#include <string>

namespace upg {

enum class JournalPhase { Moving, Moved, Placing, Kept };

struct Journal {
  JournalPhase phase = JournalPhase::Moving;
  bool keep = false;   // the backup stays once the new file is in place
  bool copy = false;   // the backup is a copy: the old file never left its name
  std::string owner;   // the converting process (rt::ThisProcessTag); "" once it stopped
  std::string work;    // Placing, Kept: the identity of the complete new file
  std::string backup;  // where the old data is, with its folder made absolute
};

// Writes the journal of this process's conversion and syncs it to the
// disk; false (errno set) when it could not be written.
bool WriteJournal(const std::string& fileName, const std::string& backupName, JournalPhase phase,
                  bool keep, bool copy);
// The reason a journal could not be written, from errno after WriteJournal.
std::string JournalRefusal(const std::string& fileName);
// This process's conversion stops and leaves its journal (if any) for
// the next open, which then no longer waits for this process.
void ReleaseJournal(const std::string& fileName);
void RemoveJournal(const std::string& fileName);
std::string JournalName(const std::string& fileName);
// The name the new file is built under before it replaces the file.
std::string WorkName(const std::string& fileName);
// True when a name (Windows form, "\!" table part ignored) exists on disk.
bool FileExists(const std::string& name);
// True when another process that still runs is converting the file.
bool ConvertedElsewhere(const std::string& fileName);

}  // namespace upg
