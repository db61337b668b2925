// The round trip on the private servers, through the open hook as a host
// program registering SQL files runs it: a declared table is created, read
// back and compared to a fixed point, then altered by a newer declaration
// with its rows kept, and compared to a fixed point again.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "roundtrip_fixture.h"

namespace {

using rttest::Backend;
using rttest::RoundTrip;

// The cases of one server only.
class RoundTripFirebird : public RoundTrip {};


// The declaration of a version: version 2 widens NAME and adds a column
// and an index.
std::unique_ptr<db::FileDecl> Orders(const std::string& name, int version) {
  db::DeclBuilder b("RtOrders", "RTO");
  b.Driver("ODBC").Name(name);
  b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", version >= 2 ? 31 : 21);
  if (version >= 2) b.Field(db::Type::Long, "QTY");
  b.Key("Id_Key", {1}, db::kKeyPrimary);
  if (version >= 2) b.Key("Name_Key", {2}, db::kKeyDup);
  return b.Build();
}


TEST_P(RoundTrip, CreateReadBackAlterAndCompareToAFixedPoint) {
  Use("rt_orders", "RTO", "RtOrders", &Orders);
  // No system table yet: the first registration creates it.
  Direct("DROP TABLE RV3SYS");
  // Version 1: the table is created on open.
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(Direct("SELECT ID, NAME FROM " + name_, &rows)) << "the table was not created";
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(StoredVersion(), "1");
  // A row of the first version, written through the file.
  data_->ClearRecord();
  db::SetFieldText(data_->Fields()[0], data_->Record() + data_->Fields()[0].offset, "7");
  db::SetFieldText(data_->Fields()[1], data_->Record() + data_->Fields()[1].offset, "Seven");
  db::Add(*data_);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Close(*data_);

  // A fixed point: what the server holds is what is declared.
  EXPECT_EQ(Compare(), std::vector<std::string>{});

  // A new run compares it again (forced) and changes nothing.
  ASSERT_EQ(Run(1, {"/goindeep"}), 0) << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("GoInDeep: 1 reason: commandline parameter."));
  EXPECT_TRUE(InLastRun("----------END - Total number of fields: 2----------"))
      << "the forced comparison read nothing";
  EXPECT_TRUE(InLastRun("-- Start of RunSQLScripts 0 --"));
  EXPECT_FALSE(AnyDdl(ran_));
  db::Close(*data_);

