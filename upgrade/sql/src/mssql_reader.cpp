// The SQL Server catalogue reader (columns, linked server, keys through the
// server's system procedures) and the utility procedure made once per run.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

std::string Lit(std::string_view text) { return SqlLiteral(Dialect::MsSql, text); }

// "CALL name('a','b',...)".
std::string Call(std::string_view procedure, std::initializer_list<std::string_view> args) {
  std::string s = "CALL " + std::string(procedure) + "(";
  bool first = true;
  for (std::string_view a : args) {
    if (!first) s += ",";
    s += Lit(a);
    first = false;
  }
  return s + ")";
}

// The option "remotemachinename"; the linked-server set-up may extend it
// with the server's instance, and the extended name stays for the run.
std::string& RemoteMachineName() {
  static std::string option, name;
  const std::string& now = CurrentOptions().remoteMachineName;
  if (now != option) option = name = now;
  return name;
}

rt::Long& MSSDecimalPrecision() {
  static rt::Long precision = 38;
  return precision;
}

bool Holds(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The server `name` known as a linked server: added when missing; a failure
// other than "already exists" is reported, and the reader goes on.
void AddLinkedServer(const std::string& name) {
  if (ExecuteSQLStatement(Call("sp_addlinkedserver", {name, "SQL Server"}), 0) == 0) return;
  std::string text = rt::FileErrorText();
  if (Holds(text, "already exists")) return;
  ReportSql(kM35, rt::FileErrorState() + " - " + text);
}

// The linked server `name` allowed to access data.
void AllowDataAccess(const std::string& name) {
  if (ExecuteSQLStatement(Call("sp_helpserver", {name}), 0) != 0) return;
  NextResultRow();
  if (Holds(rt::Upper(ResultRow()[2]), "DATA ACCESS")) return;
  if (ExecuteSQLStatement(Call("sp_serveroption", {name, "DATA ACCESS", "TRUE"}), 0) != 0)
    ReportSql(kM36, rt::FileErrorState() + " - " + rt::FileErrorText());
}

rt::Long ds_MSSLoadFieldQ() {
  const SqlCheckState& check = SqlCheck();
  Trace(Flag::A, "-- Start of ds_MSSLoadFieldQ  --");
  SFDQ().clear();
  if (!CatalogueQuery(Call("sp_columns", {check.tableName, check.tableOwner}), kM34, "sp_columns",
                      " "))
    return 1;
  ServerColumn column;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    const std::string& typeName = r[5];
    std::string upperType = rt::Upper(typeName);
    SetColumnName(column, r[3]);
    column.autoNum = 0;
    column.nullable = static_cast<rt::Byte>(CatalogueNumber(r[10]));
    size_t identity = upperType.find("IDENTITY");
    if (upperType == "DECIMAL") {
      SetColumnType(column, typeName + "(" + r[6] + "," + r[8] + ")");
    } else if (identity != std::string::npos) {
      SetColumnType(column, rt::Clip(typeName.substr(0, identity)) + "(" + r[7] + ")");
      column.autoNum = 1;
    } else {
      SetColumnType(column, typeName + "(" + r[7] + ")");
    }
    column.match = 0;
    SFDQ().push_back(column);
  }
  Trace(Flag::A, "-- End of ds_MSSLoadFieldQ :: Records Added: " + std::to_string(SFDQ().size()) +
                     " --");
  return 0;
}

rt::Long ds_MSSLinkedServer() {
  const std::string& server = SqlCheck().serverName;
  std::string& remote = RemoteMachineName();
  Trace(Flag::A, "-- Start of ds_MSSLinkedServer  --");
  size_t instance = server.find('\\');
  if (!remote.empty() && instance != std::string::npos && !Holds(remote, "\\"))
    remote += server.substr(instance);

  bool found = false;
  if (ExecuteSQLStatement("CALL sp_linkedservers", 0) == 0) {
    std::string upperServer = rt::Upper(server);
    while (!found && NextResultRow()) found = rt::Upper(ResultRow()[0]) == upperServer;
    std::string upperRemote = rt::Upper(remote);
    while (!found && !remote.empty() && NextResultRow())
      found = rt::Upper(ResultRow()[0]) == upperRemote;
  }
  if (!found) {
    AddLinkedServer(server);
    if (!remote.empty()) AddLinkedServer(remote);
  }
  AllowDataAccess(server);
  if (!remote.empty()) AllowDataAccess(remote);
  Trace(Flag::A, "-- End of ds_MSSLinkedServer  --");
  return 0;
}

