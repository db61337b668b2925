// The statements each dialect generates: new tables for the data files'
// declarations and a synthetic one, and comparisons with server columns
// and keys filled by hand, checked against golden texts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "statement_fixture.h"
#include "velmora/files/files.h"
#include "velmora/data/dictionary.h"
#include "velmora/upgrade/openhook.h"

namespace {

using upg::Dialect;

struct NamedDialect {
  Dialect d;
  const char* name;
};
constexpr NamedDialect kDialects[] = {{Dialect::MsSql, "MSS"},     {Dialect::Oracle, "ORA"},
                                      {Dialect::Anywhere, "ASA"},  {Dialect::MySql, "MYODBC 3"},
                                      {Dialect::Firebird, "FIREBIRD"}};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares `actual` with the golden file; VELMORA_GOLDEN_OUT names a
// folder that receives the actual text for review.
void ExpectGolden(const std::string& name, const std::string& actual) {
  if (const char* out = std::getenv("VELMORA_GOLDEN_OUT")) std::ofstream(std::string(out) + "/" + name) << actual;
  EXPECT_EQ(actual, ReadFile(std::string(GOLDEN_DIR) + "/" + name)) << name;
}

class Statements : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    sqltest::ResetStatementState();
  }
  void TearDown() override {
    sqltest::ResetStatementState();
    Engine::TearDown();
  }
};

std::string Section(const std::string& title, const std::vector<std::string>& statements) {
  std::string out = "-- " + title + "\n";
  for (const std::string& s : statements) out += s + "\n";
  return out;
}

TEST_F(Statements, NewTablesOfEveryDeclarationInEveryDialect) {
  upg::ds_SetOption("dctmasterkeys", "1");
  std::string text;
  for (const NamedDialect& nd : kDialects) {
    for (int id = 0; id < data::kFileCount; ++id) {
      auto file = data::Declaration(static_cast<data::FileId>(id)).Clone();
      text += Section(std::string(nd.name) + " " + file->Label(), sqltest::CreateScript(*file, nd.d));
    }
    auto syn = sqltest::EveryType();
    text += Section(std::string(nd.name) + " Syn", sqltest::CreateScript(*syn, nd.d));
  }
  ExpectGolden("create.txt", text);
}

TEST_F(Statements, ComparisonsInEveryDialect) {
  upg::ds_SetOption("dctmasterkeys", "1");
  upg::ds_AlternateFieldName("CMP:RENAMED", "CMP:OLDNAME");
  std::string text;
  for (const NamedDialect& nd : kDialects) {
    upg::ForgetUsedAlternates();
    auto before = sqltest::CmpOld(), after = sqltest::CmpNew();
    text += Section(std::string(nd.name) + " changed", sqltest::CompareScript(*before, *after, nd.d));
    // The table as the statements leave it matches: nothing is queued.
    auto again = sqltest::CmpNew(), declared = sqltest::CmpNew();
    EXPECT_EQ(sqltest::CompareScript(*again, *declared, nd.d), std::vector<std::string>{}) << nd.name;
    auto syn = sqltest::EveryType(), synDeclared = sqltest::EveryType();
    EXPECT_EQ(sqltest::CompareScript(*syn, *synDeclared, nd.d), std::vector<std::string>{}) << nd.name;
  }
  ExpectGolden("compare.txt", text);
}

// Oracle's columns for times and single reals, as its catalogue spells
// them, are what the declaration asks for.
TEST_F(Statements, OracleTimesAndSingleRealsReadBackAsDeclared) {
  auto file = db::DeclBuilder("Ora", "ORA")
                  .Field(db::Type::Time, "T")
                  .Field(db::Type::SReal, "SR")
                  .Field(db::Type::Real, "R")
                  .Field(db::Type::Date, "D")
                  .Build();
  EXPECT_EQ(sqltest::CreateScript(*file, Dialect::Oracle),
            std::vector<std::string>{"CREATE TABLE Ora (T timestamp, SR binary_float, R binary_double, D date)"});
  sqltest::Prepare(*file, Dialect::Oracle);
  sqltest::ClearQueues();
  upg::SFDQ() = {sqltest::Column("T", "TIMESTAMP(6)(11)"), sqltest::Column("SR", "BINARY_FLOAT(4)"),
                 sqltest::Column("R", "BINARY_DOUBLE(8)"), sqltest::Column("D", "DATE(7)")};
  upg::CompareFields(Dialect::Oracle);
  EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{});
}

