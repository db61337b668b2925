// The editor's geometry: zoom, page origin, screen and page pixels, points.
#include <gtest/gtest.h>

#include "velmora/editor/formcontrols.h"

namespace {

using editor::Rect;

TEST(EditorGeometry, FitPageAndPageWidthFollowTheClientArea) {
  // 792 points at 96 dpi is 1056 pixels; 528 pixels of client area halve it.
  EXPECT_EQ(editor::PagePixels(792, 96), 1056);
  editor::Zoom z = editor::ComputeZoom(editor::kFitPage, 100, 800, 528, 816, 1056);
  EXPECT_DOUBLE_EQ(z.factor, 0.5);
  EXPECT_EQ(z.percent, 50);
  z = editor::ComputeZoom(editor::kPageWidth, 100, 408, 528, 816, 1056);
  EXPECT_EQ(z.percent, 50);
  z = editor::ComputeZoom(editor::kActualSize, 250, 408, 528, 816, 1056);
  EXPECT_EQ(z.percent, 100);
  z = editor::ComputeZoom(editor::kPercentage, 250, 408, 528, 816, 1056);
  EXPECT_DOUBLE_EQ(z.factor, 2.5);
}

TEST(EditorGeometry, ZoomNeverDividesByZeroAndStaysInRange) {
  struct Case {
    short mode;
    long clientW, clientH, pageW, pageH;
    short percent;
  } cases[] = {
      {editor::kFitPage, 800, 600, 816, 0, 100},      // a page without height
      {editor::kPageWidth, 800, 600, 0, 1056, 100},   // nor width
      {editor::kFitPage, 800, 0, 816, 1056, 100},     // a client area of size 0
      {editor::kFitPage, 800, 50, 816, 1056, 25},     // far smaller than the page
      {editor::kPageWidth, 9000, 600, 100, 100, 400}, // far larger
  };
  for (const Case& c : cases) {
    editor::Zoom z = editor::ComputeZoom(c.mode, 100, c.clientW, c.clientH, c.pageW, c.pageH);
    EXPECT_EQ(z.percent, c.percent) << c.clientW << "x" << c.clientH << " page " << c.pageW << "x" << c.pageH;
    EXPECT_GT(z.factor, 0);
  }
  EXPECT_DOUBLE_EQ(editor::ComputeZoom(editor::kPercentage, 0, 1, 1, 1, 1).factor, 1.0);
}

TEST(EditorGeometry, ZoomStepsStopAtTheLimits) {
  EXPECT_EQ(editor::ZoomIn(390), 400);
  EXPECT_EQ(editor::ZoomIn(400), 400);
  EXPECT_EQ(editor::ZoomIn(100), 120);
  EXPECT_EQ(editor::ZoomOut(40), 25);
  EXPECT_EQ(editor::ZoomOut(25), 25);
  EXPECT_EQ(editor::ZoomOut(100), 80);
}

TEST(EditorGeometry, PageIsCentredOnlyWhenNarrowerThanTheClientArea) {
  EXPECT_EQ(editor::PageOrigin(1000, 816), 92);
  EXPECT_EQ(editor::PageOrigin(801, 800), 0);  // trunc(0.5)
  EXPECT_EQ(editor::PageOrigin(600, 816), 0);
}

TEST(EditorGeometry, ScreenAndPagePixelsTruncateTowardZero) {
  // 200 %, page origin 100: a band at x 300, 80 wide is page x 100, 40 wide.
  EXPECT_EQ(editor::ToPage({300, 150, 80, 41}, 2.0, 100, 50), (Rect{100, 50, 40, 20}));
  EXPECT_EQ(editor::ToScreen({100, 50, 40, 20}, 2.0, 100, 50), (Rect{300, 150, 80, 40}));
  EXPECT_EQ(editor::ToScreen({7, 7, 7, 7}, 0.5, 0, 0), (Rect{3, 3, 3, 3}));
  EXPECT_EQ(editor::ToPage({-5, 0, -3, 0}, 2.0, 0, 0), (Rect{-2, 0, -1, 0}));
  // a band dragged up and to the left
  EXPECT_EQ(editor::Normalised({300, 200, -80, -40}), (Rect{220, 160, 80, 40}));
}

TEST(EditorGeometry, PagePixelsBecomePoints) {
  editor::PdfRect r = editor::ToPoints({96, 96, 192, 48}, 96, 96, 792, 0, 0);
  EXPECT_DOUBLE_EQ(r.left, 72);
  EXPECT_DOUBLE_EQ(r.top, 720);
  EXPECT_DOUBLE_EQ(r.width, 144);
  EXPECT_DOUBLE_EQ(r.height, 36);
  r = editor::ToPoints({96, 96, 192, 48}, 96, 96, 792, 36, 72);
  EXPECT_DOUBLE_EQ(r.left, 108);
  EXPECT_DOUBLE_EQ(r.top, 792);
}

TEST(EditorQueue, MatchNamesAndFontSizes) {
  EXPECT_EQ(editor::MatchName("Name."), "NAME");
  EXPECT_EQ(editor::MatchName("Name.."), "NAME.");
  EXPECT_EQ(editor::MatchName("Name.  "), "NAME");
  EXPECT_EQ(editor::FontSizes().size(), 16u);
  EXPECT_EQ(editor::FontSizes().front(), " 8");
  EXPECT_EQ(editor::FontSizes().back(), "72");
  editor::ValueBuffer v;
  v.Write(std::string(300, 'a'));
  EXPECT_EQ(v.Read().size(), 255u);
}

}  // namespace
