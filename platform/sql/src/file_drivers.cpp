// The runtime's SQL file drivers "MSSQL", "ORACLE", "SQLANYWHERE" and
// "ODBC": a file of one is a table on a server (its owner the connection
// string, its name the table); statements run through its SQL property and
// NEXT reads their result rows into the record buffer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/field_text.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/sql.h"
#include "velmora/sql_names.h"
#include "sql_internal.h"

// Referenced from the link line (see CMakeLists.txt), so every program that
// links the SQL connections gets these drivers registered.
extern "C" {
extern const int velmora_sql_file_drivers;
const int velmora_sql_file_drivers = 1;
}

namespace velmora::sql {
namespace {

std::mutex& flavourMutex() {
  static std::mutex m;
  return m;
}
std::string& flavourSlot() {
  static std::string flavour;
  return flavour;
}

// The dialect of the server behind a file of `driver`: a plain ODBC
// source whose connection names MySQL or MariaDB speaks MySQL's.
Dialect dialectOfFile(const std::string& driver, const db::FileDecl& f) {
  Dialect d = dialectOf(driver, odbcFlavour());
  if (d != Dialect::Odbc) return d;
  std::string owner = rt::Upper(f.Owner());
  return owner.find("MARIADB") != std::string::npos || owner.find("MYSQL") != std::string::npos ? Dialect::MySql
                                                                                              : Dialect::Odbc;
}

// Whether the server behind a file of `driver` is MySQL or MariaDB.
bool mySqlServer(const std::string& driver, const db::FileDecl& f) {
  return dialectOfFile(driver, f) == Dialect::MySql;
}

// How names are written on the server of a file.
struct Names {
  Dialect dialect;
  Names(const std::string& driver, const db::FileDecl& f) : dialect(dialectOfFile(driver, f)) {}
  std::string table(const db::FileDecl& f) const { return tableIdentifier(dialect, rt::Clip(f.Name())); }
  // The column of a field, named as the engine names it.
  std::string column(const db::FieldInfo& fi) const {
    size_t colon = fi.label.find(':');
    std::string_view field = colon == std::string::npos ? std::string_view(fi.label)
                                                        : std::string_view(fi.label).substr(colon + 1);
    return columnIdentifier(dialect, columnName(dialect, fi.extName, field));
  }
  // The declared columns, comma-separated.
  std::string columns(const db::FileDecl& f) const {
    std::string out;
    for (const db::FieldInfo* fi : db::ValueFields(f)) out += (out.empty() ? "" : ", ") + column(*fi);
    return out;
  }
};

// Firebird 3 holds at most 18 decimal digits exactly.
constexpr uint32_t kFirebirdMaxDigits = 18;

// The column type of a field (one column per field: an array keeps its
// first element only). A decimal wider than the server's exact types is
// kept whole as its text.
std::string columnType(const db::FieldInfo& fi, Dialect dialect) {
  switch (fi.type) {
    case db::Type::String: return "VARCHAR(" + std::to_string(fi.size) + ")";
    case db::Type::CString:
    case db::Type::PString: return "VARCHAR(" + std::to_string(std::max<uint32_t>(fi.size, 2) - 1) + ")";
    case db::Type::Byte:
    case db::Type::Short: return "SMALLINT";
    case db::Type::UShort:
    case db::Type::Long: return "INTEGER";
    case db::Type::Date: return "DATE";
    case db::Type::Time: return "TIME";
    case db::Type::ULong: return "BIGINT";
    case db::Type::Decimal:
    case db::Type::PDecimal: {
      uint32_t digits = fi.size * 2 - 1;
      if (dialect == Dialect::Firebird && digits > kFirebirdMaxDigits)
        return "VARCHAR(" + std::to_string(digits + 2) + ")";
      return "DECIMAL(" + std::to_string(digits) + "," + std::to_string(fi.places) + ")";
    }
    default: return "DOUBLE PRECISION";
  }
}

// A DATE or TIME field as a literal of its column type ('yyyy-mm-dd',
// 'hh:mm:ss'); no date or time is NULL.
std::string dateTimeLiteral(const db::FieldInfo& fi, const uint8_t* p) {
  uint32_t stored;
  std::memcpy(&stored, p, sizeof stored);
  char buf[16];
  if (fi.type == db::Type::Date) {
    rt::Long d = rt::UnpackDate(stored);
    if (d == 0) return "NULL";
    std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d'", rt::Year(d), rt::Month(d), rt::Day(d));
  } else {
    rt::Long t = rt::UnpackTime(stored);
    if (t == 0) return "NULL";
    rt::Long seconds = (t - 1) / 100;
    std::snprintf(buf, sizeof buf, "'%02ld:%02ld:%02ld'", static_cast<long>(seconds / 3600),
                  static_cast<long>(seconds / 60 % 60), static_cast<long>(seconds % 60));
  }
  return buf;
}

// A DATE column's "yyyy-mm-dd..." or a TIME column's "hh:mm:ss..." into a
// DATE or TIME field; false for any other text (a number from a column
// of numbers goes in as it is).
bool setDateTime(const db::FieldInfo& fi, uint8_t* p, const std::string& text) {
  int a = 0, b = 0, c = 0;
  uint32_t stored;
  if (fi.type == db::Type::Date && std::sscanf(text.c_str(), "%4d-%2d-%2d", &a, &b, &c) == 3)
    stored = rt::PackDate(rt::DateOf(b, c, a));
  else if (fi.type == db::Type::Time && std::sscanf(text.c_str(), "%2d:%2d:%2d", &a, &b, &c) == 3)
    stored = rt::PackTime(rt::TimeOf(a, b, c));
  else
    return false;
  std::memcpy(p, &stored, sizeof stored);
  return true;
}

// The state of a failed connection: the client could not connect.
constexpr const char* kConnectState = "08001";
// A missing table, on every server here.
constexpr const char* kNoTableState = "42S02";
// A row that breaks a unique key.
constexpr const char* kDuplicateState = "23000";

class ServerFile final : public db::SqlDriver {
 public:
  explicit ServerFile(std::string driver) : driver_(std::move(driver)) {}

