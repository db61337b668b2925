#include <gtest/gtest.h>

#include <climits>

#include "velmora/runtime/text.h"

using namespace rt;

TEST(RuntimeText, AssignClipsAndPads) {
  String<5> s;
  EXPECT_EQ(s.Value(), "     ");
  s = "ab";
  EXPECT_EQ(s.Value(), "ab   ");
  EXPECT_EQ(s.Clip(), "ab");
  s = "abcdefg";
  EXPECT_EQ(s.Value(), "abcde");
  s = std::string("xy");
  EXPECT_EQ(s.Value(), "xy   ");

  CString<4> c;
  EXPECT_EQ(c.Value(), "");
  c = "abcdef";  // one byte stays for the terminator
  EXPECT_EQ(c.Value(), "abc");
  EXPECT_EQ(c.data[3], '\0');
  c = std::string("ab\0cd", 5);  // a NUL ends the value
  EXPECT_EQ(c.Value(), "ab");
  c = "x ";
  EXPECT_EQ(c.Value(), "x ");
  EXPECT_EQ(c.Clip(), "x");

  PString<4> p;
  EXPECT_EQ(p.Value(), "");
  p = "abcdef";
  EXPECT_EQ(p.length, 3);
  EXPECT_EQ(p.Value(), "abc");

  static_assert(sizeof(String<7>) == 7 && sizeof(CString<7>) == 7 && sizeof(PString<7>) == 7);
  static_assert(std::is_standard_layout_v<String<3>> && std::is_standard_layout_v<PString<3>>);
}

TEST(RuntimeText, AssignBetweenFieldsOfOtherSizes) {
  String<3> small = "abc";
  CString<10> c;
  c = small;
  EXPECT_EQ(c.Value(), "abc");
  String<6> wide;
  wide = c;
  EXPECT_EQ(wide.Value(), "abc   ");
}

TEST(RuntimeText, ComparisonIgnoresTrailingBlanks) {
  String<6> a = "abc";
  String<3> b = "abc";
  CString<8> c = "abc  ";
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == c);
  EXPECT_TRUE(a == "abc");
  EXPECT_TRUE(a == std::string("abc "));
  EXPECT_FALSE(a == "abcd");
  EXPECT_FALSE(a == " abc");
  // Ordering as blank-padded fields: a control byte sorts below the pad.
  EXPECT_TRUE(String<4>("ab") < "abc");
  EXPECT_TRUE(String<4>("ab\x01") < "ab");
  // Bytes compare unsigned: Windows-1252 letters after ASCII.
  EXPECT_TRUE(String<2>("z") < "\xE9");
}

TEST(RuntimeText, CaseAndCodePage) {
  EXPECT_EQ(Upper("abc\xE9\xFF\x9A\xF7"), "ABC\xC9\x9F\x8A\xF7");
  EXPECT_EQ(Lower("ABC\xC9\x9F\x8A\xD7"), "abc\xE9\xFF\x9A\xD7");
  EXPECT_EQ(ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(FromUtf8("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(FromUtf8("\xE4\xB8\xAD"), "?");      // not in the code page
  EXPECT_EQ(FromUtf8("a\xC3"), "a?");             // cut sequence
  EXPECT_EQ(FromUtf8("\xC0\xAF"), "??");          // overlong form
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    EXPECT_EQ(FromUtf8(ToUtf8(one)), one) << b;
  }
}

TEST(RuntimeText, Helpers) {
  EXPECT_EQ(Left("  ab "), "ab   ");
  EXPECT_EQ(Left("  ab", 3), "ab ");
  EXPECT_EQ(Right("ab  "), "  ab");
  EXPECT_EQ(Trim("  a b  "), "a b");
  struct SubCase { long start, length; const char* want; };
  for (const SubCase& c : {SubCase{1, 3, "abc"}, SubCase{4, 10, "def"}, SubCase{7, 1, ""},
                           SubCase{0, 2, "a"}, SubCase{2, 0, ""}, SubCase{-5, 3, ""},
                           SubCase{3, LONG_MAX, "cdef"}, SubCase{LONG_MAX, 1, ""}}) {
    EXPECT_EQ(Sub("abcdef", c.start, c.length), c.want) << c.start << "," << c.length;
  }
  EXPECT_EQ(InString("cd", "abcdcd"), 3);
  EXPECT_EQ(InString("cd", "abcdcd", 1, 4), 5);
  EXPECT_EQ(InString("cd", "abcdcd", 1, 6), 0);
  EXPECT_EQ(InString("", "abc"), 0);
  EXPECT_EQ(InString("cd", "abcdef", 2), 2);  // second two-byte piece
  EXPECT_EQ(InString("bc", "abcdef", 2), 0);  // not on a piece boundary
  EXPECT_EQ(InString("c", "abc", LONG_MAX, 3), 1);
  EXPECT_EQ(InString("c", "abc", 1, LONG_MAX), 0);
  EXPECT_TRUE(EqualNoCase("Abc\xE9", "aBC\xC9  "));
}
