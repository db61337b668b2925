// The SQL files' own properties on the private servers: the end of a
// result, the remembered statement and the server's version; and table
// and column names holding quotes and separators in OPEN, CREATE and ADD.
#include <gtest/gtest.h>

#include <cctype>

#include "server_fixture.h"
#include "velmora/files/field_text.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"

namespace sql = velmora::sql;

namespace {

using sqltest_env::Backend;

class SqlFileProperties : public sqltest_env::ServerTest {
 protected:
  std::unique_ptr<db::FileDecl> File(const std::string& name, const std::string& column = "F1") {
    db::DeclBuilder b("STMT", "STM");
    b.Driver("ODBC").Owner(owner_).Name(name);
    b.Field(db::Type::CString, "F1", 41).ExtName(column).Field(db::Type::CString, "F2", 41);
    return b.Build();
  }
};

TEST_P(SqlFileProperties, EndResultStatementAndServerVersion) {
  auto f = File("");
  EXPECT_EQ(db::GetProperty(*f, db::Prop::ServerVersion), "");
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotOpen) << "not connected";
  db::Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();

  std::string version = db::GetProperty(*f, db::Prop::ServerVersion);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  ASSERT_FALSE(version.empty());
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version[0]))) << version;
  EXPECT_NE(version.find('.'), std::string::npos) << version;

  std::string two = GetParam().flavour == std::string("FIREBIRD")
                        ? "SELECT 'a', 'b' FROM RDB$DATABASE UNION ALL SELECT 'c', 'd' FROM RDB$DATABASE"
                        : "SELECT 'a', 'b' UNION ALL SELECT 'c', 'd'";
  db::SetProperty(*f, db::Prop::Sql, two);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Next(*f);
  EXPECT_EQ(db::FieldText(f->Fields()[0], f->Record() + f->Fields()[0].offset), "a");
  // The rest of the result is dropped; the statement is remembered until
  // it is set to an empty text, which runs nothing.
  db::GetProperty(*f, db::Prop::EndResult);
  db::Next(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(db::GetProperty(*f, db::Prop::Statement), two);
  db::SetProperty(*f, db::Prop::Statement, "");
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::GetProperty(*f, db::Prop::Statement), "");
  EXPECT_EQ(db::GetProperty(*f, db::Prop::Sql), "");
  // A new statement reads its rows again.
  db::SetProperty(*f, db::Prop::Sql, two);
  db::Next(*f);
  db::Next(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::FieldText(f->Fields()[0], f->Record() + f->Fields()[0].offset), "c");
  db::SetProperty(*f, db::Prop::ServerVersion, "1.0");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  db::Close(*f);
}

// A table and a column whose names hold quotes, a separator and a
// backslash: created, opened and written as named, nothing else touched.
TEST_P(SqlFileProperties, NamesWithQuotesAndSeparatorsStayNames) {
  auto canary = File("fp_canary");
  db::Create(*canary);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  auto f = File("fp_o'd\"d`;x\\", "c'1\"; DROP TABLE fp_canary; --");
  db::Create(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::SetFieldText(f->Fields()[0], f->Record() + f->Fields()[0].offset, "x'; --");
  db::Add(*f);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Close(*f);
  db::Open(*canary);
  EXPECT_EQ(rt::ErrorCode(), 0) << "the canary survived: " << rt::FileErrorText();
  db::Close(*canary);
  std::string error;
  sql::Connection* c = sql::connectionFor("ODBC", owner_, GetParam().flavour, error);
  ASSERT_NE(c, nullptr) << error;
  bool my = GetParam().flavour != std::string("FIREBIRD");
  ASSERT_TRUE(c->execute(my ? "SELECT `c'1\"; DROP TABLE fp_canary; --` FROM `fp_o'd\"d``;x\\`"
                            : "SELECT \"c'1\"\"; DROP TABLE fp_canary; --\" FROM \"fp_o'd\"\"d`;x\\\""))
      << c->error();
  std::vector<sql::Value> row;
  ASSERT_TRUE(c->fetch(row));
  EXPECT_EQ(row.at(0).value_or("NULL"), "x'; --");
  c->execute(my ? "DROP TABLE `fp_o'd\"d``;x\\`" : "DROP TABLE \"fp_o'd\"\"d`;x\\\"");
  c->execute("DROP TABLE fp_canary");
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlFileProperties,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3"}, Backend{"Firebird", "FIREBIRD"}),
                         sqltest_env::BackendName);

}  // namespace
