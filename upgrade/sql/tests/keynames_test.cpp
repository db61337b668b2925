// Key names where the server names keys database-wide, quoted external
// names, and keys mixing directions on Firebird: what is created and what
// the comparison takes for the same key.
#include <gtest/gtest.h>

#include "../../tests/engine_fixture.h"
#include "statement_fixture.h"
#include "velmora/upgrade/sqlnames.h"

namespace {

using upg::Dialect;

class KeyNames : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    sqltest::ResetStatementState();
    upg::ds_SetOption("dctmasterkeys", "1");
  }
  void TearDown() override {
    sqltest::ResetStatementState();
    Engine::TearDown();
  }
};

// ID, NAME ("FullName" when quoted), CODE; a primary key and a key of
// NAME ascending with CODE descending.
std::unique_ptr<db::FileDecl> Orders(bool quoted = false, uint32_t nameSize = 21) {
  db::DeclBuilder b("Ord", "ORD");
  b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", nameSize);
  if (quoted) b.ExtName("\"FullName\"");
  return b.Field(db::Type::String, "CODE", 10)
      .Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Name_Key", {2, -3}, db::kKeyDup)
      .Build();
}

TEST_F(KeyNames, DatabaseWideKeyNamesJoinTableAndLabel) {
  const std::string longer(40, 'T');
  struct Case {
    Dialect d;
    const char* table;
    const char* label;
    std::string want;
  } cases[] = {
      {Dialect::Firebird, "Forms", "Id_Key", "FORMS_ID_KEY"},
      {Dialect::Firebird, "AliasFilledForm", "Id_Key", "ALIASFILLEDFORM_ID_KEY"},
      {Dialect::Oracle, "owner.Forms", "Id_Key", "FORMS_ID_KEY"},
      {Dialect::MsSql, "Forms", "FormName_Key", "FORMS_FORMNAME_KEY"},
      // Per-table names stay the label.
      {Dialect::MySql, "Forms", "Id_Key", "ID_KEY"},
      {Dialect::Anywhere, "Forms", "Id_Key", "ID_KEY"},
      // No table known: the label.
      {Dialect::Firebird, "", "Id_Key", "ID_KEY"},
      {Dialect::Firebird, "PageControls", "FormIdUniqueIdPart_Key",
       upg::ServerName(Dialect::Firebird, "PAGECONTROLS_FORMIDUNIQUEIDPART_KEY")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(upg::DeclaredKeyName(c.d, c.table, c.label), c.want) << c.table << " " << c.label;
  // Long names fit the limit and stay apart when only their ends differ.
  std::string a = upg::DeclaredKeyName(Dialect::Firebird, longer + "A", "Id_Key");
  std::string b = upg::DeclaredKeyName(Dialect::Firebird, longer + "B", "Id_Key");
  EXPECT_EQ(a.size(), 31u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, upg::DeclaredKeyName(Dialect::Firebird, longer + "A", "Id_Key"));
}

TEST_F(KeyNames, AnExternalKeyNameIsKeptAndDerivedNamesReachTheStatements) {
  auto file = db::DeclBuilder("Ord", "ORD")
                  .Field(db::Type::Long, "ID")
                  .Key("Id_Key", {1}, db::kKeyPrimary)
                  .Key("Other_Key", {1}, db::kKeyDup, "MyOwnName")
                  .Build();
  std::vector<std::string> script = sqltest::CreateScript(*file, Dialect::Firebird);
  ASSERT_EQ(script.size(), 2u);
  EXPECT_EQ(script[0], "CREATE TABLE Ord (ID integer NOT NULL CONSTRAINT ORD_ID_KEY PRIMARY KEY)");
  EXPECT_EQ(script[1], "CREATE INDEX MyOwnName ON Ord (ID)");
}

// A table created before keys were named per table holds ID_KEY: it is
// the declared key, not one to drop and create again.
TEST_F(KeyNames, AKeyNamedByItsLabelAloneIsTheDeclaredKey) {
  auto file = Orders();
  sqltest::Prepare(*file, Dialect::Firebird);
  upg::SKDQ() = {sqltest::Key("ID_KEY", "primary", {"ID"}, 0, {1}),
                 sqltest::Key("NAME_KEY", "dup", {"NAME", "CODE"}, 1, {1, 2})};
  upg::SqlCheck().dctKeysMaster = 1;
  upg::CompareKeys(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{});
  // Another table's key of that label is not this table's.
  sqltest::ClearQueues();
  upg::SKDQ() = {sqltest::Key("FORMS_ID_KEY", "primary", {"ID"}, 0, {1}),
                 sqltest::Key("ORD_NAME_KEY", "dup", {"NAME", "CODE"}, 1, {1, 2})};
  for (upg::KdqRow& k : upg::Kdq()) k.match = 0;
  upg::CompareKeys(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(),
            (std::vector<std::string>{"ALTER TABLE Ord ADD CONSTRAINT ORD_ID_KEY PRIMARY KEY (ID)",
                                      "Alter Table Ord Drop Constraint FORMS_ID_KEY"}));
}

// A server key named by the prefix and the label (ORD_NAME_KEY for
// Name_Key of prefix ORD) is left alone with a notice, as before.
TEST_F(KeyNames, APrefixAndLabelKeyIsLeftAloneWhereverTheTableNamesKeys) {
  auto file = db::DeclBuilder("Orders", "ORD")
                  .Field(db::Type::Long, "ID")
                  .Field(db::Type::Long, "QTY")
                  .Key("Qty_Key", {2}, db::kKeyDup)
                  .Build();
  for (Dialect d : {Dialect::Firebird, Dialect::MySql}) {
    sqltest::Prepare(*file, d);
    sqltest::ClearQueues();
    upg::SqlCheck().dctKeysMaster = 1;
    upg::SKDQ() = {sqltest::Key("ORD_QTY_KEY", "dup", {"ID"}, 1, {1})};
    upg::CompareKeys(d);
    EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{}) << static_cast<int>(d);
  }
}

// Firebird holds {NAME, -CODE} as one ascending index: created so, and
// an ascending index on the server is that key; a descending one is not.
TEST_F(KeyNames, AFirebirdKeyMixingDirectionsIsHeldAscending) {
  auto file = Orders();
  std::vector<std::string> script = sqltest::CreateScript(*file, Dialect::Firebird);
  ASSERT_EQ(script.size(), 2u);
  EXPECT_EQ(script[1], "CREATE INDEX ORD_NAME_KEY ON Ord (NAME, CODE)");
  struct Case {
    std::vector<short> server;
    bool recreated;
  } cases[] = {{{1, 2}, false}, {{-1, -2}, true}};
  for (const Case& c : cases) {
    auto declared = Orders();
    sqltest::Prepare(*declared, Dialect::Firebird);
    sqltest::ClearQueues();
    upg::SKDQ() = {sqltest::Key("ORD_ID_KEY", "primary", {"ID"}, 0, {1}),
                   sqltest::Key("ORD_NAME_KEY", "dup", {"NAME", "CODE"}, 1, c.server)};
    upg::CompareKeys(Dialect::Firebird);
    std::vector<std::string> want;
    if (c.recreated) want = {"Drop Index ORD_NAME_KEY", "CREATE INDEX ORD_NAME_KEY ON Ord (NAME, CODE)"};
    EXPECT_EQ(sqltest::Queued(), want) << c.server[0];
  }
  // Elsewhere the directions are compared part by part.
  auto declared = Orders();
  sqltest::Prepare(*declared, Dialect::MySql);
  sqltest::ClearQueues();
  upg::SKDQ() = {sqltest::Key("PRIMARY", "primary", {"ID"}, 0, {1}),
                 sqltest::Key("NAME_KEY", "dup", {"NAME", "CODE"}, 1, {1, 2})};
  upg::CompareKeys(Dialect::MySql);
  EXPECT_EQ(sqltest::Queued(), (std::vector<std::string>{"Alter Table Ord Drop Index NAME_KEY",
                                                         "CREATE INDEX NAME_KEY ON Ord (NAME, CODE DESC)"}));
}

// A quoted external name is one exact identifier in every statement; the
// server's column of that exact name is the field, an upper-cased one is
// not (on Firebird and Oracle a quoted name keeps its case).
TEST_F(KeyNames, AQuotedExternalNameIsExactEverywhere) {
  struct Case {
    Dialect d;
    const char* column;
    const char* key;
  } cases[] = {{Dialect::Firebird, "\"FullName\" varchar(20)", "(\"FullName\", CODE)"},
               {Dialect::Oracle, "\"FullName\" varchar2(20)", "(\"FullName\", CODE DESC)"},
               {Dialect::MySql, "`FullName` varchar(20)", "(`FullName`, CODE DESC)"},
               {Dialect::MsSql, "[FullName] varchar(20)", "([FullName], CODE DESC)"}};
  for (const Case& c : cases) {
    auto file = Orders(true);
    std::vector<std::string> script = sqltest::CreateScript(*file, c.d);
    ASSERT_EQ(script.size(), 2u);
    EXPECT_NE(script[0].find(c.column), std::string::npos) << script[0];
    EXPECT_NE(script[1].find(c.key), std::string::npos) << script[1];
  }
  // The table keeps the name the file driver gives it, also when a
  // column is meant exactly under the same name.
  auto same = db::DeclBuilder("Exact", "EXA").Field(db::Type::Long, "E").ExtName("\"Exact\"").Build();
  EXPECT_EQ(sqltest::CreateScript(*same, Dialect::Firebird),
            std::vector<std::string>{"CREATE TABLE Exact (\"Exact\" integer)"});
  // On Firebird the server's "FullName" pairs with the field; FULLNAME
  // is another column.
  auto declared = Orders(true);
  sqltest::Prepare(*declared, Dialect::Firebird);
  upg::ServerCaseSensitive() = 1;
  sqltest::ClearQueues();
  upg::SFDQ() = {sqltest::Column("ID", "integer", 0), sqltest::Column("FullName", "varchar(20)"),
                 sqltest::Column("CODE", "char(10)")};
  upg::CompareFields(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{});
  sqltest::Prepare(*declared, Dialect::Firebird);
  upg::ServerCaseSensitive() = 1;
  sqltest::ClearQueues();
  upg::SqlCheck().dctFieldsMaster = 1;
  upg::SFDQ() = {sqltest::Column("ID", "integer", 0), sqltest::Column("FULLNAME", "varchar(20)"),
                 sqltest::Column("CODE", "char(10)")};
  upg::CompareFields(Dialect::Firebird);
  std::vector<std::string> queued = sqltest::Queued();
  EXPECT_NE(std::find(queued.begin(), queued.end(), "Alter Table Ord add \"FullName\" varchar(20)"),
            queued.end());
  // Widening "FullName" drops the key over it first and makes it again.
  auto wider = Orders(true, 31);
  sqltest::Prepare(*wider, Dialect::Firebird);
  upg::ServerCaseSensitive() = 1;
  sqltest::ClearQueues();
  upg::SFDQ() = {sqltest::Column("ID", "integer", 0), sqltest::Column("FullName", "varchar(20)"),
                 sqltest::Column("CODE", "char(10)")};
  upg::SFDQ()[1].dependant = 1;
  upg::SKDQ() = {sqltest::Key("ORD_ID_KEY", "primary", {"ID"}, 0, {1}),
                 sqltest::Key("ORD_NAME_KEY", "dup", {"FullName", "CODE"}, 1, {1, 2})};
  upg::CompareFields(Dialect::Firebird);
  upg::CompareKeys(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(),
            (std::vector<std::string>{"Drop Index ORD_NAME_KEY", "Alter Table Ord alter column \"FullName\" type varchar(30)",
                                      "CREATE INDEX ORD_NAME_KEY ON Ord (\"FullName\", CODE)"}));
}

}  // namespace
