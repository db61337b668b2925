// The rename check: an old table named in OFN gets the file's new name.
#include "velmora/upgrade/renamecheck.h"

#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sqltext.h"
#include "velmora/upgrade/version_rows.h"

namespace upg {
namespace {

rt::Long RenameTable(std::string_view server, const OldFileName& row, std::string_view fileName) {
  std::string oldName = rt::Clip(row.sqlOldName), newName = rt::Clip(fileName);
  std::string code = rt::Upper(rt::Clip(server));
  std::string flavour = rt::Upper(rt::Clip(ODBCFlavour()));
  if (code == "ODB" && flavour == "FIREBIRD") return 1;  // Firebird cannot rename a table
  std::string statement = RenameStatement(server, flavour, oldName, newName);
  // The rename runs on the system table's statement file, which the
  // existence test may have left closed.
  OpenRV3SQLFile(code);
  if (ExecuteSQLStatement(rt::Clip(statement), 0) != 0) {
    Trace(Flag::C, "Rename failed. Reason: " + rt::Clip(rt::FileErrorText()));
    return 1;
  }
  Trace(Flag::C, "Rename Successful: From " + oldName + " to " + newName);
  return 0;
}

}  // namespace

std::vector<OldFileName>& OldFileNames() { return OFN(); }

std::string RenameStatement(std::string_view server, std::string_view flavour,
                            std::string_view oldName, std::string_view newName) {
  Dialect d = DialectOf(server, flavour);
  // The old table is looked for where the new one is named: an old name
  // without an owner takes the new name's. SQL Server, SQL Anywhere and
  // Oracle give a table a new name within its owner: the new name is bare.
  size_t dot = newName.find('.');
  std::string owner = dot == std::string_view::npos ? std::string() : std::string(newName.substr(0, dot));
  std::string bareNew(dot == std::string_view::npos ? newName : newName.substr(dot + 1));
  std::string old(oldName);
  if (!owner.empty() && old.find('.') == std::string::npos) old = owner + "." + old;
  std::string bareOld = old.substr(old.find('.') == std::string::npos ? 0 : old.find('.') + 1);
  switch (d) {
    case Dialect::MsSql: return "CALL sp_rename(" + SqlLiteral(d, old) + "," + SqlLiteral(d, bareNew) + ")";
    case Dialect::Oracle:
      return "Rename " + SqlTableName(d, bareOld) + " to " + SqlTableName(d, bareNew);
    case Dialect::Anywhere: return "Alter table " + SqlTableName(d, old) + " rename " + SqlTableName(d, bareNew);
    case Dialect::MySql: return "ALTER TABLE " + SqlTableName(d, old) + " RENAME " + SqlTableName(d, newName);
    case Dialect::Firebird:
    case Dialect::Odbc: return {};
  }
  return {};
}

rt::Long ds_RenameCheck(std::string_view server, std::string_view fileName,
                        std::string_view tableLabel) {
  Trace(Flag::A, "ds_RenameCheck IN: " + std::string(fileName));
  rt::Long result = 2;
  const std::vector<OldFileName>& ofn = OldFileNames();
  if (!ofn.empty()) {
    Trace(Flag::B, "Searching OLD name q: " + std::string(fileName) +
                       " records to search: " + std::to_string(ofn.size()));
    std::string name = rt::Upper(rt::Clip(fileName)), label = rt::Upper(rt::Clip(tableLabel));
    for (const OldFileName& row : ofn) {
      std::string wanted = rt::Upper(rt::Clip(row.newName));
      if (wanted == name) {
        Trace(Flag::B, "Found Old Name [1]: " + row.sqlOldName + " " + std::string(fileName));
      } else if (wanted == label) {
        Trace(Flag::B, "Found Old Name [2]: " + row.sqlOldName + " " + std::string(tableLabel));
      } else {
        continue;
      }
      result = RenameTable(server, row, fileName);
      break;
    }
  }
  Trace(Flag::A, "ds_RenameCheck OUT: " + std::to_string(result));
  return result;
}

}  // namespace upg
