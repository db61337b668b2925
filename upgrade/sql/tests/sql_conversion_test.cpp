// The conversion of an ISAM file's records into the SQL table a newer
// declaration puts in its place, through the open hook on the private
// servers: one INSERT statement per record in transactions, values that
// need escaping, and a refused insert that is reported while the copy
// goes on.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "roundtrip_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/upgrade/renamecheck.h"

namespace {

using rttest::Backend;
using rttest::RoundTrip;
namespace T = db;

constexpr const char* kIsamName = "cvorders.tps";

// Version 1 is an ISAM file (duplicate ids allowed); version 2 the table
// on the server, whose primary key refuses a duplicate id.
std::unique_ptr<db::FileDecl> Orders(const std::string& name, int version) {
  db::DeclBuilder b("CvOrders", "CVO");
  if (version == 1)
    b.Driver("ISAM").Name(kIsamName);
  else
    b.Driver("ODBC").Name(name);
  b.Attributes(db::kAttrCreate);
  b.Field(T::Type::Long, "ID")
      .Field(T::Type::String, "NAME", 30)
      .Field(T::Type::CString, "NOTE", 41)
      .Field(T::Type::Date, "SHIPPED")  // DAY is reserved on Firebird
      .Field(T::Type::Decimal, "PRICE", 9, 2);
  b.Key("Id_Key", {1}, version == 1 ? db::kKeyDup : db::kKeyPrimary);
  return b.Build();
}

struct Row {
  int32_t id;
  std::string name, note;
  rt::Long day;
  std::string price;
};

class SqlConversion : public RoundTrip {
 protected:
  void SetUp() override {
    RoundTrip::SetUp();
    register_ = [this](int) {
      uint8_t byte = 0;
      upg::ds_AddDriver("Tps", *tps_, 1, &byte);
      // Empty texts, zero numbers and null dates are left out: NULL.
      upg::ds_SetOption("zeronull", "1");
      upg::IQ().clear();
      if (autoNumber_) upg::IQ().push_back({"CVO:ID", ""});
    };
    Use("cv_orders", "CVO", "CvOrders", &Orders);
    // The host renamed the file: its old table does not exist, so the
    // check creates the new one, and the old ISAM file is the source.
    upg::OFN() = {{kIsamName, rt::Upper(name_), "", "cv_gone"}};
  }
  void TearDown() override {
    upg::OFN().clear();
    RoundTrip::TearDown();
  }

  // Version 1 registered, its ISAM file written with `rows`.
  void WriteOldFile(const std::vector<Row>& rows) {
    Run(1);
    if (db::IsOpen(*data_)) db::Close(*data_);
    db::Create(*data_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    db::Open(*data_, db::kReadWrite | db::kDenyNone);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    db::Stream(*data_);
    for (const Row& r : rows) {
      data_->ClearRecord();
      auto put = [&](size_t field, const std::string& text) {
        const db::FieldInfo& fi = data_->Fields()[field];
        db::SetFieldText(fi, data_->Record() + fi.offset, text);
      };
      put(0, std::to_string(r.id));
      put(1, r.name);
      put(2, r.note);
      const rt::ULong stored = rt::PackDate(r.day);
      std::memcpy(data_->Record() + data_->Fields()[3].offset, &stored, sizeof stored);
      put(4, r.price);
      db::Add(*data_);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    }
    db::Flush(*data_);
    db::Close(*data_);
  }

  std::vector<std::vector<std::string>> Table() {
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(Direct("SELECT ID, TRIM(NAME), NOTE, SHIPPED, PRICE FROM " + name_ + " ORDER BY ID", &rows));
    return rows;
  }

  bool autoNumber_ = false;  // the table numbers its rows itself
  std::unique_ptr<db::FileDecl> tps_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(T::Type::Byte, "A").Build();
};

TEST_P(SqlConversion, EveryRecordIsOneInsertInATransactionWithItsValuesEscaped) {
  const rt::Long day = rt::DateOf(1, 31, 2024);
  WriteOldFile({{1, "O'Neil", "it''s \"quoted\"", day, "12.50"},
                {2, "back\\slash\\", "C:\\temp\\", rt::DateOf(2, 29, 2000), "-0.05"},
                {3, "", "", 0, "0"},  // NULLs
                {4, "semi; DROP TABLE x; --", "\xE9t\xE9", rt::DateOf(12, 31, 1801), "9999999.99"}});
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("SQL conversion detected - calling UpgradeFile..."));
  // The check closed the server's statement file; the conversion opens it.
  EXPECT_TRUE(InLastRun("Statement file opened for the conversion: 0"));
  EXPECT_TRUE(InLastRun("Logout started [1] 0"));
  EXPECT_TRUE(InLastRun("RV3: Committing records... [4] err:"));
  size_t inserts = std::count_if(ran_.begin(), ran_.end(), [&](const std::string& s) {
    return s.rfind("INSERT INTO ", 0) == 0 && s.find("cv_orders (") != std::string::npos;
  });
  EXPECT_EQ(inserts, 4u);

