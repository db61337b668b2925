#pragma once
// The statements that bring a server table to its declaration: comparing
// columns and keys with what the server has (SFDQ, SKDQ against FDQ, KDQ,
// MDQ), creating a table with its keys, column defaults and tablespaces.
// Statements go to the script queues SQ, DQ and AQ (sql_exec.h). Every
// name is written through ServerName and SqlIdentifier, every value
// through SqlLiteral, in the dialect of the table's server.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {

// Columns: drop, add, rename, alter; sets MATCH on FDQ, MDQ and SFDQ rows.
// The server code form picks the dialect with the ODBC flavour.
void CompareFields(std::string_view server);
void CompareFields(Dialect dialect);
// Drops and adds back the keys that use the column in the SFDQ row
// `column` after a statement changed it.
void HandleDependancies(Dialect dialect, size_t column);
// Keys: index and constraint statements; sets MATCH on KDQ and SKDQ rows.
void CompareKeys(std::string_view server);
void CompareKeys(Dialect dialect);

// Creates the table of the current declaration with its keys; 1 when
// running the scripts reported an error, else 0. `tableCreated` tells
// whether the table itself stands (its keys are made only then).
rt::Long ds_CreateSQLTable(std::string_view server, bool* tableCreated = nullptr);
rt::Long ds_CreateSQLTable(Dialect dialect, bool* tableCreated = nullptr);
// The CREATE TABLE statement and what follows it, queued in SQ but not run.
void QueueCreateTable(Dialect dialect);
// One statement per declared key into SQ.
void CreateKeys(Dialect dialect);
// The column list of the declared key at KDQ row `row` ("D") or of the
// server key at SKDQ row `row` ("S"), with the descending marks.
std::string CommaSeperateAndDescCheck(std::string_view which, size_t row, Dialect dialect);
// ds_CheckCreateField and ds_CheckCreateKey: interpret.h.

// The default value of a field or blob as the dialect writes it, blank
// for none.
std::string DefaultExtra(std::string_view name, std::string_view type,
                         Dialect dialect = Dialect::Odbc);
// The tablespace of a table ("T") or index ("I"), blank for none (Oracle).
std::string GetTableSpace(std::string_view name, std::string_view kind);
rt::Long FindTableSpace(std::string_view name);
rt::Long CreateTableSpace(std::string_view name, std::string_view dataFile, std::string_view size);

// The lists the statement builders read; the engine adds no rows to them.
struct IdentityField {   // IQ
  std::string fieldName;  // upper-cased prefix + ":" + name
  std::string seedInc;    // "1,1"
};
struct BlankZeroFile {   // BFILQ
  std::string fileName;   // lower-cased file label
  rt::Byte value = 0;
};
struct BlankZeroField {  // BFQ
  std::string fieldName;  // lower-cased prefix + ":" + name
  rt::Byte value = 0;
};
struct SetIfNewValue {   // ITQ
  std::string name;       // upper-cased prefix + ":" + name
  std::string value;
  rt::Long autoNum = 0;
};
struct SpaceRow {        // TSQ and ISQ
  std::string name;       // table or index, or "DCTTBLSPC_" / "DCTIDXSPC_"
  std::string space;
  std::string dir;
  std::string size;
};
struct FileFlag {        // DMKF
  std::string fileName;
  rt::Byte value = 0;
};
std::vector<IdentityField>& IQ();
std::vector<BlankZeroFile>& BFILQ();
std::vector<BlankZeroField>& BFQ();
std::vector<SetIfNewValue>& ITQ();
std::vector<SpaceRow>& TSQ();
std::vector<SpaceRow>& ISQ();
std::vector<FileFlag>& DMKF();

// Alternate-name pairs used by a rename are not used again; this makes
// them usable again (tests).
void ForgetUsedAlternates();

// 255 when the key being built has a column too long for a whole-column
// MySQL index, else 0.
rt::Long& KeyPrefixLength();

}  // namespace upg
