// The backends behind the SQL connections.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "velmora/sql.h"

namespace velmora::sql::detail {

// Key=value pairs of a connection string, keys upper-cased.
std::map<std::string, std::string> parseOwner(const std::string& owner);

// A connection through unixODBC's driver manager; `connect` is the full
// connection string handed to the driver.
std::unique_ptr<Connection> openOdbc(const std::string& connect, std::string& error);

// A connection through the Firebird client library (SQL dialect 3).
std::unique_ptr<Connection> openFirebird(const std::string& owner, std::string& error);

// The server's version text on `c`, asked the way the server answers it:
// SQL Server ("MSSQL"), MySQL and MariaDB (`mySql`) and Firebird ("ODBC"
// with the flavour FIREBIRD). Empty with `error` set for any other server
// or a failed query.
std::string serverVersion(Connection& c, const std::string& driver, bool mySql, std::string& error);

}  // namespace velmora::sql::detail
