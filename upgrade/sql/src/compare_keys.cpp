// Comparing the declared keys with the server's keys, and the statements
// that create and drop keys in each dialect.
#include <algorithm>
#include <string>
#include <vector>

#include "statement_text.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg {
namespace stmt {
namespace {

bool Contains(std::string_view text, std::string_view word) {
  return rt::Lower(text).find(word) != std::string::npos;
}

// Firebird indexes run one way for all their columns: descending when
// every part of the key is.
bool AllDescending(const rt::Short* nums, size_t count) {
  if (count == 0) return false;
  for (size_t i = 0; i < count; ++i)
    if (nums[i] >= 0) return false;
  return true;
}

std::string Build(Dialect d, KeyKind kind, std::string_view keyName, const std::string& list,
                  bool allDescending) {
  const std::string k = Id(d, keyName), t = Table(d);
  switch (kind) {
    case KeyKind::None: return {};
    case KeyKind::Index:
    case KeyKind::UniqueIndex: {
      std::string sql = std::string("CREATE ") + (kind == KeyKind::UniqueIndex ? "UNIQUE " : "") +
                        (d == Dialect::Firebird && allDescending ? "DESCENDING " : "") + "INDEX " +
                        k + " ON " + t + " (" + list + ")";
      if (d == Dialect::Oracle) {
        std::string space = GetTableSpace(keyName, "I");
        if (!space.empty()) sql += " TABLESPACE " + Id(d, space);
      }
      return sql;
    }
    case KeyKind::PrimaryKey:
      if (d == Dialect::Anywhere || d == Dialect::MySql)
        return "ALTER TABLE " + t + " ADD PRIMARY KEY (" + list + ")";
      return "ALTER TABLE " + t + " ADD CONSTRAINT " + k + " PRIMARY KEY (" + list + ")";
    case KeyKind::UniqueConstraint:
      if (d == Dialect::Anywhere) return "ALTER TABLE " + t + " ADD UNIQUE (" + list + ")";
      return "ALTER TABLE " + t + " ADD CONSTRAINT " + k + " UNIQUE (" + list + ")";
  }
  return {};
}

}  // namespace

bool HeldDescending(Dialect d, const KdqRow& key, size_t part) {
  size_t count = std::min(key.fieldNums.size(), static_cast<size_t>(std::max<rt::Long>(key.numFields, 0)));
  if (d == Dialect::Firebird) return AllDescending(key.fieldNums.data(), count);
  return part < key.fieldNums.size() && key.fieldNums[part] < 0;
}

KeyKind DeclaredKind(const KdqRow& key) {
  if (Contains(key.att, "primary")) return KeyKind::PrimaryKey;
  if (Contains(key.att, "dup")) return key.dctMaster ? KeyKind::Index : KeyKind::None;
  return key.dctMaster ? KeyKind::UniqueIndex : KeyKind::UniqueConstraint;
}

KeyKind ServerKind(const ServerKey& key) {
  if (Contains(key.att, "primary")) return KeyKind::PrimaryKey;
  if (Contains(key.att, "dup")) return KeyKind::Index;
  return key.index ? KeyKind::UniqueIndex : KeyKind::UniqueConstraint;
}

std::string CreateKeyStatement(Dialect d, size_t row, KeyKind kind) {
  if (kind == KeyKind::None) return {};
  const KdqRow& key = Kdq().at(row);
  std::string list = CommaSeperateAndDescCheck("D", row, d);
  size_t count = std::min(key.fieldNums.size(), static_cast<size_t>(std::max<rt::Long>(key.numFields, 0)));
  bool descending = AllDescending(key.fieldNums.data(), count);
  if (d == Dialect::Firebird && !descending &&
      std::any_of(key.fieldNums.begin(), key.fieldNums.begin() + static_cast<std::ptrdiff_t>(count),
                  [](rt::Short n) { return n < 0; }))
    Trace(Flag::A, "Key " + rt::Clip(key.sqlKeyName) +
                       " mixes directions; a Firebird index runs one way: it is created ascending.");
  return Build(d, kind, rt::Clip(key.sqlKeyName), list, descending);
}

std::string RecreateServerKeyStatement(Dialect d, size_t row) {
  const ServerKey& key = SKDQ().at(row);
  std::string list = CommaSeperateAndDescCheck("S", row, d);
  size_t count = std::min(key.fieldNums.size(), static_cast<size_t>(std::max<rt::Long>(key.numFields, 0)));
  return Build(d, ServerKind(key), rt::Clip(key.keyFileName), list,
               AllDescending(key.fieldNums.data(), count));
}

std::string DropKeyStatement(Dialect d, size_t row) {
  const ServerKey& key = SKDQ().at(row);
  const std::string k = Id(d, key.keyFileName), t = Table(d);
  const bool primary = Contains(key.att, "primary");
  switch (d) {
    case Dialect::MsSql:
      return key.index ? "Drop Index " + t + "." + k : "Alter Table " + t + " Drop Constraint " + k;
    case Dialect::Anywhere:
      if (key.index) return "Drop Index " + k;
      if (primary) return "Alter Table " + t + " Drop Primary Key";
      return "Alter Table " + t + " Drop Unique(" + CommaSeperateAndDescCheck("S", row, d) + ")";
    case Dialect::MySql:
      return primary ? "Alter Table " + t + " Drop Primary Key" : "Alter Table " + t + " Drop Index " + k;
    case Dialect::Oracle:
    case Dialect::Firebird:
    case Dialect::Odbc:
      return key.index ? "Drop Index " + k : "Alter Table " + t + " Drop Constraint " + k;
  }
  return {};
}

}  // namespace stmt