rt::Long ds_MSSLoadKeyQ() {
  const SqlCheckState& check = SqlCheck();
  Trace(Flag::A, "-- Start of ds_MSSLoadKeyQ  --");
  SKDQ().clear();
  TIQ().clear();
  bool primarySeen = false;

  std::string primaryName;
  ExecuteSQLStatement(Call("sp_pkeys", {check.tableName, check.tableOwner}), 0);
  if (NextResultRow()) primaryName = ResultRow()[5];

  if (!CatalogueQuery(Call("sp_statistics", {check.tableName, check.tableOwner}), kM34, "keys",
                      " - "))
    return 1;
  while (NextResultRow()) {
    const ResultRowFields& r = ResultRow();
    if (r[8].empty()) continue;  // the table's own statistics row
    TableInfoRow parked;
    std::copy_n(r.begin(), parked.size(), parked.begin());
    TIQ().push_back(std::move(parked));
  }
  Trace(Flag::C, "Records added to TableInfoQ: " + std::to_string(TIQ().size()));

  std::string inHand;
  for (const TableInfoRow& row : TIQ()) {
    const std::string& indexName = row[5];
    if (indexName.empty() || indexName == inHand) continue;
    inHand = indexName;
    ServerKey key;
    StartKey(key, indexName);
    key.index = 0;
    key.att.clear();
    if (CatalogueNumber(row[3]) == 1) {
      key.att = "dup";
    } else if (!primarySeen && rt::Upper(indexName) == rt::Upper(primaryName)) {
      key.att = "primary";
      primarySeen = true;
    }

    auto indexes = [&](const std::string& server) {
      return Call("sp_indexes",
                  {server, check.tableName, check.tableOwner, check.databaseName, indexName});
    };
    // Asked of the server, else of the remote machine.
    if (!CatalogueQuery(indexes(check.serverName), kM34Index, "indexes", " - ") &&
        !CatalogueQuery(indexes(RemoteMachineName()), {kM34Index.id, 1, kM34Index.text},
                        "indexes", " - "))
      return 1;
    std::string upperIndex = rt::Upper(indexName);
    while (NextResultRow() && rt::Upper(ResultRow()[5]) == upperIndex) {
      AddKeyColumn(key, ResultRow()[8], ResultRow()[9] == "D", false);
      LocateKeyField(ResultRow()[8]);
    }

    key.index = ExecuteSQLStatement(Call("sp_helpconstraint", {indexName}), 0) == 0 ? 0 : 1;
    SKDQ().push_back(std::move(key));
  }
  Trace(Flag::A, "-- End of ds_MSSLoadKeyQ :: Records added to SqlKeyQ: " +
                     std::to_string(SKDQ().size()) + " --");
  return 0;
}

void GetDecimalPrecision() {
  rt::Long& precision = MSSDecimalPrecision();
  precision = 38;
  if (ExecuteSQLStatement("Select @@Max_Precision", 0) == 0 && NextResultRow()) {
    rt::Long told = CatalogueNumber(ResultRow()[0]);
    if (told > 0) precision = told;
  }
  Trace(Flag::B, "MSS Decimal Precision set to: " + std::to_string(precision));
}

void CreateDateTimeProcedure() {
  ExecuteSQLStatement(
      "if exists (select Name from sysobjects where name = 'ds_ConvertTavrelDateTime' and "
      "type = 'P') drop procedure ds_ConvertTavrelDateTime",
      0);
  const std::string decimal = "decimal(" + std::to_string(MSSDecimalPrecision()) + ",12)";
  const std::pair<std::string, std::string_view> lines[] = {
      {"Create Procedure ds_ConvertTavrelDateTime @TavDate int = 0, @TavTime int = 0, "
       "@SqlDateTime datetime output",
       "date and time numbers to a datetime"},
      {"as", "returns 1 for an invalid date, 2 for an invalid time, -1 for none"},
      {"declare @SqlDate int", "date in days"},
      {"declare @SqlTime " + decimal, "time in days"},
      {"declare @TavRoot datetime", "day 0 of the date numbers"},
      {"declare @MssqlRoot datetime", "day 0 of the server"},
      {"declare @OneMssqlSecond " + decimal, "one second in days"},
      {"set @OneMssqlSecond = 0.000011574077", "one second in days"},
      {"set @TavRoot = 'Dec 28, 1800'", "day 0 of the date numbers"},
      {"set @MSSQLRoot = 'Jan 01, 1900'", "day 0 of the server"},
      {"set @SqlDate = @TavDate - datediff(day,@TavRoot,@MssqlRoot)", "days since the server's day 0"},
      {"set @SqlTime = (@TavTime / 100) * @OneMssqlSecond", "hundredths of a second to days"},
      {"if @TavDate > 2994626", "beyond the last date"},
      {"  return 1", "invalid date"},
      {"if @TavTime > 8640000", "beyond the last time of a day"},
      {"  return 2", "invalid time"},
      {"if @TavDate = 0 and @TavTime = 0", "neither date nor time"},
      {"  return -1", "nothing to convert"},
      {"if @TavDate = 0", "time only"},
      {"  set @SqlDateTime = convert(datetime,@SqlTime,0)", "time of day 0"},
      {"else if @TavTime = 0", "date only"},
      {"  set @SqlDateTime = convert(datetime,@SqlDate,0)", "midnight of the date"},
      {"else", "date and time"},
      {"begin", "both parts"},
      {"  set @SqlDateTime = @SqlDate + @SqlTime", "days and part of a day"},
      {"  set @SqlDateTime = convert(datetime,@SqlDateTime,0)", "as a datetime"},
      {"end", "done"},
  };
  std::string text;
  for (const auto& [code, comment] : lines) {
    if (!text.empty()) text += "\r\n";
    text += code + " -- " + std::string(comment);
  }
  ExecuteSQLStatement(text, 0);
}

}  // namespace

rt::Long ds_MSSQLStructure() {
  Trace(Flag::A, "-- Start of ds_MSSQLStructure:  --");
  ReadNamesOf(Dialect::MsSql);
  if (rt::Long r = ds_MSSLoadFieldQ()) return r;
  if (rt::Long r = ds_MSSLinkedServer()) return r;
  return ds_MSSLoadKeyQ();
}

void CreateUtilitySPs(std::string_view serverCode) {
  Trace(Flag::A, "-- Start of CreateUtilitySPs  --");
  if (serverCode == "MSS") {
    GetDecimalPrecision();
    CreateDateTimeProcedure();
  }
  Trace(Flag::A, "-- End of CreateUtilitySPs  --");
}

}  // namespace upg
