// The field conversion between every pair of value types, the packers and
// the text copy. Each source lives in a buffer of exactly its own size, so
// a conversion that reads past its field fails under the sanitizer.
#include <cstring>

#include "engine_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/upgrade/conversion.h"

namespace {

using enginetest::Engine;
using T = db::Type;
using Bytes = std::vector<uint8_t>;

template <typename V>
Bytes Of(V v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
Bytes Str(std::string_view s, size_t len, char pad = ' ') {
  Bytes b(len, static_cast<uint8_t>(pad));
  std::memcpy(b.data(), s.data(), std::min(s.size(), len));
  return b;
}
Bytes PStr(std::string_view s, size_t len, char pad = '#') {
  Bytes b = Str(std::string(1, static_cast<char>(s.size())) + std::string(s), len, pad);
  return b;
}

struct Side {
  T type;
  uint32_t len;
  uint8_t places = 0;
  std::string picture = {};
};

upg::FieldRow Row(const Side& s, const std::string& name) {
  upg::FieldRow r;
  r.type = static_cast<uint8_t>(s.type);
  r.len = s.len;
  r.offset = 1;
  r.name = name;
  r.picture = s.picture;
  if (s.type == T::Decimal || s.type == T::PDecimal) {
    r.chars = static_cast<uint8_t>(2 * s.len - 1);
    r.places = s.places;
  }
  return r;
}

// Converts `in` (a source of `from`) into a fresh destination of `to`
// prefilled with 0xEE bytes.
Bytes Convert(const Side& from, const Bytes& in, const Side& to) {
  Bytes src = in;
  src.resize(from.len);
  Bytes dst(to.len, 0xEE);
  upg::FieldRow s = Row(from, "T:SRC"), d = Row(to, "T:DST");
  upg::CopyContext cx;
  cx.sourceRecord = src.data();
  cx.destRecord = dst.data();
  upg::ConvertField(cx, s, d);
  return dst;
}

struct Case {
  const char* what;
  Side from;
  Bytes in;
  Side to;
  Bytes out;
};

class FieldConversion : public Engine {};

TEST_F(FieldConversion, EveryPairOfTheMatrix) {
  const rt::Long day = rt::DateOf(7, 14, 2024), time = rt::TimeOf(13, 45, 30, 50);
  const Case cases[] = {
      // text copies
      {"STRING into a longer STRING", {T::String, 10}, Str("XYZ", 10), {T::String, 20}, Str("XYZ", 20)},
      {"STRING into a shorter STRING", {T::String, 10}, Str("XYZ", 10), {T::String, 2}, Str("XY", 2)},
      {"STRING into CSTRING", {T::String, 10}, Str("XYZ", 10), {T::CString, 10}, Str("XYZ", 10, '\0')},
      {"full STRING into CSTRING keeps the terminator", {T::String, 4}, Str("ABCD", 4), {T::CString, 4}, Str("ABC", 4, '\0')},
      {"PSTRING into STRING by its length byte", {T::PString, 10}, PStr("XYZ", 10), {T::String, 20}, Str("XYZ", 20)},
      {"CSTRING into STRING is blank after its terminator", {T::CString, 10}, Str("AB\0GARBAGE", 10), {T::String, 8}, Str("AB", 8)},
      {"STRING into PSTRING", {T::String, 8}, Str("XYZ", 8), {T::PString, 6}, Bytes{3, 'X', 'Y', 'Z', ' ', ' '}},
      {"CSTRING into PSTRING", {T::CString, 8}, Str("AB", 8, '\0'), {T::PString, 4}, Bytes{2, 'A', 'B', ' '}},
      // integers
      {"SHORT -1 into USHORT", {T::Short, 2}, Of<int16_t>(-1), {T::UShort, 2}, Of<uint16_t>(65535)},
      {"SHORT -1 into LONG", {T::Short, 2}, Of<int16_t>(-1), {T::Long, 4}, Of<int32_t>(-1)},
      {"USHORT 65535 into SHORT", {T::UShort, 2}, Of<uint16_t>(65535), {T::Short, 2}, Of<int16_t>(-1)},
      {"USHORT into LONG zero-extended", {T::UShort, 2}, Of<uint16_t>(65535), {T::Long, 4}, Of<int32_t>(65535)},
      {"BYTE into SHORT", {T::Byte, 1}, Of<uint8_t>(200), {T::Short, 2}, Of<int16_t>(200)},
      {"BYTE into ULONG", {T::Byte, 1}, Of<uint8_t>(255), {T::ULong, 4}, Of<uint32_t>(255)},
      {"LONG into BYTE keeps the low 8 bits", {T::Long, 4}, Of<int32_t>(300), {T::Byte, 1}, Of<uint8_t>(44)},
      {"LONG into SHORT keeps the low 16 bits", {T::Long, 4}, Of<int32_t>(70000), {T::Short, 2}, Of<int16_t>(4464)},
      {"LONG -1 into ULONG", {T::Long, 4}, Of<int32_t>(-1), {T::ULong, 4}, Of<uint32_t>(0xFFFFFFFF)},
      {"ULONG into LONG", {T::ULong, 4}, Of<uint32_t>(0xFFFFFFFF), {T::Long, 4}, Of<int32_t>(-1)},
      {"ULONG into REAL unsigned", {T::ULong, 4}, Of<uint32_t>(0xFFFFFFFF), {T::Real, 8}, Of<double>(4294967295.0)},
      {"SHORT into REAL signed", {T::Short, 2}, Of<int16_t>(-32768), {T::Real, 8}, Of<double>(-32768.0)},
      {"BYTE into SREAL", {T::Byte, 1}, Of<uint8_t>(255), {T::SReal, 4}, Of<float>(255.0f)},
      // reals
      {"REAL 2.9 into LONG", {T::Real, 8}, Of<double>(2.9), {T::Long, 4}, Of<int32_t>(2)},
      {"REAL -2.9 into LONG", {T::Real, 8}, Of<double>(-2.9), {T::Long, 4}, Of<int32_t>(-2)},
      {"REAL beyond LONG", {T::Real, 8}, Of<double>(1e20), {T::Long, 4}, Of<int32_t>(INT32_MIN)},
      {"REAL into ULONG through 64 bits", {T::Real, 8}, Of<double>(4294967296.0 + 5), {T::ULong, 4}, Of<uint32_t>(5)},
      {"REAL into USHORT through 32 bits", {T::Real, 8}, Of<double>(70000.7), {T::UShort, 2}, Of<uint16_t>(4464)},
      {"REAL into SHORT through 16 bits", {T::Real, 8}, Of<double>(70000.0), {T::Short, 2}, Of<int16_t>(INT16_MIN)},
      {"REAL into BYTE through 16 bits", {T::Real, 8}, Of<double>(300.5), {T::Byte, 1}, Of<uint8_t>(44)},
      {"REAL into SREAL rounded to single", {T::Real, 8}, Of<double>(0.1), {T::SReal, 4}, Of<float>(0.1f)},
      {"SREAL into REAL widened", {T::SReal, 4}, Of<float>(2.5f), {T::Real, 8}, Of<double>(2.5)},
      {"SREAL into LONG", {T::SReal, 4}, Of<float>(-7.75f), {T::Long, 4}, Of<int32_t>(-7)},
      {"REAL into STRING", {T::Real, 8}, Of<double>(-2.5), {T::String, 6}, Str("-2.5", 6)},
      {"SREAL into STRING with its own digits", {T::SReal, 4}, Of<float>(2.9f), {T::String, 6}, Str("2.9", 6)},
      // dates and times
      {"DATE into LONG", {T::Date, 4}, Of(rt::PackDate(day)), {T::Long, 4}, Of<int32_t>(day)},
      {"LONG into DATE", {T::Long, 4}, Of<int32_t>(day), {T::Date, 4}, Of(rt::PackDate(day))},
      {"DATE into DATE", {T::Date, 4}, Of(rt::PackDate(day)), {T::Date, 4}, Of(rt::PackDate(day))},
      {"TIME into ULONG", {T::Time, 4}, Of(rt::PackTime(time)), {T::ULong, 4}, Of<uint32_t>(time)},
      {"ULONG into TIME", {T::ULong, 4}, Of<uint32_t>(time), {T::Time, 4}, Of(rt::PackTime(time))},
      {"TIME into TIME", {T::Time, 4}, Of(rt::PackTime(time)), {T::Time, 4}, Of(rt::PackTime(time))},
      {"DATE into TIME has no value", {T::Date, 4}, Of(rt::PackDate(day)), {T::Time, 4}, Of<uint32_t>(0)},
      // numbers as text
      {"LONG 0 into STRING is blank", {T::Long, 4}, Of<int32_t>(0), {T::String, 5}, Str("", 5)},
      {"LONG into STRING", {T::Long, 4}, Of<int32_t>(-1234), {T::String, 6}, Str("-1234", 6)},
      {"ULONG into CSTRING", {T::ULong, 4}, Of<uint32_t>(4294967295u), {T::CString, 12}, Str("4294967295", 12, '\0')},
      {"USHORT into PSTRING", {T::UShort, 2}, Of<uint16_t>(65535), {T::PString, 8}, Bytes{5, '6', '5', '5', '3', '5', ' ', ' '}},
      {"STRING into LONG", {T::String, 8}, Str("123", 8), {T::Long, 4}, Of<int32_t>(123)},
      {"STRING into ULONG unsigned", {T::String, 12}, Str("4294967295", 12), {T::ULong, 4}, Of<uint32_t>(4294967295u)},
      {"STRING into SHORT", {T::String, 6}, Str("-5", 6), {T::Short, 2}, Of<int16_t>(-5)},
      {"STRING into BYTE keeps the low 8 bits", {T::String, 6}, Str("257", 6), {T::Byte, 1}, Of<uint8_t>(1)},
      {"STRING into REAL", {T::String, 8}, Str("3.75", 8), {T::Real, 8}, Of<double>(3.75)},
      {"CSTRING into LONG ends at its terminator", {T::CString, 8}, Str(std::string_view("42\0" "99", 5), 8, '7'), {T::Long, 4}, Of<int32_t>(42)},
      {"PSTRING into LONG by its length byte", {T::PString, 6}, PStr("42", 6, '9'), {T::Long, 4}, Of<int32_t>(42)},
      {"STRING with a picture into REAL", {T::String, 10, 0, "@n9.2"}, Str("1,234.50", 10), {T::Real, 8}, Of<double>(1234.5)},
      // packed decimals
      {"LONG 20 into DECIMAL(5,2)", {T::Long, 4}, Of<int32_t>(20), {T::Decimal, 3, 2}, Bytes{0x00, 0x20, 0x00}},
      {"LONG -20 into DECIMAL(5,2)", {T::Long, 4}, Of<int32_t>(-20), {T::Decimal, 3, 2}, Bytes{0x80, 0x20, 0x00}},
      {"LONG 20 into PDECIMAL(5,2)", {T::Long, 4}, Of<int32_t>(20), {T::PDecimal, 3, 2}, Bytes{0x02, 0x00, 0x0F}},
      {"LONG -20 into PDECIMAL(5,2)", {T::Long, 4}, Of<int32_t>(-20), {T::PDecimal, 3, 2}, Bytes{0x02, 0x00, 0x0D}},
      {"DECIMAL(5,2) -123.45 into STRING", {T::Decimal, 3, 2}, Bytes{0x81, 0x23, 0x45}, {T::String, 10}, Str("-123.45", 10)},
      {"DECIMAL(5,2) 1.50 into STRING", {T::Decimal, 3, 2}, Bytes{0x00, 0x01, 0x50}, {T::String, 10}, Str("1.50", 10)},
      {"PDECIMAL(5,2) -123.45 into STRING", {T::PDecimal, 3, 2}, Bytes{0x12, 0x34, 0x5D}, {T::String, 10}, Str("-123.45", 10)},
      {"DECIMAL(5,2) into LONG", {T::Decimal, 3, 2}, Bytes{0x81, 0x23, 0x45}, {T::Long, 4}, Of<int32_t>(-123)},
      {"DECIMAL(5,2) into REAL", {T::Decimal, 3, 2}, Bytes{0x81, 0x23, 0x45}, {T::Real, 8}, Of<double>(-123.45)},
      {"DECIMAL(5,2) into DECIMAL(7,3)", {T::Decimal, 3, 2}, Bytes{0x01, 0x23, 0x45}, {T::Decimal, 4, 3}, Bytes{0x00, 0x12, 0x34, 0x50}},
      {"DECIMAL into PDECIMAL", {T::Decimal, 3, 2}, Bytes{0x81, 0x23, 0x45}, {T::PDecimal, 3, 2}, Bytes{0x12, 0x34, 0x5D}},
      {"PDECIMAL into DECIMAL", {T::PDecimal, 3, 2}, Bytes{0x12, 0x34, 0x5F}, {T::Decimal, 3, 2}, Bytes{0x01, 0x23, 0x45}},
      {"STRING fraction digits beyond the places are dropped", {T::String, 8}, Str("12.345", 8), {T::Decimal, 3, 2}, Bytes{0x00, 0x12, 0x34}},
      {"leading digits beyond the size are dropped", {T::Long, 4}, Of<int32_t>(12345), {T::Decimal, 3, 2}, Bytes{0x03, 0x45, 0x00}},
      {"REAL into DECIMAL", {T::Real, 8}, Of<double>(-0.5), {T::Decimal, 3, 2}, Bytes{0x80, 0x00, 0x50}},
      {"DECIMAL(3,3) into STRING", {T::Decimal, 2, 3}, Bytes{0x01, 0x25}, {T::String, 6}, Str(".125", 6)},
      // no rule
      {"BFLOAT4 into LONG", {T::BFloat4, 4}, Of<uint32_t>(0x12345678), {T::Long, 4}, Of<int32_t>(0)},
      {"BFLOAT8 into REAL", {T::BFloat8, 8}, Of<uint64_t>(~0ull), {T::Real, 8}, Of<double>(0)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Convert(c.from, c.in, c.to), c.out) << c.what;
}

TEST_F(FieldConversion, DayAndTimeNumbersRoundTripThroughLong) {
  for (rt::Long d : {rt::Long{4}, rt::DateOf(2, 29, 2000), rt::kMaxDate}) {
    Bytes date = Convert({T::Long, 4}, Of<int32_t>(d), {T::Date, 4});
    EXPECT_EQ(Convert({T::Date, 4}, date, {T::Long, 4}), Of<int32_t>(d)) << d;
  }
  for (rt::Long t : {rt::Long{1}, rt::Long{100}, rt::kMaxTime}) {
    Bytes time = Convert({T::Long, 4}, Of<int32_t>(t), {T::Time, 4});
    Bytes back = Convert({T::Time, 4}, time, {T::Long, 4});
    // Midnight (1) stores as 0, which reads back as no time.
    EXPECT_EQ(back, Of<int32_t>(t == 1 ? 0 : t)) << t;
  }
}

TEST_F(FieldConversion, LongTextsAreNeitherCutAt255NorOverrun) {
  std::string text(600, 'a');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  // Different pictures: the value conversion, not the text copy.
  Bytes out = Convert({T::String, 600, 0, "@s600"}, Str(text, 600), {T::String, 700});
  EXPECT_EQ(out, Str(text, 700));
  out = Convert({T::String, 600}, Str(text, 600), {T::CString, 300, 0, "@s300"});
  EXPECT_EQ(out, Str(text.substr(0, 299), 300, '\0'));
}

TEST_F(FieldConversion, MemosAndBlobsAreCopiedWhole) {
  std::vector<uint8_t> big(3 * 1024 * 1024 + 7);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + 7);
  std::vector<uint8_t> out;
  upg::FieldRow s = Row({T::String, 0}, "T:BLOB"), d = Row({T::String, 0}, "T:BLOB");
  s.type = d.type = upg::kMemoRowType;
  s.ptr = &big;
  d.ptr = &out;
  upg::CopyContext cx;
  upg::ConvertField(cx, s, d);
  EXPECT_EQ(out, big);

  // A STRING into a memo, and a memo into a STRING.
  Bytes rec = Str("HELLO", 10);
  upg::FieldRow str = Row({T::String, 10}, "T:S");
  cx.sourceRecord = rec.data();
  upg::ConvertField(cx, str, d);
  EXPECT_EQ(std::string(out.begin(), out.end()), "HELLO");
  Bytes dest(3, 0xEE);
  cx.destRecord = dest.data();
  upg::FieldRow narrow = Row({T::String, 3}, "T:S");
  upg::ConvertField(cx, d, narrow);
  EXPECT_EQ(dest, Str("HEL", 3));
}

TEST_F(FieldConversion, ZeroBytesInATextAreReportedWithTheRecordNumber) {
  upg::RecordNumber() = 7;
  Bytes out = Convert({T::String, 4}, Bytes{'A', 0, 'B', ' '}, {T::String, 4});
  EXPECT_EQ(out, (Bytes{'A', 0, 'B', ' '}));  // the record keeps its byte
  ASSERT_FALSE(traces_.empty());
  EXPECT_EQ(traces_.back(),
            "[RV3][ERROR] NULL DATA IN NON BINARY STRING (*CHANGED TO SPACE*) record: 7 :: T:DST");
  upg::RecordNumber() = 0;
}

TEST_F(FieldConversion, PackersAndTidying) {
  uint8_t b[4] = {};
  upg::TextToDecimal("1.5", b, 3, 5, 2);
  EXPECT_EQ(upg::DecimalToText(b, 5, 2), "001.50");
  upg::TextToPDecimal("-7", b, 2, 3, 0);
  EXPECT_EQ(upg::PDecimalToText(b, 2, 3, 0), "-007.");
  EXPECT_EQ(upg::TrimNumberText("-007."), "-7");
  EXPECT_EQ(upg::TrimNumberText("001.50"), "1.50");
  EXPECT_EQ(upg::TrimNumberText("0"), "");
  EXPECT_TRUE(upg::IsFormatted("1,234"));
  EXPECT_FALSE(upg::IsFormatted(" -12.5  "));
}

}  // namespace
