// Creating a missing server table from its declaration: the CREATE TABLE
// statement with its columns, blobs, autonumber and primary-key clauses,
// the keys, and the column list of every key statement.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "statement_text.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg {
namespace {

// A MySQL text column (STRING over 255, CSTRING over 256 bytes) can only
// be indexed over a prefix of it.
bool MySqlTextColumn(std::string_view column) {
  std::string wanted = rt::Lower(rt::Trim(column));
  for (const FdqRow& f : Fdq()) {
    if (rt::Lower(rt::Trim(f.sqlName)) != wanted && rt::Lower(rt::Trim(f.name)) != wanted) continue;
    std::string type = rt::Lower(rt::Trim(f.type));
    long n = 0;
    size_t open = type.find('(');
    if (open != std::string::npos) n = std::atol(type.c_str() + open + 1);
    std::string name = type.substr(0, open);
    return (name == "string" && n > 255) || (name == "cstring" && n > 256);
  }
  return false;
}

}  // namespace

rt::Long& KeyPrefixLength() {
  static rt::Long length = 0;
  return length;
}

std::string CommaSeperateAndDescCheck(std::string_view which, size_t row, Dialect d) {
  Trace(Flag::A, "-- Start of CommaSeperateAndDescCheck. WhichQ: " + std::string(which) + " --");
  const bool declared = which == "D";
  std::string fields;
  size_t count = 0;
  std::vector<rt::Short> nums;
  if (declared) {
    const KdqRow& key = Kdq().at(row);
    fields = key.fields;
    count = static_cast<size_t>(std::max<rt::Long>(key.numFields, 0));
    nums = key.fieldNums;
    KeyPrefixLength() = 0;
  } else {
    const ServerKey& key = SKDQ().at(row);
    fields = key.fields;
    count = static_cast<size_t>(std::max<rt::Long>(key.numFields, 0));
    nums.assign(key.fieldNums.begin(), key.fieldNums.end());
  }
  std::vector<std::string> names = stmt::Words(fields);
  if (count == 0 || count > names.size()) count = names.size();
  std::string list;
  for (size_t i = 0; i < count; ++i) {
    std::string part = stmt::Id(d, names[i]);
    // A prefix length stands right after its column, before any DESC.
    if (declared && d == Dialect::MySql && MySqlTextColumn(names[i])) {
      KeyPrefixLength() = 255;
      part += "(" + std::to_string(KeyPrefixLength()) + ")";
    }
    // Firebird orders a whole index one way; the key statement says so.
    if (i < nums.size() && nums[i] < 0 && d != Dialect::Firebird) part += " DESC";
    list += (i ? ", " : "") + part;
  }
  Trace(Flag::A, "-- End of CommaSeperateAndDescCheck " + list + " --");
  return list;
}

void CreateKeys(Dialect d) {
  Trace(Flag::A, "-- Start of CreateKeys  --");
  std::vector<KdqRow>& kdq = Kdq();
  for (size_t i = 0; i < kdq.size(); ++i) {
    stmt::Advance(i + 1, kdq.size());
    stmt::KeyKind kind = stmt::DeclaredKind(kdq[i]);
    if (kind == stmt::KeyKind::PrimaryKey && kdq[i].match) continue;  // written inline
    std::string sql = stmt::CreateKeyStatement(d, i, kind);
    if (sql.empty()) continue;
    Trace(Flag::B, "Adding key: " + kdq[i].sqlKeyName + " on " + kdq[i].fields);
    stmt::Queue(std::move(sql));
  }
  Trace(Flag::A, "-- End of CreateKeys  --");
}

namespace stmt {

void QueueFirebirdAutoNumber(std::string_view column) {
  const Dialect d = Dialect::Firebird;
  std::string base = rt::Clip(FilePrefix()) + "_" + rt::Trim(column);
  std::string generator = Id(d, base), trigger = Id(d, "Get_Next_" + base);
  std::string gen = "Create Generator " + generator;
  for (const ScriptRow& r : SQ())
    if (r.sql == gen) return;
  Queue(gen);
  // Only a row inserted without a key gets the next number, so copied
  // rows keep theirs; a key inserted above the generator moves it up, so
  // the rows numbered after a copy never meet a copied key.
  const std::string key = "New." + Id(d, column);
  Queue("Create Trigger " + trigger + " for " + Table(d) +
        " Active Before Insert position 0 as declare variable moved bigint; Begin if (" + key +
        " is null) then " + key + " = GEN_ID(" + generator + ",1); else if (" + key + " > GEN_ID(" +
        generator + ",0)) then moved = GEN_ID(" + generator + ", " + key + " - GEN_ID(" + generator +
        ",0)); end");
}

}  // namespace stmt

