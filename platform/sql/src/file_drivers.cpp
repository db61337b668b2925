// The runtime's SQL file drivers "MSSQL", "ORACLE", "SQLANYWHERE" and
// "ODBC": a file of one is a table on a server (its owner the connection
// string, its name the table); statements run through its SQL property and
// NEXT reads their result rows into the record buffer.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "velmora/files/field_text.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/sql.h"
#include "velmora/sql_names.h"

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

// How the server behind a file quotes a name.
enum class Quotes { Ansi, AnsiUpper, Brackets, Backticks };

// The column name of a field: its external name, else its label without
// the prefix; a reserved word is quoted as the engine created it (Firebird
// and Oracle hold it upper-cased).
std::string columnName(const db::FieldInfo& fi, Quotes quotes) {
  std::string name = fi.extName;
  if (name.empty()) {
    size_t colon = fi.label.find(':');
    name = colon == std::string::npos ? fi.label : fi.label.substr(colon + 1);
  }
  if (!reservedWord(name)) return name;
  switch (quotes) {
    case Quotes::Brackets: return "[" + name + "]";
    case Quotes::Backticks: return "`" + name + "`";
    case Quotes::AnsiUpper: return "\"" + rt::Upper(name) + "\"";
    case Quotes::Ansi: break;
  }
  return "\"" + name + "\"";
}

// The declared columns, comma-separated.
std::string columnList(const db::FileDecl& f, Quotes quotes) {
  std::string out;
  for (const db::FieldInfo* fi : db::ValueFields(f)) out += (out.empty() ? "" : ", ") + columnName(*fi, quotes);
  return out;
}

// The column type of a field (one column per field: an array keeps its
// first element only).
std::string columnType(const db::FieldInfo& fi) {
  switch (fi.type) {
    case db::Type::String: return "VARCHAR(" + std::to_string(fi.size) + ")";
    case db::Type::CString:
    case db::Type::PString: return "VARCHAR(" + std::to_string(std::max<uint32_t>(fi.size, 2) - 1) + ")";
    case db::Type::Byte:
    case db::Type::Short: return "SMALLINT";
    case db::Type::UShort:
    case db::Type::Long:
    case db::Type::Date:
    case db::Type::Time: return "INTEGER";
    case db::Type::ULong: return "BIGINT";
    case db::Type::Decimal:
    case db::Type::PDecimal:
      return "DECIMAL(" + std::to_string(std::min<uint32_t>(fi.size * 2 - 1, 18)) + "," +
             std::to_string(fi.places) + ")";
    default: return "DOUBLE PRECISION";
  }
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
    std::string table = rt::Clip(f.Name());
    if (table.empty()) return rt::ClearError();  // a statement file without a table
    if (!c->execute("SELECT * FROM " + table + " WHERE 1=0"))
      return fail(f, *c, c->state() == kNoTableState ? rt::kFileNotFound : rt::kDriverError);
    // A declared column the table lacks: the declaration differs.
    std::string columns = columnList(f, quotes(f));
    if (!columns.empty() && !c->execute("SELECT " + columns + " FROM " + table + " WHERE 1=0"))
      return fail(f, *c, rt::kInvalidRecordDeclaration);
    rt::ClearError();
  }

  void Close(db::FileDecl&) override { rt::ClearError(); }

  // Replaces the table by an empty one of the declared columns, with the
  // primary key when one is declared.
  void Create(db::FileDecl& f) override {
    std::string table = rt::Clip(f.Name());
    if (table.empty()) return rt::SetError(rt::kFileNotFound);
    Connection* c = connect(f);
    if (!c) return;
    std::string columns;
    const Quotes q = quotes(f);
    for (const db::FieldInfo* fi : db::ValueFields(f))
      columns += (columns.empty() ? "" : ", ") + columnName(*fi, q) + " " + columnType(*fi);
    for (const db::KeyDesc& k : f.Keys()) {
      if (!(k.attrib & db::kKeyPrimary)) continue;
      std::string key;
      for (int32_t part : k.components) {
        size_t field = static_cast<size_t>(part < 0 ? -part : part) - 1;
        if (field < f.Fields().size())
          key += (key.empty() ? "" : ", ") + columnName(f.Fields()[field], q);
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
    bool backslash = backslashEscapes(f);
    for (const db::FieldInfo* fi : db::ValueFields(f)) {
      std::string v = db::FieldText(*fi, f.Record() + fi->offset);
      if (db::IsTextType(fi->type)) v = quoted(v, backslash);
      values += (values.empty() ? "" : ", ") + v;
    }
    if (!c->execute("INSERT INTO " + rt::Clip(f.Name()) + " (" + columnList(f, quotes(f)) + ") VALUES (" + values + ")"))
      return fail(f, *c, c->state() == kDuplicateState ? rt::kDuplicateKey : rt::kDriverError);
    rt::ClearError();
  }

  void Execute(db::FileDecl& f, std::string_view statement) override {
    Connection* c = connect(f);
    if (!c) return;
    if (!c->execute(std::string(statement))) return fail(f, *c, rt::kDriverError);
    rt::ClearError();
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
      if (row[i]) db::SetFieldText(*fields[i], f.Record() + fields[i]->offset, *row[i]);
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

  // Whether the server reads a backslash in a literal as an escape (MySQL
  // and MariaDB, SQL Anywhere): it is then doubled.
  bool backslashEscapes(const db::FileDecl& f) const { return driver_ == "SQLANYWHERE" || mysql(f); }

  // MySQL or MariaDB behind the "ODBC" driver.
  bool mysql(const db::FileDecl& f) const {
    if (driver_ != "ODBC") return false;
    std::string flavour = odbcFlavour();
    if (flavour.rfind("MYODBC", 0) == 0) return true;
    if (flavour == "FIREBIRD") return false;
    std::string owner = rt::Upper(f.Owner());
    return owner.find("MARIADB") != std::string::npos || owner.find("MYSQL") != std::string::npos;
  }

  Quotes quotes(const db::FileDecl& f) const {
    if (driver_ == "MSSQL") return Quotes::Brackets;
    if (driver_ == "ORACLE") return Quotes::AnsiUpper;
    if (driver_ != "ODBC") return Quotes::Ansi;
    if (mysql(f)) return Quotes::Backticks;
    std::string flavour = odbcFlavour();
    if (flavour == "FIREBIRD" || flavour == "ORACLE") return Quotes::AnsiUpper;
    return flavour == "MSSQL" ? Quotes::Brackets : Quotes::Ansi;
  }

  static std::string quoted(const std::string& v, bool backslash) {
    std::string out = "'";
    for (char ch : v) {
      if (ch == '\'' || (backslash && ch == '\\')) out.push_back(ch);
      out.push_back(ch);
    }
    return out + "'";
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