  // Connects as the owner says; a missing table is "file not found" (2),
  // a table without a declared column "declaration differs" (47).
  void Open(db::FileDecl& f, uint32_t) override {
    Connection* c = connect(f);
    if (!c) return;
    if (rt::Clip(f.Name()).empty()) return rt::ClearError();  // a statement file without a table
    Names names(driver_, f);
    std::string table = names.table(f);
    if (!c->execute("SELECT * FROM " + table + " WHERE 1=0"))
      return fail(f, *c, c->state() == kNoTableState ? rt::kFileNotFound : rt::kDriverError);
    // A declared column the table lacks: the declaration differs.
    std::string columns = names.columns(f);
    if (!columns.empty() && !c->execute("SELECT " + columns + " FROM " + table + " WHERE 1=0"))
      return fail(f, *c, rt::kInvalidRecordDeclaration);
    rt::ClearError();
  }

  void Close(db::FileDecl&) override { rt::ClearError(); }

  // Replaces the table by an empty one of the declared columns, with the
  // primary key when one is declared.
  void Create(db::FileDecl& f) override {
    if (rt::Clip(f.Name()).empty()) return rt::SetError(rt::kFileNotFound);
    Connection* c = connect(f);
    if (!c) return;
    Names names(driver_, f);
    std::string table = names.table(f);
    std::string columns;
    for (const db::FieldInfo* fi : db::ValueFields(f))
      columns += (columns.empty() ? "" : ", ") + names.column(*fi) + " " + columnType(*fi, names.dialect);
    for (const db::KeyDesc& k : f.Keys()) {
      if (!(k.attrib & db::kKeyPrimary)) continue;
      std::string key;
      for (int32_t part : k.components) {
        size_t field = static_cast<size_t>(part < 0 ? -part : part) - 1;
        if (field < f.Fields().size())
          key += (key.empty() ? "" : ", ") + names.column(f.Fields()[field]);
      }
      if (!key.empty()) columns += ", PRIMARY KEY (" + key + ")";
      break;
    }
    c->execute("DROP TABLE " + table);  // absent is fine
    if (!c->execute("CREATE TABLE " + table + " (" + columns + ")")) return fail(f, *c, rt::kDriverError);
    rt::ClearError();
  }