  // Version 2 widens NAME, adds a column and an index: the table is
  // altered, the row stays.
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(std::count_if(ran_.begin(), ran_.end(),
                          [&](const std::string& s) {
                            return s.rfind("Alter Table " + name_ + " ", 0) == 0 ||
                                   (s.rfind("CREATE INDEX ", 0) == 0 &&
                                    s.find("NAME_KEY ON " + name_ + " (NAME)") != std::string::npos);
                          }),
            3)
      << "NAME widened, QTY added, NAME_KEY created";
  rows.clear();
  ASSERT_TRUE(Direct("SELECT ID, NAME, QTY FROM " + name_, &rows)) << "the table was not altered";
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "7");
  EXPECT_EQ(rows[0][1], "Seven");
  EXPECT_EQ(rows[0][2], "NULL");
  EXPECT_EQ(StoredVersion(), "2");
  db::Close(*data_);
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// The declaration of a version whose columns and then keys change.
// Version 2: the primary key's ID and QTY widen, CODE turns from a number
// into text, OLDNAME becomes a wider NEWNAME through an alternate name,
// CITY gets the external name TOWN, GONE goes with its key, a date-time
// pair, a column after it and a memo come; the other keys stay as
// declared. Version 3: the primary key and Name_Key get a second column,
// Code_Key turns from unique into dup, Qty_Key turns descending, City_Key
// goes and New_Key comes. Version 4: CODE turns back into a number.
std::unique_ptr<db::FileDecl> ChangingOrders(const std::string& name, int version) {
  using T = db::Type;
  db::DeclBuilder b("RtOrders", "RTO");
  b.Driver("ODBC").Name(name);
  b.Field(version == 1 ? T::Long : T::ULong, "ID").Field(T::CString, "NAME", 21);
  if (version == 1) {
    b.Field(T::Short, "QTY").Field(T::Long, "CODE").Field(T::CString, "OLDNAME", 11).Field(T::CString, "CITY", 16).ExtName("City");
    b.Field(T::Long, "GONE");
  } else {
    b.Field(T::Long, "QTY");
    if (version < 4) b.Field(T::CString, "CODE", 21); else b.Field(T::Long, "CODE");
    b.Field(T::CString, "NEWNAME", 31);
    b.Field(T::CString, "CITY", 16).ExtName("Town");
    // A date-time pair over one string is one new column; what follows it
    // is added too.
    b.Field(T::String, "STAMP", 8).BeginGroup("STAMPPARTS").Over("RTO:STAMP");
    b.Field(T::Date, "STAMPDATE").Field(T::Time, "STAMPTIME").EndGroup();
    b.Field(T::Short, "AFTER");
  }
  b.Key("Id_Key", version < 3 ? std::vector<int32_t>{1} : std::vector<int32_t>{1, 2}, db::kKeyPrimary);
  if (version < 3) {
    b.Key("Name_Key", {2}, db::kKeyDup).Key("Code_Key", {4}, 0).Key("Qty_Key", {3}, db::kKeyDup);
    b.Key("City_Key", {6}, db::kKeyDup);
    if (version == 1) b.Key("Gone_Key", {7}, db::kKeyDup);
  } else {
    b.Key("Name_Key", {2, 3}, db::kKeyDup).Key("Code_Key", {4}, db::kKeyDup).Key("Qty_Key", {-3}, db::kKeyDup);
    b.Key("New_Key", {5}, db::kKeyDup);
  }
  if (version >= 2) b.Memo("NOTES", db::kMemoText, 500);
  return b.Build();
}

