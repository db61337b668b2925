// The generated statements on the real MariaDB and Firebird servers: every
// CREATE, ALTER and INDEX statement is accepted, each declared type's
// extremes come back as stored, and changed tables keep their rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

#include "../../tests/engine_fixture.h"
#include "statement_fixture.h"
#include "velmora/data/dictionary.h"
#include "velmora/sql.h"
#include "velmora/upgrade/sqltext.h"

namespace {

using upg::Dialect;
namespace sql = velmora::sql;

std::map<std::string, std::string> Servers() {
  std::map<std::string, std::string> out;
  const char* own = std::getenv("VELMORA_SQL_SERVERS_ENV");
  std::ifstream in(own ? own : VELMORA_SQL_SERVERS_ENV);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

struct Backend {
  const char* name;
  Dialect dialect;
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

class RealServer : public enginetest::Engine, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    Engine::SetUp();
    sqltest::ResetStatementState();
    upg::ds_SetOption("dctmasterkeys", "1");
    auto s = Servers();
    ASSERT_FALSE(s.empty()) << "the test servers are not running (" VELMORA_SQL_SERVERS_ENV ")";
    std::string owner, flavour, error;
    if (Fb()) {
      owner = "SERVER=127.0.0.1;PORT=" + s["FIREBIRD_PORT"] + ";DATABASE=" + s["FIREBIRD_DATABASE"] +
              ";UID=" + s["FIREBIRD_USER"] + ";PWD=" + s["FIREBIRD_PASSWORD"];
      flavour = "FIREBIRD";
    } else {
      owner = "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + s["MARIADB_PORT"] + ";DATABASE=" +
              s["MARIADB_DATABASE"] + ";UID=" + s["MARIADB_USER"] + ";PWD=" + s["MARIADB_PASSWORD"] +
              ";CHARSET=latin1";
      flavour = "MYSQL";
    }
    c_ = sql::connectionFor("ODBC", owner, flavour, error);
    ASSERT_NE(c_, nullptr) << error;
    // Tables left by an interrupted run (Firebird names keys database-wide).
    for (const char* t : {"Syn", "Cmp", "Nul", "Rsv"}) DropTable(t);
  }
  void TearDown() override {
    sql::closeThreadConnections();
    sqltest::ResetStatementState();
    Engine::TearDown();
  }
  bool Fb() const { return GetParam().dialect == Dialect::Firebird; }
  Dialect D() const { return GetParam().dialect; }

  // Runs the statements in order, each printed in the test log.
  void Run(const std::vector<std::string>& statements) {
    for (const std::string& s : statements) {
      std::cout << "  " << GetParam().name << ": " << s << "\n";
      EXPECT_TRUE(c_->execute(s)) << s << "\n" << c_->error();
    }
  }
  // Drops a table left from an earlier run, with its Firebird generator.
  void DropTable(const std::string& table) {
    c_->execute("DROP TABLE " + table);
    if (Fb()) c_->execute("DROP GENERATOR SYN_ID");
  }
  std::vector<sql::Value> SelectRow(const std::string& statement) {
    std::vector<sql::Value> row;
    EXPECT_TRUE(c_->execute(statement)) << statement << "\n" << c_->error();
    EXPECT_TRUE(c_->fetch(row)) << statement << "\n" << c_->error();
    std::vector<sql::Value> rest;
    while (c_->fetch(rest)) {
    }
    return row;
  }

  sql::Connection* c_ = nullptr;
};

TEST_P(RealServer, EveryDeclaredTableIsCreatedWithItsKeys) {
  for (int id = 0; id < data::kFileCount; ++id) {
    auto file = data::Declaration(static_cast<data::FileId>(id)).Clone();
    SCOPED_TRACE(file->Label());
    DropTable(file->Label());
    Run(sqltest::CreateScript(*file, D()));
    EXPECT_TRUE(c_->execute("DROP TABLE " + file->Label())) << c_->error();
  }
}

// Columns named by words one server or another reserves (DAY on Firebird,
// SIZE on Oracle, KEYS on MariaDB): created with their key, written and
// read back through the same names.
TEST_P(RealServer, ColumnsNamedByReservedWordsAreCreatedWrittenAndRead) {
  const std::vector<std::string> names = {"Day", "Size", "Comment", "Keys", "Year", "Top"};
  db::DeclBuilder b("Rsv", "RSV");
  b.Field(db::Type::Long, "ID");
  for (const std::string& n : names) b.Field(db::Type::Long, n);
  auto file = b.Key("Id_Key", {1}, db::kKeyPrimary).Key("Day_Key", {2, 3}, db::kKeyDup).Build();
  DropTable("Rsv");
  Run(sqltest::CreateScript(*file, D()));
  std::string columns = "ID", values = "1";
  for (size_t i = 0; i < names.size(); ++i) {
    columns += ", " + upg::SqlIdentifier(D(), names[i]);
    values += ", " + std::to_string(i + 10);
  }
  Run({"INSERT INTO Rsv (" + columns + ") VALUES (" + values + ")"});
  std::vector<sql::Value> row = SelectRow("SELECT " + columns + " FROM Rsv");
  ASSERT_EQ(row.size(), names.size() + 1);
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(row[i + 1].value_or("NULL"), std::to_string(i + 10)) << names[i];
  EXPECT_TRUE(c_->execute("DROP TABLE Rsv")) << c_->error();
}

// Each type's extremes go in through literals and come back unchanged;
// an autonumber key is assigned only to a row inserted without one.
TEST_P(RealServer, EveryTypeHoldsItsWholeRange) {
  upg::IQ().push_back({"SYN:ID", ""});
  auto file = sqltest::EveryType();
  DropTable("Syn");
  Run(sqltest::CreateScript(*file, D()));
  const Dialect d = D();
  const std::string name30 = "O'Brien \\ " + std::string(20, 'x');
  const std::string big(300, 'b');
  const uint8_t bytes[] = {0, 1, 0x27, 0x5C, 0xFF, 0x80};
  struct Extreme {
    const char* id;
    const char* b;
    const char* s;
    const char* us;
    const char* ul;
    const char* sr;
    const char* r;
    const char* dec;
    const char* pd;
    const char* date;
    const char* time;
    const char* stamp;
  };
  const Extreme rows[] = {
      {"-2147483648", "0", "-32768", "0", "0", "-3.0e38", "-1.7976931348623157e308", "-99999.99",
       "-9999.9", "1800-12-28", "00:00:00", "1800-12-28 00:00:00"},
      {"2147483647", "255", "32767", "65535", "4294967295", "3.0e38", "1.7976931348623157e308",
       "99999.99", "9999.9", "9999-12-31", "23:59:59", "9999-12-31 23:59:59"},
  };
  for (const Extreme& e : rows) {
    // A row without a key gets a number of its own (before the largest
    // key, which leaves MariaDB no number after it).
    if (&e == &rows[1]) Run({"INSERT INTO Syn (CODE) VALUES ('auto')"});
    // The external name "FullName" is quoted: the column is named exactly.
    const std::string fullName = upg::SqlExactIdentifier(d, "FullName");
    std::string insert = std::string("INSERT INTO Syn (ID, B, S, US, UL, SR, R, DECI, PD, D, T, STAMP, ") +
                         fullName + ", CODE, BIG, NOTES, IMAGE) VALUES (" + e.id + ", " + e.b + ", " + e.s +
                         ", " + e.us + ", " + e.ul + ", " + e.sr + ", " + e.r + ", " + e.dec + ", " + e.pd +
                         ", " + upg::SqlLiteral(d, e.date) + ", " + upg::SqlLiteral(d, e.time) + ", " +
                         upg::SqlLiteral(d, e.stamp) + ", " + upg::SqlLiteral(d, name30) + ", " +
                         upg::SqlLiteral(d, e.b) + ", " + upg::SqlLiteral(d, big) + ", " +
                         upg::SqlLiteral(d, "memo 'text'") + ", " + upg::HexLiteral(d, bytes, sizeof bytes) + ")";
    Run({insert});
    std::vector<sql::Value> row = SelectRow(
        "SELECT ID, B, S, US, UL, SR, R, DECI, PD, D, T, STAMP, " + fullName + ", CODE, BIG, NOTES, IMAGE " +
        "FROM Syn WHERE ID = " + e.id);
    ASSERT_EQ(row.size(), 17u);
    const char* exact[] = {e.id, e.b, e.s, e.us, e.ul};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(row[i].value_or("NULL"), exact[i]) << i;
    EXPECT_NEAR(std::strtod(row[5]->c_str(), nullptr) / std::strtod(e.sr, nullptr), 1.0, 1e-6);
    EXPECT_EQ(std::strtod(row[6]->c_str(), nullptr), std::strtod(e.r, nullptr));
    EXPECT_EQ(row[7].value_or("NULL"), e.dec);
    EXPECT_EQ(row[8].value_or("NULL"), e.pd);
    EXPECT_EQ(row[9].value_or("NULL").substr(0, 10), e.date);
    EXPECT_EQ(row[10].value_or("NULL").substr(0, 8), e.time);
    EXPECT_EQ(row[11].value_or("NULL").substr(0, 19), e.stamp);
    EXPECT_EQ(row[12].value_or("NULL"), name30);
    EXPECT_EQ(rt::Clip(row[13].value_or("NULL")), e.b);
    EXPECT_EQ(row[14].value_or("NULL"), big);
    EXPECT_EQ(row[15].value_or("NULL"), "memo 'text'");
    EXPECT_EQ(row[16].value_or("NULL"), std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
  }
  // The keys inserted stay as they were.
  std::vector<sql::Value> count = SelectRow("SELECT COUNT(*) FROM Syn WHERE ID IN (-2147483648, 2147483647)");
  ASSERT_EQ(count.size(), 1u);
  EXPECT_EQ(count[0].value_or("NULL"), "2");
  std::vector<sql::Value> assigned = SelectRow("SELECT ID FROM Syn WHERE CODE = 'auto'");
  ASSERT_EQ(assigned.size(), 1u);
  EXPECT_TRUE(assigned[0].has_value());
  EXPECT_TRUE(c_->execute("DROP TABLE Syn")) << c_->error();
  DropTable("Syn");
}

// The old table gets the new declaration's statements; its row is kept.
TEST_P(RealServer, AChangedDeclarationAltersTheTableAndKeepsItsRows) {
  upg::ds_AlternateFieldName("CMP:RENAMED", "CMP:OLDNAME");
  DropTable("Cmp");
  auto before = sqltest::CmpOld();
  Run(sqltest::CreateScript(*before, D()));
  Run({"INSERT INTO Cmp (ID, NAME, QTY, OLDNAME, GONE, BIG) VALUES (7, 'seven', 12, 34, 5, 'big')"});
  auto old = sqltest::CmpOld(), declared = sqltest::CmpNew();
  Run(sqltest::CompareScript(*old, *declared, D()));
  std::vector<sql::Value> row = SelectRow("SELECT ID, " + upg::SqlExactIdentifier(D(), "FullName") +
                                          ", QTY, RENAMED, NEWCOL, BIG FROM Cmp");
  ASSERT_EQ(row.size(), 6u);
  EXPECT_EQ(row[0].value_or("NULL"), "7");
  EXPECT_EQ(row[1].value_or("NULL"), "seven");
  EXPECT_EQ(row[2].value_or("NULL"), "12");
  EXPECT_EQ(row[3].value_or("NULL"), "34");
  EXPECT_FALSE(row[4].has_value());
  EXPECT_EQ(rt::Clip(row[5].value_or("NULL")), "big");
  // The retyped column holds what the new type holds.
  Run({"UPDATE Cmp SET QTY = 2147483647"});
  std::vector<sql::Value> qty = SelectRow("SELECT QTY FROM Cmp");
  ASSERT_EQ(qty.size(), 1u);
  EXPECT_EQ(qty[0].value_or("NULL"), "2147483647");
  EXPECT_TRUE(c_->execute("DROP TABLE Cmp")) << c_->error();
}

// A column that becomes part of a primary key is made NOT NULL in the
// server's own syntax before the key is added.
TEST_P(RealServer, AColumnJoiningThePrimaryKeyBecomesNotNull) {
  DropTable("Nul");
  auto before = db::DeclBuilder("Nul", "NUL").Field(sqltest::T::Long, "ID").Field(sqltest::T::Short, "N").Build();
  Run(sqltest::CreateScript(*before, D()));
  Run({"INSERT INTO Nul (ID, N) VALUES (1, 2)"});
  auto old = db::DeclBuilder("Nul", "NUL").Field(sqltest::T::Long, "ID").Field(sqltest::T::Short, "N").Build();
  auto declared = db::DeclBuilder("Nul", "NUL")
                      .Field(sqltest::T::Long, "ID")
                      .Field(sqltest::T::Short, "N")
                      .Key("Nul_Key", {1}, db::kKeyPrimary)
                      .Build();
  std::vector<std::string> script = sqltest::CompareScript(*old, *declared, D());
  ASSERT_EQ(script.size(), 2u);
  Run(script);
  EXPECT_FALSE(c_->execute("INSERT INTO Nul (ID, N) VALUES (NULL, 3)"));
  EXPECT_FALSE(c_->execute("INSERT INTO Nul (ID, N) VALUES (1, 3)"));
  EXPECT_TRUE(c_->execute("DROP TABLE Nul")) << c_->error();
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         ::testing::Values(Backend{"MariaDB", Dialect::MySql},
                                           Backend{"Firebird", Dialect::Firebird}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
