// The version a server reports of itself, for the SQL files' version property.
#include "sql_internal.h"

namespace velmora::sql::detail {

std::string serverVersion(Connection& c, const std::string& driver, bool mySql, std::string& error) {
  std::string query;
  if (driver == "MSSQL")
    query = "SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR(50))";
  else if (mySql)
    query = "SELECT VERSION()";
  else if (driver == "ODBC" && odbcFlavour() == "FIREBIRD")
    query = "SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') FROM RDB$DATABASE";
  if (query.empty()) {
    error = "The server version is not known for this server";
    return {};
  }
  std::vector<Value> row;
  if (!c.execute(query) || !c.fetch(row) || row.empty() || !row[0]) {
    error = c.error().empty() ? "The server gave no version" : c.error();
    return {};
  }
  std::string version = *row[0];
  while (c.fetch(row)) {
  }
  return version;
}

}  // namespace velmora::sql::detail
