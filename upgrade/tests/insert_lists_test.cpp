// The INSERT lists of a conversion into an SQL table: columns and values
// per dialect, nulls under ZeroNull, binary values, dates, times and
// date-time pairs, every value escaped once.
#include <cstring>

#include "engine_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/structure.h"

namespace {

using enginetest::Engine;
using T = db::Type;
using upg::Dialect;

std::unique_ptr<db::FileDecl> Declaration() {
  return db::DeclBuilder("Ins", "INS")
      .Field(T::Long, "ID")
      .Field(T::String, "NAME", 20)
      .Field(T::CString, "NOTE", 12)
      .Field(T::Real, "AMOUNT")
      .Field(T::Decimal, "PRICE", 7, 2)
      .Field(T::Date, "DAYS")
      .Field(T::Time, "HOURS")
      .Field(T::String, "BIN", 6)
      .Field(T::ULong, "BIG")
      .Field(T::String, "STAMP", 8)
      .BeginGroup("STAMPPARTS").Over("INS:STAMP")
      .Field(T::Date, "STAMPDATE")
      .Field(T::Time, "STAMPTIME")
      .EndGroup()
      .Build();
}

class InsertLists : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    upg::ConversionDetected() = 1;
    upg::AfnQueue().clear();
    upg::FilePrefix() = "INS";
    upg::ForcedTypes() = {{"INS:BIN", "", 1}};
    upg::DateTimeQueue() = {{"INS:STAMP", "INS:STAMP", "INS:STAMPDATE", "INS:STAMPTIME", "", ""}};
    upg::ds_SetOption("unrealfield", "INS:STAMP");
    upg::ds_SetOption("realfield", "INS:STAMPDATE");
    upg::ds_SetOption("realfield", "INS:STAMPTIME");
    from_ = Declaration();
    to_ = Declaration();
  }
  void TearDown() override {
    upg::ConversionDetected() = 0;
    upg::InsertDialect() = Dialect::Odbc;
    upg::DatePicture() = 12;
    upg::ForcedTypes().clear();
    upg::DateTimeQueue().clear();
    upg::ClearInsertLists();
    Engine::TearDown();
  }
  uint8_t* At(std::string_view label) {
    const db::FieldInfo& f = from_->Fields()[static_cast<size_t>(from_->FieldIndex(label))];
    return from_->Record() + f.offset;
  }
  template <typename V>
  void Set(std::string_view label, V v) {
    std::memcpy(At(label), &v, sizeof v);
  }
  void SetText(std::string_view label, std::string_view text, size_t len) {
    std::memset(At(label), ' ', len);
    std::memcpy(At(label), text.data(), text.size());
  }
  // A record with a value in every field.
  void Fill() {
    Set<int32_t>("INS:ID", 7);
    SetText("INS:NAME", "O'Brien\\x --;", 20);
    std::memcpy(At("INS:NOTE"), "a'b", 4);
    Set<double>("INS:AMOUNT", 2.5);
    upg::TextToDecimal("-123.45", At("INS:PRICE"), 4, 7, 2);
    Set<uint32_t>("INS:DAYS", rt::PackDate(rt::DateOf(12, 31, 2020)));
    Set<uint32_t>("INS:HOURS", rt::PackTime(rt::TimeOf(13, 45, 30)));
    std::memcpy(At("INS:BIN"), "AB'\0  ", 6);
    Set<uint32_t>("INS:BIG", 4000000000u);
    Set<uint32_t>("INS:STAMPDATE", rt::PackDate(rt::DateOf(1, 2, 2021)));
    Set<uint32_t>("INS:STAMPTIME", rt::PackTime(rt::TimeOf(3, 4, 5)));
  }
  void Copy() {
    upg::LoadDstQueue(*to_);
    upg::LoadSrcQueue(*from_);
    upg::ClearInsertLists();
    upg::CopyRec(*from_, *to_);
  }
  std::unique_ptr<db::FileDecl> from_, to_;
};

