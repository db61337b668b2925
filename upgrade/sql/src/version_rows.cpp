// The engine system table and its version rows: the version check made
// when an SQL file is registered, opening and creating the table, writing
// a file's row after its table was brought up to date.
#include "velmora/upgrade/version_rows.h"

#include <array>
#include <cstdlib>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

constexpr uint32_t kSystemTableMode = db::kDenyAll;  // OPEN with access mode 10h

struct VersionState {
  std::vector<VersionCheckRow> vcq;
  std::vector<IncomingVersionRow> ivq;
  std::array<std::string, 4> systemTableNames;
};

VersionState& V() {
  static VersionState v;
  return v;
}

// The server code of a driver name: its first three characters, "SQL"
// (SQL Anywhere) read as "ASA".
std::string CodeOfDriver(std::string_view driver) {
  std::string code = rt::Upper(rt::Clip(driver)).substr(0, 3);
  return code == "SQL" ? "ASA" : code;
}

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

std::string ErrorLine() {
  return std::to_string(rt::ErrorCode()) + " - " + rt::ErrorText() + " :: " + FileErrorCodeText() +
         " - " + rt::FileErrorText();
}

void GetManageableZone(std::string_view owner, const std::string& code) {
  std::string& zone = SqlCheck().manageableZone;
  if (code == "MSS") zone = ConnectionPart(owner, 1);
  else if (code == "ORA") zone = "NULL";
  else if (code == "ASA") zone = ConnectionPart(owner, 0);
  else if (code == "ODB") zone = ConnectionDatabase(owner);
  zone = rt::Clip(zone);
  Trace(Flag::B, "Manageable Zone: " + zone + ", rv3dr: " + code);
}

void CompareStoredVersion(db::FileDecl& file, db::FileDecl& rv3, rt::Short version,
                          std::string_view label, const std::string& code) {
  VersionCheckRow row;
  row.file = rt::Clip(file.Name());
  row.newVersion = version;
  Dialect d = DialectOf(code, ODBCFlavour());
  std::string select = "Select * from " + SqlTableName(d, rt::Clip(rv3.Name())) +
                       " where DS_FIELD1 = ";
  bool found = ExecuteSQLStatement(select + SqlLiteral(d, row.file), 0) == 0 && NextResultRow();
  if (!found)
    found = ExecuteSQLStatement(select + SqlLiteral(d, rt::Clip(label)), 0) == 0 && NextResultRow();
  if (!found) {
    // Nothing stored for the file yet: its first open compares or creates.
    row.goInDeep = 1;
  } else {
    row.oldVersion = std::atol(ResultRow()[2].c_str());
    if (row.oldVersion == row.newVersion) {
      row.goInDeep = 0;
    } else if (row.oldVersion < row.newVersion) {
      row.goInDeep = 1;
    } else if (EngineSwitch("/downgrade")) {
      std::string text = Cut(DowngradeWarning(row.file), 2000);
      Trace(Flag::B, text);
      rt::Stop(text, kSqlErrorExitCode);
      row.goInDeep = 1;
    } else {
      std::string text = Cut(DowngradeError(row.file), 2000);
      Trace(Flag::B, text);
      rt::Message(text);
      rt::Halt(kSqlErrorExitCode);
      return;  // a halt that returns (a test's) registers nothing
    }
  }
  V().vcq.push_back(row);
  Trace(Flag::A, "Added file to VCQ: " + row.file + " old: " + std::to_string(row.oldVersion) +
                     " new: " + std::to_string(row.newVersion) +
                     " goindeep: " + std::to_string(row.goInDeep));
}

// The system table's CREATE statement by dialect; the constraint name is
// kept within the server's name limit.
std::string CreateStatement(bool firebird, const std::string& table) {
  Dialect d = firebird ? Dialect::Firebird : Dialect::MySql;
  std::string t = SqlTableName(d, table);
  std::string s = "CREATE TABLE " + t + " (" + "  DS_FIELD1 VARCHAR(255),";
  if (firebird) {
    std::string bare = table.substr(table.rfind('.') == std::string::npos ? 0 : table.rfind('.') + 1);
    s += "  DS_FIELD2 VARCHAR(250) NOT NULL CONSTRAINT " +
         SqlIdentifier(d, ServerName(d, "PK_" + bare)) + " PRIMARY KEY,";
  } else {
    s += "  DS_FIELD2 VARCHAR(250) NOT NULL,";
  }
  s += "  DS_FIELD3 VARCHAR(250) NOT NULL,";
  for (int i = 4; i <= 40; ++i)
    s += "  DS_FIELD" + std::to_string(i) + " VARCHAR(255)" +
         (i < 40 ? "," : firebird ? ")" : ",");
  if (!firebird) {
    // The engine of the data tables: forty wide columns are too wide a
    // row for the server's default engine in strict mode.
    std::string engine = rt::Trim(CurrentOptions().mySqlType);
    s += " PRIMARY KEY PK_GODBCFILE (DS_FIELD2,DS_FIELD3)) ENGINE=" +
         SqlIdentifier(d, engine.empty() ? "MyISAM" : engine);
  }
  return s;
}

