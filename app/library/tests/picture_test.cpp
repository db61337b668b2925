// The page picture keeps its proportions in its panel.
#include <gtest/gtest.h>

#include "velmora/library/picture.h"

namespace library {
namespace {

TEST(FitPicture, KeepsProportionsAndCentres) {
  struct Case {
    double w, h;
    Area want;
  };
  const Area panel{219, 6, 207, 222};
  const Case cases[] = {
      {600, 800, {239.25, 6, 166.5, 222}},    // upright: full height, centred across
      {800, 600, {219, 39.375, 207, 155.25}},  // landscape: full width, centred down
      {100, 100, {219, 13.5, 207, 207}},       // square in a taller panel
      {10, 5000, {219 + (207 - 222 * 10.0 / 5000) / 2, 6, 222 * 10.0 / 5000, 222}},
  };
  for (const auto& c : cases) {
    const auto got = FitPicture(c.w, c.h, panel);
    ASSERT_TRUE(got) << c.w << "x" << c.h;
    EXPECT_NEAR(got->x, c.want.x, 1e-9) << c.w << "x" << c.h;
    EXPECT_NEAR(got->y, c.want.y, 1e-9) << c.w << "x" << c.h;
    EXPECT_NEAR(got->width, c.want.width, 1e-9) << c.w << "x" << c.h;
    EXPECT_NEAR(got->height, c.want.height, 1e-9) << c.w << "x" << c.h;
  }
}

TEST(FitPicture, ShowsNothingWithoutASize) {
  const Area panel{219, 6, 207, 222};
  EXPECT_FALSE(FitPicture(0, 800, panel));
  EXPECT_FALSE(FitPicture(600, 0, panel));
  EXPECT_FALSE(FitPicture(-1, 800, panel));
  EXPECT_FALSE(FitPicture(600, 800, Area{0, 0, 0, 222}));
  EXPECT_FALSE(FitPicture(600, 800, Area{0, 0, 207, 0}));
}

}  // namespace
}  // namespace library
