#pragma once
// Running statements on the current SQL server, the upgrade's script
// queues with their one retry pass, the back-ends' error reports, and the
// masking of passwords before anything is traced.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"
#include "velmora/upgrade/sql_entry.h"

namespace upg {

// The file whose SQL property runs statements (process-wide; nullptr
// while no server file is being checked).
db::FileDecl*& CurrentSQLFile();

// The script queues of an upgrade, run by RunSQLScripts: DQ first (drops
// that stand in the way), then SQ, then AQ (keys and constraints added back).
struct ScriptRow {
  std::string sql;    // SQ:SQL
  rt::Byte retry = 0;  // SQ:RETRY, set by RunSQLScripts
};
struct KeyScriptRow {
  std::string keyName;  // the key a statement concerns (not read here)
  std::string sql;
};
std::vector<ScriptRow>& SQ();
std::vector<KeyScriptRow>& DQ();
std::vector<KeyScriptRow>& AQ();

// Progress of the scripts: the caller sets the total; the percentage is
// set after each row and the redisplay function (the wait window's)
// called, unless upgrading silently.
rt::Long& ProgressTotal();
rt::Long& ProgressPercent();
void SetProgressRedisplay(std::function<void()> redisplay);

// Runs DQ, SQ (a failed or warned row is retried once after the others)
// and AQ. Result 1 when any retried row failed again or a key of AQ could
// not be added back (each reported), else 0.
rt::Long RunSQLScripts();

// The exit code of a program ended at an SQL error report.
inline constexpr int kSqlErrorExitCode = 3;

// The back-ends' messages: id, level and default text.
struct SqlMessage {
  std::string_view id;
  rt::Long level;
  std::string_view text;
};
inline constexpr SqlMessage kM20{"M20", 1, "Error: No connection string found for this file: "};
inline constexpr SqlMessage kM21{"M21", 0, "Error: File not in Manageable Zone! "};
inline constexpr SqlMessage kM22{"M22", 0, "Error Creating / Opening RV3 System File: "};
inline constexpr SqlMessage kM23{"M23", 0, "Error getting IncomingVerionQ: "};
inline constexpr SqlMessage kM24{"M24", 0, "Error occurred inserting RV3 System file: "};
inline constexpr SqlMessage kM25{"M25", 0, "Error occurred updating RV3 System file: "};
inline constexpr SqlMessage kM26{"M26", 0, "Error occurred executing SQL Statement:"};
inline constexpr SqlMessage kM27{"M27", 0, "Unrecognised Datatype: "};
inline constexpr SqlMessage kM28{"M28", 1,
    "WARNING: This file already contains an AUTONUMBER field; Only 1 per file permitted! Field: "};
inline constexpr SqlMessage kM29{"M29", 1, "Unable to create TableSpace: "};
inline constexpr SqlMessage kM30{"M30", 1, "Errors occurred during RV3 upgrade!"};
inline constexpr SqlMessage kM31{"M31", 0,
    "Please review the Support & Debugging section of your documentation."};
inline constexpr SqlMessage kM32{"M32", 0, "SQL WARNING ABOVE - take note!"};
inline constexpr SqlMessage kM34{"M34", 1, "Unable to interpret SQL structure: "};
inline constexpr SqlMessage kM34Index{"M34", 0, "RV3: Unable to interpret SQL structure: "};
inline constexpr SqlMessage kM35{"M35", 1,
    "Could not configure your SQL Server as a Linked Server! RV3 cannot manage this file! Error: "};
inline constexpr SqlMessage kM36{"M36", 1,
    "Could not configure SQL Server for DATA ACCESS! RV3 cannot manage this file! Error: "};
inline constexpr SqlMessage kM38{"M38", 0, "Could not locate key field: "};
inline constexpr SqlMessage kM42{"M42", 1, "Unable to interpret SQL structure: "};

// ds_Error with the message's own level and default text.
void ReportSql(const SqlMessage& m, std::string_view detail);

// The text with the value of every "pwd=" and "password=" setting (any
// case, blanks around "=", quoted or braced values) masked.
std::string MaskPasswords(std::string_view text);

}  // namespace upg
