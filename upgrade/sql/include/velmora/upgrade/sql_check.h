#pragma once
// The names and flags the SQL check of a file sets up and every back-end
// routine reads while the check runs (process-wide, inside the open hook's
// critical section). The conversion flag and the table name the open hook
// reads stay in its own state (openhook.h).
#include <string>

#include "velmora/runtime/types.h"

namespace upg {

struct SqlCheckState {
  std::string fileName;        // SQLFileName: the file's name, may be owner.table
  std::string tableLabel;      // SQLTableLabel
  std::string tableName;       // SQLTableName: used in every statement and query
  std::string tableOwner;      // SQLTableOwner: taken from the file being checked
  std::string serverName;      // SQLServerName, from the connection string
  std::string databaseName;    // SQLDatabaseName, or "NULL"
  std::string manageableZone;  // ManageableZone: the system table's database
  std::string serverVersion;   // SQLServerVersion
  std::string systemTableName; // SystemTableName
  rt::Byte goInDeep = 0;       // compare the existing table with the declaration
  rt::Byte dctFieldsMaster = 0;  // DCTFieldsMasterFlag
  rt::Byte dctKeysMaster = 0;    // DCTKeysMasterFlag
  rt::Byte utilitySPsCreated = 0;
};
SqlCheckState& SqlCheck();

// The checked table as "owner.table" (the table alone without an owner):
// every statement and catalogue query names it through SqlTableName.
std::string CheckedTableName();

}  // namespace upg
