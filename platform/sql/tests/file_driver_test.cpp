// The SQL file drivers against the private MariaDB and Firebird servers:
// statements through the SQL property, result rows into the record buffer
// by NEXT, the servers' errors as file errors, connections per thread.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "server_fixture.h"
#include "velmora/files/files.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/decimal.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"

namespace sql = velmora::sql;

namespace {

using sqltest_env::Backend;

// A table of the test: a number, two texts and a decimal.
std::unique_ptr<db::FileDecl> ItemsFile(const std::string& owner) {
  return db::DeclBuilder("ITEMS", "ITM")
      .Driver("ODBC")
      .Name("fd_items")
      .Owner(owner)
      .Field(db::Type::Long, "ID")
      .Field(db::Type::String, "NAME", 10)
      .Field(db::Type::Decimal, "PRICE", 9, 2)
      .Field(db::Type::CString, "NOTE", 6)
      .Build();
}

// The statement file: a connection without a table of its own.
std::unique_ptr<db::FileDecl> StatementFile(const std::string& driver, const std::string& owner) {
  db::DeclBuilder b("STMT", "STM");
  b.Driver(driver).Owner(owner);
  for (int i = 1; i <= 3; ++i) b.Field(db::Type::CString, "F" + std::to_string(i), 41);
  return b.Build();
}

int32_t LongAt(const db::FileDecl& f, int field) {
  int32_t v;
  std::memcpy(&v, f.Record() + f.Fields()[static_cast<size_t>(field)].offset, sizeof v);
  return v;
}
std::string BytesAt(const db::FileDecl& f, int field) {
  const db::FieldInfo& fi = f.Fields()[static_cast<size_t>(field)];
  return std::string(reinterpret_cast<const char*>(f.Record() + fi.offset), fi.size);
}
std::string DecimalAt(const db::FileDecl& f, int field) {
  const db::FieldInfo& fi = f.Fields()[static_cast<size_t>(field)];
  return rt::UnpackDecimal(f.Record() + fi.offset, fi.size, fi.places, false);
}

class SqlFiles : public sqltest_env::ServerTest {
 protected:
  void Run(db::FileDecl& f, const std::string& statement) {
    db::SetProperty(f, db::Prop::Sql, statement);
    ASSERT_EQ(rt::ErrorCode(), 0) << statement << ": " << rt::FileErrorText();
  }
};

TEST_P(SqlFiles, StatementsRunThroughTheSqlPropertyAndNextFillsTheFields) {
  auto stmt = StatementFile("ODBC", owner_);
  db::Open(*stmt, 0x10);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::SetProperty(*stmt, db::Prop::Sql, "DROP TABLE fd_items");  // left from an earlier run, or absent

  auto items = ItemsFile(owner_);
  db::Open(*items);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound) << "a missing table is a missing file";
  EXPECT_FALSE(db::IsOpen(*items));

  Run(*stmt, "CREATE TABLE fd_items (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40), "
             "price DECIMAL(9,2), note VARCHAR(20))");
  Run(*stmt, "INSERT INTO fd_items VALUES (1, 'Caf\xE9', 12.50, 'short')");
  Run(*stmt, "INSERT INTO fd_items VALUES (2, NULL, -0.05, 'a longer note')");
  Run(*stmt, "INSERT INTO fd_items VALUES (3, 'it''s', 7, NULL)");

