// The SQL check on open and the version rows, on the canned server.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "check_fixture.h"
#include "velmora/files/files.h"
#include "velmora/runtime/system.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"
#include "velmora/upgrade/check_window.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/create_flags.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/renamecheck.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/version_rows.h"

namespace {

using sqltest::CheckServer;
using sqltest::SqlCheckTest;
using sqltest::kOwner;
using sqltest::kPassword;

TEST_F(SqlCheckTest, RegistrationComparesTheStoredVersionWithTheDeclaredOne) {
  struct Case {
    const char* name;
    std::vector<sqltest::CannedServer::Row> byName, byLabel;
    rt::Short declared;
    rt::Long old;
    rt::Byte goInDeep;
  };
  const Case cases[] = {
      {"nothing stored", {}, {}, 3, 0, 1},
      {"same version", {{"orders", "ORD", "3"}}, {}, 3, 3, 0},
      {"older stored", {{"orders", "ORD", "2"}}, {}, 3, 2, 1},
      {"found by label", {}, {{"Orders", "ORD", "3"}}, 3, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    upg::ResetSqlCheck();
    server_ = std::make_shared<CheckServer>();
    db::RegisterSqlDriver("MSSQL", server_);
    if (!c.byName.empty()) server_->Answer("DS_FIELD1 = 'orders'", c.byName);
    if (!c.byLabel.empty()) server_->Answer("DS_FIELD1 = 'Orders'", c.byLabel);
    auto file = DataFile("orders");
    Register(*file, c.declared);
    ASSERT_EQ(upg::VCQ().size(), 1u);
    EXPECT_EQ(upg::VCQ()[0].file, "orders");
    EXPECT_EQ(upg::VCQ()[0].oldVersion, c.old);
    EXPECT_EQ(upg::VCQ()[0].newVersion, c.declared);
    EXPECT_EQ(upg::VCQ()[0].goInDeep, c.goInDeep);
    ASSERT_EQ(upg::IVQ().size(), 1u);
    EXPECT_EQ(upg::IVQ()[0].prefix, "ORD");
    // The statement file is closed and has its own owner back.
    EXPECT_FALSE(db::IsOpen(*rv3_));
    EXPECT_EQ(rv3_->Owner(), kOwner);
  }
  EXPECT_EQ(upg::SqlCheck().manageableZone, "salesdb");
}

TEST_F(SqlCheckTest, ANewerStoredVersionIsRefusedUnlessDowngradeIsGiven) {
  server_->Answer("DS_FIELD1 = 'orders'", {{"orders", "ORD", "7"}});
  auto file = DataFile("orders");
  Register(*file, 3);
  EXPECT_TRUE(upg::VCQ().empty());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], upg::DowngradeError("orders"));
  EXPECT_EQ(halts_, std::vector<int>{upg::kSqlErrorExitCode});
  EXPECT_TRUE(stops_.empty());

  // "/downgrade" with its case as written: a warning, then the table is compared.
  CommandLine({"/DOWNGRADE"});
  Register(*file, 3);
  EXPECT_EQ(halts_.size(), 2u);
  CommandLine({"/downgrade"});
  Register(*file, 3);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0], upg::DowngradeWarning("orders"));
  ASSERT_EQ(upg::VCQ().size(), 1u);
  EXPECT_EQ(upg::VCQ()[0].goInDeep, 1);
  EXPECT_EQ(halts_.size(), 2u);
}