rt::Long CreateSystemTable(bool firebird) {
  std::string name = firebird ? "CreateFireBirdRV3Table" : "CreateMySQLRV3Table";
  Trace(Flag::A, name + " IN.");
  db::FileDecl* rv3 = CurrentSQLFile();
  rt::Long result = 1;
  if (rv3) {
    std::string table = rt::Clip(rv3->Name());
    std::string statement = Cut(CreateStatement(firebird, table), 3000);
    bool wasOpen = db::IsOpen(*rv3);
    if (!wasOpen) {
      // The table does not exist, so the file cannot be open on it: the
      // statement runs on the file opened without a table (a connection
      // only), which is then opened on the new table.
      rv3->SetName("");
      db::SetProperty(*rv3, db::Prop::DriverLogout, "0");
      db::Open(*rv3, kSystemTableMode);
    }
    result = ExecuteSQLStatement(statement, 0) == 0 ? 0 : 1;
    if (!wasOpen) {
      if (db::IsOpen(*rv3)) db::Close(*rv3);
      rv3->SetName(table);
      if (result == 0) {
        db::Open(*rv3, kSystemTableMode);
        if (rt::ErrorCode() != 0) result = 1;
      }
    }
  }
  Trace(Flag::A, name + " OUT: ret: " + std::to_string(result) + "; err: " + FileErrorCodeText() +
                     " " + rt::FileErrorText());
  return result;
}

void WriteRow(const std::string& statement, const SqlMessage& failure) {
  if (ExecuteSQLStatement(statement, 0) != 0)
    ReportSql(failure, FileErrorCodeText() + " " + rt::Clip(rt::FileErrorText()));
}

}  // namespace

std::string ConnectionPart(std::string_view s, int n) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    size_t comma = s.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  size_t end = s.find(',', start);
  return std::string(s.substr(start, end == std::string_view::npos ? s.npos : end - start));
}

std::string ConnectionDatabase(std::string_view s) {
  size_t at = s.find("DATABASE=");
  if (at == std::string_view::npos) return ConnectionPart(s, 0);
  at += 9;
  size_t end = s.find(';', at);
  return std::string(s.substr(at, end == std::string_view::npos ? s.npos : end - at));
}

std::string OdbcFlavourUpper() { return rt::Upper(rt::Clip(ODBCFlavour())); }

bool IsMyOdbc(std::string_view flavour) { return flavour == "MYODBC 2" || flavour == "MYODBC 3"; }

std::string FileErrorCodeText() {
  std::string state = rt::FileErrorState();
  return state.empty() ? std::to_string(rt::FileErrorCode()) : state;
}

std::vector<VersionCheckRow>& VCQ() { return V().vcq; }
std::vector<IncomingVersionRow>& IVQ() { return V().ivq; }

const VersionCheckRow* FindVersionRow(std::string_view fileName) {
  std::string key = rt::Clip(fileName);
  for (const VersionCheckRow& r : V().vcq)
    if (r.file == key) return &r;
  return nullptr;
}

std::string& SystemTableNameOf(std::string_view serverCode) {
  static std::string none;
  std::string code = rt::Upper(rt::Clip(serverCode));
  static constexpr std::array<std::string_view, 4> kCodes = {"MSS", "ORA", "ASA", "ODB"};
  for (size_t i = 0; i < kCodes.size(); ++i)
    if (code == kCodes[i]) return V().systemTableNames[i];
  none.clear();
  return none;
}

std::string DowngradeWarning(std::string_view fileName) {
  return "WARNING: RV3 detects that this application possibly contains older file structures "
         "than the current backend version. File involved: " +
         std::string(fileName) + "\r\n\r\nTo END PROGRAM NOW and upgrade your program, click ABORT!" +
         "\r\nTo continue DOWNGRADING this file, click IGNORE." +
         "\r\n\r\nNote: RV3 suggests implementing Kestrune for automatic program file upgrades "
         "across networks!";
}

