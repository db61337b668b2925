#pragma once
// The engine system table on each SQL server (one row per data file: its
// name, prefix, structure version and time of change), the version check
// made at registration (VCQ, IVQ) and the services the SQL check uses
// around it: the server's version and the trace of the server structure.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"

namespace upg {

// VCQ: one row per registered SQL file (process-wide).
struct VersionCheckRow {
  std::string file;           // VCQ:FILE, the file's name property
  rt::Long oldVersion = 0;    // the version stored in the system table
  rt::Long newVersion = 0;    // the declared version
  rt::Byte goInDeep = 0;      // 1 = compare the table with its declaration
};
// IVQ: the declared version of each registered SQL file, by prefix.
struct IncomingVersionRow {
  std::string fileName;  // IVQ:FILENAME
  std::string prefix;    // IVQ:PREFIX, upper-cased, at most 10 characters
  rt::Long version = 0;  // IVQ:VERSION
};
std::vector<VersionCheckRow>& VCQ();
std::vector<IncomingVersionRow>& IVQ();
// The VCQ row of a file name (clipped comparison); nullptr when none.
const VersionCheckRow* FindVersionRow(std::string_view fileName);

// The statement file's name as last seen at registration, per server code
// ("MSS", "ORA", "ASA", "ODB").
std::string& SystemTableNameOf(std::string_view serverCode);

// Opens CurrentSQLFile (the system table), creating it when needed:
// 0 open, 1 the checked file lies outside the system table's zone or the
// creation failed, 2 the server or flavour cannot create it.
rt::Long OpenRV3SQLFile(std::string_view serverCode);
// 0 created and open, 1 failed, 2 not supported.
rt::Long CreateRV3SQLFile(std::string_view serverCode);
// The two servers whose system table the engine creates itself: 0 done,
// 1 the statement failed.
rt::Long CreateFireBirdRV3Table();
rt::Long CreateMySQLRV3Table();

// Writes the declared version of the file whose declaration was last
// interpreted (its prefix) into the system table: update or insert.
void WriteSystemRow(std::string_view serverCode);
// The server's current-time expression for the system row.
std::string NowExpression(std::string_view serverCode, std::string_view flavour);

// The server's version text (at most 20 characters; empty when unknown).
std::string GetSQLServerVersion(std::string_view serverCode);
// Traces SFDQ and SKDQ.
void PrintSQLStructure();

// The two texts shown when the server holds a newer version than declared.
std::string DowngradeWarning(std::string_view fileName);
std::string DowngradeError(std::string_view fileName);

// Pieces of a connection string: the n-th comma-separated part (0 is the
// whole text when it has no comma; empty when there are fewer parts), and
// the "DATABASE=" value up to the next ";" (as written), else part 0.
std::string ConnectionPart(std::string_view s, int n);
std::string ConnectionDatabase(std::string_view s);
// The ODBC flavour upper-cased, and whether it is one of MySQL's.
std::string OdbcFlavourUpper();
bool IsMyOdbc(std::string_view flavour);

// The file-error code of the last statement: the server's state text, or
// the driver's number when it gave none.
std::string FileErrorCodeText();

// Empties VCQ, IVQ, the remembered names and the check's state (tests).
void ResetSqlCheck();

}  // namespace upg
