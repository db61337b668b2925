// The Firebird catalogue reader: the table's columns and keys from the
// RDB$ system tables into SFDQ and SKDQ.
#include <cstdlib>
#include <string>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

constexpr Dialect kFirebird = Dialect::Firebird;

long Number(std::string_view text) { return std::strtol(rt::Trim(text).c_str(), nullptr, 10); }

// A name as the catalogue holds it: shortened as every statement writes
// it; a name written without quotes is kept upper-cased by the server.
std::string CatalogueName(std::string_view name) {
  std::string server = ServerName(kFirebird, rt::Clip(name));
  return SqlIdentifier(kFirebird, server) == server ? rt::Upper(server) : server;
}

// The type text of a column from its RDB$FIELD_TYPE code and the sizes.
std::string TypeText(const ResultRowFields& row) {
  const std::string& length = row[2];
  const std::string& precision = row[3];
  std::string scale = std::to_string(std::labs(Number(row[4])));
  long code = Number(row[5]);
  long subType = Number(row[6]);
  auto exact = [&](const char* otherwise) -> std::string {
    if (subType == 1) return "numeric(" + rt::Trim(precision) + "," + scale + ")";
    if (subType == 2) return "decimal(" + rt::Trim(precision) + "," + scale + ")";
    return otherwise;
  };
  switch (code) {
    case 7: return "smallint";
    case 8: return exact("integer");
    case 10: return "float";
    case 12: return "date";
    case 13: return "time";
    case 14: return "char(" + rt::Trim(length) + ")";
    case 16: return exact("bigint");
    case 27: return "double";
    case 35: return "timestamp";
    case 37: return "varchar(" + rt::Trim(length) + ")";
    case 261: return "blob";
    default:
      // Any other type by the catalogue's own name of it (e.g. boolean).
      return rt::Lower(rt::Clip(row[7]));
  }
}

rt::Long ds_FIRLoadFieldQ() {
  Trace(Flag::A, "-- Start of ds_FIRLoadFieldQ  --");
  SFDQ().clear();
  std::string statement =
      "select rn.RDB$Field_Name, rn.RDB$Null_Flag, f.RDB$Field_Length, f.RDB$Field_Precision, "
      "f.RDB$Field_Scale, f.RDB$Field_Type, f.RDB$Field_Sub_Type, t.RDB$Type_Name "
      "from RDB$Relation_Fields rn join RDB$Fields f on (rn.RDB$Field_Source = f.RDB$Field_Name) "
      "join RDB$Types t on (f.RDB$Field_Type = t.RDB$Type) where rn.RDB$Relation_Name = " +
      SqlLiteral(kFirebird, CatalogueName(SqlCheck().tableName)) +
      " and t.RDB$Field_Name = 'RDB$FIELD_TYPE' order by rn.RDB$Field_Position";
  if (RunCatalogueQuery(statement, "fields") != 0) return 1;
  while (NextResultRow()) {
    const ResultRowFields& row = ResultRow();
    // RDB$NULL_FLAG 1 is NOT NULL; 0 or NULL allows nulls.
    rt::Byte nullable = Number(row[1]) == 1 ? 0 : 1;
    AddServerColumn(row[0], TypeText(row), 0, nullable);
  }
  Trace(Flag::A, "-- End of ds_FIRLoadFieldQ " + std::to_string(SFDQ().size()) + " --");
  return 0;
}

rt::Long ds_FIRLoadKeyQ() {
  Trace(Flag::A, "-- Start of ds_FIRLoadKeyQ  --");
  SKDQ().clear();
  TIQ().clear();
  std::string table = SqlLiteral(kFirebird, CatalogueName(SqlCheck().tableName));
  if (RunCatalogueQuery("select rdb$index_name, rdb$unique_flag, rdb$segment_count, "
                        "rdb$index_type from rdb$indices where rdb$relation_name = " +
                            table + " order by rdb$index_name",
                        "keys") != 0)
    return 1;
  while (NextResultRow()) {
    TableInfoRow parked;
    for (size_t i = 0; i < 4; ++i) parked[i] = ResultRow()[i];
    TIQ().push_back(std::move(parked));
  }
  Trace(Flag::C, "Records added to TableInfoQ: " + std::to_string(TIQ().size()));

  for (const TableInfoRow& index : TIQ()) {
    std::string indexName = rt::Clip(index[0]);
    ServerKey key = NewServerKey(indexName, Number(index[1]) == 1 ? "" : "dup", 1);
    std::string name = SqlLiteral(kFirebird, indexName);

    if (RunCatalogueQuery("select rdb$constraint_name, rdb$constraint_type from "
                          "rdb$relation_constraints where rdb$index_name = " +
                              name + " and rdb$relation_name = " + table,
                          "contraints") != 0)
      return 1;
    bool reading = true;
    while (NextResultRow()) {
      if (!reading) continue;  // the rest of the result is not looked at
      std::string type = rt::Upper(rt::Clip(ResultRow()[1]));
      if (type == "PRIMARY KEY") {
        key.att = "primary";
        key.index = 0;
      } else if (type == "UNIQUE") {
        key.att.clear();
        key.index = 0;
      } else {
        reading = false;
      }
    }

    if (RunCatalogueQuery("select rdb$field_name, rdb$field_position from rdb$index_segments "
                          "where rdb$index_name = " +
                              name + " order by rdb$index_name, rdb$field_position",
                          "keyfields") != 0)
      return 1;
    // RDB$INDEX_TYPE 1 is a descending index; 0 or NULL ascending.
    bool descending = Number(index[3]) == 1;
    while (NextResultRow()) AddKeyColumn(key, ResultRow()[0], descending);
    AddServerKey(std::move(key));
  }
  Trace(Flag::A, "-- End of ds_FIRLoadKeyQ  --");
  return 0;
}

}  // namespace

rt::Long ds_FireBirdStructure() {
  Trace(Flag::A, "-- Start of ds_FireBirdStructure  --");
  ReadNamesOf(Dialect::Firebird);
  rt::Long result = ds_FIRLoadFieldQ();
  if (result == 0) result = ds_FIRLoadKeyQ();
  Trace(Flag::A, "-- End of ds_FireBirdStructure  --");
  return result;
}

}  // namespace upg
