// The Firebird and MySQL catalogue readers and their dispatch, on canned
// catalogue rows shaped like the servers' (blank-padded names, NULL flags
// read as empty texts).
#include <gtest/gtest.h>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "reader_fixture.h"
#include "reader_rows.h"
#include "velmora/files/files.h"
#include "velmora/runtime/system.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/mysql_reader.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/version_rows.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/runtime/text.h"

namespace {

using Rows = std::vector<sqltest::CannedServer::Row>;

// A catalogue name as Firebird returns it: CHAR(63), blank-padded.
std::string Padded(const std::string& name) { return name + std::string(63 - name.size(), ' '); }

// One RDB$Relation_Fields row: name, null flag, length, precision, scale,
// type, sub type, type name.
sqltest::CannedServer::Row Column(const std::string& name, const std::string& nullFlag,
                                  const std::string& length, const std::string& precision,
                                  const std::string& scale, const std::string& type,
                                  const std::string& subType, const std::string& typeName) {
  return {Padded(name), nullFlag, length, precision, scale, type, subType, Padded(typeName)};
}

class CatalogueReaders : public sqltest::CatalogueReader {
 protected:
  void SetUp() override {
    CatalogueReader::SetUp();
    upg::SqlCheck().tableName = "Customers";
  }
  void TearDown() override {
    upg::OpenRV3SQLFileCall() = &upg::OpenRV3SQLFile;
    upg::MySQLDriverLibrary() = "libmaodbc.so";
    CatalogueReader::TearDown();
  }

