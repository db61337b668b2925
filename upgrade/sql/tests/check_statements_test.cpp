// The statements the check sends for a file on the canned server.
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
