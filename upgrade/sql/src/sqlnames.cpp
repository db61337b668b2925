// Server names of declared fields, blobs and keys, and the server's case rule.
#include <cstdint>
#include <map>
#include <string>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/server_structure.h"

namespace upg {
namespace {

void MarkBinaryField(const FdqRow& row) {
  std::string key = rt::Upper(rt::Clip(FilePrefix())) + ":" + rt::Upper(rt::Clip(row.name));
  for (ForcedType& f : ForcedTypes())
    if (f.field == key) {
      f.isBinary = 1;
      return;
    }
  ForcedTypes().push_back({key, std::string(), 1});
}

void GetServerCase() {
  ExecuteSQLStatement(
      "if exists (select name from sysobjects where name = 'ds_GetServerCase' and type = "
      "'P') drop procedure ds_GetServerCase",
      0);
  ExecuteSQLStatement(
      "CREATE procedure ds_GetServerCase @CaseVar int output as\r\nif 'a' = 'A'\r\n  set "
      "@CaseVar = 0 \r\nelse\r\n  set @CaseVar = 1",
      0);
  // The procedure's output LONG comes back as the call's result row.
  rt::Long locCase = 0;
  bool ok = ExecuteSQLStatement("NORESULTCALL ds_GetServerCase(&locCase [OUT])", 0) == 0 && NextResultRow();
  if (ok) locCase = CatalogueNumber(ResultRow()[0]);
  ServerCaseSensitive() = ok && locCase == 1 ? 1 : 0;
}

// Column names of a table as the server compares them.
std::string CompareKey(std::string_view name) {
  return ServerCaseSensitive() ? std::string(name) : rt::Upper(name);
}

// Reports two declared names that are one name on the server.
void CheckClash(std::map<std::string, std::string>& seen, const std::string& serverName,
                const std::string& declared) {
  auto [it, added] = seen.emplace(CompareKey(serverName), declared);
  if (!added && it->second != declared)
    Trace(Flag::A, "SQL name clash: " + declared + " and " + it->second + " are both " +
                       serverName + " on the server");
}

}  // namespace

size_t NameLimit(Dialect dialect) { return velmora::sql::nameLimit(dialect); }

std::string ServerName(Dialect dialect, std::string_view name) { return velmora::sql::serverName(dialect, name); }

bool KeyNamesDatabaseWide(Dialect dialect) {
  return dialect == Dialect::Firebird || dialect == Dialect::Oracle || dialect == Dialect::MsSql;
}

std::string DeclaredKeyName(Dialect dialect, std::string_view table, std::string_view keyLabel) {
  std::string label = rt::Upper(rt::Clip(keyLabel));
  std::string t = rt::Clip(table);
  size_t dot = t.rfind('.');
  if (dot != std::string::npos) t = t.substr(dot + 1);
  if (!KeyNamesDatabaseWide(dialect) || t.empty()) return ServerName(dialect, label);
  return ServerName(dialect, rt::Upper(t) + "_" + label);
}

std::string LabelKeyName(Dialect dialect, const KdqRow& key) {
  if (!rt::Clip(key.keyFileName).empty()) return {};
  std::string plain = ServerName(dialect, rt::Upper(rt::Clip(key.keyName)));
  return plain == rt::Clip(key.sqlKeyName) ? std::string() : plain;
}

std::vector<std::string>& ExactNames() {
  thread_local std::vector<std::string> names;
  return names;
}

bool ExactName(std::string_view sqlName) {
  std::string clipped = rt::Trim(sqlName);
  for (const std::string& n : ExactNames())
    if (n == clipped) return true;
  return false;
}

rt::Byte& ServerCaseKnown() {
  static rt::Byte known = 0;
  return known;
}

void FindServerCase(std::string_view server, Dialect dialect) {
  if (ServerCaseKnown()) return;
  ServerCaseKnown() = 1;
  std::string code = rt::Upper(rt::Clip(server));
  if (code == "MSS") {
    GetServerCase();
  } else if (code == "ORA" || code == "ASA") {
    ServerCaseSensitive() = 0;
  } else if (code == "ODB") {
    if (dialect == Dialect::MySql) ServerCaseSensitive() = 0;
    if (dialect == Dialect::Firebird) ServerCaseSensitive() = 1;
  }
}

void ds_SetSQLNames(std::string_view server) {
  ds_SetSQLNames(server, DialectOf(server, ODBCFlavour()));
}

void ds_SetSQLNames(std::string_view server, Dialect dialect) {
  Trace(Flag::A, "ds_SetSQLNames IN.");
  FindServerCase(server, dialect);
  const std::string label = rt::Clip(SQLTableName());

  // Field columns; the map gives every declared column text its server name
  // for the keys' column lists below.
  std::map<std::string, std::string> columns, seen, exact;
  ExactNames().clear();
  Trace(Flag::A, "----------DCT FIELD STRUCTURE (" + label + ")----------");
  for (FdqRow& row : Fdq()) {
    // The name the file drivers give the field's column too.
    // FDQ:ALTNAME holds an exact name without its quotes.
    const std::string declared = row.exactName ? "\"" + rt::Clip(row.altName) + "\"" : row.altName;
    const velmora::sql::ColumnName column = velmora::sql::columnName(dialect, declared, row.name);
    const std::string& name = column.declared;
    if (column.binary) MarkBinaryField(row);
    row.sqlName = column.name;
    if (column.exact) {
      ExactNames().push_back(row.sqlName);
      exact[rt::Upper(name)] = row.sqlName;
    }
    columns[CompareKey(name)] = row.sqlName;
    if (row.type.rfind("group", 0) != 0) CheckClash(seen, row.sqlName, name);
    Trace(Flag::A, "-- " + row.name + " " + row.type + ", name: " + row.altName +
                       ", SQLName: " + row.sqlName + ", other: " + row.attrib + ", " +
                       std::to_string(row.over) + ", " + std::to_string(row.length) + " --");
  }
  Trace(Flag::A, "----------END - Total number of fields: " + std::to_string(Fdq().size()) +
                     "----------");

  Trace(Flag::A, "----------DCT BLOB STRUCTURE (" + label + ")----------");
  for (MdqRow& memo : Mdq()) {
    std::string file = rt::Clip(memo.memoFileName);
    std::string name = file.empty() ? rt::Upper(rt::Clip(memo.memoName)) : file;
    memo.sqlName = ServerName(dialect, name);
    CheckClash(seen, memo.sqlName, name);
    memo.match = 0;
  }
  Trace(Flag::A, "----------END - Total number of blobs: " + std::to_string(Mdq().size()) +
                     "----------");

  Trace(Flag::A, "----------DCT KEY STRUCTURE (" + label + ")----------");
  for (KdqRow& key : Kdq()) {
    std::string file = rt::Clip(key.keyFileName);
    std::string fields = key.fields;
    if (file.empty()) {
      key.sqlKeyName = DeclaredKeyName(dialect, SQLTableName(), key.keyName);
      fields = rt::Upper(fields);
    } else {
      key.sqlKeyName = ServerName(dialect, file);
    }
    // Each column of the list by the name its field has on the server.
    std::string list;
    size_t at = 0;
    while (at < fields.size()) {
      size_t start = fields.find_first_not_of(' ', at);
      if (start == std::string::npos) break;
      size_t end = fields.find(' ', start);
      if (end == std::string::npos) end = fields.size();
      std::string column = KeyListColumn(fields.substr(start, end - start));
      std::string server = ServerName(dialect, column);
      // A column meant exactly is named exactly in every key over it.
      auto quoted = exact.find(rt::Upper(column));
      if (quoted != exact.end()) {
        server = quoted->second;
      } else if (server != column) {
        auto it = columns.find(CompareKey(column));
        if (it != columns.end()) server = it->second;
      }
      list += " " + KeyListWord(server);
      at = end;
    }
    key.fields = list;
    key.match = 0;
    Trace(Flag::A, "--   Fields: " + key.fields + " --");
  }
  Trace(Flag::A, "----------END - Total number of keys: " + std::to_string(Kdq().size()) +
                     " ----------");
  Trace(Flag::A, "ds_SetSQLNames OUT.");
}

}  // namespace upg
