// The SQL check on open: decides whether a server table must be looked
// at, brings an existing table up to its declaration or creates a missing
// one (after trying to rename an older table), and records the version.
#include <algorithm>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/sql_owner.h"
#include "velmora/upgrade/check_window.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/create_flags.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/renamecheck.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/sqltext.h"
#include "velmora/upgrade/version_rows.h"

namespace upg {

namespace {

constexpr uint32_t kExistenceMode = db::kReadWrite | db::kDenyWrite;  // 22h
constexpr size_t kManagedNameLength = 50;

// The user an Oracle connection string connects as: "user,password..."
// or "user/password@service", or its UID setting.
std::string OracleUser(const std::string& connection) {
  for (const velmora::sql::Setting& setting : velmora::sql::ownerSettings(connection))
    if (setting.key == "UID" || setting.key == "USER ID") return rt::Clip(setting.value);
  return rt::Clip(connection.substr(0, connection.find_first_of(",/")));
}

// Thrown by ExitCheck to leave the check at once (after its clean-up).
struct LeaveCheck {};

class Check {
 public:
  Check(db::FileDecl& file, std::string_view code) : file_(file), code_(rt::Upper(rt::Clip(code))) {}

  void Run() {
    try {
      Body();
    } catch (const LeaveCheck&) {
    }
    // The wait window goes with the check, whichever way it ended: left
    // open it would show a finished check for the rest of the program.
    CloseCheckWindow();
  }

 private:
  void Body();
  void Prepare();
  void OpenSystemFile();
  void CheckManageableZone();
  void TestExistence();
  bool ExistsBySelect(const std::string& name);
  void UpgradeSQLTable();
  bool CreateNewSQLTable();
  void AddToManagedFiles();
  void CommitUpgrade();
  void RollbackUpgrade();
  [[noreturn]] void ExitCheck();
  void DctMasters();
  void Show(const std::string& message, bool open = false);

