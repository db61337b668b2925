#pragma once
// Declarations and scenarios shared by the statement builders' tests: the
// synthetic declaration with every type, key kind and memo, the script of
// a new table in a dialect, and a comparison against server columns and
// keys filled by hand.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"

namespace sqltest {

using T = db::Type;

// Every declared type with a column of its own, a date-time pair, a long
// text, all four key kinds (one descending part) and both memo kinds.
// A driver and a file name are given for a table on a server. Version 2
// changes it: B goes, S becomes a LONG, QTY is added with a key of its
// own, Big_Key goes and Code_Key also takes ID.
inline std::unique_ptr<db::FileDecl> EveryType(const std::string& label = "Syn",
                                               const std::string& driver = "",
                                               const std::string& name = "", int version = 1) {
  const bool changed = version >= 2;
  const int32_t n = changed ? 1 : 0;  // field numbers after B move up by one
  db::DeclBuilder b(label, "SYN");
  if (!driver.empty()) b.Driver(driver).Name(name);
  b.Field(T::Long, "ID");                      // 1
  if (!changed) b.Field(T::Byte, "B");         // 2
  b.Field(changed ? T::Long : T::Short, "S")   // 3
      .Field(T::UShort, "US")                  // 4
      .Field(T::ULong, "UL")                   // 5
      .Field(T::SReal, "SR")                   // 6
      .Field(T::Real, "R")                     // 7
      .Field(T::Decimal, "DECI", 7, 2)         // 8
      .Field(T::PDecimal, "PD", 5, 1)          // 9
      .Field(T::Date, "D")                     // 10
      .Field(T::Time, "T")                     // 11
      .Field(T::String, "STAMP", 8)            // 12
      .BeginGroup("STAMPPARTS").Over("SYN:STAMP")  // 13
      .Field(T::Date, "STAMPDATE")             // 14
      .Field(T::Time, "STAMPTIME")             // 15
      .EndGroup()
      .Field(T::CString, "NAME", 31).ExtName("\"FullName\"")  // 16
      .Field(T::String, "CODE", 10)            // 17
      .Field(T::String, "BIG", 300);           // 18
  if (changed) b.Field(T::Long, "QTY");        // 19 - 1
  b.Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Name_Key", {16 - n, -(17 - n)}, db::kKeyDup)
      .Key("Code_Key", changed ? std::vector<int32_t>{17 - n, 1} : std::vector<int32_t>{17}, 0);
  if (changed)
    b.Key("Qty_Key", {19 - n}, db::kKeyDup);
  else
    b.Key("Big_Key", {18}, db::kKeyDup);
  return b.Memo("NOTES", db::kMemoText, 500).Memo("IMAGE", db::kMemoBinary, 0).Build();
}

// Interprets `file` for a dialect as the SQL check does and names it.
inline void Prepare(db::FileDecl& file, upg::Dialect d) {
  upg::ServerCaseKnown() = 0;
  upg::ServerCaseSensitive() = 0;
  upg::DateTimeQueue().clear();
  upg::SQLTableName() = file.Label();
  upg::SqlCheck().tableLabel = file.Label();
  upg::ds_InterpretStructure(file);
  upg::ds_SetSQLNames("ODB", d);
}

inline void ClearQueues() {
  upg::SQ().clear();
  upg::DQ().clear();
  upg::AQ().clear();
}

// Every list and flag the statement builders read, as at start.
inline void ResetStatementState() {
  ClearQueues();
  upg::SFDQ().clear();
  upg::SKDQ().clear();
  upg::ForcedTypes().clear();
  upg::IQ().clear();
  upg::ITQ().clear();
  upg::BFQ().clear();
  upg::BFILQ().clear();
  upg::TSQ().clear();
  upg::ISQ().clear();
  upg::ForgetUsedAlternates();
  upg::SqlCheck() = {};
  upg::OpenHookState().identityInsert = false;
}

// The statements of the queues, DQ, SQ, AQ in running order.
inline std::vector<std::string> Queued() {
  std::vector<std::string> out;
  for (const upg::KeyScriptRow& r : upg::DQ()) out.push_back(r.sql);
  for (const upg::ScriptRow& r : upg::SQ()) out.push_back(r.sql);
  for (const upg::KeyScriptRow& r : upg::AQ()) out.push_back(r.sql);
  return out;
}

// The statements creating `file` in a dialect.
inline std::vector<std::string> CreateScript(db::FileDecl& file, upg::Dialect d) {
  Prepare(file, d);
  ClearQueues();
  upg::QueueCreateTable(d);
  return Queued();
}

inline upg::ServerColumn Column(std::string name, std::string type, rt::Byte nullable = 1) {
  upg::ServerColumn c;
  c.name = rt::Upper(name);
  c.altName = std::move(name);
  c.type = std::move(type);
  c.nullable = nullable;
  return c;
}

inline upg::ServerKey Key(std::string name, std::string att, std::vector<std::string> fields,
                          rt::Byte index, std::vector<short> nums = {}) {
  upg::ServerKey k;
  k.keyName = rt::Upper(name);
  k.keyFileName = std::move(name);
  k.att = std::move(att);
  for (const std::string& f : fields) k.fields += " " + f;
  k.numFields = static_cast<rt::Long>(fields.size());
  for (size_t i = 0; i < fields.size(); ++i)
    k.fieldNums[i] = i < nums.size() ? nums[i] : static_cast<short>(i + 1);
  k.index = index;
  return k;
}

// The old and the new declaration of the comparison scenario.
inline std::unique_ptr<db::FileDecl> CmpOld() {
  return db::DeclBuilder("Cmp", "CMP")
      .Field(T::Long, "ID")
      .Field(T::CString, "NAME", 31)
      .Field(T::Short, "QTY")
      .Field(T::Short, "OLDNAME")
      .Field(T::Long, "GONE")
      .Field(T::String, "BIG", 300)
      .Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Qty_Key", {3}, db::kKeyDup)
      .Key("Gone_Key", {5}, db::kKeyDup)
      .Memo("NOTES", db::kMemoText, 500)
      .Build();
}
// NAME gets an external name, QTY a wider type, OLDNAME is renamed
// through an alternate name, GONE goes, NEWCOL and IMAGE come; Qty_Key
// gets a second column and Code_Key is new.
inline std::unique_ptr<db::FileDecl> CmpNew() {
  return db::DeclBuilder("Cmp", "CMP")
      .Field(T::Long, "ID")
      .Field(T::CString, "NAME", 31).ExtName("\"FullName\"")
      .Field(T::Long, "QTY")
      .Field(T::Short, "RENAMED")
      .Field(T::String, "NEWCOL", 10)
      .Field(T::String, "BIG", 300)
      .Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Qty_Key", {3, -2}, db::kKeyDup)
      .Key("Code_Key", {5}, 0)
      .Memo("NOTES", db::kMemoText, 500)
      .Memo("IMAGE", db::kMemoBinary, 0)
      .Build();
}

// SFDQ and SKDQ as a reader finds the table made from `file` in a
// dialect: unquoted names as the server keeps them (a name declared
// between quotes exactly), the declared types, and on Firebird each index
// one way.
inline void ServerOf(db::FileDecl& file, upg::Dialect d) {
  Prepare(file, d);
  const bool upper = d == upg::Dialect::Firebird || d == upg::Dialect::Oracle;
  auto spelled = [&](const std::string& n) {
    std::string s = upg::ServerName(d, rt::Trim(n));
    return upper && !upg::ExactName(s) ? rt::Upper(s) : s;
  };
  std::vector<upg::ServerColumn> cols;
  std::vector<upg::ServerKey> keys;
  for (size_t i = 0; i < upg::Fdq().size(); ++i) {
    if (upg::Fdq()[i].match) continue;
    std::string type = upg::GetSQLDatatype(i + 1, upg::Fdq()[i].type, d);
    if (upg::GroupDetected()) continue;
    cols.push_back(Column(spelled(upg::Fdq()[i].sqlName), type));
  }
  for (const upg::MdqRow& m : upg::Mdq()) cols.push_back(Column(spelled(m.sqlName), upg::GetSQLBlobType(m, d)));
  for (const upg::KdqRow& k : upg::Kdq()) {
    std::string lower = rt::Lower(k.att);
    bool primary = lower.find("primary") != std::string::npos;
    std::vector<std::string> fields;
    for (size_t p = 0; p < k.fields.size();) {
      while (p < k.fields.size() && k.fields[p] == ' ') ++p;
      size_t e = k.fields.find(' ', p);
      if (e == std::string::npos) e = k.fields.size();
      if (e > p) fields.push_back(spelled(k.fields.substr(p, e - p)));
      p = e;
    }
    std::vector<short> nums(k.fieldNums.begin(), k.fieldNums.end());
    if (d == upg::Dialect::Firebird && std::any_of(nums.begin(), nums.end(), [](short n) { return n > 0; }))
      for (short& n : nums) n = static_cast<short>(n < 0 ? -n : n);
    upg::ServerKey key = Key(spelled(k.sqlKeyName), primary ? "primary" : lower.find("dup") != std::string::npos ? "dup" : "",
                             fields, primary ? 0 : k.dctMaster, nums);
    if (primary && d == upg::Dialect::MySql) key.keyName = "PRIMARY", key.keyFileName = "PRIMARY";
    for (upg::ServerColumn& c : cols)
      for (const std::string& f : fields)
        if (rt::Upper(f) == c.name) {
          c.dependant = 1;
          if (primary) c.nullable = 0;
        }
    keys.push_back(key);
  }
  upg::SFDQ() = cols;
  upg::SKDQ() = keys;
}

// The comparison of `declared` with the server's `server` table.
inline std::vector<std::string> CompareScript(db::FileDecl& server, db::FileDecl& declared, upg::Dialect d) {
  ServerOf(server, d);
  Prepare(declared, d);
  upg::SqlCheck().dctFieldsMaster = 1;
  upg::SqlCheck().dctKeysMaster = 1;
  ClearQueues();
  upg::CompareFields(d);
  upg::CompareKeys(d);
  return Queued();
}

}  // namespace sqltest