  db::Open(*items);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(db::GetProperty(*items, db::Prop::Name), "fd_items");
  EXPECT_EQ(db::GetProperty(*items, db::Prop::Owner), owner_);
  EXPECT_EQ(db::GetProperty(*items, db::Prop::Driver), "ODBC");
  Run(*items, "SELECT id, name, price, note FROM fd_items ORDER BY id");
  EXPECT_EQ(db::GetProperty(*items, db::Prop::Sql), "SELECT id, name, price, note FROM fd_items ORDER BY id");
  struct Want {
    int32_t id;
    std::string name, price, note;
  };
  for (const Want& w : {Want{1, "Caf\xE9      ", "12.50", std::string("short\0", 6)},
                        Want{2, "          ", "-0.05", std::string("a lon\0", 6)},
                        Want{3, "it's      ", "7.00", std::string(6, '\0')}}) {
    db::Next(*items);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    EXPECT_EQ(LongAt(*items, 0), w.id);
    EXPECT_EQ(BytesAt(*items, 1), w.name) << "NULL leaves the field cleared";
    EXPECT_EQ(DecimalAt(*items, 2), w.price);
    EXPECT_EQ(BytesAt(*items, 3), w.note) << "a CSTRING keeps its terminator";
  }
  db::Next(*items);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  db::Next(*items);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);

  // A failing statement: 90, the server's own text and its SQLSTATE.
  db::SetProperty(*items, db::Prop::Sql, "SELECT * FROM fd_no_such_table");
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_EQ(rt::FileErrorState(), "42S02");
  EXPECT_NE(rt::FileErrorText().find(GetParam().missingTableText), std::string::npos) << rt::FileErrorText();
  EXPECT_EQ(rt::ErrorFile(), "fd_items");
  db::SetProperty(*items, db::Prop::Sql, "SELEC nonsense");
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_FALSE(rt::FileErrorState().empty());
  EXPECT_FALSE(rt::FileErrorText().empty());
  // The connection goes on after a failure.
  Run(*items, "SELECT id FROM fd_items WHERE id = 3");
  db::Next(*items);
  EXPECT_EQ(LongAt(*items, 0), 3);

  db::Close(*items);
  EXPECT_EQ(rt::ErrorCode(), 0);

  // A declaration with a column the table lacks differs from the table.
  auto wider = db::DeclBuilder("ITEMS", "ITM")
                   .Driver("ODBC")
                   .Name("fd_items")
                   .Owner(owner_)
                   .Field(db::Type::Long, "ID")
                   .Field(db::Type::Long, "STOCK")
                   .Build();
  db::Open(*wider);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  EXPECT_FALSE(rt::FileErrorText().empty());
  EXPECT_FALSE(db::IsOpen(*wider));

  Run(*stmt, "DROP TABLE fd_items");
  db::Close(*stmt);
}

TEST_P(SqlFiles, AWrongPasswordIsError90WithoutThePassword) {
  const std::string wrong = "Wr0ng-Pw-" + std::string(GetParam().name);
  auto items = ItemsFile(OwnerWith(wrong));
  db::Open(*items);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_FALSE(rt::FileErrorText().empty());
  for (const std::string& text : {rt::ErrorText(), rt::FileErrorText(), rt::FileErrorState()})
    EXPECT_EQ(text.find(wrong), std::string::npos) << text;
  EXPECT_FALSE(db::IsOpen(*items));
}

TEST_P(SqlFiles, EachThreadHasItsOwnConnection) {
  // The server's number of the connection a statement file runs on.
  auto connectionOf = [&](db::FileDecl& f) {
    db::SetProperty(f, db::Prop::Sql, GetParam().connectionQuery);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    db::Next(f);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    return std::string(reinterpret_cast<const char*>(f.Record()));
  };
  auto a = StatementFile("ODBC", owner_);
  auto b = StatementFile("ODBC", owner_);
  db::Open(*a);
  db::Open(*b);
  std::string mine = connectionOf(*a);
  EXPECT_FALSE(mine.empty());
  EXPECT_EQ(connectionOf(*b), mine) << "one connection per owner on a thread";
  std::string theirs;
  std::thread([&] {
    sql::setOdbcFlavour(GetParam().flavour);
    auto c = StatementFile("ODBC", owner_);
    db::Open(*c);
    theirs = connectionOf(*c);
    db::Close(*c);
    sql::closeThreadConnections();
  }).join();
  EXPECT_FALSE(theirs.empty());
  EXPECT_NE(theirs, mine);
  db::Close(*a);
  db::Close(*b);
}

