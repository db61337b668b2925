#pragma once
// The conversion journal: one INI file beside the data file (its name +
// ".rv3") with one entry that says where the old data is while a
// conversion runs. It is written before each step that moves data and
// removed when the new file is in place, so a conversion cut short at any
// moment is undone at the next open:
//   Moving  - the old file is about to be moved to the backup name;
//   Moved   - the old file is under the backup name, the new file is
//             being built under the work name;
//   Placing - the new file is complete and about to replace the file;
//             the backup is no longer needed (unless kept);
//   Kept    - the new file is about to replace the file, but the backup
//             holds records it lacks and stays.
#include <string>

namespace upg {

enum class JournalPhase { Moving, Moved, Placing, Kept };

void WriteJournal(const std::string& fileName, const std::string& backupName, JournalPhase phase,
                  bool keepBackup);
void RemoveJournal(const std::string& fileName);
std::string JournalName(const std::string& fileName);
// The name the new file is built under before it replaces the file.
std::string WorkName(const std::string& fileName);
// True when a name (Windows form, "\!" table part ignored) exists on disk.
bool FileExists(const std::string& name);

}  // namespace upg