TEST_F(SqlCheckTest, CheckPaths) {
  struct Case {
    const char* name;
    rt::Short declared;
    const char* stored;  // version in the system table, nullptr for none
    int openError;       // of the data table
    bool selectFails;    // the verify-by-select
    bool expectVersionRow;
    bool expectManaged;
    int expectOpens;     // opens of the data table
  };
  const Case cases[] = {
      {"up to date, left alone", 3, "3", 0, false, false, false, 1},
      {"older, upgraded", 3, "2", 0, false, true, true, 1},
      {"error 47 forces the comparison", 3, "3", rt::kInvalidRecordDeclaration, false, true, true,
       1},
      {"missing, created", 3, nullptr, rt::kFileNotFound, true, true, true, 1},
      {"not found but answers the select", 3, "3", rt::kFileNotFound, false, false, false, 1},
      {"error 90 on SQL Server counts as found", 3, "3", rt::kDriverError, false, false, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    upg::ResetSqlCheck();
    server_ = std::make_shared<CheckServer>();
    db::RegisterSqlDriver("MSSQL", server_);
    if (c.stored) server_->Answer("DS_FIELD1 = 'orders'", {{"orders", "ORD", c.stored}});
    auto file = DataFile("orders");
    Register(*file, c.declared);
    if (c.openError) server_->openErrors["orders"] = c.openError;
    if (c.selectFails) server_->Fail("select * from dbo.orders", "42S02", "no such table");
    Check(*file);
    EXPECT_EQ(Ran("insert into RV3SYS (DS_FIELD1, DS_FIELD2, DS_FIELD3, DS_FIELD4) values "
                  "('orders','ORD','3', getdate())") ||
                  Ran("update RV3SYS set DS_FIELD1 = 'orders'"),
              c.expectVersionRow);
    auto& managed = upg::OpenHookState().managedFiles;
    EXPECT_EQ(std::find(managed.begin(), managed.end(), "orders") != managed.end(),
              c.expectManaged);
    EXPECT_EQ(std::count(server_->opened.begin(), server_->opened.end(), "orders"),
              c.expectOpens);
    EXPECT_FALSE(upg::OpenHookState().conversionDetected);
    // The check leaves the statement file closed and its queues empty.
    EXPECT_FALSE(db::IsOpen(*rv3_));
    EXPECT_TRUE(upg::SFDQ().empty());
  }
}

TEST_F(SqlCheckTest, AFileWithoutVersionRowAndTheSystemTableAreNotExamined) {
  auto file = DataFile("orders");
  file->SetOwner(kOwner);
  Check(*file);
  EXPECT_TRUE(server_->opened.empty());
  EXPECT_TRUE(Traced("Error warning: File not in VCQ, returning..."));
  auto system = DataFile("RV3SYS");
  Register(*system, 1);
  Check(*system);
  EXPECT_TRUE(server_->statements.empty());
  EXPECT_TRUE(Traced("RV3 returning - RV3 System table detected..."));
}

TEST_F(SqlCheckTest, AnOldTableRenamedIsManagedWithoutCreatingAndAFailedRenameConverts) {
  upg::OldFileNames().push_back({"", "orders", "", "oldorders"});
  auto file = DataFile("orders");
  Register(*file, 3);
  server_->openErrors["orders"] = rt::kFileNotFound;
  server_->Fail("select * from dbo.orders", "42S02", "no such table");
  Check(*file);
  EXPECT_TRUE(Ran("sp_rename('oldorders','orders')"));
  EXPECT_FALSE(Ran("insert into RV3SYS"));
  EXPECT_FALSE(upg::OpenHookState().conversionDetected);
  EXPECT_EQ(upg::OpenHookState().managedFiles, std::vector<std::string>{"orders"});

  upg::OpenHookState().managedFiles.clear();
  server_->Fail("sp_rename", "42000", "cannot rename");
  Check(*file);
  EXPECT_TRUE(upg::OpenHookState().conversionDetected);
  EXPECT_TRUE(Ran("insert into RV3SYS"));
}

TEST_F(SqlCheckTest, NamesComeFromTheFileBeingCheckedOnly) {
  // SQL Anywhere: an owner.table name gives the owner; a later plain name
  // has none (no owner left from the earlier file).
  auto first = DataFile("sales.orders", "SQLANYWHERE");
  auto second = DataFile("items", "SQLANYWHERE", "");
  std::string owner = "salesdb,sa," + std::string(kPassword);
  Register(*first, 2, owner);
  Register(*second, 2, owner);
  Check(*first, "ASA");
  EXPECT_EQ(upg::SqlCheck().tableName, "orders");
  EXPECT_EQ(upg::SqlCheck().tableOwner, "sales");
  EXPECT_EQ(upg::SqlCheck().tableLabel, "Orders");
  Check(*second, "ASA");
  EXPECT_EQ(upg::SqlCheck().tableName, "items");
  EXPECT_EQ(upg::SqlCheck().tableOwner, "");
  EXPECT_EQ(upg::SqlCheck().tableLabel, "items");
  // SQL Server: a plain name belongs to "dbo".
  auto third = DataFile("stock");
  Register(*third, 2);
  Check(*third);
  EXPECT_EQ(upg::SqlCheck().tableOwner, "dbo");
  EXPECT_EQ(upg::SqlCheck().databaseName, "salesdb");
  EXPECT_EQ(upg::SqlCheck().serverName, "srv");
}

TEST_F(SqlCheckTest, AFileOutsideTheManageableZoneIsLeftAlone) {
  auto file = DataFile("orders");
  Register(*file, 2);
  file->SetOwner(std::string("srv,otherdb,sa,") + kPassword);
  // The registration found the zone "salesdb"; this file's database differs.
  upg::VCQ()[0].goInDeep = 1;
  Check(*file);
  EXPECT_TRUE(Traced("File: orders, Zone: otherdb"));
  EXPECT_FALSE(Ran("update RV3SYS"));
  EXPECT_FALSE(Ran("insert into RV3SYS"));
  EXPECT_TRUE(upg::OpenHookState().managedFiles.empty());
}

TEST_F(SqlCheckTest, TheHookExaminesAManagedFileOnce) {
  upg::InstallOpenHook();
  auto file = DataFile("orders");
  Register(*file, 3);
  db::HookedOpen(*file, db::kReadWrite | db::kDenyNone);
  db::Close(*file);
  auto& managed = upg::OpenHookState().managedFiles;
  EXPECT_EQ(managed, std::vector<std::string>{"orders"});
  server_->opened.clear();
  server_->statements.clear();
  db::HookedOpen(*file, db::kReadWrite | db::kDenyNone);
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*file);
  // Only the hook's own open: no existence test, no statement.
  EXPECT_EQ(server_->opened, std::vector<std::string>{"orders"});
  EXPECT_TRUE(server_->statements.empty());
  EXPECT_TRUE(Traced("ds_FileOpen File has already been managed: orders"));
  db::SetOpenHook(nullptr);
}