  // The catalogue of a Firebird table CUSTOMERS: a primary key backed by
  // its index, a unique index, a descending index over two columns, an
  // index with a foreign-key constraint over a column the column query
  // does not return.
  void FirebirdCustomers() {
    server_->Answer("from RDB$Relation_Fields",
                    Rows{Column("CUSTNO", "1", "4", "0", "0", "8", "0", "LONG"),
                         Column("NAME", "", "20", "", "0", "37", "0", "VARYING"),
                         Column("BALANCE", "", "4", "9", "-2", "8", "1", "LONG"),
                         Column("RATE", "", "8", "15", "-3", "16", "2", "INT64"),
                         Column("BORN", "0", "4", "", "0", "12", "", "DATE"),
                         Column("CODE", "1", "4", "", "0", "14", "0", "TEXT"),
                         Column("COUNTER", "", "8", "0", "0", "16", "0", "INT64"),
                         Column("NOTES", "", "8", "", "0", "261", "1", "BLOB"),
                         Column("ACTIVE", "", "1", "", "0", "23", "", "BOOLEAN")});
    server_->Answer("from rdb$indices",
                    Rows{{Padded("RDB$PRIMARY1"), "1", "1", ""},
                         {Padded("CUS_BYCODE"), "1", "1", "0"},
                         {Padded("CUS_BYNAME"), "0", "2", "1"},
                         {Padded("RDB$FOREIGN4"), "0", "1", ""}});
    server_->Answer("rdb$index_name = 'RDB$PRIMARY1' and",
                    Rows{{Padded("INTEG_2"), Padded("PRIMARY KEY")}});
    server_->Answer("rdb$index_name = 'RDB$FOREIGN4' and",
                    Rows{{Padded("INTEG_7"), Padded("FOREIGN KEY")},
                         {Padded("INTEG_8"), Padded("UNIQUE")}});
    server_->Answer("from rdb$relation_constraints", {});
    server_->Answer("rdb$index_name = 'RDB$PRIMARY1' order", Rows{{Padded("CUSTNO"), "0"}});
    server_->Answer("rdb$index_name = 'CUS_BYCODE' order", Rows{{Padded("CODE"), "0"}});
    server_->Answer("rdb$index_name = 'CUS_BYNAME' order",
                    Rows{{Padded("NAME"), "0"}, {Padded("CUSTNO"), "1"}});
    server_->Answer("rdb$index_name = 'RDB$FOREIGN4' order", Rows{{Padded("AGENT"), "0"}});
  }

};

TEST_F(CatalogueReaders, FirebirdColumnsAndKeysAreReadTheServersWay) {
  FirebirdCustomers();
  ASSERT_EQ(upg::ds_FireBirdStructure(), 0);

  // NOT NULL (flag 1) reads as nullable 0; a NULL or 0 flag as nullable 1.
  std::vector<std::string> columns{
      "CUSTNO|integer|CUSTNO|0|0|1",       "NAME|varchar(20)|NAME|0|1|1",
      "BALANCE|numeric(9,2)|BALANCE|0|1|0", "RATE|decimal(15,3)|RATE|0|1|0",
      "BORN|date|BORN|0|1|0",               "CODE|char(4)|CODE|0|0|1",
      "COUNTER|bigint|COUNTER|0|1|0",       "NOTES|blob|NOTES|0|1|0",
      "ACTIVE|boolean|ACTIVE|0|1|0"};
  EXPECT_EQ(sqltest::ColumnRows(), columns);

  // The index type decides the direction: 1 descending, 0 or NULL ascending.
  std::vector<std::string> keys{
      "RDB$PRIMARY1|primary|CUSTNO|1|RDB$PRIMARY1|1|0",
      "CUS_BYCODE||CODE|1|CUS_BYCODE|1|1",
      "CUS_BYNAME|dup|NAME CUSTNO|2|CUS_BYNAME|-1,-2|1",
      "RDB$FOREIGN4|dup|AGENT|1|RDB$FOREIGN4|1|1"};
  EXPECT_EQ(sqltest::KeyRows(), keys);

  // AGENT is no column of the table: only a trace.
  EXPECT_TRUE(Traced("ds_Error IN: m: Could not locate key field: , e: AGENT, t: M38, l: 0"));
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(Traced("-- Start of ds_FireBirdStructure  --"));
  EXPECT_TRUE(Traced("-- End of ds_FIRLoadFieldQ 9 --"));
  EXPECT_TRUE(Traced("Records added to TableInfoQ: 4"));
  EXPECT_TRUE(Traced("-- End of ds_FIRLoadKeyQ  --"));
  EXPECT_TRUE(upg::TIQ().size() == 4);
}

TEST_F(CatalogueReaders, FirebirdQueriesNameTheTableAsTheCatalogueHoldsIt) {
  struct Case {
    std::string tableName, literal;
  };
  std::string longName = "Customer_Addresses_And_Their_Histories";  // 38 characters
  std::vector<Case> cases{
      {"Customers", "'CUSTOMERS'"},          // unquoted: kept upper-cased
      {"Cust Orders", "'Cust Orders'"},      // quoted: kept as spelt
      {"O'Brien", "'O''Brien'"},             // the quote doubled in the literal
      {longName, "'" + upg::ServerName(upg::Dialect::Firebird, rt::Upper(longName)) + "'"},
  };
  for (const Case& c : cases) {
    server_->statements.clear();
    upg::SqlCheck().tableName = c.tableName;
    ASSERT_EQ(upg::ds_FireBirdStructure(), 0) << c.tableName;
    ASSERT_EQ(server_->statements.size(), 2u);
    EXPECT_NE(server_->statements[0].find("rn.RDB$Relation_Name = " + c.literal + " and"),
              std::string::npos)
        << server_->statements[0];
    EXPECT_NE(server_->statements[1].find("rdb$relation_name = " + c.literal), std::string::npos)
        << server_->statements[1];
  }
  EXPECT_EQ(upg::ServerName(upg::Dialect::Firebird, rt::Upper(longName)).size(), 31u);
}

TEST_F(CatalogueReaders, NamesAreCutToTheQueuesSizes) {
  std::string name60(60, 'c'), key60(60, 'k');
  server_->Answer("from RDB$Relation_Fields",
                  Rows{{name60, "", "4", "0", "0", "8", "0", "LONG"}});
  server_->Answer("from rdb$indices", Rows{{key60, "0", "1", ""}});
  server_->Answer("from rdb$index_segments", Rows{{name60, "0"}});
  ASSERT_EQ(upg::ds_FireBirdStructure(), 0);
  ASSERT_EQ(upg::SFDQ().size(), 1u);
  EXPECT_EQ(upg::SFDQ()[0].name, std::string(50, 'C'));
  EXPECT_EQ(upg::SFDQ()[0].altName, std::string(50, 'c'));
  ASSERT_EQ(upg::SKDQ().size(), 1u);
  EXPECT_EQ(upg::SKDQ()[0].keyName, std::string(50, 'K'));
  EXPECT_EQ(upg::SKDQ()[0].keyFileName, std::string(50, 'k'));
  // The key's column is the cut column: the lookup finds it.
  EXPECT_EQ(upg::SFDQ()[0].dependant, 1);

  upg::ServerKey key = upg::NewServerKey("K", "", 1);
  for (int i = 0; i < 25; ++i) upg::AddKeyColumn(key, std::string(30, 'a' + (i % 26)), i % 2, false);
  EXPECT_EQ(key.numFields, 25);
  EXPECT_EQ(key.fields.size(), 500u);
  EXPECT_EQ(key.fieldNums[0], 1);
  EXPECT_EQ(key.fieldNums[1], -2);
  EXPECT_EQ(key.fieldNums[19], -20);
}

TEST_F(CatalogueReaders, AFailingFirebirdQueryIsReportedWithItsTagAndEndsTheReading) {
  struct Case {
    std::string fragment, tag;
    size_t statements;
  };
  std::vector<Case> cases{{"from RDB$Relation_Fields", "fields", 1},
                          {"from rdb$indices", "keys", 2},
                          {"from rdb$relation_constraints", "contraints", 3},
                          {"from rdb$index_segments", "keyfields", 4}};
  for (const Case& c : cases) {
    db::Close(*file_);
    server_ = std::make_shared<sqltest::CannedServer>();
    db::RegisterSqlDriver("CANNED", server_);
    db::Open(*file_);
    FirebirdCustomers();
    server_->Fail(c.fragment, "42S02", "Table unknown  ");
    traces_.clear();
    boxes_.clear();
    EXPECT_EQ(upg::ds_FireBirdStructure(), 1) << c.tag;
    EXPECT_EQ(server_->statements.size(), c.statements) << c.tag;
    EXPECT_TRUE(Traced("e: [" + c.tag + "] Error: 42S02 Table unknown, t: M34, l: 1")) << c.tag;
    ASSERT_EQ(boxes_.size(), 1u) << c.tag;
    EXPECT_NE(boxes_[0].find("Unable to interpret SQL structure:"), std::string::npos) << boxes_[0];
    EXPECT_NE(boxes_[0].find("[" + c.tag + "] Error: 42S02"), std::string::npos) << boxes_[0];
  }
}

TEST_F(CatalogueReaders, DispatchOpensTheSystemTableAndPicksTheReaderByServerAndFlavour) {
  static std::vector<std::string> opened;
  opened.clear();
  upg::OpenRV3SQLFileCall() = [](std::string_view code) -> rt::Long {
    opened.emplace_back(code);
    return 0;
  };
  FirebirdCustomers();
  // Leftovers of an earlier table.
  sqltest::Leftovers();
  EXPECT_EQ(upg::LoadServerStructure("ODB", "MYODBC"), 0);  // plain ODBC: no reader
  EXPECT_TRUE(server_->statements.empty());
  EXPECT_EQ(upg::LoadServerStructure("ODB", "firebird  "), 0);
  EXPECT_EQ(upg::SFDQ().size(), 9u);
  EXPECT_EQ(upg::SKDQ().size(), 4u);
  EXPECT_EQ(opened, (std::vector<std::string>{"ODB", "ODB"}));

  // A reader that fails leaves nothing behind that could pass for the table.
  server_->Fail("from rdb$index_segments", "HY000", "lost");
  EXPECT_EQ(upg::LoadServerStructure("ODB", "FIREBIRD"), 1);
  EXPECT_TRUE(upg::SFDQ().empty());
  EXPECT_TRUE(upg::SKDQ().empty());
}

TEST_F(CatalogueReaders, AMissingMySQLDriverLibraryOrEntryPointFailsCleanly) {
  struct Case {
    std::string library, detail;
  };
  std::vector<Case> cases{
      {"libvelmora-no-such-driver.so",
       "[driver] Error:  The ODBC driver library cannot be loaded: libvelmora-no-such-driver.so"},
      // A library that loads but is no ODBC driver: none of the entry points.
      {"libm.so.6",
       "[driver] Error:  The ODBC driver library libm.so.6 lacks the entry points SQLAllocEnv, "
       "SQLAllocConnect, SQLAllocStmt, SQLPrepare, SQLExecute, SQLError, SQLFreeEnv, "
       "SQLFreeConnect, SQLFreeStmt, SQLConnect, SQLDisconnect, SQLNumResultCols, SQLBindCol, "
       "SQLFetch, SQLDriverConnect"},
  };
  for (const Case& c : cases) {
    upg::MySQLDriverLibrary() = c.library;
    sqltest::Leftovers();
    traces_.clear();
    boxes_.clear();
    EXPECT_EQ(upg::LoadServerStructure("ODB", "MYODBC 3"), 1) << c.library;
    EXPECT_TRUE(upg::SFDQ().empty());
    EXPECT_TRUE(upg::SKDQ().empty());
    EXPECT_TRUE(Traced("e: " + c.detail + ", t: M34, l: 1")) << c.library;
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(Traced("ds_MySQLStructure IN MYODBC 3"));
    EXPECT_TRUE(Traced("ds_MySQLStructure OUT"));
    EXPECT_TRUE(server_->statements.empty());
  }
}

}  // namespace