namespace {

using stmt::Folded;

void SortByCreateFlag() {
  std::stable_sort(Kdq().begin(), Kdq().end(),
                   [](const KdqRow& a, const KdqRow& b) { return a.dctMaster > b.dctMaster; });
}

void MarkKeyMatched(KdqRow& declared, ServerKey& server) {
  declared.match = 1;
  server.match = 1;
  Trace(Flag::C, "Match found for: " + declared.sqlKeyName);
}

void CreateKey(Dialect d, size_t row) {
  std::string sql = stmt::CreateKeyStatement(d, row, stmt::DeclaredKind(Kdq()[row]));
  if (!sql.empty()) stmt::Queue(std::move(sql));
}

void DropAndRecreateKey(Dialect d, size_t declared, size_t server) {
  stmt::Queue(stmt::DropKeyStatement(d, server));
  CreateKey(d, declared);
}

std::string DeclaredClass(const KdqRow& key) {
  if (rt::Lower(key.att).find("primary") != std::string::npos) return "primary";
  if (rt::Lower(key.att).find("dup") != std::string::npos) return "dup";
  return {};
}

bool InDropQueue(const ServerKey& key) {
  std::string name = rt::Upper(rt::Clip(key.keyName));
  return std::any_of(DQ().begin(), DQ().end(), [&](const KeyScriptRow& r) { return r.keyName == name; });
}

bool InAddQueue(const KdqRow& declared, const ServerKey& server) {
  std::string a = rt::Upper(rt::Clip(declared.sqlKeyName)), b = rt::Upper(rt::Clip(server.keyName));
  return std::any_of(AQ().begin(), AQ().end(),
                     [&](const KeyScriptRow& r) { return r.keyName == a || r.keyName == b; });
}

// The server key runs the way the declared key is created: on Firebird,
// one direction for the whole index (see stmt::HeldDescending).
bool SameDirections(Dialect d, const KdqRow& declared, const ServerKey& server) {
  size_t count = static_cast<size_t>(std::max<rt::Long>(declared.numFields, 0));
  for (size_t i = 0; i < count && i < declared.fieldNums.size() && i < server.fieldNums.size(); ++i)
    if (stmt::HeldDescending(d, declared, i) != (server.fieldNums[i] < 0)) return false;
  return true;
}

}  // namespace