// Firebird's catalogue gives a text blob as "blob": a string too long for
// a varchar, held as BLOB SUB_TYPE TEXT, is what the declaration asks for.
TEST_F(Statements, FirebirdLongStringsReadBackAsDeclared) {
  auto file = db::DeclBuilder("Fbl", "FBL")
                  .Field(db::Type::CString, "BODY", 40000)
                  .Field(db::Type::String, "MORE", 33000)
                  .Build();
  EXPECT_EQ(sqltest::CreateScript(*file, Dialect::Firebird),
            std::vector<std::string>{"CREATE TABLE Fbl (BODY BLOB SUB_TYPE TEXT, MORE BLOB SUB_TYPE TEXT)"});
  sqltest::Prepare(*file, Dialect::Firebird);
  sqltest::ClearQueues();
  upg::SFDQ() = {sqltest::Column("BODY", "blob"), sqltest::Column("MORE", "blob")};
  upg::CompareFields(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{});
}

TEST_F(Statements, DefaultsFromBlankZeroAndSetIfNew) {
  upg::FilePrefix() = "PRE";
  upg::SqlCheck().tableLabel = "Pre";
  EXPECT_EQ(upg::DefaultExtra("QTY", "long", Dialect::MySql), "");
  upg::ds_SetOption("blankzero", "1");
  struct Case {
    const char* name;
    const char* type;
    const char* want;
  };
  const Case blankZero[] = {{"QTY", "long", "0"},          {"PRICE", "decimal(7,2)", "0"},
                            {"NAME", "string(10)", "''"},  {"DAY", "date", ""},
                            {"HOUR", "time", ""},          {"NOTE", "1", "''"}};
  for (const Case& c : blankZero) EXPECT_EQ(upg::DefaultExtra(c.name, c.type, Dialect::MySql), c.want) << c.name;
  // A field's own row wins over the file and the option.
  upg::BFQ().push_back({"pre:qty", 0});
  EXPECT_EQ(upg::DefaultExtra("QTY", "long", Dialect::MySql), "");
  upg::BFILQ().push_back({"pre", 0});
  EXPECT_EQ(upg::DefaultExtra("NAME", "string(10)", Dialect::MySql), "");
  // SetIfNew values, escaped in the dialect; only a plain number is bare.
  upg::ITQ() = {{"PRE:NAME", "O'Neil\\", 0}, {"PRE:QTY", "42", 0}, {"PRE:BAD", "1; drop table x", 0},
                {"PRE:AUTO", "  autoNumber", 0}};
  EXPECT_EQ(upg::DefaultExtra("NAME", "string(10)", Dialect::MySql), "'O''Neil\\\\'");
  EXPECT_EQ(upg::DefaultExtra("NAME", "string(10)", Dialect::Firebird), "'O''Neil\\'");
  EXPECT_EQ(upg::DefaultExtra("QTY", "long", Dialect::MySql), "42");
  EXPECT_EQ(upg::DefaultExtra("BAD", "long", Dialect::MySql), "'1; drop table x'");
  EXPECT_EQ(upg::DefaultExtra("AUTO", "long", Dialect::MySql), "");
  // A new column with a default gets it on the existing rows too.
  upg::SQLTableName() = "Pre";
  upg::Fdq().clear();
  upg::Kdq().clear();
  upg::Mdq().clear();
  upg::FdqRow f;
  f.name = "Qty";
  f.type = "long";
  f.sqlName = "QTY";
  upg::Fdq().push_back(f);
  upg::CompareFields(Dialect::Firebird);
  EXPECT_EQ(sqltest::Queued(), (std::vector<std::string>{"Alter Table Pre add QTY integer Default 42",
                                                         "update Pre set QTY = 42"}));
}

// One column of a table numbers itself: a second one registered is
// reported and gets no clause. A SetIfNew AUTONUMBER is no default value,
// in a new table as in a new column.
TEST_F(Statements, ASecondAutoNumberIsReportedAndSetIfNewAutoNumberGivesNoDefault) {
  std::vector<std::string> boxes;
  rt::SetMessageHandler([&](std::string_view text, std::string_view, std::string_view, int, int) {
    boxes.emplace_back(text);
    return rt::kButtonNo;
  });
  upg::ds_SetOption("blankzero", "1");
  auto file = db::DeclBuilder("Auto", "AUT")
                  .Field(db::Type::Long, "ID")
                  .Field(db::Type::Long, "NUM")
                  .Field(db::Type::String, "CODE", 10)
                  .Field(db::Type::String, "NAME", 10)
                  .Key("Id_Key", {1}, db::kKeyPrimary)
                  .Build();
  upg::IQ() = {{"AUT:ID", ""}, {"AUT:NUM", ""}};
  upg::ITQ() = {{"AUT:CODE", "  autoNumber", 0}};
  EXPECT_EQ(sqltest::CreateScript(*file, Dialect::MsSql),
            std::vector<std::string>{"CREATE TABLE Auto (ID int IDENTITY(1,1) NOT NULL CONSTRAINT AUTO_ID_KEY "
                                     "PRIMARY KEY, NUM int DEFAULT 0, CODE char(10), NAME char(10) DEFAULT '')"});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("RV3 WARNING: This file already contains an AUTONUMBER field", 0), 0u) << boxes[0];
  EXPECT_NE(boxes[0].find("[RV3] AUT:NUM\r\n"), std::string::npos) << boxes[0];
  sqltest::ClearQueues();
  upg::SFDQ() = {sqltest::Column("ID", "int", 0), sqltest::Column("NUM", "int"), sqltest::Column("NAME", "char(10)")};
  upg::CompareFields(Dialect::MsSql);
  EXPECT_EQ(sqltest::Queued(), std::vector<std::string>{"Alter Table Auto add CODE char(10)"});
  rt::SetMessageHandler(nullptr);
}

