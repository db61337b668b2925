#pragma once
// The server's statement file, open while an SQL conversion writes.
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"

namespace upg {

// The server's statement file runs the conversion's statements (the
// INSERTs, SQL Server's IDENTITY_INSERT). The SQL check closes it when it
// ends, so a conversion opens it (as the check does) for as long as it
// writes, and closes what it opened.
class StatementFile {
 public:
  explicit StatementFile(bool sql) {
    db::FileDecl* f = CurrentSQLFile();
    if (!sql || !f || db::IsOpen(*f)) return;
    db::SetProperty(*f, db::Prop::DriverLogout, "0");
    db::Open(*f, db::kDenyAll);
    Trace(Flag::B, "Statement file opened for the conversion: " + std::to_string(rt::ErrorCode()) + " " +
                       rt::ErrorText());
    if (rt::ErrorCode() == 0) opened_ = f;
  }
  ~StatementFile() {
    if (opened_ && db::IsOpen(*opened_)) db::Close(*opened_);
  }
  StatementFile(const StatementFile&) = delete;
  StatementFile& operator=(const StatementFile&) = delete;

 private:
  db::FileDecl* opened_ = nullptr;
};

}  // namespace upg
