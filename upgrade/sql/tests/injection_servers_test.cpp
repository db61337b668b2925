// Hostile names and defaults on the private servers: a declaration whose
// table name, label, external names, key names and default values hold
// quotes, backslashes and statement separators is created through the open
// hook as exactly the declared objects, a canary table survives, and the
// table reads back to a fixed point.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "roundtrip_fixture.h"
#include "velmora/upgrade/sqltext.h"

namespace {

using rttest::Backend;
using rttest::RoundTrip;
using Rows = std::vector<std::vector<std::string>>;

// Each text would end a quoted name or text early, or end the statement.
const std::string kTable = "inj'q\"b`;x\\";
const std::string kLabel = "Inj'Label\"; DROP TABLE inj_canary; --";
const std::string kCode = "c'1\";drop table inj_canary;--";
const std::string kNote = "n`2\\'; DELETE FROM inj_canary";
const std::string kKey = "k'\"`;--\\";
const std::string kDefault = "it's\\'; DROP TABLE inj_canary; --\"`";

std::unique_ptr<db::FileDecl> Hostile(const std::string& name, int) {
  db::DeclBuilder b(kLabel, "INJ");
  b.Driver("ODBC").Name(name);
  b.Field(db::Type::Long, "ID")
      .Field(db::Type::CString, "CODE", 41).ExtName("\"" + kCode + "\"")
      .Field(db::Type::CString, "NOTE", 41).ExtName("\"" + kNote + "\"")
      .Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Code_Key", {2, 3}, db::kKeyDup, kKey);
  return b.Build();
}

class Injection : public RoundTrip {
 protected:
  void SetUp() override {
    RoundTrip::SetUp();
    if (HasFatalFailure()) return;
    dialect_ = GetParam().qualified ? upg::Dialect::MySql : upg::Dialect::Firebird;
    Direct("DROP TABLE inj_canary");
    ASSERT_TRUE(Direct("CREATE TABLE inj_canary (ID INTEGER NOT NULL PRIMARY KEY)"));
    ASSERT_TRUE(Direct("INSERT INTO inj_canary VALUES (42)"));
    DropHostile();
  }
  void TearDown() override {
    upg::ITQ().clear();
    DropHostile();
    Direct("DROP TABLE inj_canary");
    RoundTrip::TearDown();
  }
  void DropHostile() { Direct("DROP TABLE " + Quoted()); }
  std::string Quoted() const {
    return GetParam().qualified ? database_ + "." + upg::SqlIdentifier(dialect_, kTable)
                                : upg::SqlIdentifier(dialect_, kTable);
  }
  std::string Text(const std::string& text) const { return upg::SqlLiteral(dialect_, text); }

  upg::Dialect dialect_ = upg::Dialect::MySql;
};

TEST_P(Injection, HostileNamesAndDefaultsCreateExactlyTheDeclaredObjects) {
  Use(kTable, "INJ", kLabel, &Hostile);
  // The host's initial values of new rows for both text columns.
  upg::ITQ() = {{"INJ:CODE", kDefault}, {"INJ:NOTE", "a\\b"}};
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  for (const std::string& box : boxes_) ADD_FAILURE() << box;

  // The canary and its row survived every statement.
  EXPECT_EQ(Select("SELECT ID FROM inj_canary"), (Rows{{"42"}}));
  EXPECT_EQ(StoredVersion(), "1");

  Rows columns, keys;
  if (GetParam().qualified) {
    std::string where = " WHERE TABLE_SCHEMA = " + Text(database_) + " AND TABLE_NAME = " + Text(kTable);
    EXPECT_EQ(Select("SELECT TABLE_NAME FROM information_schema.TABLES" + where +
                     " OR TABLE_NAME LIKE 'inj%'"),
              (Rows{{kTable}, {"inj_canary"}}));
    columns = Select("SELECT COLUMN_NAME, COLUMN_DEFAULT FROM information_schema.COLUMNS" + where +
                     " ORDER BY ORDINAL_POSITION");
    keys = Select("SELECT INDEX_NAME, COLUMN_NAME, COLLATION FROM information_schema.STATISTICS" +
                  where + " ORDER BY INDEX_NAME, SEQ_IN_INDEX");
    // MariaDB writes a text default as a quoted literal.
    EXPECT_EQ(columns, (Rows{{"ID", "NULL"}, {kCode, Text(kDefault)}, {kNote, Text("a\\b")}}));
    EXPECT_EQ(keys, (Rows{{kKey, kCode, "A"}, {kKey, kNote, "A"}, {"PRIMARY", "ID", "A"}}));
  } else {
    EXPECT_EQ(Select("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE "
                     "RDB$RELATION_NAME STARTING WITH 'INJ' OR RDB$RELATION_NAME STARTING WITH 'inj'"
                     " ORDER BY 1"),
              (Rows{{"INJ_CANARY"}, {kTable}}));
    columns = Select("SELECT TRIM(RDB$FIELD_NAME), CAST(RDB$DEFAULT_SOURCE AS VARCHAR(200)) FROM "
                     "RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " + Text(kTable) +
                     " ORDER BY RDB$FIELD_POSITION");
    EXPECT_EQ(columns, (Rows{{"ID", "NULL"},
                             {kCode, "DEFAULT " + Text(kDefault)},
                             {kNote, "DEFAULT " + Text("a\\b")}}));
    keys = Select("SELECT TRIM(i.RDB$INDEX_NAME), TRIM(s.RDB$FIELD_NAME), COALESCE(i.RDB$INDEX_TYPE, 0) "
                  "FROM RDB$INDICES i JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
                  "WHERE i.RDB$RELATION_NAME = " + Text(kTable) +
                  " AND i.RDB$INDEX_NAME NOT STARTING WITH 'RDB$' ORDER BY 1, s.RDB$FIELD_POSITION");
    // Firebird's key names hold for the whole database: the primary key's
    // joins the table's name.
    EXPECT_EQ(keys, (Rows{{upg::DeclaredKeyName(dialect_, kTable, "Id_Key"), "ID", "0"},
                          {kKey, kCode, "0"},
                          {kKey, kNote, "0"}}));
  }

  // A row whose texts hold the same through the file, and a forced check
  // of the next run that reads the catalogue back and changes nothing.
  data_->ClearRecord();
  const std::vector<std::string> values{"1", kDefault, kTable};
  for (size_t i = 0; i < values.size(); ++i)
    db::SetFieldText(data_->Fields()[i], data_->Record() + data_->Fields()[i].offset, values[i]);
  db::Add(*data_);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  ASSERT_EQ(Run(1, {"/goindeep"}), 0) << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("Table FOUND: " + name_));
  EXPECT_FALSE(AnyDdl(ran_));
  EXPECT_EQ(Select("SELECT * FROM " + Quoted()), (Rows{values}));
  EXPECT_EQ(Select("SELECT ID FROM inj_canary"), (Rows{{"42"}}));

  // The server holds what is declared: nothing to compare.
  db::Close(*data_);
  upg::ITQ() = {{"INJ:CODE", kDefault}, {"INJ:NOTE", "a\\b"}};
  EXPECT_EQ(Compare(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Servers, Injection,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
