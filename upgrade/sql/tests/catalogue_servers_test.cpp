// The Firebird and MySQL catalogue readers against the private servers:
// tables made by the test are read back into SFDQ and SKDQ exactly, through
// the runtime's own SQL file drivers as the engine reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "reader_rows.h"
#include "velmora/files/files.h"
#include "velmora/runtime/system.h"
#include "velmora/sql.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"

namespace {

std::map<std::string, std::string> Servers() {
  const char* path = std::getenv("VELMORA_SQL_SERVERS_ENV");
  std::ifstream in(path && *path ? path : VELMORA_SQL_SERVERS_ENV);
  std::map<std::string, std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

std::string FirebirdOwner() {
  auto s = Servers();
  return "SERVER=127.0.0.1;PORT=" + s["FIREBIRD_PORT"] + ";DATABASE=" + s["FIREBIRD_DATABASE"] +
         ";UID=" + s["FIREBIRD_USER"] + ";PWD=" + s["FIREBIRD_PASSWORD"];
}

std::string MariaDbOwner(const std::string& password) {
  auto s = Servers();
  return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + s["MARIADB_PORT"] +
         ";DATABASE=" + s["MARIADB_DATABASE"] + ";UID=" + s["MARIADB_USER"] + ";PWD=" + password +
         ";CHARSET=latin1";
}

class CatalogueServers : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    ASSERT_FALSE(Servers().empty()) << "the test servers are not running";
    CommandLine({"/debugrvfull"});
    upg::ResetSettings();
    upg::ReadSwitches();
    upg::SFDQ().clear();
    upg::SKDQ().clear();
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int,
                                 int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
  }
  void TearDown() override {
    if (file_) {
      upg::CurrentSQLFile() = nullptr;
      db::Close(*file_);
    }
    velmora::sql::setOdbcFlavour("");
    upg::SqlCheck() = {};
    upg::OpenHookState().connectionString.clear();
    velmora::sql::closeThreadConnections();
    rt::SetMessageHandler(nullptr);
    Engine::TearDown();
  }

  velmora::sql::Connection* Connect(const std::string& owner, const std::string& flavour) {
    std::string error;
    velmora::sql::Connection* c = velmora::sql::connectionFor("ODBC", owner, flavour, error);
    EXPECT_NE(c, nullptr) << error;
    return c;
  }
  void Run(velmora::sql::Connection* c, const std::string& statement) {
    ASSERT_TRUE(c->execute(statement)) << statement << ": " << c->error();
  }
  // The statement file of the "ODBC" driver with the flavour FIREBIRD, as
  // the engine runs its catalogue queries: a connection without a table.
  void FirebirdStatementFile() {
    velmora::sql::setOdbcFlavour("FIREBIRD");
    file_ = sqltest::StatementFile("ODBC");
    file_->SetName("");
    file_->SetOwner(FirebirdOwner());
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    upg::CurrentSQLFile() = file_.get();
  }

  std::unique_ptr<db::FileDecl> file_;
  std::vector<std::string> boxes_;
};

TEST_F(CatalogueServers, FirebirdTablesAreReadBackExactly) {
  velmora::sql::Connection* c = Connect(FirebirdOwner(), "FIREBIRD");
  ASSERT_NE(c, nullptr);
  c->execute("DROP TABLE CUSTOMERS");  // left from an earlier run, or absent
  c->execute("DROP TABLE AGENTS");
  c->execute("DROP TABLE \"Cust Orders\"");
  Run(c, "CREATE TABLE AGENTS (AGENTNO INTEGER NOT NULL PRIMARY KEY)");
  Run(c, "CREATE TABLE CUSTOMERS (CUSTNO INTEGER NOT NULL, NAME VARCHAR(20), "
         "BALANCE NUMERIC(9,2), RATE DECIMAL(15,3), BORN DATE, CODE CHAR(4) NOT NULL, "
         "COUNTER BIGINT, NOTES BLOB SUB_TYPE 1, AGENT INTEGER, "
         "CONSTRAINT PK_CUSTOMERS PRIMARY KEY (CUSTNO))");
  Run(c, "CREATE UNIQUE INDEX CUS_BYCODE ON CUSTOMERS (CODE)");
  Run(c, "CREATE DESCENDING INDEX CUS_BYNAME ON CUSTOMERS (NAME, CUSTNO)");
  Run(c, "ALTER TABLE CUSTOMERS ADD CONSTRAINT FK_AGENT FOREIGN KEY (AGENT) "
         "REFERENCES AGENTS (AGENTNO)");
  Run(c, "CREATE TABLE \"Cust Orders\" (\"Order No\" INTEGER NOT NULL, "
         "CONSTRAINT \"Pk Orders\" PRIMARY KEY (\"Order No\"))");
  FirebirdStatementFile();

  upg::SqlCheck().tableName = "Customers";
  ASSERT_EQ(upg::LoadServerStructure("ODB", "FIREBIRD"), 0);
  std::vector<std::string> columns{
      "CUSTNO|integer|CUSTNO|0|0|1",       "NAME|varchar(20)|NAME|0|1|1",
      "BALANCE|numeric(9,2)|BALANCE|0|1|0", "RATE|decimal(15,3)|RATE|0|1|0",
      "BORN|date|BORN|0|1|0",               "CODE|char(4)|CODE|0|0|1",
      "COUNTER|bigint|COUNTER|0|1|0",       "NOTES|blob|NOTES|0|1|0",
      "AGENT|integer|AGENT|0|1|1"};
  EXPECT_EQ(sqltest::ColumnRows(), columns);
  std::vector<std::string> keys{"CUS_BYCODE||CODE|1|CUS_BYCODE|1|1",
                                "CUS_BYNAME|dup|NAME CUSTNO|2|CUS_BYNAME|-1,-2|1",
                                "FK_AGENT|dup|AGENT|1|FK_AGENT|1|1",
                                "PK_CUSTOMERS|primary|CUSTNO|1|PK_CUSTOMERS|1|0"};
  EXPECT_EQ(sqltest::KeyRows(), keys);

  upg::SqlCheck().tableName = "Cust Orders";
  ASSERT_EQ(upg::LoadServerStructure("ODB", "FIREBIRD"), 0);
  EXPECT_EQ(sqltest::ColumnRows(), std::vector<std::string>{"ORDER NO|integer|Order No|0|0|1"});
  EXPECT_EQ(sqltest::KeyRows(),
            std::vector<std::string>{"PK ORDERS|primary|Order\x1FNo|1|Pk Orders|1|0"})
      << "a blank inside a key column's name is kept apart from the list's blanks";
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(Traced("M38"));
}

