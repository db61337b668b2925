#include <gtest/gtest.h>

#include "velmora/runtime/datetime.h"
#include "velmora/runtime/picture.h"

using namespace rt;

TEST(RuntimePicture, FormatNumbers) {
  struct Case { double v; const char* pic; const char* want; };
  const Case cases[] = {
      {1234.5, "@n-13.2", "     1,234.50"},
      {-1234.5, "@n-13.2", "    -1,234.50"},
      {0, "@n-14", "             0"},
      {1234567, "@n-14", "     1,234,567"},
      {12, "@n4", "  12"},
      {5, "n_3", "  5"},             // picture given without '@'
      {1234, "@N_6", "  1234"},      // fill drops the grouping
      {42, "@n06", "000042"},
      {-42, "@n-06", "-00042"},
      {12.5, "@n7.2", "  12.50"},
      {0.5, "@n6.2", "  0.50"},
      {2.675, "@n6.2", "  2.68"},
      {-2.5, "@n4", "  -3"},         // no sign in the picture: the '-' still shows
      {-5, "@n5-", "   5-"},
      {5, "@n5-", "   5 "},
      {-5, "@n(5)", "  (5)"},
      {0, "@n5b", "     "},
      {123456, "@n4", "####"},
      {1234.5, "@n10_.2", "  1 234.50"},
      {1234.56, "@n10,2", "  1.234,56"},
      {1234567, "@n10.", " 1.234.567"},
      {12.34, "@n6v2", "  1234"},
      {100, "p<###%p", " 100%"},
      {7, "@p<<#p", "  7"},
      {1234, "@p##-##p", "12-34"},
      {12345, "@p<###%p", "#####"},
      {2.9, "@s5", "2.9  "},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.v, c.pic), c.want) << c.pic << " " << c.v;
  // text values under number pictures are read as numbers
  EXPECT_EQ(Format("1234.5", "@n10.2"), "  1,234.50");
  EXPECT_EQ(Format("abc", "@n3"), "  0");
  EXPECT_EQ(Format("abc", "@s5"), "abc  ");
  EXPECT_EQ(Format("abcdef", "@s3"), "abc");
  EXPECT_EQ(Format("as is", "@s"), "as is");
}

TEST(RuntimePicture, FormatDatesAndTimes) {
  Long d = DateOf(1, 5, 2026);
  struct Case { const char* pic; const char* want; };
  for (const Case& c : {Case{"@d17", "01/05/2026"}, Case{"@d1", "01/05/26"}, Case{"@d2", "01/05/2026"},
                        Case{"@d6.", "05.01.2026"}, Case{"@d10-", "2026-01-05"}, Case{"@d3", "JAN 05, 2026"},
                        Case{"@d4", "January 5, 2026"}, Case{"@d8", "05 JAN 2026"}, Case{"@d12", "20260105"},
                        Case{"@d14", "01/2026"}}) {
    EXPECT_EQ(Format(d, c.pic), c.want) << c.pic;
  }
  EXPECT_EQ(Format(0, "@d17"), "");

  Long t = TimeOf(13, 5, 9);
  for (const Case& c : {Case{"@t7", "13:05"}, Case{"@t1", "13:05"}, Case{"@t4", "13:05:09"},
                        Case{"@t5", "130509"}, Case{"@t3", "01:05PM"}, Case{"@t4.", "13.05.09"}}) {
    EXPECT_EQ(Format(t, c.pic), c.want) << c.pic;
  }
  EXPECT_EQ(Format(1, "@t1"), "00:00");
  EXPECT_EQ(Format(TimeOf(12, 0, 0), "@t6"), "12:00:00PM");
  EXPECT_EQ(Format(TimeOf(0, 30, 0), "@t3"), "12:30AM");
  EXPECT_EQ(Format(0, "@t7"), "");
}

TEST(RuntimePicture, Deformat) {
  struct Case { const char* text; const char* pic; std::string want; };
  const std::string day = std::to_string(DateOf(1, 5, 2026));
  const Case cases[] = {
      {"  1,234.50", "@n10.2", "1234.50"},
      {"   -1,234.50", "@n-13.2", "-1234.50"},
      {"  (5)", "@n(5)", "-5"},
      {"   5-", "@n5-", "-5"},
      {"  1.234,56", "@n10,2", "1234.56"},
      {"  1234", "@n6v2", "12.34"},
      {"1.234.567", "@n10.", "1234567"},  // '.' groups here
      {"", "@n6.2", ""},
      {"01/05/2026", "@d17", day},
      {"01/05/26", "@d1", day},
      {"05.01.2026", "@d6.", day},
      {"JAN 05, 2026", "@d3", day},
      {"January 5, 2026", "@d4", day},
      {"20260105", "@d12", day},
      {"02/30/2026", "@d2", ""},
      {"", "@d17", ""},
      {"13:05", "@t7", std::to_string(TimeOf(13, 5, 0))},
      {"01:05PM", "@t3", std::to_string(TimeOf(13, 5, 0))},
      {"12:10AM", "@t3", std::to_string(TimeOf(0, 10, 0))},
      {"130509", "@t5", std::to_string(TimeOf(13, 5, 9))},
      {"25:00", "@t1", ""},
      {" 100%", "p<###%p", "100"},
      {"12-34", "@p##-##p", "1234"},
      {"text  ", "@s6", "text  "},
  };
  for (const Case& c : cases) EXPECT_EQ(Deformat(c.text, c.pic), c.want) << c.pic << " '" << c.text << "'";
}

TEST(RuntimePicture, DateAndTimeRoundTrip) {
  for (Long d : {DateOf(2, 29, 2024), DateOf(12, 31, 1999), DateOf(7, 4, 1801)}) {
    for (int n = 1; n <= 18; ++n) {
      if (n >= 13 && n <= 16) continue;  // month and year only
      std::string pic = "@d" + std::to_string(n);
      if ((n == 1 || n == 5 || n == 7 || n == 9 || n == 11) && (Year(d) < 1950 || Year(d) > 2049)) continue;
      EXPECT_EQ(Deformat(Format(d, pic), pic), std::to_string(d)) << pic << " " << Format(d, pic);
    }
  }
  Long t = TimeOf(23, 59, 58);
  for (int n : {4, 5, 6, 8}) {
    std::string pic = "@t" + std::to_string(n);
    EXPECT_EQ(Deformat(Format(t, pic), pic), std::to_string(t)) << pic;
  }
}
