// The SQL connections against the private MariaDB and Firebird servers.
#include <gtest/gtest.h>

#include <thread>

#include "server_fixture.h"
#include "velmora/sql.h"
#include "velmora/sql_names.h"
#include "velmora/sql_owner.h"

namespace sql = velmora::sql;

namespace {

using sqltest_env::Backend;

class SqlServer : public sqltest_env::ServerTest {
 protected:
  sql::Connection* connect() {
    std::string error;
    sql::Connection* c = sql::connectionFor("ODBC", owner_, GetParam().flavour, error);
    EXPECT_NE(c, nullptr) << error;
    return c;
  }
};

TEST_P(SqlServer, CreatesInsertsAndReadsRowsBackFieldByField) {
  sql::Connection* c = connect();
  ASSERT_NE(c, nullptr);
  c->execute("DROP TABLE items");  // left from an earlier run, or absent
  ASSERT_TRUE(c->execute("CREATE TABLE items (id INTEGER NOT NULL PRIMARY KEY, "
                         "name VARCHAR(40), price DECIMAL(9,2))"))
      << c->error();
  ASSERT_TRUE(c->execute("INSERT INTO items VALUES (1, 'Caf\xE9', 12.50)")) << c->error();
  ASSERT_TRUE(c->execute("INSERT INTO items VALUES (2, NULL, -0.05)")) << c->error();
  ASSERT_TRUE(c->execute("INSERT INTO items VALUES (3, 'it''s', 7)")) << c->error();
  ASSERT_TRUE(c->execute("SELECT id, name, price FROM items ORDER BY id")) << c->error();
  std::vector<std::vector<sql::Value>> rows;
  std::vector<sql::Value> row;
  while (c->fetch(row)) rows.push_back(row);
  EXPECT_EQ(c->error(), "");
  std::vector<std::vector<sql::Value>> want{{"1", "Caf\xE9", "12.50"},
                                             {"2", std::nullopt, "-0.05"},
                                             {"3", "it's", "7.00"}};
  EXPECT_EQ(rows, want);
  EXPECT_FALSE(c->fetch(row)) << "the result ends once";
  // An update that touches nothing still succeeds.
  EXPECT_TRUE(c->execute("UPDATE items SET name = 'x' WHERE id = 99")) << c->error();
  EXPECT_TRUE(c->execute("DROP TABLE items")) << c->error();
}

TEST_P(SqlServer, AFailingStatementGivesTheServersOwnTextAndTheConnectionGoesOn) {
  sql::Connection* c = connect();
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->execute("SELECT * FROM no_such_table"));
  EXPECT_NE(c->error().find(GetParam().missingTableText), std::string::npos) << c->error();
  EXPECT_EQ(c->error().find('['), std::string::npos) << "no driver tags: " << c->error();
  EXPECT_EQ(c->state(), "42S02");
  EXPECT_FALSE(c->execute("SELEC 1"));
  EXPECT_FALSE(c->error().empty());
  ASSERT_TRUE(c->execute(std::string(GetParam().flavour) == "FIREBIRD"
                             ? "SELECT 1 FROM RDB$DATABASE"
                             : "SELECT 1"))
      << c->error();
  std::vector<sql::Value> row;
  ASSERT_TRUE(c->fetch(row));
  EXPECT_EQ(row, std::vector<sql::Value>{"1"});
  EXPECT_EQ(c->error(), "");
  EXPECT_EQ(c->state(), "");
}

