// The Oracle catalogue reader: the current user's dictionary views give the
// table's columns, its indexes and its key constraints.
#include <algorithm>
#include <string>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

std::string Lit(std::string_view text) { return SqlLiteral(Dialect::Oracle, text); }

// The dictionary keeps unquoted names upper-cased; so does every query here.
std::string TableLiteral() { return Lit(rt::Upper(SqlCheck().tableName)); }

rt::Long ds_ORALoadFieldQ() {
  Trace(Flag::A, "-- Start of ds_ORALoadFieldQ  --");
  SFDQ().clear();
  if (!CatalogueQuery("select * from user_tab_columns where table_name = " + TableLiteral(), kM34,
                      "columns", " "))
    return 1;
  ServerColumn column;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    const std::string& dataType = r[2];
    SetColumnName(column, r[1]);
    column.autoNum = 0;
    SetNullableFlag(column.nullable, r[8]);
    if (rt::Upper(dataType) == "NUMBER")
      SetColumnType(column, dataType + "(" + r[6] + "," + r[7] + ")");
    else
      SetColumnType(column, dataType + "(" + r[5] + ")");
    Trace(Flag::C, "ORA: sfdq: " + column.name + " " + column.type + " gsfg: " + dataType + " !!");
    column.match = 0;
    SFDQ().push_back(column);
  }
  Trace(Flag::A, "-- End of ds_ORALoadFieldQ  --");
  return 0;
}

bool Descending(std::string_view descend) {
  std::string d = rt::Upper(rt::Clip(descend));
  return d == "DESC" || d == "Y";
}

bool Parked(const std::string& upperName) {
  return std::any_of(TIQ().begin(), TIQ().end(),
                     [&](const TableInfoRow& row) { return row[0] == upperName; });
}

rt::Long ds_ORALoadKeyQ() {
  const std::string table = TableLiteral();
  Trace(Flag::A, "-- Start of ds_ORALoadKeyQ  --");
  SKDQ().clear();
  TIQ().clear();

  // Indexes, one row per column in column order.
  if (!CatalogueQuery("select * from user_ind_columns where table_name = " + table +
                          " order by index_name, column_position",
                      kM34, "index cols", " - "))
    return 1;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    if (r[0].empty()) continue;
    if (AddKeyRowColumn(r[0], r[2], Descending(r[6]))) {
      SKDQ().back().index = 1;
      TIQ().push_back(TableInfoRow{SKDQ().back().keyName});
    }
  }

  // Key constraints; one backed by an index read above only marks that index.
  if (!CatalogueQuery("select * from user_cons_columns where table_name = " + table +
                          " order by constraint_name, position",
                      kM42, "constraints", " - "))
    return 1;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    const std::string& name = r[1];
    if (name.empty()) continue;
    if (Parked(rt::Upper(name))) {
      if (ServerKey* k = FindServerKey(name)) k->index = 0;
    } else if (AddKeyRowColumn(name, r[3], false)) {
      SKDQ().back().index = 0;
    }
  }

  // The kind of every key: unique, primary or duplicates allowed.
  for (ServerKey& key : SKDQ()) {
    const bool isIndex = key.index == 1;
    std::string query =
        isIndex ? "select UNIQUENESS from user_indexes where table_name = " + table +
                      " and index_name = " + Lit(key.keyFileName)
                : "select CONSTRAINT_TYPE from user_constraints where table_name = " + table +
                      " and constraint_name = " + Lit(key.keyFileName);
    if (!CatalogueQuery(query, kM34, isIndex ? "indexes" : "constraint type", " - ")) return 1;
    NextResultRow();
    std::string kind = rt::Upper(ResultRow()[0]);
    if (kind == "UNIQUE" || kind == "U") {
      key.att.clear();
    } else if (kind == "P") {
      key.att = "primary";
    } else {
      key.att = "dup";
    }
  }
  Trace(Flag::A, "-- End of ds_ORALoadKeyQ :: records added to SqlKeyQ: " +
                     std::to_string(SKDQ().size()) + " --");
  return 0;
}

}  // namespace

rt::Long ds_OracleStructure() {
  Trace(Flag::B, "-- Start of ds_OracleStructure  --");
  ReadNamesOf(Dialect::Oracle);
  if (rt::Long r = ds_ORALoadFieldQ()) return r;
  return ds_ORALoadKeyQ();
}

}  // namespace upg
