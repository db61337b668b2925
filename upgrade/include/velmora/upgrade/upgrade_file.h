#pragma once
// The upgrade driver: converts a data file whose structure on disk is an
// older stored one into its declared structure. It finds the stored
// structure that opens the old file, moves the old file aside under a
// backup name, builds the new file, copies every record and rebuilds the
// keys. The new file is built under a work name and put in place only
// when complete, and a journal beside the file tells the next open where
// the old data is when a conversion was cut short.
#include <cstdint>
#include <string>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"
#include "velmora/upgrade/registration.h"

namespace upg {

// Mode bit 0: write with ADD (like "/AddRecords"), wait text M18.
void ds_UpgradeFileEx(db::FileDecl& file, rt::Long mode);

// RVQ: one row per completed conversion of this run.
struct ConversionRow {
  std::string prefix;
  std::string fileName;
  rt::Long fromVersion = 0;
  rt::Long toVersion = 0;
  std::string reserved;
};
std::vector<ConversionRow>& RVQ();

// OFN: old names of renamed files, filled by a host that renames files
// before it opens them (nothing in the program adds rows). The search for
// an old file and the SQL rename check read the same rows.
struct OldFileName {
  std::string oldName;     // the old file's name
  std::string newName;     // upper-cased current name (with or without extension)
  std::string path;        // not read by the engine
  std::string sqlOldName;  // the old table on the server
};
std::vector<OldFileName>& OFN();

// The state of the conversion in progress (one at a time, inside the
// open hook's critical section).
struct ConversionState {
  db::FileDecl* file = nullptr;  // the declared file being converted
  std::string fileName;     // the data file's name at the start
  bool found = false;
  bool streamed = false;
  bool sqlTransaction = false;  // an SQL table's writes are in a transaction
  rt::Long batchCounter = 0;
  rt::Long total = 0;       // the old file's record count
  rt::Long written = 0;     // records in the new file
  bool renamed = false;
  std::string inFileName;   // the old file's own name, before the backup
  std::string backupName;   // empty when no candidate could be used
  bool backupIsCopy = false;  // the old file stayed in place
  const UsedFile* used = nullptr;  // the file's UF entry
  ConversionRow row;        // the RVQ row being built
  // What the last conversion lost, for its report (and tests).
  rt::Long notConverted = 0;  // records read but not in the new file
  bool readToEnd = false;     // the old file was read to its clean end
  bool oldKept = false;       // the old file stays under the backup name
  bool restored = false;      // the old file was moved back under its name
  std::string refusal;        // why the disk refused the conversion's writes ("" when it did not)
};
ConversionState& Conversion();

// The stored-version search and the backup of the old file.
void UpgradeLoop();
void SearchOldFileName();
void UpgradeFromDatFile();
void BackupOldFile();
// For a table inside a multi-table file: the file the new table is built
// in (`out`, under its work name) starts as a copy of the old file, so the
// file's other tables stay with it. False with the error set when the
// copy fails; true at once for any other file.
bool CopyOtherTables(const db::FileDecl& out);
// AFN: the alternate-name pairs whose destination the declared file has.
void LoadAlternateNames();

// Before a data file is opened: what processes that are gone left beside
// it (a new file being built, a journal being replaced) is removed. When a
// conversion journal is beside it: while another copy of the program
// converts it, waits for that conversion (false, with error 5 set, when it
// made no progress for the lock wait); a conversion cut short is finished
// when its new file was complete, else the old file is moved back under
// its own name (see journal.h).
bool RecoverInterruptedUpgrade(const db::FileDecl& file);

// Test seam: called with a step name at the points where a conversion can
// be cut short ("found", "moved", "created", "batch", "copied", "built",
// "placing", "placed").
using ConversionProbe = void (*)(const char* step);
void SetConversionProbe(ConversionProbe probe);

}  // namespace upg
