// The statement file's result rows and the key-column lookup of the readers.
#include <gtest/gtest.h>

#include "reader_fixture.h"

namespace {

using ServerStructure = sqltest::CatalogueReader;

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