  // The record buffer as a new row; a duplicate of a unique key is error 40.
  void Add(db::FileDecl& f) override {
    Connection* c = connect(f);
    if (!c) return;
    std::string values;
    const LiteralStyle style = literalStyle(f);
    Names names(driver_, f);
    for (const db::FieldInfo* fi : db::ValueFields(f)) {
      std::string v;
      if (fi->type == db::Type::Date || fi->type == db::Type::Time)
        v = dateTimeLiteral(*fi, f.Record() + fi->offset);
      // A decimal goes as its text, which every server converts exactly
      // (Firebird reads no number literal of more than 18 digits).
      else if (db::IsTextType(fi->type) || fi->type == db::Type::Decimal || fi->type == db::Type::PDecimal)
        v = literal(style, db::FieldText(*fi, f.Record() + fi->offset));
      else
        v = db::FieldText(*fi, f.Record() + fi->offset);
      values += (values.empty() ? "" : ", ") + v;
    }
    if (!c->execute("INSERT INTO " + names.table(f) + " (" + names.columns(f) + ") VALUES (" + values + ")"))
      return fail(f, *c, c->state() == kDuplicateState ? rt::kDuplicateKey : rt::kDriverError);
    rt::ClearError();
  }

  std::string ServerVersion(db::FileDecl& f) override {
    Connection* c = connect(f);
    if (!c) return {};
    std::string error;
    std::string version = detail::serverVersion(*c, driver_, mySqlServer(driver_, f), error);
    if (!error.empty()) rt::SetSqlFileError(rt::kDriverError, c->state().empty() ? "HY000" : c->state(), error, f.Name());
    return version;
  }

  // A procedure call with output variables answers them as its result
  // row on SQL Server.
  void Execute(db::FileDecl& f, std::string_view statement) override {
    Connection* c = connect(f);
    if (!c) return;
    std::string call = Names(driver_, f).dialect == Dialect::MsSql ? msSqlOutputCall(statement) : std::string();
    if (!c->execute(call.empty() ? std::string(statement) : call)) return fail(f, *c, rt::kDriverError);
    rt::ClearError();
  }

  // The transaction of the file's connection (one per owner and thread,
  // so the statement file of the same owner writes inside it).
  void Begin(db::FileDecl& f, int lockWaitSeconds) override {
    Connection* c = connect(f);
    if (!c) return;
    if (!c->begin(lockWaitSeconds)) return fail(f, *c, rt::kDriverError);
    transactionalTables().clear();
    rolledBack().erase(f.Owner());
    rt::ClearError();
  }
  // A COMMIT of a transaction that a file closing inside it has rolled
  // back already is a failure, not a commit of nothing.
  void End(db::FileDecl& f, bool commit) override {
    Connection* c = connect(f);
    if (!c) return;
    if (commit && !c->inTransaction() && rolledBack().count(f.Owner())) {
      rt::SetSqlFileError(rt::kDriverError, "40000",
                          "The transaction was rolled back when one of its files was closed", f.Name());
      return;
    }
    if (!commit && c->inTransaction()) rolledBack().insert(f.Owner());
    if (!(commit ? c->commit() : c->rollback())) return fail(f, *c, rt::kDriverError);
    rt::ClearError();
  }
  // The owners whose transaction was rolled back since it began.
  static std::set<std::string>& rolledBack() {
    thread_local std::set<std::string> owners;
    return owners;
  }