TEST_F(SqlCheckTest, SystemTableStatementsAndVersionRowsQuoteWhatTheyWrite) {
  upg::CurrentSQLFile() = rv3_.get();
  db::Open(*rv3_);
  EXPECT_EQ(upg::CreateFireBirdRV3Table(), 0);
  EXPECT_EQ(upg::CreateMySQLRV3Table(), 0);
  ASSERT_EQ(server_->statements.size(), 2u);
  const std::string& fb = server_->statements[0];
  EXPECT_EQ(fb.rfind("CREATE TABLE RV3SYS (  DS_FIELD1 VARCHAR(255),  DS_FIELD2 VARCHAR(250) NOT "
                     "NULL CONSTRAINT PK_RV3SYS PRIMARY KEY,  DS_FIELD3 VARCHAR(250) NOT NULL,  "
                     "DS_FIELD4 VARCHAR(255),",
                     0),
            0u);
  EXPECT_NE(fb.find("  DS_FIELD40 VARCHAR(255))"), std::string::npos);
  const std::string& my = server_->statements[1];
  EXPECT_NE(my.find("  DS_FIELD2 VARCHAR(250) NOT NULL,  DS_FIELD3"), std::string::npos);
  EXPECT_NE(my.find("  DS_FIELD40 VARCHAR(255), PRIMARY KEY PK_GODBCFILE (DS_FIELD2,DS_FIELD3)) ENGINE=MyISAM"),
            std::string::npos);
  server_->Fail("CREATE TABLE", "42000", "denied");
  EXPECT_EQ(upg::CreateMySQLRV3Table(), 1);

  // A name holding a quote is written as a literal, not as statement text.
  upg::IVQ().push_back({"o'brien", "OB'X", 4});
  upg::FilePrefix() = "ob'x";
  upg::SqlCheck().systemTableName = "RV3SYS";
  server_->statements.clear();
  upg::WriteSystemRow("MSS");
  EXPECT_EQ(server_->statements.back(),
            "insert into RV3SYS (DS_FIELD1, DS_FIELD2, DS_FIELD3, DS_FIELD4) values "
            "('o''brien','OB''X','4', getdate())");
  server_->Answer("where DS_FIELD2 = 'OB''X'", {{"o'brien", "OB'X", "3"}});
  upg::WriteSystemRow("MSS");
  EXPECT_EQ(server_->statements.back(),
            "update RV3SYS set DS_FIELD1 = 'o''brien', DS_FIELD2 = 'OB''X', DS_FIELD3 = '4', "
            "DS_FIELD4 = getdate() where DS_FIELD2 = 'OB''X'");
  upg::FilePrefix() = "NONE";
  upg::WriteSystemRow("MSS");
  EXPECT_TRUE(Traced("Error getting IncomingVerionQ: "));
  EXPECT_EQ(upg::NowExpression("ORA", ""), "sysdate");
  EXPECT_EQ(upg::NowExpression("ASA", ""), "now(*)");
  EXPECT_EQ(upg::NowExpression("ODB", "MYODBC 3"), "now()");
  EXPECT_EQ(upg::NowExpression("ODB", "FIREBIRD"), "current_timestamp");
}

