// The SQL Anywhere reader on canned system-table rows: the primary key from
// the column list, the indexes in index and sequence order, nullability as
// the other readers give it, and its failures.
#include "reader_fixture.h"

namespace {

using Rows = std::vector<sqltest::CannedServer::Row>;

const std::string kFieldsQuery =
    "select c.column_name, c.nulls, c.width, c.scale, d.domain_name, c.\"default\", c.pkey, "
    "c.column_id from sys.syscolumn c inner join sys.systable t on c.table_id = t.table_id "
    "inner join sys.sysdomain d on c.domain_id = d.domain_id where t.table_name = ";
const std::string kIndexQuery =
    "select i.index_name, c.column_name, i.\"unique\", ic.sequence, ic.\"order\", t.table_name "
    "from sysindex i, syscolumn c, sysixcol ic, systable t where t.table_name = ";
const std::string kIndexJoin =
    "and i.table_id = t.table_id and c.table_id = t.table_id and ic.table_id = t.table_id and "
    "i.index_id = ic.index_id and c.column_id = ic.column_id order by i.index_name, ic.sequence";

class AsaReader : public sqltest::CatalogueReader {
 protected:
  void SetUp() override {
    CatalogueReader::SetUp();
    upg::SqlCheck().tableName = "Lines";
  }
  // syscolumn joined: column_name, nulls, width, scale, domain_name,
  // default, pkey, column_id.
  void PlanColumns(Rows rows) { server_->Answer("from sys.syscolumn", std::move(rows)); }
  // sysindex joined: index_name, column_name, unique, sequence, order, table_name.
  void PlanIndexes(Rows rows) { server_->Answer("from sysindex", std::move(rows)); }
};

TEST_F(AsaReader, ReadsThePrimaryKeyFromTheColumnsAndTheIndexesInOrder) {
  PlanColumns({{"OrderNo", "N", "4", "0", "integer", "autoincrement", "Y", "1"},
               {"Line", "N", "2", "0", "smallint", "", "Y", "2"},
               {"Part", "N", "20", "0", "char", "", "Y", "3"},
               {"Price", "Y", "9", "2", "numeric", "0", "N", "4"},
               {"Note", "Y", "32767", "0", "long varchar", "", "N", "5"},
               {"Counter", "N", "4", "0", "autoincrement", "", "N", "6"}});
  PlanIndexes({{"ByPart", "Part", "N", "0", "A", "Lines"},
               {"ByPart", "Price", "N", "1", "D", "Lines"},
               {"Odd", "Note", "?", "0", "A", "Lines"},  // an unknown kind: as the key before
               {"UQ_Note", "Note", "U", "0", "A", "Lines"},
               {"UX_Gone", "Gone", "Y", "0", "A", "Lines"}});
  EXPECT_EQ(upg::ds_ASAStructure(), 0);
  EXPECT_EQ(server_->statements,
            (std::vector<std::string>{kFieldsQuery + "'Lines' order by c.column_id",
                                      kIndexQuery + "'Lines'" + kIndexJoin}));
  // "N" in the nulls column is NOT NULL, as every other reader gives it.
  EXPECT_EQ(Columns(), (std::vector<std::string>{
                           "ORDERNO|OrderNo|integer(4)|1 0 1", "LINE|Line|smallint(2)|0 0 1",
                           "PART|Part|char(20)|0 0 1", "PRICE|Price|numeric(9,2)|0 1 1",
                           "NOTE|Note|long varchar(32767)|0 1 1",
                           "COUNTER|Counter|autoincrement(4)|0 0 0"}));
  EXPECT_EQ(Keys(), (std::vector<std::string>{"PRIMARYKEY|PrimaryKey|primary|OrderNo Line Part|1 2 3|0",
                                              "BYPART|ByPart|dup|Part Price|1 -2|1",
                                              "ODD|Odd|dup|Note|1|1",
                                              "UQ_NOTE|UQ_Note||Note|1|0",
                                              "UX_GONE|UX_Gone||Gone|1|1"}));
  EXPECT_TRUE(Traced("Could not locate key field:: \r\n[RV3] GONE"));
  EXPECT_TRUE(Traced("-- End of ds_ASALoadFieldQ :: records added to SqlFieldQ: 6 --"));
  EXPECT_TRUE(Traced("-- End of ds_ASALoadKeyQ :: records added to SqlKeyQ: 5 --"));
  EXPECT_TRUE(Traced("-- End of ds_ASAStructure  --"));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(AsaReader, EachTableGetsItsOwnPrimaryKey) {
  // One table with a primary key, then one without, then one with another.
  struct Case {
    std::string table;
    Rows columns, indexes;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"A", {{"Id", "N", "4", "0", "integer", "", "Y", "1"}}, {},
       {"PRIMARYKEY|PrimaryKey|primary|Id|1|0"}},
      {"B", {{"Code", "N", "4", "0", "char", "", "N", "1"}}, {{"IX", "Code", "Y", "0", "A", "B"}},
       {"IX|IX||Code|1|1"}},
      {"C", {{"K1", "N", "4", "0", "char", "", "Y", "1"}, {"K2", "N", "4", "0", "char", "", "Y", "2"}},
       {{"IX", "K2", "N", "0", "A", "C"}},
       {"PRIMARYKEY|PrimaryKey|primary|K1 K2|1 2|0", "IX|IX|dup|K2|1|1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    FreshServer();
    upg::SqlCheck().tableName = c.table;
    PlanColumns(c.columns);
    PlanIndexes(c.indexes);
    EXPECT_EQ(upg::ds_ASAStructure(), 0);
    EXPECT_EQ(Keys(), c.keys);
  }
}

TEST_F(AsaReader, FailingQueriesAreReportedWithTheirTag) {
  struct Case {
    std::string fails, shown;
  };
  const Case cases[] = {
      {"from sys.syscolumn", "[fields] Error: 42W33 Table 'Lines' not found"},
      {"from sysindex", "[indexes] Error: 42W33 - Table 'Lines' not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fails);
    FreshServer();
    server_->Fail(c.fails, "42W33", "Table 'Lines' not found");
    PlanColumns({{"Id", "N", "4", "0", "integer", "", "Y", "1"}});
    EXPECT_EQ(upg::ds_ASAStructure(), 1);
    EXPECT_EQ(boxes_, std::vector<std::string>{Shown(c.shown)});
    EXPECT_FALSE(Traced("-- End of ds_ASAStructure  --"));
  }
}

TEST_F(AsaReader, NamesAreLiteralsAndCutToTheQueuesWidths) {
  const std::string longName(130, 'n');  // SQL Anywhere takes 128
  upg::SqlCheck().tableName = "it's\\x";
  PlanColumns({{longName, "N", "4", "0", "a domain name of more than thirty", "", "Y", "1"}});
  PlanIndexes({{longName, longName, "N", "0", "D", "t"}, {longName, "other", "N", "1", "A", "t"}});
  EXPECT_EQ(upg::ds_ASAStructure(), 0);
  EXPECT_EQ(server_->statements.at(0), kFieldsQuery + "'it''s\\\\x' order by c.column_id");
  EXPECT_EQ(server_->statements.at(1), kIndexQuery + "'it''s\\\\x'" + kIndexJoin);
  EXPECT_EQ(Columns(), std::vector<std::string>{std::string(128, 'N') + "|" + std::string(128, 'n') +
                                                "|a domain name of more than thi|0 0 1"});
  // The index over two columns stays one key though its name was cut.
  EXPECT_EQ(upg::SKDQ().size(), 2u);
  EXPECT_EQ(upg::SKDQ()[1].keyFileName, std::string(128, 'n'));
  EXPECT_EQ(upg::SKDQ()[1].fields, longName + " other");
}

}  // namespace