TEST_F(Statements, ProgressWithNothingToDoDividesNothing) {
  upg::ProgressPercent() = 7;
  upg::Fdq().clear();
  upg::Kdq().clear();
  upg::Mdq().clear();
  upg::SQLTableName() = "Empty";
  upg::QueueCreateTable(Dialect::Firebird);
  upg::CompareFields(Dialect::Firebird);
  upg::CompareKeys(Dialect::Firebird);
  EXPECT_EQ(upg::ProgressPercent(), 7);
}

class TableSpaces : public Statements {
 protected:
  void SetUp() override {
    Statements::SetUp();
    db::RegisterSqlDriver("CANNED", server_);
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    upg::CurrentSQLFile() = file_.get();
  }
  void TearDown() override {
    upg::CurrentSQLFile() = nullptr;
    db::Close(*file_);
    db::RegisterSqlDriver("CANNED", nullptr);
    Statements::TearDown();
  }
  std::shared_ptr<sqltest::CannedServer> server_ = std::make_shared<sqltest::CannedServer>();
  std::unique_ptr<db::FileDecl> file_ = sqltest::StatementFile("CANNED");
};

TEST_F(TableSpaces, DefaultRowsAreUsedAndMissingSpacesCreated) {
  EXPECT_EQ(upg::GetTableSpace("Forms", "T"), "");
  EXPECT_TRUE(server_->statements.empty());
  upg::TSQ().push_back({"DCTTBLSPC_", "DATA1", "/u01/data1.dbf", "10M"});
  upg::ISQ().push_back({"FORMS_KEY", "IDX1", "/u01/idx'1.dbf", "5M"});
  server_->Answer("TABLESPACE_NAME = 'IDX1'", {{"IDX1"}});
  EXPECT_EQ(upg::GetTableSpace("Forms", "T"), "DATA1");
  EXPECT_EQ(upg::GetTableSpace("forms_key", "I"), "IDX1");
  EXPECT_EQ(server_->statements,
            (std::vector<std::string>{
                "select TABLESPACE_NAME from user_tablespaces where TABLESPACE_NAME = 'DATA1'",
                "Create TableSpace DATA1  Logging  Datafile '/u01/data1.dbf'  Size 10M  Extent Management Local",
                "select TABLESPACE_NAME from user_tablespaces where TABLESPACE_NAME = 'IDX1'"}));
  // A size that is not a size never reaches the server.
  EXPECT_EQ(upg::CreateTableSpace("X", "/x.dbf", "1M Reuse"), 1);
  EXPECT_EQ(server_->statements.size(), 3u);
  // The table and its indexes name their spaces.
  upg::SQLTableName() = "Forms";
  upg::Fdq().clear();
  upg::Kdq().clear();
  upg::Mdq().clear();
  upg::FdqRow f;
  f.name = "Id";
  f.type = "long";
  f.sqlName = "ID";
  upg::Fdq().push_back(f);
  upg::KdqRow k;
  k.sqlKeyName = "FORMS_KEY";
  k.att = " dup";
  k.fields = " ID";
  k.numFields = 1;
  k.fieldNums = {1};
  k.dctMaster = 1;
  upg::Kdq().push_back(k);
  sqltest::ClearQueues();
  upg::QueueCreateTable(Dialect::Oracle);
  EXPECT_EQ(sqltest::Queued(), (std::vector<std::string>{"CREATE TABLE Forms (ID number(10,0)) TABLESPACE DATA1",
                                                         "CREATE INDEX FORMS_KEY ON Forms (ID) TABLESPACE IDX1"}));
}

}  // namespace
