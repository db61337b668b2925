// The Oracle reader on canned dictionary rows: the queries it runs, the
// columns, indexes and constraints it reads, and its failures.
#include "reader_fixture.h"

namespace {

class OracleReader : public sqltest::CatalogueReader {
 protected:
  void SetUp() override {
    CatalogueReader::SetUp();
    upg::SqlCheck().tableName = "Customers";
  }
  // A table with a primary key backed by its index, a two-column index with
  // a descending column, a NOT NULL check and a unique constraint without
  // an index of its name, over a column the column query did not return.
  void PlanCustomers() {
    // user_tab_columns: TABLE_NAME, COLUMN_NAME, DATA_TYPE, DATA_TYPE_MOD,
    // DATA_TYPE_OWNER, DATA_LENGTH, DATA_PRECISION, DATA_SCALE, NULLABLE.
    server_->Answer("from user_tab_columns",
                    {{"CUSTOMERS", "CUSTNO", "NUMBER", "", "", "22", "10", "0", "N"},
                     {"CUSTOMERS", "Name", "VARCHAR2", "", "", "20", "", "", "Y"},
                     {"CUSTOMERS", "BALANCE", "NUMBER", "", "", "22", "7", "2", "Y"},
                     {"CUSTOMERS", "CREATED", "DATE", "", "", "7", "", "", "Y"}});
    // user_ind_columns: INDEX_NAME, TABLE_NAME, COLUMN_NAME, COLUMN_POSITION,
    // COLUMN_LENGTH, CHAR_LENGTH, DESCEND.
    server_->Answer("from user_ind_columns",
                    {{"BYNAME", "CUSTOMERS", "Name", "1", "20", "20", "ASC"},
                     {"BYNAME", "CUSTOMERS", "CREATED", "2", "7", "0", "DESC"},
                     {"", "CUSTOMERS", "CUSTNO", "1", "22", "0", "ASC"},
                     {"PK_CUSTOMERS", "CUSTOMERS", "CUSTNO", "1", "22", "0", "ASC"}});
    // user_cons_columns: OWNER, CONSTRAINT_NAME, TABLE_NAME, COLUMN_NAME, POSITION.
    server_->Answer("from user_cons_columns",
                    {{"SHOP", "PK_CUSTOMERS", "CUSTOMERS", "CUSTNO", "1"},
                     {"SHOP", "SYS_C0012", "CUSTOMERS", "CUSTNO", ""},
                     {"SHOP", "UQ_CODE", "CUSTOMERS", "CODE", "1"},
                     {"SHOP", "UQ_CODE", "CUSTOMERS", "Name", "2"}});
    server_->Answer("index_name = 'BYNAME'", {{"NONUNIQUE"}});
    server_->Answer("constraint_name = 'PK_CUSTOMERS'", {{"P"}});
    server_->Answer("constraint_name = 'SYS_C0012'", {{"C"}});
    server_->Answer("constraint_name = 'UQ_CODE'", {{"U"}});
  }
};

TEST_F(OracleReader, ReadsColumnsIndexesAndConstraints) {
  PlanCustomers();
  LeaveStaleRows();
  EXPECT_EQ(upg::ds_OracleStructure(), 0);
  const std::string t = " where table_name = 'CUSTOMERS'";
  EXPECT_EQ(server_->statements,
            (std::vector<std::string>{
                "select * from user_tab_columns" + t,
                "select * from user_ind_columns" + t + " order by index_name, column_position",
                "select * from user_cons_columns" + t + " order by constraint_name, position",
                "select UNIQUENESS from user_indexes" + t + " and index_name = 'BYNAME'",
                "select CONSTRAINT_TYPE from user_constraints" + t +
                    " and constraint_name = 'PK_CUSTOMERS'",
                "select CONSTRAINT_TYPE from user_constraints" + t +
                    " and constraint_name = 'SYS_C0012'",
                "select CONSTRAINT_TYPE from user_constraints" + t +
                    " and constraint_name = 'UQ_CODE'"}));
  EXPECT_EQ(Columns(), (std::vector<std::string>{"CUSTNO|CUSTNO|NUMBER(10,0)|0 0 1",
                                                 "NAME|Name|VARCHAR2(20)|0 1 1",
                                                 "BALANCE|BALANCE|NUMBER(7,2)|0 1 0",
                                                 "CREATED|CREATED|DATE(7)|0 1 1"}));
  // The primary key's constraint marks its index; its column is not read again.
  EXPECT_EQ(Keys(), (std::vector<std::string>{"BYNAME|BYNAME|dup|Name CREATED|1 -2|1",
                                              "PK_CUSTOMERS|PK_CUSTOMERS|primary|CUSTNO|1|0",
                                              "SYS_C0012|SYS_C0012|dup|CUSTNO|1|0",
                                              "UQ_CODE|UQ_CODE||CODE Name|1 2|0"}));
  EXPECT_EQ(upg::TIQ().size(), 2u);  // the two index names
  EXPECT_EQ(upg::TIQ()[1][0], "PK_CUSTOMERS");
  EXPECT_TRUE(Traced("Could not locate key field:: \r\n[RV3] CODE"));
  EXPECT_TRUE(Traced("ORA: sfdq: BALANCE NUMBER(7,2) gsfg: NUMBER !!"));
  EXPECT_TRUE(Traced("-- Start of ds_OracleStructure  --"));
  EXPECT_TRUE(Traced("-- End of ds_ORALoadKeyQ :: records added to SqlKeyQ: 4 --"));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(OracleReader, DescendingColumnsAndLongNames) {
  const std::string longName(60, 'C');
  server_->Answer("from user_tab_columns",
                  {{"T", longName, "TIMESTAMP(6) WITH LOCAL TIME ZONE", "", "", "11", "", "6", "Y"},
                   {"T", "B", "NUMBER", "", "", "22", "", "", "X"}});
  server_->Answer("from user_ind_columns", {{"IX", "T", longName, "1", "11", "0", "Y"},
                                            {"IX", "T", "B", "2", "22", "0", "DESC"},
                                            {"IX", "T", "A", "3", "22", "0", "ASC"}});
  EXPECT_EQ(upg::ds_OracleStructure(), 0);
  const upg::ServerColumn& c = upg::SFDQ().at(0);
  EXPECT_EQ(c.name, std::string(50, 'C'));
  EXPECT_EQ(c.type, std::string("TIMESTAMP(6) WITH LOCAL TIME ZONE(11)").substr(0, 30));
  EXPECT_EQ(c.dependant, 1);
  // An unknown nullability keeps the value of the row before it.
  EXPECT_EQ(upg::SFDQ().at(1).nullable, 1);
  EXPECT_EQ(upg::SFDQ().at(1).type, "NUMBER(,)");
  EXPECT_EQ(Keys(), std::vector<std::string>{"IX|IX|dup|" + longName + " B A|-1 -2 3|1"});
}

TEST_F(OracleReader, FailingQueriesAreReportedWithTheirTag) {
  struct Case {
    std::string fails;  // a fragment of the failing query
    std::string shown;  // the detail of the box
    size_t statements;  // run until the failure
  };
  const Case cases[] = {
      {"from user_tab_columns", "[columns] Error: 942 table or view does not exist", 1},
      {"from user_ind_columns", "[index cols] Error: 942 - table or view does not exist", 2},
      {"from user_cons_columns", "[constraints] Error: 942 - table or view does not exist", 3},
      {"from user_indexes", "[indexes] Error: 942 - table or view does not exist", 4},
      {"from user_constraints", "[constraint type] Error: 942 - table or view does not exist", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fails);
    FreshServer();
    server_->Fail(c.fails, "942", "table or view does not exist");
    PlanCustomers();
    EXPECT_EQ(upg::ds_OracleStructure(), 1);
    EXPECT_EQ(server_->statements.size(), c.statements);
    EXPECT_EQ(boxes_, std::vector<std::string>{Shown(c.shown)});
    EXPECT_TRUE(Traced(c.fails == "from user_cons_columns" ? ", t: M42, l: 1" : ", t: M34, l: 1"));
  }
}

TEST_F(OracleReader, TableAndKeyNamesAreUpperCasedLiterals) {
  upg::SqlCheck().tableName = "o'brien";
  server_->Answer("from user_ind_columns", {{"IX'1", "O'BRIEN", "A", "1", "1", "1", "ASC"}});
  EXPECT_EQ(upg::ds_OracleStructure(), 0);
  EXPECT_EQ(server_->statements.at(0),
            "select * from user_tab_columns where table_name = 'O''BRIEN'");
  EXPECT_EQ(server_->statements.at(3),
            "select UNIQUENESS from user_indexes where table_name = 'O''BRIEN' and index_name = "
            "'IX''1'");
}

}  // namespace
