// The statement file's result rows and the key-column lookup of the readers.
#include <gtest/gtest.h>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "velmora/files/files.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_exec.h"

namespace {

class ServerStructure : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    db::RegisterSqlDriver("CANNED", server_);
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    upg::CurrentSQLFile() = file_.get();
    upg::SFDQ().clear();
    upg::SKDQ().clear();
  }
  void TearDown() override {
    upg::CurrentSQLFile() = nullptr;
    db::Close(*file_);
    db::RegisterSqlDriver("CANNED", nullptr);
    Engine::TearDown();
  }
  std::shared_ptr<sqltest::CannedServer> server_ = std::make_shared<sqltest::CannedServer>();
  std::unique_ptr<db::FileDecl> file_ = sqltest::StatementFile("CANNED");
};

TEST_F(ServerStructure, ResultRowsAreReadIntoTheFortyTextsAndClearedAtTheEnd) {
  std::string longText(300, 'x');
  server_->Answer("select", {{"ID", "int  ", longText}, {"NAME"}});
  ASSERT_EQ(upg::ExecuteSQLStatement("select * from t", 0), 0);
  ASSERT_TRUE(upg::NextResultRow());
  EXPECT_EQ(upg::ResultRow()[0], "ID");
  EXPECT_EQ(upg::ResultRow()[1], "int");
  EXPECT_EQ(upg::ResultRow()[2], std::string(255, 'x'));
  ASSERT_TRUE(upg::NextResultRow());
  EXPECT_EQ(upg::ResultRow()[0], "NAME");
  EXPECT_EQ(upg::ResultRow()[1], "");
  EXPECT_FALSE(upg::NextResultRow());
  EXPECT_EQ(upg::ResultRow()[0], "");
}

TEST_F(ServerStructure, KeyColumnLookupMarksTheColumnOrOnlyTracesAMissingOne) {
  upg::SFDQ().push_back({.name = "CUSTNO", .type = "int", .altName = "CustNo"});
  upg::SFDQ().push_back({.name = "NAME", .type = "varchar(20)", .altName = "Name"});
  upg::LocateKeyField("custno  ");
  upg::LocateKeyField("GONE");
  EXPECT_EQ(upg::SFDQ()[0].dependant, 1);
  EXPECT_EQ(upg::SFDQ()[1].dependant, 0);
  EXPECT_EQ(upg::SFDQ().size(), 2u);
  EXPECT_EQ(upg::FindServerColumn("name"), &upg::SFDQ()[1]);
  EXPECT_EQ(upg::FindServerColumn("other"), nullptr);
}

}  // namespace
