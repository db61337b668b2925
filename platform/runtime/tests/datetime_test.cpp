#include <gtest/gtest.h>

#include "velmora/runtime/datetime.h"

using namespace rt;

TEST(RuntimeDate, DayNumbers) {
  EXPECT_EQ(DateOf(1, 1, 1801), 4);
  EXPECT_EQ(DateOf(1, 1, 2000), 72687);
  EXPECT_EQ(DateOf(12, 31, 9999), kMaxDate);
  EXPECT_EQ(DateOf(12, 28, 1800), 0);  // before the first date
  EXPECT_EQ(DateOf(1, 1, 10000), 0);
  // months and days carry over
  EXPECT_EQ(DateOf(13, 1, 2000), DateOf(1, 1, 2001));
  EXPECT_EQ(DateOf(0, 1, 2000), DateOf(12, 1, 1999));
  EXPECT_EQ(DateOf(3, 0, 2000), DateOf(2, 29, 2000));
  EXPECT_EQ(DateOf(3, 0, 1900), DateOf(2, 28, 1900));  // 1900 is no leap year
  EXPECT_EQ(DateOf(1, 32, 2001), DateOf(2, 1, 2001));
  EXPECT_EQ(DayOfWeek(4), 4);  // 1 January 1801 was a Thursday

  for (Long d = 4; d <= kMaxDate; d += 997) {
    ASSERT_EQ(DateOf(Month(d), Day(d), Year(d)), d) << d;
  }
  EXPECT_EQ(Day(0), 0);
  EXPECT_EQ(Year(kMaxDate + 1), 0);
}

TEST(RuntimeDate, StoredForms) {
  Long d = DateOf(1, 15, 2024);
  EXPECT_EQ(PackDate(d), 15u | 1u << 8 | 2024u << 16);
  EXPECT_EQ(UnpackDate(PackDate(d)), d);
  EXPECT_EQ(PackDate(0), 0u);
  EXPECT_EQ(UnpackDate(0), 0);
  EXPECT_EQ(UnpackDate(31u | 2u << 8 | 2024u << 16), 0);  // 31 February
  EXPECT_EQ(UnpackDate(1u | 13u << 8 | 2024u << 16), 0);

  Long t = TimeOf(13, 45, 30, 12);
  EXPECT_EQ(t, ((13 * 60 + 45) * 60 + 30) * 100 + 12 + 1);
  EXPECT_EQ(PackTime(t), 12u | 30u << 8 | 45u << 16 | 13u << 24);
  EXPECT_EQ(UnpackTime(PackTime(t)), t);
  EXPECT_EQ(UnpackTime(PackTime(kMaxTime)), kMaxTime);
  EXPECT_EQ(PackTime(0), 0u);
  EXPECT_EQ(PackTime(kMaxTime + 1), 0u);
  EXPECT_EQ(UnpackTime(0), 0);
  EXPECT_EQ(UnpackTime(0u | 60u << 8), 0);  // 60 seconds
  EXPECT_EQ(TimeOf(24, 0, 0), 0);
}

TEST(RuntimeDate, ClockAndToday) {
  Long c = Clock();
  EXPECT_GE(c, 1);
  EXPECT_LE(c, kMaxTime);
  EXPECT_GT(Today(), DateOf(1, 1, 2020));
}