TEST_P(SqlServer, AWrongPasswordFailsWithoutShowingIt) {
  const std::string wrong = "Wr0ng-Secret-" + std::string(GetParam().flavour);
  std::string error;
  EXPECT_EQ(sql::connectionFor("ODBC", OwnerWith(wrong), GetParam().flavour, error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find(wrong), std::string::npos) << error;
}

TEST_P(SqlServer, OneConnectionPerOwnerPerThread) {
  sql::Connection* first = connect();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(connect(), first);
  sql::Connection* other = nullptr;
  std::thread([&] {
    std::string error;
    other = sql::connectionFor("ODBC", owner_, GetParam().flavour, error);
    EXPECT_NE(other, nullptr) << error;
    EXPECT_NE(other, first);
    sql::closeThreadConnections();
  }).join();
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlServer,
                         ::testing::Values(Backend{"MariaDB", "MYSQL", "doesn't exist"},
                                           Backend{"Firebird", "FIREBIRD", "Table unknown"}),
                         sqltest_env::BackendName);

TEST(SqlDrivers, ServersWithoutAClientOrUnreachableFailClearly) {
  std::string error;
  EXPECT_EQ(sql::connectionFor("ORACLE", "UID=a;PWD=pw-ora", "", error), nullptr);
  EXPECT_NE(error.find("no client library"), std::string::npos) << error;
  EXPECT_EQ(sql::connectionFor("ASA", "UID=a;PWD=pw-asa", "", error), nullptr);
  EXPECT_NE(error.find("no client library"), std::string::npos) << error;
  // FreeTDS towards a loopback port where nothing listens.
  EXPECT_EQ(sql::connectionFor("MSSQL", "SERVER=127.0.0.1;PORT=1;UID=sa;PWD=Ms-pw-123;TDS_Version=7.4",
                               "", error),
            nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find("Ms-pw-123"), std::string::npos) << error;
  EXPECT_EQ(sql::connectionFor("MSSQL", "127.0.0.1:1,db,sa,Ms-pw-456", "", error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find("Ms-pw-456"), std::string::npos) << error;
  EXPECT_EQ(sql::connectionFor("PARADOX", "x", "", error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST(SqlDrivers, PasswordsAreMaskedInTexts) {
  struct Case {
    const char* driver;
    const char* owner;
    const char* text;
    const char* masked;
  };
  for (const Case& c : {
           Case{"ODBC", "UID=a; PWD={s3cr;et};X=1", "pw s3cr;et and s3cr;et", "pw *** and ***"},
           Case{"ODBC", "Password=xy", "login xy failed", "login *** failed"},
           Case{"ODBC", "UID=a", "nothing here", "nothing here"},
           Case{"MSSQL", "srv,db,sa,Pw9", "sa/Pw9 refused", "sa/*** refused"},
           Case{"SQLANYWHERE", "db,dba,Sql3", "dba Sql3", "dba ***"},
           Case{"ORACLE", "scott,Tiger7", "scott Tiger7", "scott ***"},
           Case{"ORACLE", "scott/Tiger8@orcl", "Tiger8@orcl", "***@orcl"},
           Case{"ORACLE", "scott/p@ss@orcl", "p@ss@orcl refused", "***@orcl refused"},
           Case{"ODBC", "UID=a;Password='hunt er2'", "x hunt er2 y", "x *** y"},
           Case{"ODBC", "UID=a;pwd = \"qu\"\"ote\" ;X=1", "qu\"ote", "***"},
           Case{"MSSQL", "SERVER=s;UID=sa;PWD=Ms9", "sa Ms9", "sa ***"},
       })
    EXPECT_EQ(sql::maskPassword(c.text, c.owner, c.driver), c.masked) << c.driver << " " << c.owner;
}

// The one reader of connection strings: settings with braces, quotes
// and blanks, and password settings inside any text.
TEST(SqlDrivers, ConnectionStringsAreReadOneWay) {
  std::vector<std::pair<std::string, std::string>> got;
  for (const sql::Setting& s :
       sql::ownerSettings("DRIVER={MariaDB Unicode}; server = 127.0.0.1 ;PWD={a;b}c;UID='x''y';=z;DB=d"))
    got.emplace_back(s.key, s.value);
  std::vector<std::pair<std::string, std::string>> want{
      {"DRIVER", "MariaDB Unicode"}, {"SERVER", "127.0.0.1"}, {"PWD", "a;b"}, {"UID", "x'y"}, {"DB", "d"}};
  EXPECT_EQ(got, want);

  const std::string statement = "EXEC sp_link @rmtpassword = 'p;w', @x='y' -- PWD=abc";
  auto found = sql::passwordSettings(statement);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].value, "p;w");
  EXPECT_EQ(statement.substr(found[0].begin, found[0].end - found[0].begin), "password = 'p;w'");
  EXPECT_EQ(found[1].value, "abc");
  EXPECT_TRUE(sql::passwordSettings("a password, no setting").empty());
  EXPECT_TRUE(sql::ownerPasswords("UID=a", "ODBC").empty());
  EXPECT_TRUE(sql::ownerPasswords("srv,db,sa", "MSSQL").empty());
  EXPECT_EQ(sql::ownerPasswords("srv,db,sa,pw", "MSS").at(0).value, "pw");
}

// SQL Server answers a procedure's output variables as a result row.
TEST(SqlDrivers, ProcedureCallsWithOutputVariablesBecomeOneSqlServerBatch) {
  EXPECT_EQ(sql::msSqlOutputCall("NORESULTCALL ds_GetServerCase(&locCase [OUT])"),
            "DECLARE @locCase int; EXEC ds_GetServerCase @locCase OUTPUT; SELECT @locCase");
  EXPECT_EQ(sql::msSqlOutputCall(" noresultcall p('a,b', &x [OUT], 5, &y [out])"),
            "DECLARE @x int; DECLARE @y int; EXEC p 'a,b', @x OUTPUT, 5, @y OUTPUT; SELECT @x, @y");
  EXPECT_EQ(sql::msSqlOutputCall("CALL sp_columns('a','b')"), "");
}

}  // namespace
