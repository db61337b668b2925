// Comparing the declared fields and blobs with the server's columns: the
// drop, add, rename and alter statements of each dialect, and the keys
// dropped and added back around a changed column.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "statement_text.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg {
namespace {

using stmt::Id;
using stmt::Queue;

// The alternate-name pairs already used for a rename (by destination).
std::set<std::string>& UsedAlternates() {
  static std::set<std::string> used;
  return used;
}

std::string BeforeParen(std::string_view text) { return std::string(text.substr(0, text.find('('))); }
std::string InParens(std::string_view text) {
  size_t open = text.find('(');
  size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

// Columns holding memos and blobs: paired with MDQ, never dropped.
bool BlobLike(std::string_view type) {
  std::string t = rt::Lower(type);
  for (const char* w : {"blob", "image", "text", "clob", "long binary", "long varchar"})
    if (t.find(w) != std::string::npos) return true;
  return false;
}

// Server types that hold a declared type under another spelling.
bool SameSQLType(Dialect d, std::string_view declared, std::string_view server) {
  std::string dn = rt::Trim(rt::Lower(BeforeParen(declared))), sn = rt::Trim(rt::Lower(BeforeParen(server)));
  std::string ds = rt::Trim(InParens(declared)), ss = rt::Trim(InParens(server));
  switch (d) {
    case Dialect::MsSql: return dn == "float" && sn == "real";
    case Dialect::Oracle:
      return dn == "number" && sn == "number" &&
             (ds == ss || std::atol(ds.c_str()) == std::atol(ss.c_str()) + 1);
    case Dialect::Anywhere:
      return dn == sn && (dn == "long varchar" || dn == "integer" || dn == "timestamp");
    // The catalogue gives a blob without its sub-type.
    case Dialect::Firebird:
      return (dn == "double precision" && sn == "double") || (dn.rfind("blob", 0) == 0 && sn == "blob");
    case Dialect::MySql:
    case Dialect::Odbc: return false;
  }
  return false;
}

bool TypesAgree(Dialect d, const std::string& declared, const std::string& server) {
  std::string y = rt::Lower(rt::Trim(declared));
  std::string s = rt::Lower(rt::Trim(server));
  // A display width or length the server adds ("int(11)", "tinyint(3)
  // unsigned", Oracle's "timestamp(6)(11)") is not part of a declared type
  // without one; the words around it are.
  if (y.find('(') == std::string::npos) {
    std::string words;
    for (size_t at = 0; at < s.size();) {
      size_t open = s.find('(', at);
      words += s.substr(at, open == std::string::npos ? std::string::npos : open - at);
      if (open == std::string::npos) break;
      size_t close = s.find(')', open);
      if (close == std::string::npos) break;
      at = close + 1;
    }
    s = rt::Trim(words);
    for (size_t twice = s.find("  "); twice != std::string::npos; twice = s.find("  ")) s.erase(twice, 1);
  }
  return y == s || TypeForced() || SameSQLType(d, declared, server);
}

// A Firebird column type as far as an in-place type change goes: its
// family, the width of its stored form, its length or scale, and how many
// characters its values take written as text.
struct FirebirdType {
  enum Kind { Char, Exact, Approx, Date, Time, Stamp, Blob, Other } kind = Other;
  int rank = 0;    // exact: 1 smallint, 2 integer, 3 bigint; approx: 1 float, 2 double
  long length = 0; // characters of a character type
  long scale = 0;  // digits after the point of an exact type
  long digits = 0; // digits before the point an exact type holds
  long width = 0;  // characters the values need as text
};

FirebirdType ParseFirebirdType(std::string_view text) {
  std::string t = rt::Lower(rt::Trim(text));
  std::string base = rt::Trim(BeforeParen(t));
  std::string args = InParens(t);
  long first = std::atol(args.c_str());
  size_t comma = args.find(',');
  long second = comma == std::string::npos ? 0 : std::atol(args.c_str() + comma + 1);
  FirebirdType f;
  using K = FirebirdType::Kind;
  auto exact = [&](int rank, long width, long digits) {
    f.kind = K::Exact, f.rank = rank, f.width = width, f.digits = digits;
  };
  if (t.find("blob") != std::string::npos) f.kind = K::Blob;
  else if (base == "char" || base == "varchar" || base == "character" || base == "character varying")
    f.kind = K::Char, f.length = args.empty() ? 1 : first;
  else if (base == "smallint") exact(1, 6, 5);
  else if (base == "integer" || base == "int") exact(2, 11, 10);
  else if (base == "bigint") exact(3, 20, 19);
  else if (base == "numeric" || base == "decimal") {
    // Firebird stores numeric(1..4) as a smallint, decimal(1..4) as an integer.
    exact(first <= 4 && base == "numeric" ? 1 : first <= 9 ? 2 : 3, first + 3, first - second);
    f.scale = second;
  } else if (base == "float") f.kind = K::Approx, f.rank = 1, f.width = 15;
  else if (base == "double precision" || base == "double") f.kind = K::Approx, f.rank = 2, f.width = 24;
  else if (base == "date") f.kind = K::Date, f.width = 10;
  else if (base == "time") f.kind = K::Time, f.width = 13;
  else if (base == "timestamp") f.kind = K::Stamp, f.width = 25;
  return f;
}

// Whether Firebird 3 changes a column of type `from` into `to` with ALTER
// COLUMN ... TYPE. It refuses a character column turning into anything
// else, any blob, a narrower stored form, numbers and dates into each
// other, and text too short for every value.
bool FirebirdAltersInPlace(std::string_view from, std::string_view to) {
  using K = FirebirdType::Kind;
  FirebirdType a = ParseFirebirdType(from), b = ParseFirebirdType(to);
  // The catalogue gives a blob without its sub-type: two blobs keep the
  // plain statement rather than a copy at every open.
  if (a.kind == K::Blob && b.kind == K::Blob) return true;
  if (a.kind == K::Other || b.kind == K::Other || a.kind == K::Blob || b.kind == K::Blob) return false;
  if (b.kind == K::Char) return b.length >= (a.kind == K::Char ? a.length : a.width);
  switch (a.kind) {
    case K::Exact:
      // A new scale, or fewer digits before the point, goes through the
      // copy, whose cast refuses a value that no longer fits.
      if (b.kind == K::Exact) return b.rank >= a.rank && b.scale == a.scale && b.digits >= a.digits;
      return b.kind == K::Approx && (a.rank == 1 || (a.rank == 2 && b.rank == 2));
    case K::Approx: return b.kind == K::Approx && b.rank >= a.rank;
    case K::Date: return b.kind == K::Stamp;
    case K::Stamp: return b.kind == K::Date || b.kind == K::Time;
    default: return false;
  }
}

// The column Firebird copies a retyped column's values into.
constexpr std::string_view kRetypeColumn = "RV3$RETYPE";

struct Comparison {
  Dialect d;
  std::string table;   // {T}
  std::string prefix;  // {P}

  bool IdentityWanted(const FdqRow& f, const ServerColumn* c) const {
    std::string key = rt::Upper(prefix + ":" + rt::Trim(f.sqlName));
    bool listed = std::any_of(IQ().begin(), IQ().end(),
                              [&](const IdentityField& r) { return rt::Upper(rt::Clip(r.fieldName)) == key; });
    return listed && (c == nullptr || c->autoNum == 0);
  }
  std::string SeedInc(const FdqRow& f) const {
    std::string key = rt::Upper(prefix + ":" + rt::Trim(f.sqlName));
    for (const IdentityField& r : IQ())
      if (rt::Upper(rt::Clip(r.fieldName)) == key) return rt::Trim(r.seedInc).empty() ? "1,1" : rt::Trim(r.seedInc);
    return "1,1";
  }

  // The first declared primary key lists `column`.
  static bool InPrimaryKey(std::string_view column) {
    for (const KdqRow& k : Kdq()) {
      if (rt::Lower(k.att).find("primary") == std::string::npos) continue;
      Trace(Flag::B, "Checking null - found primary.. field: " + k.fields);
      for (const std::string& w : stmt::Words(k.fields))
        if (rt::Upper(w) == rt::Upper(rt::Trim(column))) return true;
      return false;
    }
    return false;
  }

  bool NullWanted(const ServerColumn& c) const {
    Trace(Flag::B, "Checking null in: " + c.name + " " + std::to_string(c.nullable));
    bool yes = c.nullable == 1 && InPrimaryKey(c.name);
    Trace(Flag::B, "Checking null out: " + c.name + " " + std::to_string(yes));
    return yes;
  }

  void Dependants(size_t column) {
    if (SFDQ()[column].dependant) HandleDependancies(d, column);
  }

  void AlterAutoNumber(const FdqRow& f, size_t column) {
    const ServerColumn& c = SFDQ()[column];
    Trace(Flag::B, "Altering AutoNum: " + f.sqlName);
    std::string col = Id(d, c.altName);
    switch (d) {
      case Dialect::Anywhere: Queue("Alter Table " + table + " modify " + col + " " + c.type + " Identity Not Null"); break;
      case Dialect::MySql: Queue("Alter Table " + table + " change " + col + " " + col + " " + c.type + " auto_increment"); break;
      case Dialect::Firebird: stmt::QueueFirebirdAutoNumber(c.altName); break;
      default: return;
    }
    Dependants(column);
  }

  void AlterNotNull(const FdqRow& f, size_t column, const std::string& type) {
    const ServerColumn& c = SFDQ()[column];
    Trace(Flag::B, "Altering Not Null " + f.sqlName);
    std::string col = Id(d, c.altName);
    switch (d) {
      case Dialect::MsSql: Queue("Alter Table " + table + " alter column " + col + " " + type + " Not Null"); break;
      case Dialect::Anywhere: Queue("Alter Table " + table + " modify " + col + " " + type + " Not Null"); break;
      case Dialect::MySql: Queue("Alter Table " + table + " change " + col + " " + col + " " + type + " not null"); break;
      case Dialect::Firebird: Queue("Alter Table " + table + " alter column " + col + " set not null"); break;
      default: break;
    }
  }

  // The column keeps its name and gets the declared type.
  void AlterColumnType(const FdqRow& f, size_t column, const std::string& type) {
    const ServerColumn& c = SFDQ()[column];
    Trace(Flag::B, "Altering Type: " + c.type + " to " + type);
    std::string n = Id(d, stmt::Folded(d, f.sqlName));
    switch (d) {
      case Dialect::MsSql: {
        std::string sql = "Alter Table " + table + " alter column " + n + " " + type;
        if (IdentityWanted(f, &c)) sql += " Identity(" + SeedInc(f) + ")";
        Queue(sql);
        break;
      }
      case Dialect::Oracle:
      case Dialect::Anywhere: Queue("Alter Table " + table + " modify " + n + " " + type); break;
      case Dialect::MySql: Queue("Alter Table " + table + " change " + n + " " + n + " " + type); break;
      case Dialect::Firebird:
        if (FirebirdAltersInPlace(c.type, type)) Queue("Alter Table " + table + " alter column " + n + " type " + type);
        else QueueFirebirdCopy(f, column, n, type);
        break;
      case Dialect::Odbc: return;
    }
    Dependants(column);
  }

  // A type Firebird cannot change in place goes through a new column, in
  // one statement: every value is cast first, so a value that does not
  // convert fails it before anything changes. The new column is added in
  // a transaction of its own (Firebird sees a column only once it is
  // committed); the copy, the drop of the old column, the rename and the
  // position are one further transaction, so the old column goes only
  // with a complete copy; when that fails, the new column goes again and
  // the statement fails with the server's error.
  void QueueFirebirdCopy(const FdqRow& f, size_t column, const std::string& n, const std::string& type) {
    const ServerColumn& c = SFDQ()[column];
    const std::string tmp = Id(d, kRetypeColumn);
    auto run = [&](const std::string& sql, std::string_view into = {}) {
      return "EXECUTE STATEMENT " + SqlLiteral(d, sql) + std::string(into) + "; ";
    };
    std::string add = "Alter Table " + table + " add " + tmp + " " + type;
    std::string def = DefaultExtra(f.name, f.type, d);
    if (!def.empty()) add += " Default " + def;
    std::string sql = "EXECUTE BLOCK AS DECLARE counted INTEGER; BEGIN " +
                      run("select count(cast(" + n + " as " + type + ")) from " + table, " INTO :counted");
    sql += "IN AUTONOMOUS TRANSACTION DO " + run(add);
    sql += "BEGIN IN AUTONOMOUS TRANSACTION DO BEGIN ";
    sql += run("update " + table + " set " + tmp + " = cast(" + n + " as " + type + ")");
    sql += run("Alter Table " + table + " drop " + n);
    sql += run("Alter Table " + table + " alter column " + tmp + " to " + n);
    sql += run("Alter Table " + table + " alter column " + n + " position " + std::to_string(column + 1));
    if (c.nullable == 0) sql += run("Alter Table " + table + " alter column " + n + " set not null");
    sql += "END WHEN ANY DO BEGIN IN AUTONOMOUS TRANSACTION DO " + run("Alter Table " + table + " drop " + tmp);
    sql += "EXCEPTION; END END END";
    Queue(sql);
  }

  // The checks of a pair whose names agree; `type` is the declared type.
  void CheckPair(size_t row, size_t column, const std::string& type) {
    const FdqRow& f = Fdq()[row];
    ServerColumn& c = SFDQ()[column];
    if (TypesAgree(d, type, c.type)) {
      if (IdentityWanted(f, &c)) AlterAutoNumber(f, column);
      if (d != Dialect::Oracle && NullWanted(c)) AlterNotNull(f, column, type);
    } else {
      AlterColumnType(f, column, type);
    }
  }

  // The column gets the declared SQL name; under a dialect whose rename
  // keeps the type, a different type is altered after it.
  void RenameColumn(size_t row, size_t column) {
    const FdqRow& f = Fdq()[row];
    ServerColumn& c = SFDQ()[column];
    const std::string n = stmt::Folded(d, f.sqlName);
    Trace(Flag::B, "Altering Name: " + c.altName + " to " + n);
    if (IdentityWanted(f, &c)) AlterAutoNumber(f, column);
    std::string type = GetSQLDatatype(row + 1, f.type, d);
    const std::string from = Id(d, c.altName), to = Id(d, n);
    switch (d) {
      case Dialect::MsSql:
        Queue("EXEC sp_rename " + SqlLiteral(d, CheckedTableName() + "." + rt::Clip(c.altName)) + "," +
              SqlLiteral(d, ServerName(d, n)) + ",'COLUMN'");
        break;
      case Dialect::Oracle: {
        const std::string& v = SqlCheck().serverVersion;
        if (v == "7" || v == "8" || v == "8i") {
          // No rename column there: the table is copied with the column
          // under its new name, one statement at a time. RENAME takes the
          // bare names of the user's own tables.
          const std::string bare = rt::Clip(SQLTableName()), owner = rt::Clip(SqlCheck().tableOwner);
          std::string select;
          for (const ServerColumn& s : SFDQ())
            select += (select.empty() ? "" : ", ") + Id(d, s.altName) +
                      (&s == &c ? " " + to : std::string());
          Queue("rename " + Id(d, bare) + " to " + Id(d, bare + "_OLD"));
          Queue("create table " + table + " as select " + select + " from " +
                SqlTableName(d, (owner.empty() ? "" : owner + ".") + bare + "_OLD"));
        } else {
          Queue("Alter Table " + table + " rename column " + from + " to " + to);
        }
        break;
      }
      case Dialect::Anywhere: Queue("Alter Table " + table + " rename " + from + " to " + to); break;
      case Dialect::MySql: Queue("Alter Table " + table + " change " + from + " " + to + " " + type); break;
      case Dialect::Firebird: Queue("Alter Table " + table + " alter column " + from + " to " + to); break;
      case Dialect::Odbc: return;
    }
    Dependants(column);
    if (d != Dialect::MySql && !TypesAgree(d, type, c.type)) {
      AlterColumnType(f, column, type);
    }
  }

  void AddColumn(size_t row, const std::string& type) {
    const FdqRow& f = Fdq()[row];
    const std::string name = Id(d, f.sqlName);
    Trace(Flag::B, "Adding field: " + f.sqlName);
    std::string sql = "Alter Table " + table + " add " + name + " " + type;
    if (d == Dialect::MsSql && IdentityWanted(f, nullptr)) sql += " Identity(" + SeedInc(f) + ")";
    std::string def = DefaultExtra(f.name, f.type, d);
    if (!def.empty()) sql += " Default " + def;
    if (InPrimaryKey(f.sqlName)) sql += " not null";
    Queue(sql);
    if (!def.empty()) {
      Trace(Flag::B, "Records exist, so go add an insert statement to the end...");
      Queue("update " + table + " set " + name + " = " + def);
    }
  }

  void AddBlobColumn(const MdqRow& m) {
    const std::string name = Id(d, m.sqlName);
    Trace(Flag::B, "Adding blob: " + m.sqlName);
    std::string sql = "Alter Table " + table + " add " + name + " " + GetSQLBlobType(m, d);
    std::string def = DefaultExtra(m.memoName, std::to_string(m.type), d);
    if (!def.empty()) sql += " Default " + def;
    Queue(sql);
    if (!def.empty()) {
      Trace(Flag::B, "Records exist, so go add an insert statement to the end...");
      Queue("update " + table + " set " + name + " = " + def);
    }
  }

  void DropColumn(size_t column) {
    const ServerColumn& c = SFDQ()[column];
    Trace(Flag::B, "Dropping field: " + c.altName);
    // The keys on the column go first: no server drops a column a key uses.
    for (size_t j = 0; j < SKDQ().size(); ++j) {
      const ServerKey& key = SKDQ()[j];
      std::vector<std::string> names = stmt::Words(key.fields);
      if (std::none_of(names.begin(), names.end(),
                       [&](const std::string& n) { return stmt::SameName(d, n, c.altName); }))
        continue;
      std::string upperKey = rt::Upper(rt::Clip(key.keyName));
      if (std::any_of(DQ().begin(), DQ().end(), [&](const KeyScriptRow& r) { return r.keyName == upperKey; }))
        continue;
      DQ().push_back({upperKey, stmt::DropKeyStatement(d, j)});
    }
    const bool word = d == Dialect::MsSql || d == Dialect::Oracle;
    Queue("Alter Table " + table + " drop " + (word ? "column " : "") + Id(d, c.altName));
  }
};

void MarkPair(FdqRow& f, ServerColumn& c) {
  f.match = 1;
  c.match = 1;
}

}  // namespace

void ForgetUsedAlternates() { UsedAlternates().clear(); }

void CompareFields(std::string_view server) { CompareFields(DialectOf(server, ODBCFlavour())); }

void CompareFields(Dialect d) {
  Trace(Flag::A, "-- Start of CompareFields  --");
  if (d == Dialect::Odbc) {
    // A plain ODBC source has no statements of its own to alter columns.
    Trace(Flag::A, "-- End of CompareFields  --");
    return;
  }
  Comparison cmp{d, stmt::Table(d), rt::Clip(FilePrefix())};
  std::vector<FdqRow>& fdq = Fdq();
  std::vector<ServerColumn>& sfdq = SFDQ();

  // 1. Pairs by name; a column named like the field's label is renamed.
  for (size_t i = 0; i < fdq.size(); ++i) {
    if (fdq[i].match) continue;
    stmt::Advance(i + 1, fdq.size());
    Trace(Flag::A, "----- ----- ----- -----");
    for (size_t j = 0; j < sfdq.size(); ++j) {
      if (sfdq[j].match) continue;
      if (stmt::SameDeclared(d, fdq[i].sqlName, sfdq[j].altName)) {
        std::string type = GetSQLDatatype(i + 1, fdq[i].type, d);
        cmp.CheckPair(i, j, type);
        MarkPair(fdq[i], sfdq[j]);
        break;
      }
      if (stmt::SameDeclared(d, fdq[i].name, sfdq[j].altName)) {
        cmp.RenameColumn(i, j);
        MarkPair(fdq[i], sfdq[j]);
        break;
      }
    }
  }

  // 2. Alternate names registered for a field.
  if (!AlternateNames().empty()) {
    for (size_t i = 0; i < fdq.size(); ++i) {
      if (fdq[i].match) continue;
      std::string dest = rt::Upper(cmp.prefix + ":" + rt::Trim(fdq[i].name));
      if (UsedAlternates().count(dest)) continue;
      for (const AlternateName& pair : AlternateNames()) {
        if (rt::Upper(rt::Clip(pair.destination)) != dest) continue;
        std::string source = rt::Clip(pair.source);
        source = source.substr(source.find(':') == std::string::npos ? 0 : source.find(':') + 1);
        auto c = std::find_if(sfdq.begin(), sfdq.end(), [&](const ServerColumn& s) {
          return !s.match && stmt::SameDeclared(d, source, s.name);
        });
        if (c == sfdq.end()) continue;
        cmp.RenameColumn(i, static_cast<size_t>(c - sfdq.begin()));
        UsedAlternates().insert(dest);
        MarkPair(fdq[i], *c);
        break;
      }
    }
  }

  // 3. New columns.
  for (size_t i = 0; i < fdq.size(); ++i) {
    if (fdq[i].match) continue;
    std::string type = GetSQLDatatype(i + 1, fdq[i].type, d);
    if (!GroupDetected()) cmp.AddColumn(i, type);
    fdq[i].match = 1;
  }

  // 4. Blobs paired with the server's blob columns.
  std::vector<MdqRow>& mdq = Mdq();
  Trace(Flag::C, "About to search and compare blobs: " + std::to_string(mdq.size()));
  for (ServerColumn& c : sfdq) {
    if (mdq.empty()) break;
    if (c.match || !BlobLike(c.type)) continue;
    for (MdqRow& m : mdq) {
      if (m.match) continue;
      Trace(Flag::C, "Searching blob fields: " + m.sqlName + " " + c.altName);
      if (stmt::SameDeclared(d, m.sqlName, c.altName)) {
        m.match = 1;
        c.match = 1;
        Trace(Flag::C, "Blob Match found for: " + m.memoName);
        break;
      }
    }
  }

  // 5. New blobs.
  Trace(Flag::C, "About to search and add blobs: " + std::to_string(mdq.size()));
  for (MdqRow& m : mdq) {
    if (m.match) continue;
    Trace(Flag::C, "DCT Blob found. " + m.memoName + " Match: 0");
    cmp.AddBlobColumn(m);
    m.match = 1;
  }

  // 6. Undeclared columns, when the declaration is master of the fields.
  if (SqlCheck().dctFieldsMaster) {
    for (size_t j = 0; j < sfdq.size(); ++j)
      if (!sfdq[j].match && !BlobLike(sfdq[j].type)) cmp.DropColumn(j);
  }
  Trace(Flag::A, "-- End of CompareFields  --");
}

void HandleDependancies(Dialect d, size_t column) {
  Trace(Flag::A, "-- Start of HandleDependancies  --");
  const ServerColumn& changed = SFDQ().at(column);
  for (size_t j = 0; j < SKDQ().size(); ++j) {
    const ServerKey& key = SKDQ()[j];
    std::vector<std::string> names = stmt::Words(key.fields);
    if (key.numFields > 0 && static_cast<size_t>(key.numFields) < names.size()) names.resize(key.numFields);
    bool uses = std::any_of(names.begin(), names.end(),
                            [&](const std::string& n) { return stmt::SameName(d, n, changed.altName); });
    if (!uses) continue;
    Trace(Flag::B, "Dependant field found: " + changed.name + " " + key.keyName);
    const std::string upperKey = rt::Upper(rt::Clip(key.keyName));
    if (std::any_of(DQ().begin(), DQ().end(), [&](const KeyScriptRow& r) { return r.keyName == upperKey; }))
      continue;
    KeyScriptRow drop{upperKey, stmt::DropKeyStatement(d, j)};
    Trace(Flag::C, "Added to DropQ: " + drop.sql);
    DQ().push_back(std::move(drop));
    auto declared = std::find_if(Kdq().begin(), Kdq().end(), [&](const KdqRow& k) {
      return stmt::SameKey(d, k, key.keyFileName);
    });
    KeyScriptRow add;
    if (declared != Kdq().end()) {
      stmt::KeyKind kind = stmt::DeclaredKind(*declared);
      if (kind == stmt::KeyKind::None) kind = stmt::KeyKind::Index;  // the server had it
      add = {rt::Upper(rt::Clip(declared->sqlKeyName)),
             stmt::CreateKeyStatement(d, static_cast<size_t>(declared - Kdq().begin()), kind)};
    } else {
      const std::string label = rt::Clip(SqlCheck().tableLabel);
      auto flag = std::find_if(DMKF().begin(), DMKF().end(),
                               [&](const FileFlag& r) { return rt::Clip(r.fileName) == label; });
      bool managed = flag != DMKF().end() ? flag->value != 0 : CurrentOptions().dctMasterKeys != 0;
      if (managed) continue;
      add = {upperKey, stmt::RecreateServerKeyStatement(d, j)};
    }
    Trace(Flag::C, "Added to AddQ: " + add.sql);
    AQ().push_back(std::move(add));
  }
  Trace(Flag::A, "-- End of HandleDependancies  --");
}

}  // namespace upg