TEST_F(SqlCheckTest, ServerVersionAndStructureTrace) {
  upg::CurrentSQLFile() = rv3_.get();
  db::Open(*rv3_);
  struct Case {
    const char* banner;
    const char* version;
  };
  for (const Case& c : {Case{"Oracle8i Release 8.1.6.0.0", "8i"}, Case{"Oracle 7.3.4", "7"},
                        Case{"Oracle8 Release 8.0.5", "8"}, Case{"Oracle9i Release", "9"},
                        Case{"Oracle Database 10g", ""}}) {
    db::Close(*rv3_);  // the driver is replaced under it
    server_ = std::make_shared<CheckServer>();
    db::RegisterSqlDriver("MSSQL", server_);
    db::Open(*rv3_);
    server_->Answer("V$Version", {{c.banner}});
    EXPECT_EQ(upg::GetSQLServerVersion("ORA"), c.version) << c.banner;
  }
  server_->Fail("V$Version", "42000", "no access");
  EXPECT_EQ(upg::GetSQLServerVersion("ORA"), "8i");
  EXPECT_EQ(upg::GetSQLServerVersion("ODB"), "");
  // SQL Server's comes from the statement file's version property, cut to
  // 20 characters; a server that gives none leaves it empty.
  EXPECT_EQ(upg::GetSQLServerVersion("MSS"), "");
  server_->version = "15.00.2000.0000000000000";
  EXPECT_EQ(upg::GetSQLServerVersion("MSS"), "15.00.2000.000000000");
  EXPECT_TRUE(server_->statements.back().find("V$Version") != std::string::npos) << "no statement ran";

  upg::SqlCheck().fileName = "orders";
  upg::SFDQ().push_back({.name = "ID", .type = "int", .altName = "Id", .nullable = 1});
  upg::ServerKey key;
  key.keyName = "PK_ORDERS";
  key.att = "primary";
  key.fields = "ID";
  key.keyFileName = "pk_orders";
  upg::SKDQ().push_back(key);
  upg::PrintSQLStructure();
  EXPECT_TRUE(Traced("----------SQL FIELD STRUCTURE (orders)----------"));
  EXPECT_TRUE(Traced("-- ID" + std::string(48, ' ') + " int" + std::string(27, ' ') +
                     ", name: Id, nullable: 1 --"));
  EXPECT_TRUE(Traced("--   Fields: ID --"));
  EXPECT_TRUE(Traced("----------END - Total number of keys: 1 ----------"));
  upg::SFDQ().clear();
  upg::SKDQ().clear();
}

}  // namespace