std::string DowngradeError(std::string_view fileName) {
  return "ERROR: RV3 detects that this application possibly contains older file structures than "
         "the current backend version. File involved: " +
         std::string(fileName) + "\r\nPlease upgrade your program, or contact your program supplier." +
         "\r\n\r\nClick OK to end the program!" +
         "\r\n\r\nNote: RV3 suggests implementing Kestrune for automatic program file upgrades "
         "across networks!";
}

void LoadVersionInfoQueues(db::FileDecl& file, rt::Short version, std::string_view label,
                           std::string_view prefix) {
  Trace(Flag::A, "LoadVersionInfoQueues IN.");
  // SelectServerFile: the file's driver picks the server's statement file.
  std::string driver = rt::Upper(rt::Clip(file.DriverName()));
  std::string slotCode = driver == "MSSQL"         ? "MSS"
                         : driver == "ORACLE"      ? "ORA"
                         : driver == "SQLANYWHERE" ? "ASA"
                         : driver == "ODBC"        ? "ODB"
                                                   : "";
  const ServerSlot* slot = slotCode.empty() ? nullptr : ServerSlotOf(slotCode);
  db::FileDecl* rv3 = slot ? slot->file : nullptr;
  if (rv3) {
    CurrentSQLFile() = rv3;
    rv3->ClearRecord();
    std::string owner = file.Owner(), name = rt::Clip(file.Name());
    std::string rv3Owner = rv3->Owner(), rv3Name = rt::Clip(rv3->Name());
    std::string rv3Code = CodeOfDriver(rv3->DriverName());
    std::string fileCode = CodeOfDriver(file.DriverName().substr(0, 20));
    if (rt::Clip(SqlCheck().manageableZone).empty()) GetManageableZone(rv3Owner, rv3Code);
    SystemTableNameOf(rv3Code) = rv3Name;
    // The system table is looked for in the file's own database; the zone
    // test of the open compares against the file being registered.
    rv3->SetOwner(owner);
    std::string& hookOwner = OpenHookState().connectionString;
    std::string savedHookOwner = hookOwner;
    hookOwner = owner;
    Trace(Flag::C, "loc:filename: " + name + ", loc:fileowner: " + ds_EncryptOwner(fileCode, owner) +
                       ", loc:rv3file: " + rv3Name + ", loc:rv3owner: " +
                       ds_EncryptOwner(rv3Code, owner));
    std::string savedFileName = SqlCheck().fileName;
    SqlCheck().fileName = name;
    rt::Long r = OpenRV3SQLFile(fileCode);
    SqlCheck().fileName = savedFileName;
    bool halted = false;
    if (r == 1) {
      VersionCheckRow row;
      row.file = name;
      V().vcq.push_back(row);
      Trace(Flag::A, "Added non manageable file to VCQ: " + name + " goindeep: 0 rv3: " + rv3Code +
                         " dr: " + driver);
    } else if (r == 0) {
      CompareStoredVersion(file, *rv3, version, label, rv3Code);
    } else {
      halted = true;
    }
    if (db::IsOpen(*rv3)) db::Close(*rv3);
    rv3->SetOwner(rv3Owner);
    hookOwner = savedHookOwner;
    if (halted) {
      rt::Halt(kSqlErrorExitCode);
      Trace(Flag::A, "LoadVersionInfoQueues OUT.");
      return;
    }
    IncomingVersionRow in;
    in.fileName = name;
    in.prefix = Cut(rt::Upper(rt::Clip(prefix)), 10);
    in.version = version;
    V().ivq.push_back(in);
  }
  Trace(Flag::A, "LoadVersionInfoQueues OUT.");
}

