// Reading form fields.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "velmora/pdf/pdf.h"

namespace {

class PdfFields : public ::testing::Test {
 protected:
  fixtures::Loaded doc_{fixtures::MakeForm("fields.pdf")};
  const int id_ = doc_.id;
};

TEST_F(PdfFields, EveryFieldInTreeOrderWithItsAttributes) {
  ASSERT_EQ(iSEDFormFieldCount(), 8);
  struct Case {
    const char* title;
    int type, page, maxLen, alignment, multiLine, visible;
    const char* value;
    const char* font;
  } cases[] = {
      {"name", 1, 1, 10, 1, 0, 1, "John", "Helvetica"},
      {"notes", 1, 1, 0, 0, 1, 1, "", "Helvetica"},  // /DA from the form
      {"agree", 3, 1, 0, 0, 0, 1, "Yes", "Helvetica"},
      {"colour", 4, 1, 0, 0, 0, 1, "No", "Helvetica"},
      {"pick", 5, 1, 0, 0, 0, 1, "Green", "Helvetica"},
      {"secret", 1, 1, 0, 0, 0, 0, "", "Helvetica"},
      {"parent.a", 1, 1, 5, 2, 1, 1, "", "Helvetica"},  // inherited
      {"parent.b", 1, 2, 5, 2, 1, 1, "", "Helvetica"},
  };
  for (int i = 1; i <= 8; ++i) {
    const auto& c = cases[i - 1];
    SCOPED_TRACE(c.title);
    EXPECT_EQ(iSEDGetFormFieldTitle(i), c.title);
    EXPECT_EQ(iSEDGetFormFieldType(i), c.type);
    EXPECT_EQ(iSEDGetFormFieldPage(i), c.page);
    EXPECT_EQ(iSEDGetFormFieldMaxLen(i), c.maxLen);
    EXPECT_EQ(iSEDGetFormFieldAlignment(i), c.alignment);
    EXPECT_EQ(iSEDGetFormFieldTextFlags(i, 1), c.multiLine);
    EXPECT_EQ(iSEDGetFormFieldVisible(i), c.visible);
    EXPECT_EQ(iSEDGetFormFieldValue(i), c.value);
    EXPECT_EQ(iSEDGetFormFieldFontName(i), c.font);
  }
  EXPECT_EQ(iSEDGetFormFieldDescription(1), "Your name");
  EXPECT_EQ(iSEDGetFormFieldTabOrder(2), 2);
  EXPECT_EQ(iSEDGetFormFieldType(9), 0);
  EXPECT_EQ(iSEDGetFormFieldTitle(0), "");
}

TEST_F(PdfFields, BoundsInPointsFromThePageCorner) {
  // "name" has /Rect [100 650 300 670].
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(1, 0), 100);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(1, 1), 670);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(1, 2), 200);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(1, 3), 20);
  // "parent.b": its widget kid without /T, /Rect [50 60 150 100] on a page
  // turned by 90 degrees (shown 792 wide, 612 high).
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(8, 0), 60);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(8, 1), 612 - 50);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(8, 2), 40);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(8, 3), 100);
}

TEST_F(PdfFields, KidsOfRadioCheckAndChoice) {
  // Radio group: one kid per button, "Off" for the button with no on-state.
  ASSERT_EQ(iSEDGetFormFieldSubCount(4), 3);
  const char* names[] = {"Yes", "No", "Off"};
  int previous = 0;
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(iSEDGetFormFieldSubName(4, k), names[k - 1]);
    int t = iSEDGetFormFieldSubTempIndex(4, k);
    ASSERT_TRUE(t < 0 || t > 8) << t;
    EXPECT_NE(t, previous);
    previous = t;
    EXPECT_EQ(iSEDGetFormFieldSubTempIndex(4, k), t);  // the same button, the same index
    EXPECT_EQ(iSEDGetFormFieldType(t), 4);
    EXPECT_EQ(iSEDGetFormFieldPage(t), 1);
    EXPECT_EQ(iSEDGetFormFieldTitle(t), "colour");
    EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(t, 0), 100 + 30 * (k - 1));
    EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(t, 3), 15);
  }
  EXPECT_EQ(iSEDGetFormFieldSubTempIndex(4, 4), 0);
  EXPECT_EQ(iSEDGetFormFieldSubTempIndex(1, 1), 0);

  ASSERT_EQ(iSEDGetFormFieldSubCount(3), 1);
  EXPECT_EQ(iSEDGetFormFieldSubName(3, 1), "Yes");

  ASSERT_EQ(iSEDGetFormFieldSubCount(5), 3);
  EXPECT_EQ(iSEDGetFormFieldSubName(5, 1), "Red");
  EXPECT_EQ(iSEDGetFormFieldSubName(5, 3), "b");  // the export value of [(b) (Blue)]
  EXPECT_EQ(iSEDGetFormFieldSubCount(1), 0);
}

TEST(PdfFieldNumbers, StableAcrossLoadsOfTheSameFile) {
  auto path = fixtures::MakeForm("stable.pdf");
  std::vector<std::string> first, second;
  for (auto* titles : {&first, &second}) {
    int id = iSEDLoadFromFile(path);
    ASSERT_NE(id, 0);
    for (int i = 1; i <= iSEDFormFieldCount(); ++i) titles->push_back(iSEDGetFormFieldTitle(i));
    titles->push_back(std::to_string(iSEDGetFormFieldSubTempIndex(4, 2)));
    iSEDRemoveDocument(id);
  }
  EXPECT_EQ(first, second);
}

}  // namespace