  std::vector<std::vector<std::string>> want{
      {"1", "O'Neil", "it''s \"quoted\"", "2024-01-31", "12.50"},
      {"2", "back\\slash\\", "C:\\temp\\", "2000-02-29", "-0.05"},
      {"3", "NULL", "NULL", "NULL", "NULL"},
      {"4", "semi; DROP TABLE x; --", "\xE9t\xE9", "1801-12-31", "9999999.99"}};
  EXPECT_EQ(Table(), want);
  EXPECT_TRUE(stops_.empty()) << stops_.front();
  // Converted whole: the copy of the renamed file is gone, the file stays.
  EXPECT_TRUE(std::filesystem::exists(kIsamName));
  EXPECT_FALSE(std::filesystem::exists("dstmp001"));
  EXPECT_TRUE(db::IsOpen(*data_)) << "the hook opens the table afterwards";
}

// A record of nothing but left-out values is still a row: the table
// numbers it and every other column is NULL.
TEST_P(SqlConversion, ARecordOfOnlyLeftOutValuesIsARowOfDefaults) {
  autoNumber_ = true;
  WriteOldFile({{1, "one", "a", 0, "1"}, {0, "", "", 0, "0"}});
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_TRUE(stops_.empty()) << stops_.front();
  std::vector<std::vector<std::string>> rows = Table();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "one", "a", "NULL", "1.00"}));
  EXPECT_NE(rows[1][0], "NULL") << "the table numbered the row";
  EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 1, rows[1].end()),
            (std::vector<std::string>{"NULL", "NULL", "NULL", "NULL"}));
}

TEST_P(SqlConversion, RefusedInsertsAreReportedInRecordOrderAndTheCopyGoesOn) {
  WriteOldFile({{1, "first", "a", 0, "1"},
                {1, "duplicate", "b", 0, "2"},
                {2, "after", "c", 0, "3"},
                {2, "again", "d", 0, "4"},
                {3, "last", "e", 0, "5"}});
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(Table(), (std::vector<std::vector<std::string>>{{"1", "first", "a", "NULL", "1.00"},
                                                            {"2", "after", "c", "NULL", "3.00"},
                                                            {"3", "last", "e", "NULL", "5.00"}}));
  // Each refused insert: its own box with the statement, then M8; at the
  // end what was lost and where the old data is.
  ASSERT_EQ(stops_.size(), 5u);
  for (size_t i : {0, 2}) {
    EXPECT_EQ(stops_[i].rfind("RV3 Data Conversion error on insert: 23", 0), 0u) << stops_[i];
    EXPECT_NE(stops_[i].find("\r\nINSERT INTO "), std::string::npos) << stops_[i];
    EXPECT_EQ(stops_[i + 1].rfind("RV3: Error Writing destination file 90", 0), 0u) << stops_[i + 1];
  }
  EXPECT_NE(stops_[0].find("'duplicate'"), std::string::npos) << stops_[0];
  EXPECT_NE(stops_[2].find("'again'"), std::string::npos) << stops_[2];
  EXPECT_NE(stops_[4].find("2 of 5 records were not converted"), std::string::npos) << stops_[4];
  EXPECT_TRUE(std::filesystem::exists("dstmp001"));
  EXPECT_TRUE(InLastRun("FieldValues: [4] "));
  // The statements were traced in record order, each failure right after
  // its statement.
  std::vector<std::string> order;
  for (const std::string& line : lastRun_) {
    for (const char* name : {"'first'", "'duplicate'", "'after'", "'again'", "'last'"})
      if (line.find("About to execute statement: INSERT") != std::string::npos &&
          line.find(name) != std::string::npos)
        order.push_back(name);
    if (line.find("RV3 Data Conversion error on insert") != std::string::npos) order.push_back("refused");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"'first'", "'duplicate'", "refused", "'after'", "'again'",
                                             "refused", "'last'"}));
}

TEST_P(SqlConversion, WithAddRecordsTheRecordsAreAddedThroughTheTablesFile) {
  WriteOldFile({{1, "O'Neil", "x", rt::DateOf(1, 31, 2024), "12.50"}, {2, "two", "y", 0, "-1"}});
  ASSERT_EQ(Run(2, {"/AddRecords"}), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("RV3: Committing records... [3] err:"));
  EXPECT_FALSE(InLastRun("About to execute statement: INSERT"));
  EXPECT_EQ(Table(), (std::vector<std::vector<std::string>>{{"1", "O'Neil", "x", "2024-01-31", "12.50"},
                                                            {"2", "two", "y", "NULL", "-1.00"}}));
  EXPECT_TRUE(stops_.empty()) << stops_.front();
}

// Past 10000 records a batch is committed and the next begins (MariaDB:
// the records go there in groups, so the boundary is crossed quickly).
class SqlConversionBatches : public SqlConversion {};

TEST_P(SqlConversionBatches, EveryTenThousandRecordsTheTransactionIsCommittedAndANewOneBegun) {
  std::vector<Row> rows;
  for (int32_t id = 1; id <= 10205; ++id) rows.push_back({id, "r" + std::to_string(id), "n", 0, "1"});
  rows[10100].id = 7;  // refused in the second batch
  WriteOldFile(rows);
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("RV3: Committing records... [1] err:"));
  EXPECT_TRUE(InLastRun("Logout started [3] 0"));
  std::vector<std::vector<std::string>> got;
  ASSERT_TRUE(Direct("SELECT COUNT(*), SUM(ID) FROM " + name_, &got));
  int64_t sum = int64_t{10205} * 10206 / 2 - 10101;
  EXPECT_EQ(got, (std::vector<std::vector<std::string>>{{"10204", std::to_string(sum)}}));
  ASSERT_EQ(stops_.size(), 3u);
  EXPECT_NE(stops_[0].find("'r10101'"), std::string::npos) << stops_[0];
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlConversionBatches,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Servers, SqlConversion,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