void CompareKeys(std::string_view server) { CompareKeys(DialectOf(server, ODBCFlavour())); }

void CompareKeys(Dialect d) {
  Trace(Flag::A, "-- Start of CompareKeys  --");
  std::vector<KdqRow>& kdq = Kdq();
  std::vector<ServerKey>& skdq = SKDQ();
  const std::string prefix = rt::Clip(FilePrefix());
  SortByCreateFlag();
  for (size_t i = 0; i < kdq.size(); ++i) {
    KdqRow& key = kdq[i];
    bool unmanagedDup = key.dctMaster == 0 && rt::Lower(key.att).find("dup", 1) != std::string::npos;
    if (unmanagedDup || key.match) continue;
    stmt::Advance(i + 1, kdq.size());
    for (size_t j = 0; j < skdq.size(); ++j) {
      ServerKey& sk = skdq[j];
      if (sk.match) continue;
      std::string dn = stmt::ServerFolded(d, key.sqlKeyName), sn = Folded(d, sk.keyFileName);
      std::string dl = stmt::ServerFolded(d, key.fields), sl = stmt::ServerFolded(d, sk.fields);
      Trace(Flag::C, "comparing d: " + dn + ", s: " + sn);
      const std::string label = LabelKeyName(d, key);
      if (dn == sn || (!label.empty() && stmt::ServerFolded(d, label) == sn)) {
        // A key the column changes drop is created from the declaration
        // after them: by the add queue when they re-create it, else here.
        if (InDropQueue(sk)) {
          if (!InAddQueue(key, sk)) CreateKey(d, i);
          MarkKeyMatched(key, sk);
          break;
        }
        if (dl != sl || DeclaredClass(key) != rt::Lower(rt::Clip(sk.att)) || !SameDirections(d, key, sk))
          DropAndRecreateKey(d, i, j);
        MarkKeyMatched(key, sk);
        break;
      }
      bool declaredPrimary = rt::Upper(key.att).find("PRIMARY") != std::string::npos;
      bool primaryPair =
          ((d == Dialect::MsSql || d == Dialect::Anywhere) && declaredPrimary &&
           rt::Upper(sk.att).find("PRIMARY") != std::string::npos) ||
          (d == Dialect::MySql && declaredPrimary && rt::Upper(rt::Clip(sk.keyName)) == "PRIMARY");
      if (primaryPair) {
        if (dl != sl || !SameDirections(d, key, sk)) DropAndRecreateKey(d, i, j);
        MarkKeyMatched(key, sk);
        break;
      }
      // The convention names a key by its label, whatever name the table
      // and label make here.
      const std::string labelName = label.empty() ? rt::Clip(key.sqlKeyName) : label;
      if (stmt::ServerFolded(d, prefix + "_" + labelName) == sn) {
        Trace(Flag::A,
              "IMPORTANT: RV3 detects a key named in the recommended PRE_KeyName convention,\r\n"
              "howvever, the External Name for this key in the dictionary does not match it.\r\n"
              "RV3 will ignore this key: " + dn + " (" + sn + ")\r\n"
              "Please set your External Name correctly for each key to allow RV3 management,\r\n"
              "and avoid this error!");
        MarkKeyMatched(key, sk);
        break;
      }
    }
  }
  SortByCreateFlag();
  for (size_t i = 0; i < kdq.size(); ++i)
    if (!kdq[i].match) CreateKey(d, i);
  if (SqlCheck().dctKeysMaster) {
    for (size_t j = 0; j < skdq.size(); ++j)
      if (!skdq[j].match && !InDropQueue(skdq[j])) stmt::Queue(stmt::DropKeyStatement(d, j));
  }
  Trace(Flag::A, "-- End of CompareKeys  --");
}

}  // namespace upg
