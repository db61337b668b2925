// Names and values the servers hold as declared, through the open hook on
// the private servers: a file of another database is left alone; external
// names with options, names at and over each server's length limit and
// names holding "#" or "$" are created, opened, written, read and compared
// to a fixed point; a key that cannot be created again is reported; wide
// decimals keep every digit.
#include <gtest/gtest.h>

#include <memory>

#include "roundtrip_fixture.h"
#include "velmora/upgrade/sqltext.h"

namespace {

using rttest::Backend;
using Rows = std::vector<std::vector<std::string>>;

class ServerNames : public rttest::RoundTrip {
 protected:
  upg::Dialect Dialect() const { return upg::DialectOf("ODB", GetParam().flavour); }
  // The table of the test as the server names it.
  std::string Table() const {
    return GetParam().qualified ? database_ + "." + upg::SqlIdentifier(Dialect(), table_)
                                : upg::SqlIdentifier(Dialect(), table_);
  }
  // The data file's fields as texts, after NEXT of `select` through the file.
  std::vector<std::string> ReadThroughTheFile(const std::string& select) {
    db::SetProperty(*data_, db::Prop::Sql, select);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    db::Next(*data_);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    std::vector<std::string> out;
    for (const db::FieldInfo& f : data_->Fields())
      out.push_back(rt::Clip(db::FieldText(f, data_->Record() + f.offset)));
    return out;
  }
  void Write(const std::vector<std::string>& values) {
    data_->ClearRecord();
    for (size_t i = 0; i < values.size(); ++i)
      db::SetFieldText(data_->Fields()[i], data_->Record() + data_->Fields()[i].offset, values[i]);
    db::Add(*data_);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  }
  // A new run of `version` finds the table as declared: nothing altered,
  // the version row written, no message.
  void ExpectFixedPoint(int version) {
    ASSERT_EQ(Run(version, {"/goindeep"}), 0) << rt::ErrorText() << " " << rt::FileErrorText();
    EXPECT_FALSE(AnyDdl(ran_));
    db::Close(*data_);
    EXPECT_EQ(StoredVersion(), std::to_string(version));
    EXPECT_EQ(Compare(), std::vector<std::string>{});
    for (const std::string& box : boxes_) ADD_FAILURE() << box;
    boxes_.clear();
  }
};

class ServerNamesMariaDB : public ServerNames {};

// A file of a database the check does not manage: nothing is written
// there, and the table of the same name in the managed database is not
// touched either.
TEST_P(ServerNamesMariaDB, AFileOfAnotherDatabaseIsLeftAloneAndItsNamesakeUntouched) {
  Use("rv_orders", "RVO", "RvOrders", [](const std::string& name, int version) {
    db::DeclBuilder b("RvOrders", "RVO");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID");
    if (version >= 2) b.Field(db::Type::CString, "CODE", 11);
    return b.Key("Id_Key", {1}, db::kKeyDup).Build();
  });
  ASSERT_TRUE(Direct("CREATE TABLE rv_orders (ID int, NOTE varchar(20))"));
  ASSERT_TRUE(Direct("INSERT INTO rv_orders VALUES (1, 'kept')"));
  name_ = "velmora_elsewhere.rv_orders";
  for (int version : {1, 2}) {
    SCOPED_TRACE("version " + std::to_string(version));
    Run(version);
    EXPECT_FALSE(AnyDdl(ran_));
    EXPECT_TRUE(InLastRun("File: velmora_elsewhere.rv_orders, Zone: velmora_elsewhere"));
    if (db::IsOpen(*data_)) db::Close(*data_);
  }
  EXPECT_EQ(Select("SELECT ID, NOTE FROM rv_orders"), (Rows{{"1", "kept"}}));
  EXPECT_EQ(Select("SHOW KEYS FROM rv_orders"), Rows{});
  EXPECT_EQ(StoredVersion(), "none");
}

// The column names the engine creates are the ones the driver opens,
// writes and reads: an external name with an option, and long names.
TEST_P(ServerNames, FieldsNamedWithOptionsOrTooLongAreOpenedWrittenAndRead) {
  const std::string longName(70, 'L');
  Use("rt_colnames", "RCN", "RtColNames", [&](const std::string& name, int) {
    db::DeclBuilder b("RtColNames", "RCN");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID")
        .Field(db::Type::CString, "NOTE", 21).ExtName("NOTE READONLY")
        .Field(db::Type::Long, longName)
        .Field(db::Type::CString, "LONGER", 11).ExtName(std::string(54, 'E'));
    return b.Key("Id_Key", {1}, db::kKeyPrimary).Build();
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  const std::vector<std::string> values{"7", "a note", "42", "longer"};
  Write(values);
  EXPECT_EQ(ReadThroughTheFile("SELECT * FROM " + Table()), values);
  db::Close(*data_);
  ExpectFixedPoint(1);
}

// Column and key names at and just over the server's limit are created
// once and found again: every later run leaves the table as it is.
TEST_P(ServerNames, NamesAtAndOverTheServersLimitReachAFixedPoint) {
  const size_t limit = upg::NameLimit(Dialect());
  Use("rt_limits", "RLM", "RtLimits", [&](const std::string& name, int) {
    db::DeclBuilder b("RtLimits", "RLM");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID")
        .Field(db::Type::Long, "ATLIMIT").ExtName(std::string(limit, 'A'))
        .Field(db::Type::Long, "OVER").ExtName(std::string(limit + 1, 'B'))
        .Field(db::Type::Long, "WELLOVER").ExtName(std::string(limit + 20, 'C'));
    return b.Key("Id_Key", {1}, db::kKeyPrimary)
        .Key("At_Key", {2}, db::kKeyDup, std::string(limit, 'K'))
        .Key("Over_Key", {3}, db::kKeyDup, std::string(limit + 3, 'K'))
        .Build();
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  Write({"1", "2", "3", "4"});
  db::Close(*data_);
  for (const std::string& box : boxes_) ADD_FAILURE() << box;
  ExpectFixedPoint(1);
  ExpectFixedPoint(2);
}

// Names holding "#" or beginning with "$", "#" or "_" are quoted wherever
// they are written: each is its own column, and dropping one leaves the
// others and their values.
TEST_P(ServerNames, NamesWithHashDollarOrUnderscoreAreEachTheirOwnColumn) {
  Use("rt_marks", "RMK", "RtMarks", [](const std::string& name, int version) {
    db::DeclBuilder b("RtMarks", "RMK");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID").Field(db::Type::Long, "X");
    if (version == 1) b.Field(db::Type::Long, "XHASH").ExtName("X#");
    b.Field(db::Type::Long, "DOLLAR").ExtName("$Y")
        .Field(db::Type::Long, "HASH").ExtName("#Z")
        .Field(db::Type::Long, "LOW").ExtName("_U")
        .Field(db::Type::Long, "MID").ExtName("M$N");
    return b.Key("Id_Key", {1}, db::kKeyPrimary).Key("X_Key", {2}, db::kKeyDup).Build();
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  Write({"1", "10", "11", "12", "13", "14", "15"});
  EXPECT_EQ(ReadThroughTheFile("SELECT * FROM " + Table()),
            (std::vector<std::string>{"1", "10", "11", "12", "13", "14", "15"}));
  db::Close(*data_);
  ExpectFixedPoint(1);
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(ReadThroughTheFile("SELECT * FROM " + Table()),
            (std::vector<std::string>{"1", "10", "12", "13", "14", "15"}));
  db::Close(*data_);
  EXPECT_EQ(StoredVersion(), "2");
  ExpectFixedPoint(2);
}

// A unique key over a column retyped so that two rows collide cannot be
// created again: the user is told, the version stays, and the next run
// tries again.
TEST_P(ServerNames, AKeyThatCannotBeCreatedAgainIsReportedAndTheVersionStays) {
  Use("rt_rekey", "RRK", "RtRekey", [](const std::string& name, int version) {
    db::DeclBuilder b("RtRekey", "RRK");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID").Field(version == 1 ? db::Type::Real : db::Type::Long, "V");
    return b.Key("Id_Key", {1}, db::kKeyPrimary).Key("V_Key", {2}, 0).Build();
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  ASSERT_TRUE(Direct("INSERT INTO " + Table() + " (ID, V) VALUES (1, 1.2)"));
  ASSERT_TRUE(Direct("INSERT INTO " + Table() + " (ID, V) VALUES (2, 1.4)"));
  for (int attempt : {1, 2}) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    Run(2);
    if (db::IsOpen(*data_)) db::Close(*data_);
    EXPECT_FALSE(boxes_.empty()) << "the lost key was not reported";
    EXPECT_EQ(StoredVersion(), "1");
    boxes_.clear();
  }
}

// A decimal wider than Firebird's exact types keeps every digit.
TEST_P(ServerNames, WideDecimalsKeepEveryDigit) {
  Use("rt_wide", "RWD", "RtWide", [](const std::string& name, int) {
    db::DeclBuilder b("RtWide", "RWD");
    b.Driver("ODBC").Name(name);
    b.Field(db::Type::Long, "ID").Field(db::Type::Decimal, "BIG", 25, 2).Field(db::Type::Decimal, "SMALL", 9, 2);
    return b.Key("Id_Key", {1}, db::kKeyPrimary).Build();
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(InLastRun("Big decimal(25,2) has more digits than Firebird holds exactly (18); its column is text: "
                      "varchar(27)"),
            Dialect() == upg::Dialect::Firebird);
  const std::vector<std::string> values{"1", "-12345678901234567890123.45", "1234567.89"};
  Write(values);
  EXPECT_EQ(ReadThroughTheFile("SELECT * FROM " + Table()), values);
  db::Close(*data_);
  ExpectFixedPoint(1);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerNames,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Servers, ServerNamesMariaDB, ::testing::Values(Backend{"MariaDB", "MYODBC 3", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