rt::Long OpenRV3SQLFile(std::string_view serverCode) {
  Trace(Flag::A, "OpenRV3SQLFile IN");
  Trace(Flag::B, "About to open rv3 system file as is.. before real open...");
  std::string code = rt::Upper(rt::Clip(serverCode));
  db::FileDecl* rv3 = CurrentSQLFile();
  if (!rv3) {
    Trace(Flag::A, "OpenRV3SQLFile OUT: ; ERR: 2");
    return 2;
  }
  if (!db::IsOpen(*rv3)) {
    db::SetProperty(*rv3, db::Prop::DriverLogout, "0");
    db::Open(*rv3, kSystemTableMode);
  }
  Trace(Flag::B, "Err opening RV3 System Table? [1] (not too serious) " + ErrorLine());
  std::string connection = rt::Clip(OpenHookState().connectionString);
  std::string rv3Owner = rt::Clip(rv3->Owner());
  std::string masked = ds_EncryptOwner(code, rv3Owner);
  Trace(Flag::C, "loc:filename: " + rt::Clip(SqlCheck().fileName) + ", loc:fileowner: " +
                     ds_EncryptOwner(code, connection) + ", loc:rv3file: " + rt::Clip(rv3->Name()) +
                     ", loc:rv3owner: " + masked);
  if (!connection.empty() && !rv3Owner.empty() && connection != rv3Owner) {
    Trace(Flag::C, "File Not in manageable zone: " + rt::Clip(SqlCheck().fileName));
    Trace(Flag::A, "OpenRV3SQLFile OUT: " + masked + "; ERR: 1");
    return 1;
  }
  if (rt::Clip(rv3->Name()).empty() && !db::IsOpen(*rv3)) {
    std::string remembered = SystemTableNameOf(code);
    rv3->SetName(remembered);
    SqlCheck().systemTableName = remembered;
    Trace(Flag::B, "Temp workaround for possible name bug... assigning RV3 name: " + remembered);
  }
  std::string flavour = OdbcFlavourUpper();
  std::string rv3Name = rt::Clip(rv3->Name());
  if (code == "ODB" && IsMyOdbc(flavour) && rv3Name.find('.') == std::string::npos) {
    std::string fileName = rt::Clip(SqlCheck().fileName);
    size_t dot = fileName.find('.');
    if (dot != std::string::npos) {
      if (db::IsOpen(*rv3)) db::Close(*rv3);
      rv3->SetName(fileName.substr(0, dot + 1) + rv3Name);
    } else {
      Trace(Flag::B, "MySQL requires db.tablename format in your full path name! Ending Program. " +
                         fileName);
      rt::Halt(kSqlErrorExitCode, "MySQL requires db.tablename format in your full path name!|Ending Program.");
      Trace(Flag::A, "OpenRV3SQLFile OUT: " + masked + "; ERR: 1");
      return 1;
    }
  }
  Trace(Flag::B, "RV3 SQL File name set to: " + rt::Clip(rv3->Name()));
  rt::Long result = 0;
  if (!db::IsOpen(*rv3)) {
    db::SetProperty(*rv3, db::Prop::DriverLogout, "0");
    db::Open(*rv3, kSystemTableMode);
    Trace(Flag::B, "Err opening RV3 System Table? [2] " + ErrorLine());
    int err = rt::ErrorCode();
    if (err != 0 && err != rt::kFileAlreadyOpen) result = CreateRV3SQLFile(code);
  }
  Trace(Flag::A, "OpenRV3SQLFile OUT: " + masked + "; ERR: " + std::to_string(result));
  return result;
}

rt::Long CreateRV3SQLFile(std::string_view serverCode) {
  Trace(Flag::A, "CreateRV3SQLFile IN.");
  std::string code = rt::Upper(rt::Clip(serverCode));
  std::string flavour = OdbcFlavourUpper();
  db::FileDecl* rv3 = CurrentSQLFile();
  rt::Long result = 2;
  if (!rv3) {
    result = 1;
  } else if (code == "MSS" || code == "ORA" || code == "ASA") {
    db::Create(*rv3);
    if (rt::ErrorCode() == 0) db::Open(*rv3, kSystemTableMode);
    result = rt::ErrorCode() == 0 ? 0 : 1;
  } else if (code == "ODB" && IsMyOdbc(flavour)) {
    result = CreateMySQLRV3Table();
  } else if (code == "ODB" && flavour == "FIREBIRD") {
    result = CreateFireBirdRV3Table();
  }
  Trace(Flag::A, "CreateRV3SQLFile OUT: ret: " + std::to_string(result) + ", err: " + ErrorLine());
  return result;
}

rt::Long CreateFireBirdRV3Table() { return CreateSystemTable(true); }
rt::Long CreateMySQLRV3Table() { return CreateSystemTable(false); }

std::string NowExpression(std::string_view serverCode, std::string_view flavour) {
  std::string code = rt::Upper(rt::Clip(serverCode)), f = rt::Upper(rt::Clip(flavour));
  if (code == "MSS") return "getdate()";
  if (code == "ORA") return "sysdate";
  if (code == "ASA") return "now(*)";
  if (IsMyOdbc(f)) return "now()";
  // Firebird and plain ODBC: the standard expression.
  return "current_timestamp";
}

