#include <gtest/gtest.h>

#include <set>

#include "velmora/runtime/numbers.h"

using namespace rt;

TEST(RuntimeNumbers, NumericAndTextToNumber) {
  for (const char* yes : {"0", " 12 ", "-1.5", "+3", ".5", "5."}) EXPECT_TRUE(Numeric(yes)) << yes;
  for (const char* no : {"", "   ", "1,5", "12a", "-", ".", "1.2.3", "1e5"}) EXPECT_FALSE(Numeric(no)) << no;

  EXPECT_DOUBLE_EQ(TextToReal("  -12.25xyz"), -12.25);
  EXPECT_DOUBLE_EQ(TextToReal("abc"), 0.0);
  EXPECT_DOUBLE_EQ(TextToReal("1,5"), 1.0);
  EXPECT_DOUBLE_EQ(TextToReal("1,5", true), 1.5);
  EXPECT_DOUBLE_EQ(TextToReal("1.5", true), 1.5);

  EXPECT_EQ(TextToLong("2.9"), 2);
  EXPECT_EQ(TextToLong("-2.9"), -2);
  EXPECT_EQ(TextToLong("4294967295"), -1);  // low 32 bits
  EXPECT_EQ(TextToLong("99999999999999999999999"), -1);  // saturates at 64 bits first
}

TEST(RuntimeNumbers, NumberToText) {
  EXPECT_EQ(IntToText(-42), "-42");
  struct Case { double v; const char* text; };
  for (const Case& c : {Case{2.9, "2.9"}, Case{-0.5, "-0.5"}, Case{100, "100"}, Case{0, "0"},
                        Case{-0.0, "0"}, Case{0.1 + 0.2, "0.3"}, Case{1e20, "100000000000000000000"},
                        Case{1.25e-5, "0.0000125"}}) {
    EXPECT_EQ(RealToText(c.v), c.text) << c.v;
  }
}

TEST(RuntimeNumbers, RandomStaysInRange) {
  std::set<Long> seen;
  for (int i = 0; i < 2000; ++i) {
    Long r = Random(3, 7);
    ASSERT_GE(r, 3);
    ASSERT_LE(r, 7);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(Random(9, 9), 9);
  Long r = Random(10, 1);
  EXPECT_TRUE(r >= 1 && r <= 10);
}