TEST_F(CatalogueServers, MySQLTablesAreReadBackExactlyThroughTheReadersOwnConnection) {
  std::string owner = MariaDbOwner(Servers()["MARIADB_PASSWORD"]);
  velmora::sql::Connection* c = Connect(owner, "MYODBC 3");
  ASSERT_NE(c, nullptr);
  std::string longName(60, 'l');
  Run(c, "DROP TABLE IF EXISTS rv_customers");
  Run(c, "CREATE TABLE rv_customers (CustNo int NOT NULL AUTO_INCREMENT, Name varchar(20) NULL, "
         "Balance decimal(10,2) NOT NULL, Born date, Code char(4) NOT NULL, Notes text, " +
             longName +
             " int, Kind enum('alpha','beta','gamma','delta','epsilon'), "
             "PRIMARY KEY (CustNo), UNIQUE KEY CUS_ByCode (Code), "
             "KEY CUS_ByName (Name, Born DESC, Code))");
  upg::OpenHookState().connectionString = owner + ",second part";
  upg::SqlCheck().tableName = "RV_Customers";

  ASSERT_EQ(upg::LoadServerStructure("ODB", "MYODBC 3"), 0);
  std::vector<std::string> columns{
      "CUSTNO|int(11)|CustNo|1|0|0",
      "NAME|varchar(20)|Name|0|1|0",
      "BALANCE|decimal(10,2)|Balance|0|0|0",
      "BORN|date|Born|0|1|0",
      "CODE|char(4)|Code|0|0|0",
      "NOTES|text|Notes|0|1|0",
      std::string(60, 'L') + "|int(11)|" + longName + "|0|1|0",  // whole: MySQL takes 64
      "KIND|enum('alpha','beta','gamma','d|Kind|0|1|0"};
  EXPECT_EQ(sqltest::ColumnRows(), columns);
  // Key names as the server writes them; every part with its direction.
  std::vector<std::string> keys{"PRIMARY|primary|CustNo|1|PRIMARY|1|0",
                                "CUS_ByCode||Code|1|CUS_ByCode|1|1",
                                "CUS_ByName|dup|Name Born Code|3|CUS_ByName|1,-2,3|1"};
  EXPECT_EQ(sqltest::KeyRows(), keys);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(Traced("recs in sfdq: 8"));
  EXPECT_TRUE(Traced("recs in skdq: 3"));
  EXPECT_TRUE(Traced("mysql nullable:  Balance no"));
  EXPECT_FALSE(Traced("RV3: Error occurred: FreeLibrary"));
  for (const std::string& line : traces_)
    EXPECT_EQ(line.find(Servers()["MARIADB_PASSWORD"]), std::string::npos) << line;
}

TEST_F(CatalogueServers, MySQLConnectionAndQueryFailuresAreReportedAndLeaveTheQueuesEmpty) {
  struct Case {
    std::string owner, table, detail;
  };
  std::string password = Servers()["MARIADB_PASSWORD"];
  std::vector<Case> cases{
      {MariaDbOwner("Wrong-pass-9"), "rv_customers", "[connect] Error: 28000 "},
      {MariaDbOwner(password), "rv_no_such_table", "[fields] Error: 42S02 "},
  };
  for (const Case& c : cases) {
    upg::OpenHookState().connectionString = c.owner;
    upg::SqlCheck().tableName = c.table;
    sqltest::Leftovers();
    traces_.clear();
    boxes_.clear();
    EXPECT_EQ(upg::LoadServerStructure("ODB", "MYODBC 2"), 1) << c.detail;
    EXPECT_TRUE(upg::SFDQ().empty());
    EXPECT_TRUE(upg::SKDQ().empty());
    EXPECT_TRUE(Traced("e: " + c.detail)) << c.detail;
    EXPECT_EQ(boxes_.size(), 1u);
    for (const std::string& line : traces_) {
      EXPECT_EQ(line.find("Wrong-pass-9"), std::string::npos) << line;
      EXPECT_EQ(line.find(password), std::string::npos) << line;
    }
  }
}

}  // namespace
