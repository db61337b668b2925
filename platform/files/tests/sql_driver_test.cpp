// A plugged-in SQL driver: its files run the statement set in their SQL
// property, read result rows with NEXT, and carry the server's state.
#include <gtest/gtest.h>

#include "velmora/files/files.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/errors.h"

namespace {

class Echo : public db::SqlDriver {
 public:
  void Open(db::FileDecl&, uint32_t) override { rt::ClearError(); }
  void Close(db::FileDecl&) override { rt::ClearError(); }
  void Execute(db::FileDecl& f, std::string_view statement) override {
    ran.emplace_back(statement);
    if (statement == "FAIL") rt::SetSqlFileError(rt::kDriverError, "HY000", "no such thing", f.Name());
  }
  void Next(db::FileDecl&) override { rt::SetError(rt::kRecordNotAvailable); }
  std::vector<std::string> ran;
};

TEST(SqlDriver, StatementsRunThroughTheSqlProperty) {
  auto echo = std::make_shared<Echo>();
  db::RegisterSqlDriver("EchoSql", echo);
  db::RegisterSqlDriver("ISAM", echo);  // a built-in name is not taken
  EXPECT_EQ(db::DriverNameFor(db::DriverEntryFor("ISAM")), "ISAM");
  uint32_t entry = db::DriverEntryFor("ECHOSQL");
  ASSERT_NE(entry, 0u);
  EXPECT_EQ(db::DriverNameFor(entry), "ECHOSQL");

  auto f = db::DeclBuilder("S", "S").Driver("EchoSql").Name("conn").Field(db::Type::Byte, "B").Build();
  EXPECT_EQ(f->DriverEntry(), entry);
  db::SetProperty(*f, db::Prop::Sql, "SELECT 1");
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotOpen);  // nothing runs on a closed file
  db::Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::SetProperty(*f, db::Prop::Sql, "SELECT 1");
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::SetProperty(*f, db::Prop::Sql, "FAIL");
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  EXPECT_EQ(rt::FileErrorState(), "HY000");
  EXPECT_EQ(rt::FileErrorText(), "no such thing");
  EXPECT_EQ(db::GetProperty(*f, db::Prop::Sql), "FAIL");
  db::Next(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(echo->ran, (std::vector<std::string>{"SELECT 1", "FAIL"}));
  db::SetProperty(*f, db::Prop::Name, "other");  // a table's name may change while open
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::GetProperty(*f, db::Prop::Name), "other");
  db::Close(*f);

  db::RegisterSqlDriver("EchoSql", nullptr);
  EXPECT_EQ(db::DriverEntryFor("EchoSql"), 0u);
  db::Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);  // no longer registered
}

}  // namespace
