#include <gtest/gtest.h>

#include <vector>

#include "velmora/runtime/decimal.h"

using namespace rt;

namespace {

std::vector<uint8_t> Packed(std::string_view text, uint32_t size, uint8_t places, bool pdec) {
  std::vector<uint8_t> out(size, 0xEE);
  PackDecimal(text, out.data(), size, places, pdec);
  return out;
}

}  // namespace

TEST(RuntimeDecimal, PackTable) {
  struct Case {
    const char* text;
    uint32_t size;
    uint8_t places;
    bool pdecimal;
    std::vector<uint8_t> bytes;
    const char* back;
  };
  const Case cases[] = {
      {"20", 3, 2, false, {0x00, 0x20, 0x00}, "20.00"},
      {"-123.45", 3, 2, false, {0x81, 0x23, 0x45}, "-123.45"},
      {" 1.5 ", 3, 2, false, {0x00, 0x01, 0x50}, "1.50"},
      {"0.5", 3, 2, false, {0x00, 0x00, 0x50}, "0.50"},
      {"-123.45", 3, 2, true, {0x12, 0x34, 0x5D}, "-123.45"},
      {"7", 2, 0, true, {0x00, 0x7F}, "7"},
      {"+7", 2, 0, false, {0x00, 0x07}, "7"},
      // rounding half away from zero on pack
      {"2.675", 3, 2, false, {0x00, 0x02, 0x68}, "2.68"},
      {"-2.675", 3, 2, true, {0x00, 0x26, 0x8D}, "-2.68"},
      {"99.995", 3, 2, false, {0x01, 0x00, 0x00}, "100.00"},
      // a value that rounds to zero is not negative
      {"-0.004", 3, 2, false, {0x00, 0x00, 0x00}, "0.00"},
      {"-0.004", 3, 2, true, {0x00, 0x00, 0x0F}, "0.00"},
      // integer digits beyond the field drop from the left
      {"123456", 2, 0, false, {0x04, 0x56}, "456"},
      {"not a number", 2, 1, false, {0x00, 0x00}, "0.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.pdecimal ? " pdecimal" : " decimal"));
    std::vector<uint8_t> got = Packed(c.text, c.size, c.places, c.pdecimal);
    EXPECT_EQ(got, c.bytes);
    EXPECT_EQ(UnpackDecimal(got.data(), c.size, c.places, c.pdecimal), c.back);
  }
}

TEST(RuntimeDecimal, ReadsStoredSignsAndBadNibbles) {
  const uint8_t decSign1[] = {0x10, 0x05};    // any non-zero sign nibble is negative
  EXPECT_EQ(UnpackDecimal(decSign1, 2, 0, false), "-5");
  const uint8_t pdecB[] = {0x05, 0x0B};       // 0xB also marks a negative PDECIMAL
  EXPECT_EQ(UnpackDecimal(pdecB, 2, 1, true), "-5.0");
  const uint8_t pdecC[] = {0x05, 0x0C};
  EXPECT_EQ(UnpackDecimal(pdecC, 2, 1, true), "5.0");
  const uint8_t badDigit[] = {0x0A, 0x15};    // nibble above 9 reads as 0
  EXPECT_EQ(UnpackDecimal(badDigit, 2, 0, false), "15");
  const uint8_t negZero[] = {0x80, 0x00};
  EXPECT_EQ(UnpackDecimal(negZero, 2, 0, false), "0");
  EXPECT_DOUBLE_EQ(DecimalToReal(decSign1, 2, 0, false), -5.0);
}

TEST(RuntimeDecimal, PackFromReal) {
  uint8_t out[3];
  PackDecimal(2.675, out, 3, 2, false);  // the decimal value meant, not its binary neighbour
  EXPECT_EQ(UnpackDecimal(out, 3, 2, false), "2.68");
  PackDecimal(-1234.5, out, 3, 0, true);
  EXPECT_EQ(UnpackDecimal(out, 3, 0, true), "-1235");
  EXPECT_DOUBLE_EQ(DecimalToReal(out, 3, 0, true), -1235.0);
}