void WriteSystemRow(std::string_view serverCode) {
  std::string code = rt::Upper(rt::Clip(serverCode));
  std::string prefix = Cut(rt::Upper(rt::Clip(FilePrefix())), 10);
  const IncomingVersionRow* in = nullptr;
  for (const IncomingVersionRow& r : V().ivq)
    if (r.prefix == prefix) {
      in = &r;
      break;
    }
  if (!in) {
    ReportSql(kM23, prefix);
    return;
  }
  std::string& table = SqlCheck().systemTableName;
  if (rt::Clip(table).empty()) table = SystemTableNameOf(code);
  Dialect d = DialectOf(code, ODBCFlavour());
  std::string t = SqlTableName(d, rt::Clip(table));
  std::string f = SqlLiteral(d, rt::Clip(in->fileName)), p = SqlLiteral(d, in->prefix);
  std::string v = SqlLiteral(d, std::to_string(in->version));
  std::string now = NowExpression(code, ODBCFlavour());
  if (ExecuteSQLStatement("select * from " + t + " where DS_FIELD2 = " + p, 0) != 0) return;
  if (NextResultRow()) {
    WriteRow("update " + t + " set DS_FIELD1 = " + f + ", DS_FIELD2 = " + p + "," +
                 " DS_FIELD3 = " + v + ", DS_FIELD4 = " + now + " where DS_FIELD2 = " + p,
             kM25);
  } else {
    WriteRow("insert into " + t + " (DS_FIELD1, DS_FIELD2, DS_FIELD3, DS_FIELD4) values" + " (" +
                 f + "," + p + "," + v + ", " + now + ")",
             kM24);
  }
}

std::string GetSQLServerVersion(std::string_view serverCode) {
  Trace(Flag::A, "-- Start of GetSQLServerVersion  --");
  std::string code = rt::Upper(rt::Clip(serverCode));
  std::string version;
  if (code == "MSS") {
    if (db::FileDecl* rv3 = CurrentSQLFile())
      version = rt::Clip(db::GetProperty(*rv3, db::Prop::ServerVersion));
  } else if (code == "ORA") {
    if (ExecuteSQLStatement("Select * from V$Version", 0) != 0) {
      version = "8i";
    } else if (NextResultRow()) {
      const std::string banner = rt::Clip(ResultRow()[0]);
      for (auto [mark, v] : {std::pair{"7.", "7"}, {"8.0", "8"}, {"8.1", "8i"}, {"9", "9"}})
        if (banner.find(mark) != std::string::npos) {
          version = v;
          break;
        }
    }
  }
  version = Cut(version, 20);
  Trace(Flag::A, "-- End of GetSQLServerVersion " + version + " --");
  return version;
}

void PrintSQLStructure() {
  if (!FlagOn(Flag::A)) return;
  auto padded = [](const std::string& s, size_t n) {
    std::string out = s.substr(0, std::min(n, s.size()));
    out.resize(n, ' ');
    return out;
  };
  const std::string& file = SqlCheck().fileName;
  Trace(Flag::A, "-- PrintSQLStructure IN. --");
  Trace(Flag::A, "----------SQL FIELD STRUCTURE (" + file + ")----------");
  for (const ServerColumn& c : SFDQ())
    Trace(Flag::A, "-- " + padded(c.name, 50) + " " + padded(c.type, 30) + ", name: " +
                       rt::Clip(c.altName) + ", nullable: " + std::to_string(c.nullable) + " --");
  Trace(Flag::A, "----------END - Total number of fields: " + std::to_string(SFDQ().size()) +
                     "----------");
  Trace(Flag::A, "----------SQL KEY STRUCTURE (" + file + ")----------");
  for (const ServerKey& k : SKDQ()) {
    Trace(Flag::A, "-- " + padded(k.keyName, 50) + " " + padded(k.att, 20) + ", name: " +
                       rt::Clip(k.keyFileName) + " --");
    Trace(Flag::A, "--   Fields: " + rt::Clip(k.fields) + " --");
  }
  Trace(Flag::A, "----------END - Total number of keys: " + std::to_string(SKDQ().size()) +
                     " ----------");
  Trace(Flag::A, "-- PrintSQLStructure OUT. --");
}

}  // namespace upg