TEST_P(SqlFiles, CreateMakesTheDeclaredTableAndAddWritesTheRecord) {
  auto f = db::DeclBuilder("ROWS", "ROW")
               .Driver("ODBC")
               .Name("fd_rows")
               .Owner(owner_)
               .Field(db::Type::Long, "ID")
               .Field(db::Type::String, "NAME", 12)
               .Field(db::Type::Decimal, "PRICE", 7, 2)
               .Field(db::Type::Short, "VALUE")  // a reserved word: quoted in every statement
               .Field(db::Type::Decimal, "BIG", 25, 2)  // wider than Firebird's exact numbers
               .Key("ID_Key", {1}, db::kKeyPrimary)
               .Build();
  for (int round = 0; round < 2; ++round) {  // the second CREATE replaces the table
    db::Create(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    db::Open(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    struct Row {
      int32_t id;
      const char* name;
      const char* price;
      const char* big;
    };
    for (const Row& r : {Row{1, "O'Neil", "1.50", "0.01"}, Row{2, "back\\slash", "-20.05", "-12345678901234567890123.45"}}) {
      f->ClearRecord();
      std::memcpy(f->Record(), &r.id, sizeof r.id);
      std::memcpy(f->Record() + f->Fields()[1].offset, r.name, std::strlen(r.name));
      rt::PackDecimal(r.price, f->Record() + f->Fields()[2].offset, f->Fields()[2].size, 2, false);
      rt::PackDecimal(r.big, f->Record() + f->Fields()[4].offset, f->Fields()[4].size, 2, false);
      db::Add(*f);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    }
    db::Add(*f);
    EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey) << rt::FileErrorText();
    Run(*f, "SELECT id, name, price, 0, big FROM fd_rows ORDER BY id");
    db::Next(*f);
    EXPECT_EQ(LongAt(*f, 0), 1);
    EXPECT_EQ(BytesAt(*f, 1), "O'Neil      ");
    EXPECT_EQ(DecimalAt(*f, 2), "1.50");
    db::Next(*f);
    EXPECT_EQ(BytesAt(*f, 1), "back\\slash  ") << "a backslash is stored as written";
    EXPECT_EQ(DecimalAt(*f, 2), "-20.05");
    EXPECT_EQ(DecimalAt(*f, 4), "-12345678901234567890123.45") << "every digit kept";
    db::Next(*f);
    EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable) << "two rows, whatever the first round wrote";
    db::Close(*f);
  }
  auto stmt = StatementFile("ODBC", owner_);
  db::Open(*stmt);
  Run(*stmt, "DROP TABLE fd_rows");
  db::Close(*stmt);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SqlFiles,
    ::testing::Values(Backend{"MariaDB", "MYODBC 3", "doesn't exist", "SELECT CONNECTION_ID()"},
                      Backend{"Firebird", "FIREBIRD", "Table unknown",
                              "SELECT CURRENT_CONNECTION FROM RDB$DATABASE"}),
    sqltest_env::BackendName);

TEST(SqlFileDrivers, TheFourDriversAreRegisteredAndServersWithoutAClientFailClearly) {
  for (const char* driver : {"MSSQL", "ORACLE", "SQLANYWHERE", "ODBC"})
    EXPECT_EQ(db::DriverNameFor(db::DriverEntryFor(driver)), driver);
  for (const char* driver : {"ORACLE", "SQLANYWHERE"}) {
    auto f = StatementFile(driver, "UID=a;PWD=Secret-77");
    db::Open(*f);
    EXPECT_EQ(rt::ErrorCode(), rt::kDriverError) << driver;
    EXPECT_NE(rt::FileErrorText().find("no client library"), std::string::npos) << rt::FileErrorText();
  }
  auto mss = StatementFile("MSSQL", "127.0.0.1:1,db,sa,Ms-Secret-5");
  db::Open(*mss);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_EQ(rt::FileErrorText().find("Ms-Secret-5"), std::string::npos) << rt::FileErrorText();
  // A table is no disk file.
  db::Remove(*mss);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
}

// A program may put its own driver in place of a built-in one for a while.
TEST(SqlFileDrivers, AReplacementServesUntilItIsRemoved) {
  struct Stub : db::SqlDriver {
    void Open(db::FileDecl&, uint32_t) override { rt::ClearError(); }
    void Close(db::FileDecl&) override { rt::ClearError(); }
    void Execute(db::FileDecl&, std::string_view) override { rt::ClearError(); }
    void Next(db::FileDecl&) override { rt::SetError(rt::kRecordNotAvailable); }
  };
  auto f = StatementFile("ORACLE", "UID=a");
  db::RegisterSqlDriver("ORACLE", std::make_shared<Stub>());
  db::Open(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  db::RegisterSqlDriver("ORACLE", nullptr);
  db::Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError) << "the built-in driver again";
}

}  // namespace
