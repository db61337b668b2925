#pragma once
// The engine's entry points into its SQL back-ends: the open hook and
// registration call them for files of a registered SQL driver.
#include <string>
#include <string_view>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace upg {

// Brings an SQL table up to date before the hook opens it; may raise
// ConversionDetected (a new table was created while an old one is kept).
void CheckSQLFile(db::FileDecl& file, std::string_view serverCode);
// Runs a statement through CurrentSQLFile's SQL property; 0 ok, 1 error,
// 3 warning (server state "01000"). A failure is reported with M26 at
// `level`. No open statement file is an error.
rt::Long ExecuteSQLStatement(std::string_view statement, rt::Long level);
// Reports a back-end problem: the translated text is traced; level 1 asks
// whether to end the program, level 2 ends it, any other level only traces.
void ds_Error(rt::Long level, std::string_view id, std::string_view detail,
              std::string_view defaultText);
// Loads the version rows of an SQL file at registration; nothing for others.
void LoadVersionInfoQueues(db::FileDecl& file, rt::Short version, std::string_view label,
                           std::string_view prefix);
// The ODBC flavour (the option "odbcflavour"; "" when none is set).
std::string ODBCFlavour();
// Hands the flavour to the SQL file drivers: "ODBC" files connect to
// Firebird's client for "FIREBIRD", through ODBC otherwise.
void SetODBCFlavour(std::string_view flavour);

// The owner text with its password masked, by server code; empty for a
// code that is not a server's (the owner of an ISAM file is never shown).
std::string ds_EncryptOwner(std::string_view serverCode, std::string_view owner);

bool IsSqlServerCode(std::string_view code);

}  // namespace upg
