// Writing through files of the SQL drivers against the private MariaDB
// and Firebird servers: LOGOUT, COMMIT and ROLLBACK (what a transaction
// keeps is read back through another thread's connection), lists of
// statements run in order, DATE and TIME fields.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "server_fixture.h"
#include "velmora/files/files.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"

namespace sql = velmora::sql;

namespace {

using sqltest_env::Backend;

class SqlTransactions : public sqltest_env::ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    stmt_ = File("");
    db::Open(*stmt_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    db::SetProperty(*stmt_, db::Prop::Sql, "DROP TABLE tx_rows");  // absent is fine
    Run(*stmt_, "CREATE TABLE tx_rows (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(20))" +
                    std::string(GetParam().tableOptions));
    rows_ = File("tx_rows");
    db::Open(*rows_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  }
  void TearDown() override {
    if (db::IsOpen(*rows_)) db::Close(*rows_);
    db::SetProperty(*stmt_, db::Prop::Sql, "DROP TABLE tx_rows");
    db::Close(*stmt_);
    ServerTest::TearDown();
  }

  // A file of the table (or, without a name, a statement file) of the owner.
  std::unique_ptr<db::FileDecl> File(const std::string& table) {
    return db::DeclBuilder("ROWS", "ROW")
        .Driver("ODBC")
        .Name(table)
        .Owner(owner_)
        .Field(db::Type::Long, "ID")
        .Field(db::Type::CString, "NAME", 21)
        .Build();
  }
  void Run(db::FileDecl& f, const std::string& statement) {
    db::SetProperty(f, db::Prop::Sql, statement);
    ASSERT_EQ(rt::ErrorCode(), 0) << statement << ": " << rt::FileErrorText();
  }
  void Insert(int id) { Run(*stmt_, "INSERT INTO tx_rows VALUES (" + std::to_string(id) + ", 'r')"); }

  // The ids in the table as another connection sees them.
  std::string Committed() {
    std::string ids;
    std::string owner = owner_, flavour = GetParam().flavour;
    std::thread([&] {
      std::string error;
      sql::Connection* c = sql::connectionFor("ODBC", owner, flavour, error);
      ASSERT_NE(c, nullptr) << error;
      ASSERT_TRUE(c->execute("SELECT id FROM tx_rows ORDER BY id")) << c->error();
      std::vector<sql::Value> row;
      while (c->fetch(row)) ids += (ids.empty() ? "" : " ") + row[0].value_or("NULL");
      sql::closeThreadConnections();
    }).join();
    return ids;
  }

  std::unique_ptr<db::FileDecl> stmt_, rows_;
};

TEST_P(SqlTransactions, CommitKeepsAndRollbackDropsWhatTheConnectionWroteInTheTransaction) {
  // The statement file shares the data file's connection: its INSERTs
  // belong to the data file's transaction.
  db::Logout(30, {rows_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  Insert(1);
  Insert(2);
  EXPECT_EQ(Committed(), "") << "nothing is seen before the commit";
  db::Commit();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(Committed(), "1 2");

  db::Logout(30, {rows_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  Insert(3);
  db::Rollback();
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(Committed(), "1 2");

  // After the transaction every statement commits by itself again.
  Insert(4);
  EXPECT_EQ(Committed(), "1 2 4");
}

TEST_P(SqlTransactions, AFailingStatementUndoesOnlyItselfAndTheTransactionGoesOn) {
  db::Logout(30, {rows_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  Insert(1);
  db::SetProperty(*stmt_, db::Prop::Sql, "INSERT INTO tx_rows VALUES (1, 'again')");
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_FALSE(rt::FileErrorText().empty());
  db::SetProperty(*stmt_, db::Prop::Sql, "SELEC nonsense");
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  Insert(2);
  // A query inside the transaction sees its own rows.
  Run(*rows_, "SELECT id, name FROM tx_rows ORDER BY id");
  db::Next(*rows_);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  int32_t id;
  std::memcpy(&id, rows_->Record(), sizeof id);
  EXPECT_EQ(id, 1);
  Insert(3);
  db::Commit();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(Committed(), "1 2 3");
}

TEST_P(SqlTransactions, ClosingAFileInATransactionRollsItBackAndASecondLogoutWaits) {
  db::Logout(30, {rows_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Logout(30, {rows_.get()});
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied) << "one transaction at a time";
  Insert(1);
  db::Close(*rows_);
  EXPECT_EQ(Committed(), "");
  Insert(2);  // autocommit again
  EXPECT_EQ(Committed(), "2");
  db::Commit();
  EXPECT_EQ(rt::ErrorCode(), 0) << "the closed file has left the transaction";

  // A file dropped without CLOSE leaves it the same way.
  auto other = File("tx_rows");
  db::Open(*other);
  db::Logout(30, {other.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  Insert(3);
  other.reset();
  Insert(4);
  EXPECT_EQ(Committed(), "2 4");
  db::Logout(30, {stmt_.get()});
  EXPECT_EQ(rt::ErrorCode(), 0) << "no transaction is left behind";
  db::Rollback();

  // A file of the same connection still in the transaction cannot commit
  // what the closing one rolled back.
  rows_ = File("tx_rows");
  db::Open(*rows_);
  db::Logout(30, {rows_.get(), stmt_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  Insert(5);
  db::Close(*rows_);
  db::Commit();
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError) << "a rolled-back transaction reported as committed";
  EXPECT_EQ(Committed(), "2 4");
}

TEST_P(SqlTransactions, StatementsRunInOrderUntilOneFailsWithTheErrorItGivesAlone) {
  // 450 statements: more than one group; the texts hold what a group's
  // text must keep apart (separators, quotes, END). On MariaDB's InnoDB
  // table rows of one column list go as multi-row INSERTs, and a group
  // that fails is run again in compound statements.
  std::vector<std::string> statements;
  for (int id = 1; id <= 450; ++id)
    statements.push_back("INSERT INTO tx_rows (id, name) VALUES (" + std::to_string(id) + ", 'a;b''c END')");
  // Failures: a duplicate id, a statement the server cannot read, and a
  // value too long for its column.
  const size_t duplicate = 300, unreadable = 301, tooLong = 449;
  statements[duplicate] = "INSERT INTO tx_rows (id, name) VALUES (5, 'again')";
  statements[unreadable] = "INSERT INTO tx_rows (id, name) VALUES (302, 'x'";
  statements[tooLong] = "INSERT INTO tx_rows (id, name) VALUES (450, '" + std::string(30, 'x') + "')";
  statements[10] = "INSERT INTO tx_rows VALUES (11, 'no column list')";
  db::Logout(30, {rows_.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  std::vector<std::pair<size_t, std::string>> failures;
  for (size_t from = 0; from < statements.size();) {
    size_t ran = db::RunSqlStatements(*stmt_, statements, from);
    from += ran;
    if (from == statements.size()) {
      EXPECT_EQ(rt::ErrorCode(), 0);
      break;
    }
    EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
    failures.emplace_back(from, rt::FileErrorState() + " " + rt::FileErrorText());
    EXPECT_EQ(db::GetProperty(*stmt_, db::Prop::Sql), statements[from]);
    ++from;
  }
  db::Commit();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_EQ(failures[0].first, duplicate);
  EXPECT_EQ(failures[1].first, unreadable);
  EXPECT_EQ(failures[2].first, tooLong);
  // Each failure is what the statement gives when it runs alone.
  for (const auto& [at, error] : failures) {
    db::SetProperty(*stmt_, db::Prop::Sql, statements[at]);
    EXPECT_EQ(rt::FileErrorState() + " " + rt::FileErrorText(), error) << statements[at];
  }
  Run(*rows_, "SELECT COUNT(*), MIN(name), MAX(name) FROM tx_rows");
  db::Next(*rows_);
  int32_t count;
  std::memcpy(&count, rows_->Record(), sizeof count);
  EXPECT_EQ(count, 447);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rows_->Record() + rows_->Fields()[1].offset)),
            "a;b'c END");
}

uint32_t At(const db::FileDecl& f, size_t field) {
  uint32_t v;
  std::memcpy(&v, f.Record() + f.Fields()[field].offset, sizeof v);
  return v;
}

// DATE and TIME fields through CREATE, ADD and NEXT: date and time
// columns, written as literals, read back into the stored forms; none is
// NULL.
TEST_P(SqlTransactions, DatesAndTimesGoInAsLiteralsAndComeBackStoredAsTheyWere) {
  auto f = db::DeclBuilder("WHEN", "WHN")
               .Driver("ODBC")
               .Name("dt_rows")
               .Owner(owner_)
               .Field(db::Type::Long, "ID")
               .Field(db::Type::Date, "SHIPPED")
               .Field(db::Type::Time, "SENT_AT")
               .Build();
  db::Create(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  struct Row {
    int32_t id;
    rt::Long day, time;
  };
  const std::vector<Row> rows{{1, rt::DateOf(2, 29, 2000), rt::TimeOf(23, 59, 58)},
                              {2, rt::DateOf(1, 1, 1801), rt::TimeOf(0, 0, 1)},
                              {3, 0, 0}};  // no date, no time
  for (const Row& r : rows) {
    f->ClearRecord();
    const uint32_t day = rt::PackDate(r.day), time = rt::PackTime(r.time);
    std::memcpy(f->Record(), &r.id, sizeof r.id);
    std::memcpy(f->Record() + f->Fields()[1].offset, &day, sizeof day);
    std::memcpy(f->Record() + f->Fields()[2].offset, &time, sizeof time);
    db::Add(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  }
  db::SetProperty(*f, db::Prop::Sql, "SELECT ID, SHIPPED, SENT_AT FROM dt_rows WHERE SHIPPED IS NULL");
  db::Next(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(At(*f, 0), 3u) << "no date is NULL";
  db::SetProperty(*f, db::Prop::Sql, "SELECT ID, SHIPPED, SENT_AT FROM dt_rows ORDER BY ID");
  for (const Row& r : rows) {
    db::Next(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    EXPECT_EQ(rt::UnpackDate(At(*f, 1)), r.day) << r.id;
    EXPECT_EQ(rt::UnpackTime(At(*f, 2)), r.time) << r.id;
  }
  db::SetProperty(*f, db::Prop::Sql, "DROP TABLE dt_rows");
  db::Close(*f);
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlTransactions,
                         ::testing::Values(Backend{.name = "MariaDB", .flavour = "MYODBC 3", .tableOptions = " ENGINE=InnoDB"},
                                           Backend{.name = "Firebird", .flavour = "FIREBIRD"}),
                         sqltest_env::BackendName);

}  // namespace