void QueueCreateTable(Dialect d) {
  Trace(Flag::A, "-- Start of ds_CreateSQLTable  --");
  if (d == Dialect::Odbc) {
    // A plain ODBC source has no column types to write.
    Trace(Flag::A, "-- End of ds_CreateSQLTable --");
    return;
  }
  const std::string prefix = rt::Clip(FilePrefix());
  std::vector<FdqRow>& fdq = Fdq();
  std::vector<KdqRow>& kdq = Kdq();
  std::vector<std::string> columns;
  bool autoSeen = false, mysqlAutoPending = false, inlinePrimary = false;
  std::string firebirdAuto;
  for (size_t i = 0; i < fdq.size(); ++i) {
    if (fdq[i].match) continue;
    stmt::Advance(i + 1, fdq.size());
    std::string type = GetSQLDatatype(i + 1, fdq[i].type, d);
    if (GroupDetected()) continue;
    const FdqRow& f = fdq[i];
    const std::string sqlName = rt::Trim(f.sqlName);
    std::string col = stmt::Id(d, sqlName) + " " + type;
    bool isAuto = false, notNull = false;
    for (IdentityField& idf : IQ()) {
      std::string key = rt::Upper(prefix + ":" + rt::Trim(f.name));
      if (rt::Upper(rt::Trim(idf.fieldName)) != key) continue;
      if (autoSeen) {
        ReportSql(kM28, idf.fieldName);
        break;
      }
      autoSeen = isAuto = true;
      switch (d) {
        case Dialect::MsSql:
          if (rt::Trim(idf.seedInc).empty()) idf.seedInc = "1,1";
          col += " IDENTITY(" + rt::Trim(idf.seedInc) + ")";
          break;
        case Dialect::Anywhere: col += " IDENTITY", notNull = true; break;
        case Dialect::MySql: mysqlAutoPending = true; break;
        case Dialect::Firebird: firebirdAuto = sqlName; break;
        default: break;
      }
      break;
    }
    // DEFAULT stands before the column's constraints.
    if (!isAuto) {
      std::string def = DefaultExtra(f.name, f.type, d);
      if (!def.empty()) col += " DEFAULT " + def;
    }
    std::string constraint;
    if (!inlinePrimary) {
      for (KdqRow& key : kdq) {
        if (rt::Upper(key.att).find("PRIMARY") == std::string::npos) continue;
        std::vector<std::string> parts = stmt::Words(key.fields);
        bool inKey = std::any_of(parts.begin(), parts.end(), [&](const std::string& p) {
          return rt::Upper(p) == rt::Upper(sqlName);
        });
        if (!inKey) continue;
        notNull = true;
        if (parts.size() == 1) {
          std::string k = stmt::Id(d, key.sqlKeyName);
          switch (d) {
            case Dialect::Anywhere: constraint = " PRIMARY KEY"; break;
            case Dialect::MySql:
              constraint = mysqlAutoPending ? " AUTO_INCREMENT PRIMARY KEY" : " PRIMARY KEY";
              mysqlAutoPending = false;
              break;
            default: constraint = " CONSTRAINT " + k + " PRIMARY KEY"; break;
          }
          inlinePrimary = true;
          key.match = 1;
          Trace(Flag::B, "Primary key found [1]: " + key.sqlKeyName);
        }
        break;
      }
    }
    if (notNull) {
      col += d == Dialect::Oracle ? " CONSTRAINT " + stmt::Id(d, "nn_" + prefix + "_" + sqlName) + " NOT NULL"
                                  : std::string(" NOT NULL");
    }
    columns.push_back(col + constraint);
  }
  Trace(Flag::B, "About to add Blobs: " + std::to_string(Mdq().size()));
  for (size_t i = 0; i < Mdq().size(); ++i) {
    const MdqRow& m = Mdq()[i];
    Trace(Flag::B, "mdq " + std::to_string(i + 1) + ": " + m.memoName + " " + std::to_string(m.type));
    std::string name = d == Dialect::Oracle ? rt::Upper(m.sqlName) : m.sqlName;
    columns.push_back(stmt::Id(d, name) + " " + GetSQLBlobType(m, d));
  }
  std::string list;
  for (const std::string& c : columns) list += (list.empty() ? "" : ", ") + c;
  std::string sql = "CREATE TABLE " + stmt::Table(d) + " (" + list + ")";
  switch (d) {
    case Dialect::MsSql:
      if (autoSeen) OpenHookState().identityInsert = true;
      break;
    case Dialect::Oracle: {
      std::string space = GetTableSpace(SqlCheck().tableLabel, "T");
      if (!space.empty()) sql += " TABLESPACE " + stmt::Id(d, space);
      break;
    }
    case Dialect::MySql: {
      if (rt::Trim(CurrentOptions().mySqlType).empty()) ds_SetOption("mysqltype", "MyISAM");
      sql += " ENGINE=" + stmt::Id(d, CurrentOptions().mySqlType);
      break;
    }
    default: break;
  }
  stmt::Queue(sql);
  CreateKeys(d);
  if (d == Dialect::Firebird && !firebirdAuto.empty()) stmt::QueueFirebirdAutoNumber(firebirdAuto);
  Trace(Flag::A, "-- End of ds_CreateSQLTable --");
}

rt::Long ds_CreateSQLTable(std::string_view server, bool* tableCreated) {
  return ds_CreateSQLTable(DialectOf(server, ODBCFlavour()), tableCreated);
}

rt::Long ds_CreateSQLTable(Dialect d, bool* tableCreated) {
  QueueCreateTable(d);
  // The table first: without it the keys and the numbering cannot be made,
  // and its failure is the one message.
  std::vector<ScriptRow> rest(SQ().begin() + (SQ().empty() ? 0 : 1), SQ().end());
  if (!SQ().empty()) SQ().resize(1);
  bool created = RunSQLScripts() == 0;
  if (tableCreated) *tableCreated = created;
  if (!created) return 1;
  SQ() = std::move(rest);
  return RunSQLScripts() != 0 ? 1 : 0;
}

}  // namespace upg
