// Statements of the engine on the real MariaDB and Firebird servers:
// ExecuteSQLStatement through an "ODBC" statement file, result rows into
// ResultRow, the servers' errors reported, no password in any trace.
#include <memory>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "engine_servers.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_exec.h"

namespace {

struct Backend {
  const char* name;
  const char* flavour;
  const char* missingTableText;
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

class ServerStatements : public enginetest::Engine, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrvfull"});
    std::string owner;
    ASSERT_NO_FATAL_FAILURE(sqltest::UseTestServer(GetParam().flavour, password_, owner));
    file_->SetOwner(owner);
    file_->SetName("");
    db::Open(*file_, 0x10);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    upg::CurrentSQLFile() = file_.get();
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int, int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
  }
  void TearDown() override {
    for (const std::string& line : traces_) EXPECT_EQ(line.find(password_), std::string::npos) << line;
    for (const std::string& box : boxes_) EXPECT_EQ(box.find(password_), std::string::npos) << box;
    upg::CurrentSQLFile() = nullptr;
    db::Close(*file_);
    velmora::sql::closeThreadConnections();
    rt::SetMessageHandler(nullptr);
    Engine::TearDown();
  }
  std::unique_ptr<db::FileDecl> file_ = sqltest::StatementFile("ODBC");
  std::string password_;
  std::vector<std::string> boxes_;
};

TEST_P(ServerStatements, CreateInsertAndSelectRunOnTheServer) {
  EXPECT_EQ(upg::ODBCFlavour(), GetParam().flavour);
  upg::ExecuteSQLStatement("DROP TABLE xs_rows", 0);  // left from an earlier run, or absent
  ASSERT_EQ(upg::ExecuteSQLStatement("CREATE TABLE xs_rows (a VARCHAR(20), b INTEGER, c VARCHAR(250))", 0), 0);
  ASSERT_EQ(upg::ExecuteSQLStatement("INSERT INTO xs_rows VALUES ('one', 1, 'O''Neil')", 0), 0);
  ASSERT_EQ(upg::ExecuteSQLStatement("INSERT INTO xs_rows VALUES ('two', 2, NULL)", 0), 0);
  ASSERT_EQ(upg::ExecuteSQLStatement("SELECT a, b, c FROM xs_rows ORDER BY b", 0), 0);
  ASSERT_TRUE(upg::NextResultRow()) << rt::FileErrorText();
  EXPECT_EQ(upg::ResultRow()[0], "one");
  EXPECT_EQ(upg::ResultRow()[1], "1");
  EXPECT_EQ(upg::ResultRow()[2], "O'Neil");
  ASSERT_TRUE(upg::NextResultRow());
  EXPECT_EQ(upg::ResultRow()[0], "two");
  EXPECT_EQ(upg::ResultRow()[2], "");
  EXPECT_FALSE(upg::NextResultRow());
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(upg::ExecuteSQLStatement("DROP TABLE xs_rows", 0), 0);
  EXPECT_TRUE(boxes_.empty());
}

TEST_P(ServerStatements, AFailingStatementIsReportedWithTheServersText) {
  EXPECT_EQ(upg::ExecuteSQLStatement("SELECT * FROM xs_no_such_table", 0), 1);
  EXPECT_EQ(rt::FileErrorState(), "42S02");
  EXPECT_TRUE(Traced("Error occurred executing SQL Statement:"));
  EXPECT_TRUE(Traced("err: 42S02: ")) << "the server's state in the report";
  EXPECT_TRUE(Traced(GetParam().missingTableText)) << "the server's own text in the report";
  // The next statement runs as usual.
  EXPECT_EQ(upg::ExecuteSQLStatement(std::string(GetParam().flavour) == "FIREBIRD"
                                         ? "SELECT 7 FROM RDB$DATABASE"
                                         : "SELECT 7",
                                     0),
            0);
  ASSERT_TRUE(upg::NextResultRow());
  EXPECT_EQ(upg::ResultRow()[0], "7");
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerStatements,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", "doesn't exist"},
                                           Backend{"Firebird", "FIREBIRD", "Table unknown"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