  // On MySQL and MariaDB, INSERT statements go to the server in groups,
  // one compound statement each, which runs them in order and stops at
  // the first that fails, answering how many ran and the failing one's
  // state and text, which the server gives as it would for the statement
  // alone. A server without compound statements gets one at a time.
  size_t ExecuteEach(db::FileDecl& f, const std::vector<std::string>& statements, size_t from) override {
    Connection* c = connect(f);
    if (!c) return 0;
    const bool groups = mySqlServer(driver_, f) && compoundStatements(f, *c);
    size_t done = from;
    size_t retried = 0;  // the statements of a failed multi-row INSERT end here
    while (done < statements.size()) {
      // Into an InnoDB table, a failed statement undoes itself whole: the
      // rows of INSERTs alike go as one multi-row INSERT, and only when it
      // fails do its statements go on to the groups below.
      size_t limit = done < retried ? retried : statements.size();
      if (groups && done >= retried && transactional(f, *c, statements[done])) {
        std::string rows;
        size_t end = rowsEnd(statements, done, rows);
        if (end - done >= 2) {
          if (c->execute(rows)) {
            done = end;
            continue;
          }
          // A deadlock ends the whole transaction: that is reported, at
          // the first of the statements, rather than hidden by a retry.
          if (c->state() == "40001") {
            fail(f, *c, rt::kDriverError);
            return done - from;
          }
          limit = retried = end;
        }
      }
      std::string block;
      size_t end = groups ? groupEnd(statements, done, block, limit) : done;
      if (end - done < 2) {
        if (!c->execute(statements[done])) {
          fail(f, *c, rt::kDriverError);
          return done - from;
        }
        ++done;
        continue;
      }
      std::vector<Value> row;
      if (!c->execute(block)) {
        // Any statement's failure is answered by the block's handler, so a
        // failing block is one the server could not read (42000) and none
        // of it ran: the group runs one statement at a time, so each gives
        // its own answer. Any other failure is reported at the group's
        // first statement, and nothing runs twice.
        if (c->state() != "42000") {
          fail(f, *c, rt::kDriverError);
          return done - from;
        }
        for (; done < end; ++done)
          if (!c->execute(statements[done])) {
            fail(f, *c, rt::kDriverError);
            return done - from;
          }
        continue;
      }
      if (!c->fetch(row) || row.size() < 3 || !row[0]) {
        rt::SetSqlFileError(rt::kDriverError, "HY000", "no answer to a group of statements", f.Name());
        return done - from;
      }
      size_t ran = std::min<size_t>(std::strtoul(row[0]->c_str(), nullptr, 10), end - done);
      done += ran;
      if (done < end) {
        rt::SetSqlFileError(rt::kDriverError, row[1].value_or("HY000"),
                            maskPassword(row[2].value_or(""), f.Owner(), driver_), f.Name());
        return done - from;
      }
    }
    rt::ClearError();
    return done - from;
  }

  // Column n of the row goes into the n-th field that carries a value;
  // NULL leaves the field cleared.
  void Next(db::FileDecl& f) override {
    Connection* c = connect(f);
    if (!c) return;
    std::vector<Value> row;
    if (!c->fetch(row)) {
      if (c->error().empty()) return rt::SetError(rt::kRecordNotAvailable);
      return fail(f, *c, rt::kDriverError);
    }
    f.ClearRecord();
    std::vector<const db::FieldInfo*> fields = db::ValueFields(f);
    for (size_t i = 0; i < fields.size() && i < row.size(); ++i)
      if (row[i] && !setDateTime(*fields[i], f.Record() + fields[i]->offset, *row[i]))
        db::SetFieldText(*fields[i], f.Record() + fields[i]->offset, *row[i]);
    rt::ClearError();
  }

 private:
  // The calling thread's connection for the file's owner; null with
  // error 90 set when there is none.
  Connection* connect(db::FileDecl& f) {
    std::string error;
    Connection* c = connectionFor(driver_, f.Owner(), odbcFlavour(), error);
    if (!c) rt::SetSqlFileError(rt::kDriverError, kConnectState, error, f.Name());
    return c;
  }

  void fail(const db::FileDecl& f, const Connection& c, int code) {
    std::string state = c.state().empty() ? std::string("HY000") : c.state();
    rt::SetSqlFileError(code, state, maskPassword(c.error(), f.Owner(), driver_), f.Name());
  }

  // How the file's server reads a text literal: a backslash escapes on
  // MySQL and MariaDB and on SQL Anywhere.
  LiteralStyle literalStyle(const db::FileDecl& f) const {
    if (mySqlServer(driver_, f)) return LiteralStyle::MySql;
    return driver_ == "SQLANYWHERE" ? LiteralStyle::Backslash : LiteralStyle::Standard;
  }

  // Whether the server runs compound statements outside a stored program
  // (MariaDB does, MySQL does not): asked once per owner on a thread.
  bool compoundStatements(const db::FileDecl& f, Connection& c) {
    thread_local std::map<std::string, bool> known;
    auto it = known.find(f.Owner());
    if (it != known.end()) return it->second;
    std::vector<Value> row;
    bool yes = c.execute("BEGIN NOT ATOMIC SELECT 1; END") && c.fetch(row);
    while (yes && c.fetch(row)) {
    }
    return known[f.Owner()] = yes;
  }

