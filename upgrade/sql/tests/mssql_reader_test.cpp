// The SQL Server reader on canned catalogue rows: the procedures it calls,
// the columns and keys it reads, the linked-server set-up, its failures,
// and the utility procedure.
#include "reader_fixture.h"
#include "velmora/upgrade/registration.h"

namespace {

using Rows = std::vector<sqltest::CannedServer::Row>;

class MssqlReader : public sqltest::CatalogueReader {
 protected:
  void SetUp() override {
    CatalogueReader::SetUp();
    upg::SqlCheck().tableName = "Customers";
    upg::SqlCheck().tableOwner = "dbo";
    upg::SqlCheck().serverName = "SRV";
    upg::SqlCheck().databaseName = "shop";
  }
  // sp_columns: qualifier, owner, table, COLUMN_NAME, type code, TYPE_NAME,
  // PRECISION, LENGTH, SCALE, radix, NULLABLE.
  static sqltest::CannedServer::Row Column(std::string name, std::string type, std::string precision,
                                           std::string length, std::string scale,
                                           std::string nullable) {
    return {"shop", "dbo", "Customers", name, "0", type, precision, length, scale, "10", nullable};
  }
  // sp_statistics: qualifier, owner, table, NON_UNIQUE, index qualifier,
  // INDEX_NAME, type, position, COLUMN_NAME, collation.
  static sqltest::CannedServer::Row Stat(std::string nonUnique, std::string index, std::string seq,
                                         std::string column, std::string order = "A") {
    return {"shop", "dbo", "Customers", nonUnique, "Customers", index, "3", seq, column, order};
  }
  // sp_indexes: catalogue, schema, table, non-unique, qualifier, INDEX_NAME,
  // type, position, COLUMN_NAME, ASC_OR_DESC.
  static sqltest::CannedServer::Row IndexColumn(std::string index, std::string column,
                                                std::string order = "A") {
    return {"shop", "dbo", "Customers", "0", "Customers", index, "3", "1", column, order};
  }
  // The option "remotemachinename" as registered (the trace flags kept).
  void RemoteMachine(const std::string& name) {
    upg::ResetRegistration();
    upg::ReadSwitches();
    if (!name.empty()) upg::ds_SetOption("remotemachinename", name);
  }
  // A table whose server knows itself as a linked server with data access.
  void LinkedAlready() {
    server_->Answer("CALL sp_linkedservers", {{"SRV"}});
    server_->Answer("CALL sp_helpserver('SRV')", {{"SRV", "SRV", "rpc,data access"}});
  }
};

TEST_F(MssqlReader, ReadsColumnsAndKeysThroughTheSystemProcedures) {
  server_->Answer("CALL sp_columns", {Column("CustNo", "int identity", "10", "4", "0", "0"),
                                      Column("Name", "varchar", "20", "20", "", "1"),
                                      Column("Balance", "decimal", "7", "9", "2", "1"),
                                      Column("Created", "datetime", "23", "16", "3", "1")});
  LinkedAlready();
  server_->Answer("CALL sp_pkeys", {{"shop", "dbo", "Customers", "CustNo", "1", "PK_Customers"}});
  server_->Answer("CALL sp_statistics",
                  {{"shop", "dbo", "Customers", "", "", "", "0", "", "", "", "4"},  // table row
                   Stat("0", "PK_Customers", "1", "CustNo"), Stat("1", "ByName", "1", "Name"),
                   Stat("1", "ByName", "2", "Created", "D"), Stat("0", "UQ_Code", "1", "Code"),
                   Stat("0", "PK_Customers", "1", "CustNo")});
  server_->Answer("'PK_Customers')", {IndexColumn("PK_Customers", "CustNo")});
  server_->Answer("'ByName')", {IndexColumn("ByName", "Name"), IndexColumn("ByName", "Created", "D"),
                                IndexColumn("UQ_Code", "Code")});
  server_->Answer("'UQ_Code')", {IndexColumn("UQ_Code", "Code")});
  server_->Fail("sp_helpconstraint('ByName')", "42000", "not a constraint");

  LeaveStaleRows();
  EXPECT_EQ(upg::ds_MSSQLStructure(), 0);

  const std::string indexes = "CALL sp_indexes('SRV','Customers','dbo','shop',";
  EXPECT_EQ(server_->statements,
            (std::vector<std::string>{
                "CALL sp_columns('Customers','dbo')", "CALL sp_linkedservers",
                "CALL sp_helpserver('SRV')", "CALL sp_pkeys('Customers','dbo')",
                "CALL sp_statistics('Customers','dbo')", indexes + "'PK_Customers')",
                "CALL sp_helpconstraint('PK_Customers')", indexes + "'ByName')",
                "CALL sp_helpconstraint('ByName')", indexes + "'UQ_Code')",
                "CALL sp_helpconstraint('UQ_Code')", indexes + "'PK_Customers')",
                "CALL sp_helpconstraint('PK_Customers')"}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"CUSTNO|CustNo|int(4)|1 0 1",
                                                 "NAME|Name|varchar(20)|0 1 1",
                                                 "BALANCE|Balance|decimal(7,2)|0 1 0",
                                                 "CREATED|Created|datetime(16)|0 1 1"}));
  // The primary key's name stands twice in the statistics: primary once.
  EXPECT_EQ(Keys(), (std::vector<std::string>{"PK_CUSTOMERS|PK_Customers|primary|CustNo|1|0",
                                              "BYNAME|ByName|dup|Name Created|1 -2|1",
                                              "UQ_CODE|UQ_Code||Code|1|0",
                                              "PK_CUSTOMERS|PK_Customers||CustNo|1|0"}));
  EXPECT_EQ(upg::TIQ().size(), 5u);  // every statistics row with a column
  EXPECT_TRUE(Traced("Could not locate key field:: \r\n[RV3] CODE"));  // not among the columns
  EXPECT_TRUE(Traced("-- Start of ds_MSSQLStructure:  --"));
  EXPECT_TRUE(Traced("-- End of ds_MSSLoadFieldQ :: Records Added: 4 --"));
  EXPECT_TRUE(Traced("Records added to TableInfoQ: 5"));
  EXPECT_TRUE(Traced("-- End of ds_MSSLoadKeyQ :: Records added to SqlKeyQ: 4 --"));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(MssqlReader, LinkedServerSetUp) {
  struct Case {
    std::string name, server, remote;
    Rows linked;
    std::string addFails, status;
    bool optionFails;
    std::vector<std::string> calls;  // after sp_linkedservers, before sp_pkeys
    std::vector<std::string> boxes;  // the details shown
  };
  const std::string add = "CALL sp_addlinkedserver(";
  const std::string help = "CALL sp_helpserver(";
  const std::string option = "CALL sp_serveroption(";
  const Case cases[] = {
      {"known, with data access", "SRV", "", {{"OTHER"}, {"srv"}}, "", "rpc,data access", false,
       {help + "'SRV')"}, {}},
      {"unknown, without data access", "SRV", "", {{"OTHER"}}, "", "rpc", false,
       {add + "'SRV','SQL Server')", help + "'SRV')", option + "'SRV','DATA ACCESS','TRUE')"}, {}},
      {"named instance and a remote machine", "HOST\\INST", "far", {}, "", "data access", false,
       {add + "'HOST\\INST','SQL Server')", add + "'far\\INST','SQL Server')",
        help + "'HOST\\INST')", help + "'far\\INST')"},
       {}},
      {"already a linked server", "SRV", "", {}, "Server 'SRV' already exists.", "data access",
       false, {add + "'SRV','SQL Server')", help + "'SRV')"}, {}},
      {"cannot be added nor allowed", "SRV", "", {}, "permission denied", "", true,
       {add + "'SRV','SQL Server')", help + "'SRV')", option + "'SRV','DATA ACCESS','TRUE')"},
       {"Could not configure your SQL Server as a Linked Server! RV3 cannot manage this file! "
        "Error:: \r\n[RV3] 42000 - permission denied",
        "Could not configure SQL Server for DATA ACCESS! RV3 cannot manage this file! Error:: "
        "\r\n[RV3] 42000 - denied too"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshServer();
    RemoteMachine(c.remote);
    upg::SqlCheck().serverName = c.server;
    server_->Answer("CALL sp_linkedservers", c.linked);
    if (!c.addFails.empty()) server_->Fail("sp_addlinkedserver", "42000", c.addFails);
    if (c.optionFails) server_->Fail("sp_serveroption", "42000", "denied too");
    server_->Answer("CALL sp_helpserver", {{c.server, c.server, c.status}});
    EXPECT_EQ(upg::ds_MSSQLStructure(), 0);
    std::vector<std::string> calls(server_->statements.begin() + 2, server_->statements.end() - 2);
    EXPECT_EQ(calls, c.calls);
    std::vector<std::string> expected;
    for (const std::string& b : c.boxes) expected.push_back("RV3 " + b + "\r\nWould you like to End the Program?");
    EXPECT_EQ(boxes_, expected);
  }
  // The remote name extended by the instance stays so for the next table.
  RemoteMachine("far");
  for (std::string server : {"HOST\\INST", "SRV"}) {
    FreshServer();
    upg::SqlCheck().serverName = server;
    EXPECT_EQ(upg::ds_MSSQLStructure(), 0);
    EXPECT_EQ(server_->statements.at(3), add + "'far\\INST','SQL Server')");
  }
  RemoteMachine("");
}

TEST_F(MssqlReader, FailingQueriesAreReportedWithTheirTag) {
  struct Case {
    std::string name, fails, retryFails;  // statement fragments
    rt::Long result;
    std::string shown;  // the box, none when empty
    std::string lastStatement;
  };
  const std::string indexes = "CALL sp_indexes(";
  const Case cases[] = {
      {"columns", "sp_columns", "", 1, "[sp_columns] Error: 42S02 no such table",
       "CALL sp_columns('Customers','dbo')"},
      {"statistics", "sp_statistics", "", 1, "[keys] Error: 42S02 - no such table",
       "CALL sp_statistics('Customers','dbo')"},
      {"indexes on the server, not on the remote machine", "sp_indexes('SRV'", "", 0, "",
       "CALL sp_helpconstraint('PK_Customers')"},
      {"indexes on both", "sp_indexes('SRV'", "sp_indexes('FAR'", 1,
       "[indexes] Error: 42S02 - no such table",
       indexes + "'FAR','Customers','dbo','shop','PK_Customers')"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshServer();
    RemoteMachine("FAR");
    server_->Fail(c.fails, "42S02", "no such table");
    if (!c.retryFails.empty()) server_->Fail(c.retryFails, "42S02", "no such table");
    server_->Answer("CALL sp_columns", {Column("CustNo", "int", "10", "4", "0", "0")});
    server_->Answer("CALL sp_linkedservers", {{"SRV"}, {"FAR"}});
    server_->Answer("CALL sp_helpserver", {{"X", "X", "data access"}});
    server_->Answer("CALL sp_statistics", {Stat("0", "PK_Customers", "1", "CustNo")});
    server_->Answer("CALL sp_indexes", {IndexColumn("PK_Customers", "CustNo")});
    EXPECT_EQ(upg::ds_MSSQLStructure(), c.result);
    EXPECT_EQ(server_->statements.back(), c.lastStatement);
    if (c.shown.empty()) {
      EXPECT_TRUE(boxes_.empty());
      // The first failure is only traced; the remote machine answered.
      EXPECT_TRUE(Traced("RV3 RV3: Unable to interpret SQL structure:: \r\n[RV3] [indexes] Error: "
                         "42S02 - no such table"));
      EXPECT_EQ(Keys(), std::vector<std::string>{"PK_CUSTOMERS|PK_Customers||CustNo|1|0"});
    } else {
      std::string shown = c.name == "indexes on both"
                              ? "RV3 RV3: Unable to interpret SQL structure:: \r\n[RV3] " + c.shown +
                                    "\r\nWould you like to End the Program?"
                              : Shown(c.shown);
      EXPECT_EQ(boxes_, std::vector<std::string>{shown});
    }
  }
}

TEST_F(MssqlReader, NamesAreLiteralsAndCutToTheQueuesWidths) {
  const std::string longName(130, 'c');  // SQL Server takes 128
  const std::string longType = "user_defined_type_with_a_long_name";
  upg::SqlCheck().tableName = "O'Brien";
  upg::SqlCheck().tableOwner = "d'bo";
  LinkedAlready();
  server_->Answer("CALL sp_columns", {Column(longName, longType, "10", "4", "0", "1")});
  server_->Answer("CALL sp_statistics", {Stat("1", "IX", "1", longName)});
  server_->Answer("CALL sp_indexes", {IndexColumn("IX", longName)});
  EXPECT_EQ(upg::ds_MSSQLStructure(), 0);
  EXPECT_EQ(server_->statements[0], "CALL sp_columns('O''Brien','d''bo')");
  EXPECT_EQ(server_->statements[3], "CALL sp_pkeys('O''Brien','d''bo')");
  EXPECT_EQ(server_->statements[5], "CALL sp_indexes('SRV','O''Brien','d''bo','shop','IX')");
  const upg::ServerColumn& c = upg::SFDQ().at(0);
  EXPECT_EQ(c.name, std::string(128, 'C'));
  EXPECT_EQ(c.altName, std::string(128, 'c'));
  EXPECT_EQ(c.type, (longType + "(4)").substr(0, 30));
  EXPECT_EQ(c.dependant, 1);  // the key's column found by its cut name
  EXPECT_EQ(upg::SKDQ().at(0).fields, longName);
}

TEST_F(MssqlReader, UtilityProcedureIsMadeOnlyForSqlServer) {
  upg::CreateUtilitySPs("ORA");
  EXPECT_TRUE(server_->statements.empty());
  EXPECT_TRUE(Traced("-- End of CreateUtilitySPs  --"));

  for (auto [told, precision] : {std::pair<std::string, std::string>{"28", "28"}, {"", "38"}}) {
    SCOPED_TRACE(told);
    FreshServer();
    if (!told.empty()) server_->Answer("@@Max_Precision", {{told}});
    else server_->Fail("@@Max_Precision", "42000", "no such variable");
    upg::CreateUtilitySPs("MSS");
    ASSERT_EQ(server_->statements.size(), 3u);
    EXPECT_EQ(server_->statements[0], "Select @@Max_Precision");
    EXPECT_TRUE(Traced("MSS Decimal Precision set to: " + precision));
    EXPECT_EQ(server_->statements[1],
              "if exists (select Name from sysobjects where name = 'ds_ConvertTavrelDateTime' and "
              "type = 'P') drop procedure ds_ConvertTavrelDateTime");
    // One statement of commented lines, in the procedure's order.
    std::vector<std::string> code;
    std::string text = server_->statements[2];
    for (size_t start = 0, end; start <= text.size(); start = end + 2) {
      end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t comment = line.find(" -- ");
      ASSERT_NE(comment, std::string::npos) << line;
      code.push_back(line.substr(0, comment));
    }
    const std::string d = "decimal(" + precision + ",12)";
    EXPECT_EQ(code, (std::vector<std::string>{
                        "Create Procedure ds_ConvertTavrelDateTime @TavDate int = 0, @TavTime int "
                        "= 0, @SqlDateTime datetime output",
                        "as", "declare @SqlDate int", "declare @SqlTime " + d,
                        "declare @TavRoot datetime", "declare @MssqlRoot datetime",
                        "declare @OneMssqlSecond " + d, "set @OneMssqlSecond = 0.000011574077",
                        "set @TavRoot = 'Dec 28, 1800'", "set @MSSQLRoot = 'Jan 01, 1900'",
                        "set @SqlDate = @TavDate - datediff(day,@TavRoot,@MssqlRoot)",
                        "set @SqlTime = (@TavTime / 100) * @OneMssqlSecond",
                        "if @TavDate > 2994626", "  return 1", "if @TavTime > 8640000",
                        "  return 2", "if @TavDate = 0 and @TavTime = 0", "  return -1",
                        "if @TavDate = 0", "  set @SqlDateTime = convert(datetime,@SqlTime,0)",
                        "else if @TavTime = 0",
                        "  set @SqlDateTime = convert(datetime,@SqlDate,0)", "else", "begin",
                        "  set @SqlDateTime = @SqlDate + @SqlTime",
                        "  set @SqlDateTime = convert(datetime,@SqlDateTime,0)", "end"}));
  }
}

}  // namespace
