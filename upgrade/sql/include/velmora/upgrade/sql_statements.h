#pragma once
// The statements that bring a server table to its declaration: comparing
// columns and keys with what the server has (SFDQ, SKDQ against FDQ, KDQ,
// MDQ), creating a table with its keys, column defaults and tablespaces.
// Statements go to the script queues SQ, DQ and AQ (sql_exec.h).
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace upg {

// Columns: drop, add, rename, alter; sets MATCH on FDQ, MDQ and SFDQ rows.
void CompareFields(std::string_view server);
// Drops and adds back the keys that use the column in the SFDQ row
// `column` around a statement `alterPrefix` + ... that changed it.
void HandleDependancies(std::string_view server, std::string_view alterPrefix, size_t column);
// Keys: index and constraint statements; sets MATCH on KDQ and SKDQ rows.
void CompareKeys(std::string_view server);

// Creates the table of the current declaration with its keys; 1 when
// running the scripts reported an error, else 0.
rt::Long ds_CreateSQLTable(std::string_view server);
// One statement per declared key into SQ.
void CreateKeys(std::string_view server);
// The column list of the declared key at KDQ row `row` ("D") or of the
// server key at SKDQ row `row` ("S"), with the descending marks.
std::string CommaSeperateAndDescCheck(std::string_view which, size_t row);
// ds_CheckCreateField and ds_CheckCreateKey: interpret.h.

// The default value text of a field or blob, blank for none.
std::string DefaultExtra(std::string_view name, std::string_view type);
// The tablespace of a table ("T") or index ("I"), blank for none (Oracle).
std::string GetTableSpace(std::string_view name, std::string_view kind);
rt::Long FindTableSpace(std::string_view name);
rt::Long CreateTableSpace(std::string_view name, std::string_view dataFile, std::string_view size);

}  // namespace upg