TEST_P(RoundTrip, DroppedRenamedRetypedColumnsAndChangedKeysKeepTheRowsToAFixedPoint) {
  Use("rt_orders", "RTO", "RtOrders", &ChangingOrders);
  register_ = [](int version) {
    if (version >= 2) upg::ds_AlternateFieldName("RTO:NEWNAME", "RTO:OLDNAME");
  };
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  ASSERT_TRUE(Direct("INSERT INTO " + name_ + " (ID, NAME, QTY, CODE, OLDNAME, CITY, GONE) VALUES "
                     "(1, 'One', 32000, -123456, 'Old one', 'Paris', 5)"));
  ASSERT_TRUE(Direct("INSERT INTO " + name_ + " (ID, NAME, QTY, CODE, OLDNAME, CITY, GONE) VALUES "
                     "(2, 'Two', -7, 42, 'Old two', 'Rome', 6)"));
  EXPECT_EQ(Compare(), std::vector<std::string>{});

  const std::vector<std::vector<std::string>> kept = {{"1", "One", "32000", "-123456", "Old one", "Paris"},
                                                      {"2", "Two", "-7", "42", "Old two", "Rome"}};
  auto rows = [&] {
    std::vector<std::vector<std::string>> out;
    EXPECT_TRUE(Direct("SELECT ID, NAME, QTY, CODE, NEWNAME, TOWN FROM " + name_ + " ORDER BY ID", &out))
        << "the columns were not changed";
    return out;
  };
  for (int version : {2, 3}) {
    SCOPED_TRACE("version " + std::to_string(version));
    ASSERT_EQ(Run(version), 0) << rt::ErrorText() << " " << rt::FileErrorText();
    db::Close(*data_);
    EXPECT_EQ(StoredVersion(), std::to_string(version));
    EXPECT_EQ(rows(), kept);
    EXPECT_EQ(Compare(), std::vector<std::string>{});
  }
  std::vector<std::vector<std::string>> gone;
  EXPECT_FALSE(Direct("SELECT GONE FROM " + name_, &gone)) << "GONE was not dropped";
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();

  // Text back into numbers: both servers convert the values (Firebird
  // through a new column), and CODE_KEY comes back over the new column.
  ASSERT_EQ(Run(4), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_EQ(rows(), kept);
  EXPECT_EQ(StoredVersion(), "4");
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// A text column of the primary key and of an index turning into a number.
std::unique_ptr<db::FileDecl> Codes(const std::string& name, int version) {
  db::DeclBuilder b("RtCodes", "RTC");
  b.Driver("ODBC").Name(name);
  b.Field(db::Type::Long, "ID");
  if (version == 1) b.Field(db::Type::CString, "CODE", 21); else b.Field(db::Type::Long, "CODE");
  b.Field(db::Type::Short, "TAIL");
  b.Key("Id_Key", {1, 2}, db::kKeyPrimary).Key("Code_Key", {2}, db::kKeyDup);
  return b.Build();
}

// Firebird changes a text column into a number only through a new column.
// A value that is no number fails the change before anything is lost: the
// table keeps its column, its rows and its keys, and the error is
// reported. Once the value is a number, the change goes through.
TEST_P(RoundTripFirebird, AFailedRetypeCopyKeepsTheColumnTheRowsAndTheKeys) {
  Use("rt_codes", "RTC", "RtCodes", &Codes);
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  ASSERT_TRUE(Direct("INSERT INTO rt_codes (ID, CODE, TAIL) VALUES (1, '42', 7)"));
  ASSERT_TRUE(Direct("INSERT INTO rt_codes (ID, CODE, TAIL) VALUES (2, 'abc', 8)"));
  auto rows = [&] {
    std::vector<std::vector<std::string>> out;
    EXPECT_TRUE(Direct("SELECT ID, CODE, TAIL FROM rt_codes ORDER BY ID", &out));
    return out;
  };
  auto layout = [&] {
    std::vector<std::vector<std::string>> out;
    EXPECT_TRUE(Direct("SELECT TRIM(r.RDB$FIELD_NAME), r.RDB$FIELD_POSITION, f.RDB$FIELD_TYPE, "
                       "COALESCE(r.RDB$NULL_FLAG, 0) FROM RDB$RELATION_FIELDS r JOIN RDB$FIELDS f "
                       "ON f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE WHERE r.RDB$RELATION_NAME = 'RT_CODES' "
                       "ORDER BY r.RDB$FIELD_POSITION",
                       &out));
    return out;
  };
  auto keys = [&] {
    std::vector<std::vector<std::string>> out;
    EXPECT_TRUE(Direct("SELECT TRIM(s.RDB$INDEX_NAME), TRIM(s.RDB$FIELD_NAME) FROM RDB$INDEX_SEGMENTS s "
                       "JOIN RDB$INDICES i ON i.RDB$INDEX_NAME = s.RDB$INDEX_NAME "
                       "WHERE i.RDB$RELATION_NAME = 'RT_CODES' ORDER BY 2, 1",
                       &out));
    return out;
  };
  const auto before = rows();
  const auto columns = layout();
  const auto indices = keys();
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[1][2], "37") << "CODE is a varchar";
  ASSERT_EQ(indices.size(), 3u) << "the primary key's two columns and CODE_KEY";

  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_EQ(rows(), before);
  EXPECT_EQ(layout(), columns) << "no column was added, dropped or retyped";
  EXPECT_EQ(keys(), indices) << "the keys dropped around the change are back";
  EXPECT_EQ(StoredVersion(), "1");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(InLastRun("conversion error from string \"abc\"")) << "the server's error is in the report";
  boxes_.clear();

  // The value made a number: the column converts, in its place, still
  // not null under the primary key, and the comparison has nothing left.
  ASSERT_TRUE(Direct("UPDATE rt_codes SET CODE = '-5' WHERE ID = 2"));
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_EQ(rows(), (std::vector<std::vector<std::string>>{{"1", "42", "7"}, {"2", "-5", "8"}}));
  auto converted = layout();
  ASSERT_EQ(converted.size(), 3u);
  EXPECT_EQ(converted[1][0], "CODE");
  EXPECT_EQ(converted[1][2], "8") << "CODE is an integer";
  EXPECT_EQ(converted[1][3], "1") << "CODE is not null";
  EXPECT_EQ(keys().size(), 3u);
  EXPECT_EQ(StoredVersion(), "2");
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// A column of each type pair Firebird changes in place or only through a
// new column: its value is kept and converted, and the comparison has
// nothing left afterwards.
TEST_P(RoundTripFirebird, EachRetypeKeepsTheValueInPlaceOrThroughANewColumn) {
  using T = db::Type;
  struct Case {
    T from;
    int fromSize;
    T to;
    int toSize;
    const char* value;
    const char* expected;
    bool copied;
    int fromPlaces = 0, toPlaces = 0;  // of a DECIMAL
  };
  const Case cases[] = {
      {T::Long, 0, T::Short, 0, "300", "300", true},                    // integer -> smallint
      {T::ULong, 0, T::Long, 0, "5", "5", true},                        // bigint -> integer
      {T::Real, 0, T::Long, 0, "2", "2", true},                         // double -> integer
      {T::CString, 21, T::CString, 6, "'abc'", "abc", true},            // a shorter varchar
      {T::Long, 0, T::CString, 6, "42", "42", true},                    // too short for any integer
      {T::CString, 21, T::Date, 0, "'2020-01-02'", "2020-01-02", true}, // text -> date
      {T::Short, 0, T::Long, 0, "7", "7", false},
      {T::Date, 0, T::CString, 21, "'2020-01-02'", "2020-01-02", false},
      {T::CString, 11, T::CString, 21, "'abc'", "abc", false},
      {T::Long, 0, T::Decimal, 9, "42", "42.00", true, 0, 2},          // fewer digits before the point
      {T::Decimal, 9, T::Decimal, 9, "1.5", "1.5000", true, 2, 4},     // a new scale
      {T::Decimal, 9, T::Decimal, 11, "1.5", "1.50", false, 2, 2},     // more digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases) + ", value " + c.value);
    Use("rt_retype", "RTR", "RtRetype", [&](const std::string& name, int version) {
      db::DeclBuilder b("RtRetype", "RTR");
      b.Driver("ODBC").Name(name);
      b.Field(T::Long, "ID");
      T type = version == 1 ? c.from : c.to;
      int size = version == 1 ? c.fromSize : c.toSize;
      int places = version == 1 ? c.fromPlaces : c.toPlaces;
      if (type == T::Decimal) b.Field(type, "V", size, places);
      else if (size) b.Field(type, "V", size);
      else b.Field(type, "V");
      b.Field(T::Short, "TAIL");
      b.Key("Id_Key", {1}, db::kKeyPrimary).Key("V_Key", {2}, db::kKeyDup);
      return b.Build();
    });
    ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
    db::Close(*data_);
    ASSERT_TRUE(Direct(std::string("INSERT INTO rt_retype (ID, V, TAIL) VALUES (1, ") + c.value + ", 9)"));
    ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
    db::Close(*data_);
    bool copied = std::any_of(ran_.begin(), ran_.end(),
                              [](const std::string& s) { return s.rfind("EXECUTE BLOCK", 0) == 0; });
    EXPECT_EQ(copied, c.copied);
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(Direct("SELECT ID, V, TAIL FROM rt_retype", &rows));
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1", c.expected, "9"}}));
    EXPECT_EQ(StoredVersion(), "2");
    EXPECT_EQ(Compare(), std::vector<std::string>{});
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    boxes_.clear();
  }
}

// Every type, key kind and memo of the synthetic declaration: created and
// read back to a fixed point.
class RoundTripEveryType : public RoundTrip {};

TEST_P(RoundTripEveryType, EveryTypeKeyAndMemoReadBackToAFixedPoint) {
  Use("rt_syn", "SYN", "RtSyn", [](const std::string& name, int) {
    return sqltest::EveryType("RtSyn", "ODBC", name);
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(StoredVersion(), "1");
  db::Close(*data_);
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

INSTANTIATE_TEST_SUITE_P(Servers, RoundTrip,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Servers, RoundTripFirebird, ::testing::Values(Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Servers, RoundTripEveryType,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
