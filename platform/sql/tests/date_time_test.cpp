// DATE and TIME fields through the SQL file drivers' CREATE, ADD and NEXT
// on the private MariaDB and Firebird servers: date and time columns,
// written as literals, read back into the stored forms; none is NULL.
#include <gtest/gtest.h>

#include <cstring>

#include "test_servers.h"
#include "velmora/files/files.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"

namespace sql = velmora::sql;

namespace {

struct Backend {
  const char* name;
  const char* flavour;
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

class SqlDateTime : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    auto s = sqltest_env::Servers(VELMORA_SQL_SERVERS_ENV);
    ASSERT_FALSE(s.empty()) << "the test servers are not running (" VELMORA_SQL_SERVERS_ENV ")";
    owner_ = sqltest_env::Owner(s, GetParam().flavour, sqltest_env::Password(s, GetParam().flavour));
    sql::setOdbcFlavour(GetParam().flavour);
  }
  void TearDown() override {
    sql::setOdbcFlavour("");
    sql::closeThreadConnections();
  }
  std::string owner_;
};

uint32_t At(const db::FileDecl& f, size_t field) {
  uint32_t v;
  std::memcpy(&v, f.Record() + f.Fields()[field].offset, sizeof v);
  return v;
}

TEST_P(SqlDateTime, DatesAndTimesGoInAsLiteralsAndComeBackStoredAsTheyWere) {
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

INSTANTIATE_TEST_SUITE_P(Servers, SqlDateTime,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3"}, Backend{"Firebird", "FIREBIRD"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