TEST_F(InsertLists, EveryValuePerDialect) {
  struct Case {
    Dialect dialect;
    rt::Long datePicture;
    const char* values;
  };
  const Case cases[] = {
      {Dialect::MsSql, 12,
       "  2.5, 4000000000, 0x414227002020, '20201231', '13:45:30', 7, 'O''Brien\\x --;', "
       "'a''b', -123.45, '20210102 03:04:05'"},
      {Dialect::MySql, 12,
       "  2.5, 4000000000, X'414227002020', '20201231', '13:45:30', 7, 'O''Brien\\\\x --;', "
       "'a''b', -123.45, '20210102 03:04:05'"},
      {Dialect::Firebird, 10,
       "  2.5, 4000000000, X'414227002020', '2020/12/31', '13:45:30', 7, 'O''Brien\\x --;', "
       "'a''b', -123.45, '2021/01/02 03:04:05'"},
      {Dialect::Oracle, 12,
       "  2.5, 4000000000, HEXTORAW('414227002020'), '20201231', '13:45:30', 7, "
       "'O''Brien\\x --;', 'a''b', -123.45, '20210102 03:04:05'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values);
    upg::InsertDialect() = c.dialect;
    upg::DatePicture() = c.datePicture;
    Fill();
    Copy();
    EXPECT_EQ(upg::Insert().names, "AMOUNT, BIG, BIN, DAYS, HOURS, ID, NAME, NOTE, PRICE, STAMP");
    EXPECT_EQ(upg::Insert().values, c.values);
  }
}

TEST_F(InsertLists, ZeroNullLeavesEmptyValuesOut) {
  upg::InsertDialect() = Dialect::MsSql;
  Fill();
  Set<int32_t>("INS:ID", 0);
  SetText("INS:NAME", "", 20);
  Set<uint32_t>("INS:DAYS", 0);
  Set<uint32_t>("INS:HOURS", 0);
  Set<uint32_t>("INS:STAMPDATE", 0);
  Set<uint32_t>("INS:STAMPTIME", 0);

  // Off: a null date is '', a zero time formats empty, a zero number is 0,
  // a blank string ''; the pair with neither value adds no column.
  Copy();
  EXPECT_EQ(upg::Insert().names, "AMOUNT, BIG, BIN, DAYS, HOURS, ID, NAME, NOTE, PRICE");
  EXPECT_EQ(upg::Insert().values,
            "  2.5, 4000000000, 0x414227002020, '', '', 0, '', 'a''b', -123.45");

  // On: none of them adds a column or a value.
  upg::ds_SetOption("zeronull", "1");
  upg::DateTimeQueue()[0].dateValue = "20200101";  // left from an earlier record
  Copy();
  EXPECT_EQ(upg::Insert().names, "AMOUNT, BIG, BIN, NOTE, PRICE");
  EXPECT_EQ(upg::Insert().values, "  2.5, 4000000000, 0x414227002020, 'a''b', -123.45");
  EXPECT_EQ(upg::DateTimeQueue()[0].dateValue, "");
}

TEST_F(InsertLists, ColumnNamesAndSeparators) {
  upg::InsertDialect() = Dialect::MySql;
  auto from = db::DeclBuilder("C", "C")
                  .Field(T::Long, "A")
                  .Field(T::Long, "B").ExtName("Full Name")
                  .Field(T::Long, "C").ExtName("odd`name BINARY")
                  .Field(T::Long, "D").ExtName("X:Y")
                  .Field(T::Long, "E").ExtName("\"FullName\"")
                  .Build();
  auto to = from->Clone();
  for (int i = 0; i < 5; ++i) {
    int32_t v = i + 1;
    std::memcpy(from->Record() + 4 * i, &v, 4);
  }
  upg::LoadDstQueue(*to);
  upg::LoadSrcQueue(*from);
  upg::ClearInsertLists();
  upg::CopyRec(*from, *to);
  // The first column has no separator, the value list starts with two
  // blanks; a name that needs quoting is quoted; the word BINARY and the
  // character before it are cut; a prefix is dropped; a name declared
  // between double quotes is that exact name.
  EXPECT_EQ(upg::Insert().names, "A, `Full Name`, `odd``name`, Y, `FullName`");
  EXPECT_EQ(upg::Insert().values, "  1, 2, 3, 4, 5");
  upg::InsertDialect() = Dialect::Firebird;
  upg::ClearInsertLists();
  upg::CopyRec(*from, *to);
  EXPECT_EQ(upg::Insert().names, "A, \"Full Name\", \"odd`name\", Y, \"FullName\"");
}

}  // namespace
