// The SQL Anywhere catalogue reader: the primary key comes with the column
// list (its pkey flags), the other keys from the index system tables.
#include <string>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

constexpr std::string_view kPrimaryKeyName = "PrimaryKey";

// The table being read has its primary-key row in SKDQ.
rt::Byte& PrimaryKeyLoaded() {
  static rt::Byte loaded = 0;
  return loaded;
}

// The table's name, and its owner's where the file's name gives one: the
// catalogue names the tables of every owner.
std::string TableLiteral() {
  std::string owner = rt::Clip(SqlCheck().tableOwner);
  return SqlLiteral(Dialect::Anywhere, SqlCheck().tableName) +
         (owner.empty() ? std::string() : " and user_name(t.creator) = " + SqlLiteral(Dialect::Anywhere, owner));
}

// A primary-key column of the column list: the first starts the table's
// primary-key row, the others are appended to it in the order they come.
void AddPrimaryKeyColumn(const std::string& columnName) {
  if (PrimaryKeyLoaded() == 1) {
    if (ServerKey* key = FindServerKey(kPrimaryKeyName)) AddKeyColumn(*key, columnName, false, false);
  } else {
    SKDQ().clear();
    TIQ().clear();
    ServerKey key;
    StartKey(key, kPrimaryKeyName);
    AddKeyColumn(key, columnName, false, false);
    key.att = "primary";
    SKDQ().push_back(std::move(key));
    PrimaryKeyLoaded() = 1;
  }
  SFDQ().back().dependant = 1;
}

rt::Long ds_ASALoadFieldQ() {
  Trace(Flag::A, "-- Start of ds_ASALoadFieldQ  --");
  SFDQ().clear();
  PrimaryKeyLoaded() = 0;
  // In column order, so that a primary key over several columns lists them
  // in the table's order.
  if (!CatalogueQuery(
          "select c.column_name, c.nulls, c.width, c.scale, d.domain_name, c.\"default\", "
          "c.pkey, c.column_id from sys.syscolumn c inner join sys.systable t on c.table_id = "
          "t.table_id inner join sys.sysdomain d on c.domain_id = d.domain_id where "
          "t.table_name = " +
              TableLiteral() + " order by c.column_id",
          kM34, "fields", " "))
    return 1;
  ServerColumn column;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    SetColumnName(column, r[0]);
    column.autoNum = r[5] == "autoincrement" ? 1 : 0;
    // The nulls column says "Y" for a column that allows nulls.
    column.nullable = static_cast<rt::Byte>(CatalogueNumber(r[1]));
    SetNullableFlag(column.nullable, r[1]);
    if (CatalogueNumber(r[3]) != 0)
      SetColumnType(column, r[4] + "(" + r[2] + "," + r[3] + ")");
    else
      SetColumnType(column, r[4] + "(" + r[2] + ")");
    column.match = 0;
    SFDQ().push_back(column);
    if (r[6] == "Y") AddPrimaryKeyColumn(r[0]);
  }
  Trace(Flag::A, "-- End of ds_ASALoadFieldQ :: records added to SqlFieldQ: " +
                     std::to_string(SFDQ().size()) + " --");
  return 0;
}

rt::Long ds_ASALoadKeyQ() {
  Trace(Flag::A, "-- Start of ds_ASALoadKeyQ  --");
  if (PrimaryKeyLoaded() == 0) {
    SKDQ().clear();
    TIQ().clear();
  }
  // One row per index column; an index's rows come together, in key order.
  if (!CatalogueQuery(
          "select i.index_name, c.column_name, i.\"unique\", ic.sequence, ic.\"order\", "
          "t.table_name from sysindex i, syscolumn c, sysixcol ic, systable t where "
          "t.table_name = " +
              TableLiteral() +
              "and i.table_id = t.table_id and c.table_id = t.table_id and ic.table_id = "
              "t.table_id and i.index_id = ic.index_id and c.column_id = ic.column_id "
              "order by i.index_name, ic.sequence",
          kM34, "indexes", " - "))
    return 1;
  // A new key starts from the one before it: an unknown kind keeps its ATT
  // and INDEX.
  ServerKey buffer;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    if (!AddKeyRowColumn(r[0], r[1], r[4] == "D", buffer)) continue;
    ServerKey& key = SKDQ().back();
    const std::string& unique = r[2];
    if (unique == "Y" || unique == "U") key.att.clear();
    if (unique == "N") key.att = "dup";
    if (unique == "Y" || unique == "N") key.index = 1;
    if (unique == "U") key.index = 0;
    buffer = key;
  }
  Trace(Flag::A, "-- End of ds_ASALoadKeyQ :: records added to SqlKeyQ: " +
                     std::to_string(SKDQ().size()) + " --");
  return 0;
}

}  // namespace

rt::Long ds_ASAStructure() {
  Trace(Flag::A, "-- Start of ds_ASAStructure  --");
  ReadNamesOf(Dialect::Anywhere);
  if (rt::Long r = ds_ASALoadFieldQ()) return r;
  if (rt::Long r = ds_ASALoadKeyQ()) return r;
  Trace(Flag::A, "-- End of ds_ASAStructure  --");
  return 0;
}

}  // namespace upg
