// The statements the check sends for a file on the canned server: an
// owner's table named with its owner everywhere, the rename paths of each
// server, no conversion without a table, SQL Server's case question, and
// undeclared columns kept unless the declaration is master.
#include <gtest/gtest.h>

#include "check_fixture.h"
#include "velmora/upgrade/sqlnames.h"

namespace {

using Rows = std::vector<sqltest::CannedServer::Row>;
using Statements = std::vector<std::string>;

class CheckStatements : public sqltest::SqlCheckTest {
 protected:
  // A new canned server behind every driver, the check's state as at start.
  void Fresh() {
    upg::ResetSqlCheck();
    upg::OldFileNames().clear();
    server_ = std::make_shared<sqltest::CheckServer>();
    for (const char* driver : {"MSSQL", "SQLANYWHERE", "ORACLE"}) db::RegisterSqlDriver(driver, server_);
    messages_.clear();
  }
  // ID, NAME, CITY (named TOWN on the server) with a unique and a dup key.
  static std::unique_ptr<db::FileDecl> Orders(const std::string& name, const std::string& driver = "MSSQL") {
    db::DeclBuilder b("Orders", "ORD");
    b.Driver(driver).Name(name);
    b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", 20);
    b.Field(db::Type::CString, "CITY", 16).ExtName("TOWN");
    return b.Key("ID_KEY", {1}, 0).Key("NAME_KEY", {2}, db::kKeyDup).Build();
  }
  // An older version stored for `file`: the check compares it.
  void StoredOlder(const std::string& file) {
    server_->Answer("DS_FIELD1 = '" + file + "'", {{file, "ORD", "2"}});
  }
  // sp_columns rows of a table in the schema `owner`.
  static sqltest::CannedServer::Row Column(const std::string& owner, const std::string& name,
                                           const std::string& type, const std::string& length) {
    return {"salesdb", owner, "orders", name, "0", type, length, length, "0", "10", "1"};
  }
  // The table "orders" is missing: its open and the select looking for it fail.
  void NoSuchTable() {
    server_->openErrors["orders"] = rt::kFileNotFound;
    server_->Fail("select * from dbo.orders", "42S02", "no such table");
    server_->Fail("select * from orders", "42S02", "no such table");
  }
  bool VersionWritten() const { return Ran("insert into RV3SYS") || Ran("update RV3SYS"); }
  void LinkedAlready() {
    server_->Answer("CALL sp_linkedservers", {{"srv"}});
    server_->Answer("CALL sp_helpserver('srv')", {{"srv", "srv", "rpc,data access"}});
  }
};

// Every statement and catalogue query of an upgrade names the owner's
// table, not the one of the same name in the default schema.
TEST_F(CheckStatements, AnOwnersTableIsNamedWithItsOwnerByEveryStatementAndQuery) {
  upg::ds_SetOption("dctmasterfields", "1");
  upg::ds_SetOption("dctmasterkeys", "1");
  auto file = Orders("sales.orders");
  StoredOlder("sales.orders");
  Register(*file, 3);
  server_->Answer("CALL sp_columns", {Column("sales", "ID", "int", "4"), Column("sales", "CITY", "varchar", "15"),
                                      Column("sales", "GONE", "int", "4")});
  LinkedAlready();
  const sqltest::CannedServer::Row gone{"salesdb", "sales", "orders", "1", "orders", "GONE_IDX", "3", "1", "GONE", "A"};
  server_->Answer("CALL sp_statistics", {gone});
  server_->Answer("'GONE_IDX')", {gone});
  server_->Fail("sp_helpconstraint", "42000", "not a constraint");
  Check(*file);
  EXPECT_TRUE(Ran("'sales.orders','ORD','3'")) << "the upgrade did not finish";
  for (const char* expected : {"CALL sp_columns('orders','sales')", "CALL sp_pkeys('orders','sales')",
                               "CALL sp_statistics('orders','sales')",
                               "EXEC sp_rename 'sales.orders.CITY','TOWN','COLUMN'",
                               "Alter Table sales.orders add NAME varchar(19)", "Drop Index sales.orders.GONE_IDX",
                               "Alter Table sales.orders drop column GONE",
                               "CREATE INDEX ORDERS_NAME_KEY ON sales.orders (NAME)"})
    EXPECT_TRUE(Ran(expected)) << expected;
  for (const std::string& s : server_->statements) {
    if (s.find("orders") == std::string::npos) continue;
    EXPECT_TRUE(s.find("sales.orders") != std::string::npos || s.find("'orders','sales'") != std::string::npos)
        << s;
  }
}

// SQL Anywhere's catalogue is read for the owner's table; Oracle's holds
// the connected user's tables only, so another owner's is left alone.
TEST_F(CheckStatements, OtherOwnersTablesAreReadAsTheirsOrLeftAlone) {
  struct Case {
    const char *code, *driver, *name;
    const std::string& owner;
    const char* expected;  // a statement that ran, or nullptr: none ran
  };
  const Case cases[] = {
      {"ASA", "SQLANYWHERE", "sales.orders", sqltest::kAsaOwner, "t.table_name = 'orders' and user_name(t.creator) = 'sales'"},
      {"ORA", "ORACLE", "scott.orders", sqltest::kOraOwner, "user_tab_columns where table_name = 'ORDERS'"},
      {"ORA", "ORACLE", "hr.orders", sqltest::kOraOwner, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    auto file = DataFile(c.name, c.driver);
    StoredOlder(c.name);
    Register(*file, 3, c.owner);
    Check(*file, c.code);
    if (c.expected) {
      EXPECT_TRUE(Ran(c.expected));
      EXPECT_TRUE(VersionWritten());
    } else {
      EXPECT_EQ(server_->statements, Statements{});
      EXPECT_TRUE(Traced("File: hr.orders, Zone: scott"));
    }
  }
  // Both of SQL Anywhere's catalogue queries name the owner.
  Fresh();
  auto file = DataFile("sales.orders", "SQLANYWHERE");
  StoredOlder("sales.orders");
  Register(*file, 3, sqltest::kAsaOwner);
  Check(*file, "ASA");
  EXPECT_EQ(std::count_if(server_->statements.begin(), server_->statements.end(),
                          [](const std::string& s) { return s.find("user_name(t.creator) = 'sales'") != std::string::npos; }),
            2);
}

// The rename check of each server sends its rename statement on the
// statement file; the old name is found by the file's name or its label.
// A failed rename creates the table and converts.
TEST_F(CheckStatements, TheRenameCheckRenamesOnEveryServerByNameOrLabel) {
  struct Case {
    const char *what, *code, *driver;
    int openError;
    upg::OldFileName old;
    bool renameFails;
    Statements statements;
  };
  const Case cases[] = {
      {"Oracle", "ORA", "ORACLE", rt::kFileNotFound, {"", "orders", "", "oldorders"}, false,
       {"Select * from V$Version", "Rename oldorders to orders"}},
      {"SQL Anywhere", "ASA", "SQLANYWHERE", rt::kDriverError, {"", "ORDERS", "", "oldorders"}, false,
       {"Alter table oldorders rename orders"}},
      {"SQL Server by label", "MSS", "MSSQL", rt::kFileNotFound, {"", "orders2", "", "never"}, false,
       {"select * from dbo.orders", "CALL sp_rename('oldbylabel','orders')"}},
      {"Oracle, rename refused", "ORA", "ORACLE", rt::kFileNotFound, {"", "orders", "", "oldorders"}, true,
       {"Select * from V$Version", "Rename oldorders to orders",
        "CREATE TABLE orders (ID number(10,0), NAME varchar2(19))",
        "ALTER TABLE orders ADD CONSTRAINT ORDERS_ID_KEY UNIQUE (ID)",
        "select * from RV3SYS where DS_FIELD2 = 'ORD'",
        "insert into RV3SYS (DS_FIELD1, DS_FIELD2, DS_FIELD3, DS_FIELD4) values ('orders','ORD','3', sysdate)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    auto file = DataFile("orders", c.driver);
    Register(*file, 3, c.code == std::string("ORA") ? sqltest::kOraOwner
                       : c.code == std::string("ASA") ? sqltest::kAsaOwner
                                                      : sqltest::kOwner);
    NoSuchTable();
    server_->openErrors["orders"] = c.openError;
    if (c.renameFails) server_->Fail("Rename", "42000", "cannot rename");
    upg::OldFileNames() = {c.old, {"", "Orders", "", "oldbylabel"}};
    Check(*file, c.code);
    EXPECT_EQ(server_->statements, c.statements);
    EXPECT_EQ(upg::OpenHookState().conversionDetected, c.renameFails);
    EXPECT_EQ(upg::OpenHookState().managedFiles, std::vector<std::string>{"orders"});
    EXPECT_EQ(Traced("Rename failed. Reason: cannot rename"), c.renameFails);
  }
}

// When neither the rename nor the new table succeeds, nothing is to be
// converted: one message, no version row, and the next open looks again.
TEST_F(CheckStatements, NoConversionWithoutATable) {
  auto file = DataFile("orders");
  Register(*file, 3);
  upg::OldFileNames() = {{"", "orders", "", "oldorders"}};
  NoSuchTable();
  server_->Fail("sp_rename", "42000", "cannot rename");
  server_->Fail("CREATE TABLE", "42000", "CREATE TABLE permission denied");
  server_->Fail("ALTER TABLE", "42S02", "no such table");
  Check(*file);
  EXPECT_FALSE(upg::OpenHookState().conversionDetected);
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_FALSE(VersionWritten());
  EXPECT_TRUE(upg::OpenHookState().managedFiles.empty());
}

// The program itself asks SQL Server whether it compares names exactly.
TEST_F(CheckStatements, SqlServerIsAskedWhetherItComparesNamesExactly) {
  for (const char* answer : {"1", "0"}) {
    SCOPED_TRACE(answer);
    Fresh();
    upg::ServerCaseKnown() = 0;
    upg::ServerCaseSensitive() = answer[0] == '0';
    auto file = DataFile("orders");
    Register(*file, 3);
    NoSuchTable();
    server_->Answer("NORESULTCALL ds_GetServerCase(&locCase [OUT])", {{answer}});
    Check(*file);
    EXPECT_TRUE(Ran("CREATE procedure ds_GetServerCase"));
    EXPECT_EQ(upg::ServerCaseSensitive(), answer[0] == '1' ? 1 : 0);
  }
  upg::ServerCaseKnown() = 0;
  upg::ServerCaseSensitive() = 0;
}

// A column the declaration does not hold stays, with its values, unless
// the host made the declaration master of the columns.
TEST_F(CheckStatements, AnUndeclaredColumnIsDroppedOnlyWhenTheDeclarationIsMaster) {
  for (bool master : {false, true}) {
    SCOPED_TRACE(master ? "master" : "not master");
    Fresh();
    upg::ResetRegistration();
    upg::ds_AddDriver("MSS", *rv3_, 0, nullptr);
    if (master) upg::ds_SetOption("dctmasterfields", "1");
    auto file = DataFile("orders");
    StoredOlder("orders");
    Register(*file, 3);
    server_->Answer("CALL sp_columns", {Column("dbo", "ID", "int", "4"), Column("dbo", "NAME", "varchar", "19"),
                                        Column("dbo", "EXTRA", "int", "4")});
    LinkedAlready();
    Check(*file);
    EXPECT_TRUE(VersionWritten()) << "the upgrade did not finish";
    EXPECT_EQ(Ran("drop column EXTRA"), master);
  }
}

}  // namespace
