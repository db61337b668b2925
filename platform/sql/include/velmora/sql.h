// Connections of the SQL file drivers: statements, result rows and the servers' error texts.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::sql {

// The runtime's error code of every failed statement or connection.
inline constexpr int kDriverError = 90;

// One column value of a result row; nullopt is SQL NULL.
using Value = std::optional<std::string>;

class Connection {
 public:
  virtual ~Connection() = default;
  // Runs one statement (committed when it succeeds). A SELECT leaves its
  // result open for fetch(). False on failure, with error() set.
  virtual bool execute(const std::string& statement) = 0;
  // The next row of the open result into `row`; false at the end (or on
  // failure, with error() set).
  virtual bool fetch(std::vector<Value>& row) = 0;
  // The server's own text of the last failure; empty after a success.
  virtual const std::string& error() const = 0;
  // The SQLSTATE of the last failure (e.g. "42S02"); empty after a success.
  virtual const std::string& state() const = 0;

  // A transaction: from begin() on, statements are committed or rolled
  // back together by commit() or rollback(), after which every statement
  // commits by itself again. A failed statement inside the transaction
  // undoes only itself and the transaction goes on, except a deadlock
  // (40001), which ends the whole transaction on MariaDB.
  // `lockWaitSeconds` is how long a statement waits for another
  // transaction's locks (where the server lets the client choose). False
  // on failure, with error() set.
  virtual bool begin(int lockWaitSeconds) = 0;
  virtual bool commit() = 0;
  virtual bool rollback() = 0;
  virtual bool inTransaction() const = 0;
};

// The connection for `owner` on the calling thread, made on first use and
// kept for the thread's life. "MSSQL" takes "server,database,user,password"
// (or an ODBC connection string) and connects through FreeTDS. `driver` is "MSSQL", "ORACLE", "SQLANYWHERE" or
// "ODBC" (or the server codes "MSS", "ORA", "ASA", "ODB"); `flavour` is
// ODBCFlavour ("FIREBIRD" sends "ODBC" to the Firebird client). On failure
// returns null and sets `error` to a text that never holds the password.
Connection* connectionFor(const std::string& driver, const std::string& owner,
                          const std::string& flavour, std::string& error);

// What lies behind the "ODBC" file driver (the engine's ODBCFlavour, e.g.
// "FIREBIRD", "MYODBC 3"); the SQL file drivers connect with it.
void setOdbcFlavour(const std::string& flavour);
std::string odbcFlavour();

// Closes the calling thread's connections.
void closeThreadConnections();

// `text` with the password of the connection string `owner` of `driver`
// masked wherever it appears: the PWD= or PASSWORD= value, else the comma
// field that holds it ("MSSQL" server,database,user,password; "SQLANYWHERE"
// database,user,password; "ORACLE" user,password or user/password@service).
std::string maskPassword(const std::string& text, const std::string& owner,
                         const std::string& driver = "ODBC");

}  // namespace velmora::sql