namespace {

TEST_F(SqlCheckTest, TheServersCaseRuleIsKnownBeforeTheDeclarationIsRead) {
  auto file = DataFile("orders");
  Register(*file, 3);
  server_->openErrors["orders"] = rt::kFileNotFound;
  server_->Fail("select * from dbo.orders", "42S02", "no such table");
  server_->Answer("NORESULTCALL ds_GetServerCase", {{"1"}});
  Check(*file);
  EXPECT_EQ(upg::ServerCaseSensitive(), 1);
  const std::vector<std::string> lines = Traced();
  auto at = [&](std::string_view text) {
    return std::find_if(lines.begin(), lines.end(),
                        [&](const std::string& l) { return l.find(text) != std::string::npos; }) -
           lines.begin();
  };
  EXPECT_LT(at("NORESULTCALL ds_GetServerCase"), at("Fields in kdq for key"));
  EXPECT_LT(at("Fields in kdq for key"), static_cast<long>(lines.size()));
}

// What the check's wait window shows: each opening with its message, file
// name and range under its caption, then every new message and bar
// position.
class WaitRecorder : public ui::HeadlessBackend {
 public:
  void WindowOpened(ui::Window& w) override {
    seen.push_back("open " + w.Get(0, ui::Prop::Text) + ": " +
                   w.Get(w.Number("?WAITMESS"), ui::Prop::ScreenText) + " | " +
                   w.Get(w.Number("?NAMEOUTFILE"), ui::Prop::ScreenText) + " | " +
                   w.Get(w.Number("?PROGRESS"), ui::Prop::RangeLow) + ".." +
                   w.Get(w.Number("?PROGRESS"), ui::Prop::RangeHigh));
  }
  void WindowClosed(ui::Window&) override { seen.push_back("closed"); }
  void PropertyChanged(ui::Window& w, int control, ui::Prop p, int) override {
    std::string line;
    if (control == w.Number("?WAITMESS") && p == ui::Prop::ScreenText)
      line = "message " + w.Get(control, p);
    if (control == w.Number("?PROGRESS") && p == ui::Prop::Progress) line = "at " + w.Get(control, p);
    if (!line.empty() && (seen.empty() || seen.back() != line)) seen.push_back(line);
  }
  std::vector<std::string> seen;
};

TEST_F(SqlCheckTest, TheWaitWindowFollowsTheUpgradeClosesAtTheEndAndStaysShutWhenSilent) {
  WaitRecorder recorder;
  ui::SetBackend(&recorder);
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "shown");
    CommandLine(silent ? std::vector<std::string>{"/debugrvall", "/silentupgrading"}
                       : std::vector<std::string>{"/debugrvall"});
    upg::ResetSettings();
    upg::ReadSwitches();
    upg::ResetSqlCheck();
    recorder.seen.clear();
    server_ = std::make_shared<CheckServer>();
    db::RegisterSqlDriver("MSSQL", server_);
    server_->Answer("DS_FIELD1 = 'orders'", {{"orders", "ORD", "2"}});  // older: upgraded
    auto file = DataFile("orders");
    Register(*file, 3);
    Check(*file);
    ASSERT_TRUE(Ran("ALTER TABLE") || Ran("Alter Table")) << "the upgrade ran statements";
    if (silent) {
      EXPECT_EQ(recorder.seen, std::vector<std::string>{});
      continue;
    }
    auto at = [&](const std::string& line) {
      return std::find(recorder.seen.begin(), recorder.seen.end(), line) - recorder.seen.begin();
    };
    const auto n = static_cast<long>(recorder.seen.size());
    const long opened = at("open Please wait: Interpreting File Structures... orders | orders | 0..100");
    EXPECT_LT(opened, at("message Comparing File Structures... orders"));
    EXPECT_LT(at("message Comparing File Structures... orders"),
              at("message Executing upgrade scripts... orders"));
    EXPECT_LT(at("message Executing upgrade scripts... orders"), at("at 100"));
    EXPECT_LT(at("at 100"), n) << "the bar reached the end of the scripts";
    EXPECT_EQ(recorder.seen.back(), "closed") << "the window was left showing a finished check";
    EXPECT_EQ(std::count_if(recorder.seen.begin(), recorder.seen.end(),
                            [](const std::string& s) { return s.rfind("open ", 0) == 0; }),
              1);
    upg::CloseCheckWindow();
  }
  ui::SetBackend(nullptr);
}

// A host's row for the field or key decides, then its row for the file,
// then the option; the check's flags follow the file rows by label.
TEST_F(SqlCheckTest, CreateFlagsComeFromTheHostsRowsBeforeTheOptions) {
  using Rows = std::vector<upg::FileFlag>;
  struct Case {
    const char* what;
    const char* option;
    Rows own, file;
    rt::Byte expected;
  };
  const Case cases[] = {
      {"option on", "1", {}, {}, 1},
      {"option off", "0", {}, {}, 0},
      {"file row over the option", "1", {}, {{"ord:orders", 0}}, 0},
      {"own row over the file row", "0", {{"ORD:NAME", 1}}, {{"ORD:ORDERS", 0}}, 1},
      {"rows of other names", "1", {{"ORD:ID", 0}}, {{"ORD:OTHER", 0}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    upg::ResetRegistration();  // the options only turn on
    if (*c.option == '1') {
      upg::ds_SetOption("dctmasterfields", c.option);
      upg::ds_SetOption("dctmasterkeys", c.option);
    }
    upg::DMF() = c.own;
    upg::DMFF() = c.file;
    upg::DMK() = c.own;
    upg::DMKF() = c.file;
    EXPECT_EQ(upg::ds_CheckCreateField("ORD:orders", "ORD:Name"), c.expected);
    EXPECT_EQ(upg::ds_CheckCreateKey("ORD:orders", "ORD:Name"), c.expected);
  }
  upg::DMF().clear();
  upg::DMK().clear();

  // The check looks its label up: fields managed by the row, keys by the option.
  upg::ResetRegistration();
  upg::ds_AddDriver("MSS", *rv3_, 0, nullptr);
  upg::ds_SetOption("dctmasterkeys", "1");
  upg::DMFF() = {{"ORDERS", 1}};
  upg::DMKF() = {{"OTHERS", 0}};
  server_->Answer("DS_FIELD1 = 'orders'", {{"orders", "ORD", "2"}});
  auto file = DataFile("orders");
  Register(*file, 3);
  Check(*file);
  EXPECT_TRUE(Traced("DCTFieldsMaster: ORDERS: 1"));
  EXPECT_TRUE(Traced("DCTKeysMaster ORDERS: 1"));
  upg::DMFF().clear();
  upg::DMKF().clear();
}

}  // namespace