  // The statements from `from` that go into one compound statement, and
  // its text: INSERTs only, at most kGroupStatements of them and about
  // kGroupBytes of text.
  static size_t groupEnd(const std::vector<std::string>& statements, size_t from, std::string& block,
                         size_t limit) {
    constexpr size_t kGroupStatements = 50, kGroupBytes = 256 * 1024;
    // The block's variables are prefixed so that no statement's column
    // can be taken for one of them.
    block = "BEGIN NOT ATOMIC DECLARE velmora_done INT DEFAULT 0; "
            "DECLARE velmora_state VARCHAR(5) DEFAULT ''; DECLARE velmora_text VARCHAR(512) DEFAULT ''; "
            "DECLARE EXIT HANDLER FOR SQLEXCEPTION BEGIN GET DIAGNOSTICS CONDITION 1 "
            "velmora_state = RETURNED_SQLSTATE, velmora_text = MESSAGE_TEXT; "
            "SELECT velmora_done, velmora_state, velmora_text; END;\n";
    size_t end = from;
    while (end < limit && end - from < kGroupStatements &&
           block.size() + statements[end].size() < kGroupBytes && isInsert(statements[end])) {
      block += statements[end] + ";\nSET velmora_done = " + std::to_string(end - from + 1) + ";\n";
      ++end;
    }
    block += "SELECT velmora_done, '', ''; END";
    return end;
  }

  // "INSERT INTO t (columns) VALUES " of an INSERT of one row, or empty.
  static std::string_view rowPrefix(std::string_view statement) {
    size_t at = statement.find(") VALUES (");
    if (at == std::string_view::npos || statement.rfind("INSERT INTO ", 0) != 0 || statement.back() != ')')
      return {};
    return statement.substr(0, at + 9);
  }

  // The INSERTs from `from` on with the first one's columns, as one
  // multi-row INSERT: at most kRows rows and about kRowBytes of text.
  static size_t rowsEnd(const std::vector<std::string>& statements, size_t from, std::string& rows) {
    constexpr size_t kRows = 1000, kRowBytes = 256 * 1024;  // well below the smallest packet limit
    const std::string_view prefix = rowPrefix(statements[from]);
    size_t end = from;
    if (prefix.empty()) return end;
    rows.assign(prefix);
    while (end < statements.size() && end - from < kRows && rows.size() + statements[end].size() < kRowBytes &&
           rowPrefix(statements[end]) == prefix) {
      if (end > from) rows += ", ";
      rows.append(statements[end], prefix.size());
      ++end;
    }
    return end;
  }

  // Whether the table an INSERT fills is an InnoDB table and the session
  // strict, so a failed statement undoes itself whole and a multi-row
  // INSERT refuses a bad value as a single-row one does (a lax session
  // would store a default instead): asked once per table and owner in a
  // transaction, since either may change between two.
  static std::map<std::string, bool>& transactionalTables() {
    thread_local std::map<std::string, bool> known;
    return known;
  }
  static bool transactional(const db::FileDecl& f, Connection& c, const std::string& statement) {
    std::string_view prefix = rowPrefix(statement);
    if (prefix.empty()) return false;
    size_t open = prefix.find(" (");
    std::string table(prefix.substr(12, open == std::string_view::npos ? 0 : open - 12));
    std::map<std::string, bool>& known = transactionalTables();
    const std::string key = f.Owner() + '\x01' + table;
    auto it = known.find(key);
    if (it != known.end()) return it->second;
    bool innodb = false, strict = false;
    std::vector<Value> row;
    if (!table.empty() && c.execute("SHOW CREATE TABLE " + table)) {
      while (c.fetch(row))
        if (row.size() >= 2 && row[1] && rt::Upper(*row[1]).find("ENGINE=INNODB") != std::string::npos)
          innodb = true;
    }
    if (innodb && c.execute("SELECT @@SESSION.sql_mode")) {
      while (c.fetch(row))
        if (!row.empty() && row[0] && rt::Upper(*row[0]).find("STRICT_") != std::string::npos) strict = true;
    }
    return known[key] = innodb && strict;
  }

  static bool isInsert(const std::string& statement) {
    size_t at = statement.find_first_not_of(" \t\r\n");
    return at != std::string::npos && rt::Upper(statement.substr(at, 7)) == "INSERT ";
  }

  std::string driver_;
};

struct Registration {
  Registration() {
    for (const char* name : {"MSSQL", "ORACLE", "SQLANYWHERE", "ODBC"})
      db::RegisterBuiltInSqlDriver(name, std::make_shared<ServerFile>(name));
  }
};
const Registration registration;

}  // namespace

void setOdbcFlavour(const std::string& flavour) {
  std::lock_guard lock(flavourMutex());
  flavourSlot() = flavour;
}

std::string odbcFlavour() {
  std::lock_guard lock(flavourMutex());
  return flavourSlot();
}

}  // namespace velmora::sql
