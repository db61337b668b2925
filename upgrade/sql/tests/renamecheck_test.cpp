// The rename check over the old file names, per server.
#include <gtest/gtest.h>

#include "velmora/upgrade/renamecheck.h"

namespace {

TEST(RenameCheck, StatementsPerServer) {
  struct Case {
    const char *server, *flavour, *statement;
  };
  const Case cases[] = {
      {"MSS", "", "CALL sp_rename('dbo.OldForms','Forms')"},
      {"ODB", "MSSQL", "CALL sp_rename('dbo.OldForms','Forms')"},
      {"ORA", "", "Rename OldForms to Forms"},
      {"ODB", "ORACLE", "Rename OldForms to Forms"},
      {"ASA", "", "Alter table dbo.OldForms rename Forms"},
      {"ODB", "MYODBC 3", "ALTER TABLE dbo.OldForms RENAME dbo.Forms"},
      {"ODB", "MYODBC 2", "ALTER TABLE dbo.OldForms RENAME dbo.Forms"},
      {"ODB", "FIREBIRD", ""},
      {"ODB", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(upg::RenameStatement(c.server, c.flavour, "dbo.OldForms", "dbo.Forms"),
              c.statement)
        << c.server << " " << c.flavour;
  // An old name without an owner is the new name's owner's table.
  EXPECT_EQ(upg::RenameStatement("MSS", "", "OldForms", "sales.Forms"), "CALL sp_rename('sales.OldForms','Forms')");
  EXPECT_EQ(upg::RenameStatement("ODB", "MYODBC 3", "old", "db.new"), "ALTER TABLE db.old RENAME db.new");
  // Names are quoted or escaped, never spliced in as they stand.
  EXPECT_EQ(upg::RenameStatement("MSS", "", "a'); drop table x; --", "b"),
            "CALL sp_rename('a''); drop table x; --','b')");
  EXPECT_EQ(upg::RenameStatement("ODB", "MYODBC 3", "old name;", "new"),
            "ALTER TABLE `old name;` RENAME new");
}

TEST(RenameCheck, TheFirstRowMatchingTheNameOrLabelIsUsed) {
  upg::OldFileNames().clear();
  EXPECT_EQ(upg::ds_RenameCheck("MSS", "dbo.Forms", "Forms"), 2);
  upg::OldFileNames() = {{"old", "Other", "", "dbo.Other"},
                         {"old", "forms ", "", "dbo.OldForms"},
                         {"old", "dbo.forms", "", "dbo.Older"}};
  // The label matches; the rename runs and fails here (no server): the
  // new table is then created and the data converted.
  EXPECT_EQ(upg::ds_RenameCheck("MSS", "dbo.Forms", "Forms"), 1);
  EXPECT_EQ(upg::ds_RenameCheck("ORA", "dbo.Nothing", "Nothing"), 2);
  upg::OldFileNames().clear();
}

}  // namespace