  db::FileDecl& file_;
  std::string code_;  // the private copy; the zone check may rewrite it
  bool exists_ = false;
  bool zoneChecked_ = false;
};

void Check::Body() {
  SqlCheckState& sc = SqlCheck();
  Trace(Flag::A, "RV3 SQL files detected! Table: " + rt::Clip(file_.Name()) + ", Owner: " +
                     ds_EncryptOwner(code_, OpenHookState().connectionString) +
                     ", Label: " + rt::Clip(file_.Label()));
  Prepare();
  Trace(Flag::B, "Name if incoming file: " + sc.fileName + " ?= RV3 sql file name: " +
                     sc.systemTableName);
  if (rt::Clip(sc.fileName) == rt::Clip(sc.systemTableName)) {
    OpenSystemFile();
    Trace(Flag::C, "RV3 returning - RV3 System table detected...");
    return;
  }
  const VersionCheckRow* row = FindVersionRow(sc.fileName);
  if (!row) {
    Trace(Flag::B, "File was not added to VCQ! Please ensure you are calling ds_UsingFile! " +
                       sc.fileName + " " + sc.systemTableName + " error:" +
                       std::to_string(rt::ErrorCode()) + " - " + rt::ErrorText());
    Trace(Flag::B, "Error warning: File not in VCQ, returning...");
    return;
  }
  sc.goInDeep = row->goInDeep;
  if (sc.goInDeep == 1)
    Trace(Flag::B, "GoInDeep: 1 reason: version change in gsqlfile.");
  if (EngineSwitch("/goindeep")) {
    sc.goInDeep = 1;
    Trace(Flag::B, "GoInDeep: 1 reason: commandline parameter.");
  }
  TestExistence();
  if (exists_) {
    if (sc.goInDeep == 1) UpgradeSQLTable();
  } else {
    // Nothing is renamed or created outside the zone.
    CheckManageableZone();
    rt::Long renamed = ds_RenameCheck(code_, sc.fileName, sc.tableLabel);
    if (renamed == 0) {
      AddToManagedFiles();
      Trace(Flag::B, "Table did not exist, but renamed, added file to ManagedFiles, therefore "
                     "returning NOW..." + sc.fileName);
    } else if (renamed == 1) {
      Trace(Flag::B, "Table does not exist, about to Create it..." + sc.fileName +
                         ", conversion detected!");
      // Records are copied only into a table that stands.
      if (CreateNewSQLTable()) OpenHookState().conversionDetected = true;
    } else {
      Trace(Flag::B, "Table does not exist, about to Create it..." + sc.fileName);
      CreateNewSQLTable();
    }
  }
  if (EngineSwitch("/profile")) ProfileReport(2);
  ExitCheck();
}

void Check::Prepare() {
  SqlCheckState& sc = SqlCheck();
  HookState& h = OpenHookState();
  exists_ = false;
  h.conversionDetected = false;
  h.identityInsert = false;
  DatePicture() = 12;
  // Nothing of an earlier file's names stays behind.
  sc.fileName = rt::Clip(file_.Name());
  sc.tableLabel = rt::Clip(file_.Label());
  WaitFileName() = sc.fileName;
  sc.serverName.clear();
  sc.databaseName.clear();
  sc.goInDeep = 0;
  zoneChecked_ = false;
  // The table and its owner come from this file's name only: a file
  // without an owner never inherits the owner of an earlier file. Every
  // statement and catalogue query names this table (CheckedTableName).
  size_t dot = sc.fileName.find('.');
  sc.tableName = dot == std::string::npos ? sc.fileName : sc.fileName.substr(dot + 1);
  if (dot != std::string::npos)
    sc.tableOwner = sc.fileName.substr(0, dot);
  else
    sc.tableOwner = DialectOf(code_, ODBCFlavour()) == Dialect::MsSql ? "dbo" : "";
  SQLTableName() = sc.tableName;
  OpenHookState().sqlTableName = CheckedTableName();
  if (sc.tableLabel.empty()) sc.tableLabel = rt::Clip(sc.tableName);
  db::FileDecl* rv3 = CurrentSQLFile();
  sc.systemTableName = rv3 ? rt::Clip(rv3->Name()) : std::string();
  Trace(Flag::B, "RV3 System File name: " + sc.systemTableName);
  DateTimeQueue().clear();
  DQ().clear();
  AQ().clear();
  SQ().clear();
  if (sc.utilitySPsCreated == 0) {
    if (CurrentOptions().spCreate) CreateUtilitySPs(code_);
    sc.utilitySPsCreated = 1;
  }
}

void Check::OpenSystemFile() {
  std::string flavour = OdbcFlavourUpper();
  if (code_ != "ODB" || !(IsMyOdbc(flavour) || flavour == "FIREBIRD")) return;
  if (OpenRV3SQLFile(code_) != 0) {
    ReportSql(kM22, FileErrorCodeText() + " " + rt::FileErrorText());
    return;
  }
  if (flavour == "FIREBIRD") {
    if (db::IsOpen(file_)) db::Close(file_);
    return;
  }
  // No result or statement of an earlier use stays on the file.
  (void)db::GetProperty(file_, db::Prop::EndResult);
  db::SetProperty(file_, db::Prop::Owner, rt::Clip(OpenHookState().connectionString));
  db::Send(file_, "/VERIFYVIASELECT=TRUE");
  db::SetProperty(file_, db::Prop::Statement, "");
}

void Check::TestExistence() {
  SqlCheckState& sc = SqlCheck();
  const std::string& name = sc.fileName;
  std::string flavour = OdbcFlavourUpper();
  bool odb = code_ == "ODB";
  db::Open(file_, kExistenceMode);
  int err = rt::ErrorCode();
  auto foundWith90 = [&] {
    Trace(Flag::B, "Table FOUND: " + name + ", BUT WITH ERR 90: " + rt::FileErrorText());
    exists_ = true;
  };
  if (err == rt::kFileNotFound) {
    if (code_ == "ORA") {
      Trace(Flag::B, "Table NOT found: " + name);
    } else {
      Trace(Flag::B, "Table NOT found: " + name + " - attempting verify via select...");
      if (odb && flavour == "FIREBIRD") DatePicture() = 10;
      exists_ = ExistsBySelect(name);
    }
  } else if (err == rt::kDriverError) {
    if (code_ == "MSS" || code_ == "ORA") {
      foundWith90();
    } else if (odb && IsMyOdbc(flavour)) {
      Trace(Flag::B, "Table NOT found: " + name + ", BUT WITH ERR 90: " + rt::FileErrorText());
    } else if (odb && flavour == "FIREBIRD") {
      DatePicture() = 10;
      exists_ = ExistsBySelect(name);
    } else if (odb && (flavour == "ORACLE" || flavour == "MSSQL")) {
      foundWith90();
    }
  } else if (err == rt::kInvalidRecordDeclaration) {
    Trace(Flag::B, "Table FOUND: " + name + ", BUT WITH ERR 47!");
    sc.goInDeep = 1;
    Trace(Flag::B, "GoInDeep: 1 reason: Err 47.");
    exists_ = true;
  } else if (err == 0 || err == rt::kFileAlreadyOpen) {
    Trace(Flag::B, "Table FOUND: " + name);
    exists_ = true;
    // An instance someone else opened (52) stays open.
    if (err == 0) db::Close(file_);
  } else {
    std::string line = std::to_string(err) + " " + rt::ErrorText() + " " + FileErrorCodeText() +
                       " " + rt::FileErrorText();
    Trace(Flag::B, "Table FOUND: " + name + ", BUT WITH ERR's! ...");
    Trace(Flag::B, "Open Table Error: " + name + ": " + line);
    sc.goInDeep = 1;
    exists_ = true;
  }
}

bool Check::ExistsBySelect(const std::string& name) {
  OpenRV3SQLFile(code_);
  Dialect d = DialectOf(code_, ODBCFlavour());
  if (ExecuteSQLStatement("select * from " + SqlTableName(d, CheckedTableName()), 0) != 0) {
    Trace(Flag::B, "Table NOT found: " + name + ", BUT WITH ERR 90: " + rt::FileErrorText());
    return false;
  }
  Trace(Flag::B, "Table FOUND: " + name + ", Verified by RV3 select.");
  return true;
}

void Check::CheckManageableZone() {
  if (zoneChecked_) return;
  zoneChecked_ = true;
  SqlCheckState& sc = SqlCheck();
  std::string connection = rt::Clip(OpenHookState().connectionString);
  if (connection.empty()) ReportSql(kM20, sc.fileName);
  std::string flavour = OdbcFlavourUpper();
  if (code_ == "MSS") {
    sc.serverName = ConnectionPart(connection, 0);
    sc.databaseName = ConnectionPart(connection, 1);
  } else if (code_ == "ORA") {
    sc.serverName.clear();
    sc.databaseName = "NULL";
  } else if (code_ == "ASA") {
    sc.serverName.clear();
    sc.databaseName = ConnectionPart(connection, 0);
  } else if (code_ == "ODB") {
    if (IsMyOdbc(flavour)) {
      // The database a "database.table" name names.
      size_t dot = sc.fileName.find('.');
      sc.databaseName = dot == std::string::npos ? "NULL" : sc.fileName.substr(0, dot);
    } else if (flavour == "MSSQL") {
      sc.serverName.clear();
      sc.databaseName = ConnectionDatabase(connection);
      code_ = "MSS";
    } else if (flavour == "ORACLE") {
      sc.serverName.clear();
      sc.databaseName = "NULL";
      code_ = "ORA";
    } else if (flavour == "FIREBIRD") {
      sc.serverName.clear();
      sc.databaseName = "NULL";
    } else if (flavour == "ASA") {
      sc.databaseName = ConnectionDatabase(connection);
      code_ = "ASA";
    }
  }
  std::string database = rt::Clip(sc.databaseName);
  if (database != rt::Clip(sc.manageableZone) && database != "NULL") {
    ReportSql(kM21, "File: " + sc.fileName + ", Zone: " + sc.databaseName);
    ExitCheck();
  }
  // Oracle's catalogue views hold the connected user's tables only: the
  // table of another owner is not the check's to change.
  if (code_ == "ORA" && !sc.tableOwner.empty()) {
    std::string user = OracleUser(connection);
    if (rt::Upper(rt::Clip(sc.tableOwner)) != rt::Upper(user)) {
      ReportSql(kM21, "File: " + sc.fileName + ", Zone: " + user);
      ExitCheck();
    }
  }
  // The server's version is asked on the system table's statement file,
  // which the existence test may have left closed.
  OpenRV3SQLFile(code_);
  sc.serverVersion = GetSQLServerVersion(code_);
  DctMasters();
}

void Check::DctMasters() {
  SqlCheckState& sc = SqlCheck();
  std::string label = rt::Upper(sc.tableLabel);
  sc.dctFieldsMaster = FindCreateFlag(DMFF(), label).value_or(CurrentOptions().dctMasterFields ? 1 : 0);
  Trace(Flag::C, "DCTFieldsMaster: " + label + ": " + std::to_string(sc.dctFieldsMaster));
  sc.dctKeysMaster = FindCreateFlag(DMKF(), label).value_or(CurrentOptions().dctMasterKeys ? 1 : 0);
  Trace(Flag::C, "DCTKeysMaster " + label + ": " + std::to_string(sc.dctKeysMaster));
}

// The wait window's next phase: its message, the bar at 0, repainted (and
// first opened with `open`) unless upgrading silently.
void Check::Show(const std::string& message, bool open) {
  WaitMessage() = message + rt::Clip(file_.Name());
  ProgressPercent() = 0;
  if (open)
    OpenCheckWindow();
  else
    RedisplayCheckWindow();
}

void Check::UpgradeSQLTable() {
  Show("Interpreting File Structures... ", true);
  CheckManageableZone();
  ++ProgressPercent();
  // Every statement of the upgrade runs through the open system table.
  OpenRV3SQLFile(code_);
  if (LoadServerStructure(code_) != 0) ExitCheck();
  // The interpretation writes key columns by the server's case rule.
  FindServerCase(code_, DialectOf(code_, ODBCFlavour()));
  ds_InterpretStructure(file_);
  ds_SetSQLNames(code_);
  PrintSQLStructure();
  Show("Comparing File Structures... ");
  ProgressTotal() = static_cast<rt::Long>(SFDQ().size() + SKDQ().size());
  CompareFields(code_);
  CompareKeys(code_);
  Show("Executing upgrade scripts... ");
  ProgressTotal() = static_cast<rt::Long>(SQ().size() + DQ().size() + AQ().size());
  if (RunSQLScripts() == 1) {
    RollbackUpgrade();
    return;
  }
  AddToManagedFiles();
  WriteSystemRow(code_);
  CommitUpgrade();
}

// False when the table could not be created.
bool Check::CreateNewSQLTable() {
  OpenRV3SQLFile(code_);
  Show("Interpreting File Structures... ", true);
  CheckManageableZone();
  FindServerCase(code_, DialectOf(code_, ODBCFlavour()));
  ds_InterpretStructure(file_);
  ds_SetSQLNames(code_);
  Show("Creating New SQL Table... ");
  ProgressTotal() = static_cast<rt::Long>(Fdq().size() + Kdq().size());
  bool created = false;
  if (ds_CreateSQLTable(code_, &created) != 0) {
    // The table may not stand as declared: no version row, and the file
    // stays unmanaged so that its next open looks at it again.
    Trace(Flag::B, std::string(created ? "Table created with errors: " : "Table could not be created: ") +
                       SqlCheck().fileName + ", no version row written.");
    RollbackUpgrade();
    return created;
  }
  AddToManagedFiles();
  WriteSystemRow(code_);
  return true;
}

void Check::AddToManagedFiles() {
  std::string name = rt::Clip(SqlCheck().fileName).substr(0, kManagedNameLength);
  std::vector<std::string>& managed = OpenHookState().managedFiles;
  if (std::find(managed.begin(), managed.end(), name) == managed.end()) managed.push_back(name);
}

void Check::CommitUpgrade() { db::Commit(); }
void Check::RollbackUpgrade() { db::Rollback(); }

void Check::ExitCheck() {
  Fdq().clear();
  Kdq().clear();
  SFDQ().clear();
  SKDQ().clear();
  DQ().clear();
  AQ().clear();
  if (db::FileDecl* rv3 = CurrentSQLFile(); rv3 && db::IsOpen(*rv3)) db::Close(*rv3);
  RedisplayCheckWindow();
  Trace(Flag::A, "RV3 SQL files detected - OUT!");
  throw LeaveCheck{};
}

}  // namespace

std::string CheckedTableName() {
  const std::string owner = rt::Clip(SqlCheck().tableOwner), table = rt::Clip(SQLTableName());
  return owner.empty() ? table : owner + "." + table;
}

void CheckSQLFile(db::FileDecl& file, std::string_view serverCode) {
  Check(file, serverCode).Run();
}

void ResetSqlCheck() {
  VCQ().clear();
  IVQ().clear();
  for (std::string_view code : {"MSS", "ORA", "ASA", "ODB"}) SystemTableNameOf(code).clear();
  SqlCheck() = SqlCheckState{};
  OpenHookState().managedFiles.clear();
}

}  // namespace upg
