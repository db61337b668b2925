#pragma once
// The plug-in point for SQL file drivers: a driver registered under a name
// serves every file declared with that driver. Setting a file's SQL
// property (Prop::Sql) runs the statement on the server, and NEXT reads
// the statement's result rows into the record buffer.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"

namespace db {

class SqlDriver {
 public:
  virtual ~SqlDriver() = default;
  // OPEN of a file of this driver (connecting as its owner says). Sets
  // the thread's error state.
  virtual void Open(FileDecl& f, uint32_t mode) = 0;
  virtual void Close(FileDecl& f) = 0;
  // Runs a statement. A failure is error 90 with the server's state
  // (rt::SetSqlFileError: "01000" for a warning) and its text.
  virtual void Execute(FileDecl& f, std::string_view statement) = 0;
  // The next row of the last statement's result into the record buffer;
  // error 33 after the last row.
  virtual void Next(FileDecl& f) = 0;
  // CREATE of the file's table and ADD of the record buffer as a row;
  // by default the driver does not support them (error 90).
  virtual void Create(FileDecl& f);
  virtual void Add(FileDecl& f);
  // The server's version text for the file's connection; by default none
  // (error 90).
  virtual std::string ServerVersion(FileDecl& f);
  // LOGOUT, then COMMIT or ROLLBACK: the statements the file's connection
  // runs in between (through any file of that connection) are one
  // transaction. Begin on a connection already in one joins it; End on a
  // connection whose transaction has ended already does nothing. By
  // default the driver has no transactions (Begin fails with error 90).
  virtual void Begin(FileDecl& f, int lockWaitSeconds);
  virtual void End(FileDecl& f, bool commit);
  // Runs statements[from..] in order until one fails (see
  // db::RunSqlStatements): how many succeeded. By default one Execute each.
  virtual size_t ExecuteEach(FileDecl& f, const std::vector<std::string>& statements, size_t from);
};

// Registers (or, with an empty pointer, removes) the SQL driver of a name.
// The names of the built-in drivers cannot be taken.
void RegisterSqlDriver(std::string_view name, std::shared_ptr<SqlDriver> driver);

// Registers the driver that serves a name whenever no other is registered
// under it (the runtime's own SQL drivers): RegisterSqlDriver replaces it
// for a while, and removing that replacement brings it back.
void RegisterBuiltInSqlDriver(std::string_view name, std::shared_ptr<SqlDriver> driver);

}  // namespace db
