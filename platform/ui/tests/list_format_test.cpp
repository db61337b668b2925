#include <gtest/gtest.h>

#include "velmora/ui/list_format.h"
#include "velmora/ui/popup.h"

namespace ui {
namespace {

TEST(UiListFormat, TreeColumnsMapIconAndLevelFields) {
  auto f = ParseListFormat("316LIT@s79@28RIT@n-7@");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->columns.size(), 2u);
  const ListColumn& tree = f->columns[0];
  EXPECT_EQ(tree.width, 316);
  EXPECT_EQ(tree.align, Align::Left);
  EXPECT_TRUE(tree.icon);
  EXPECT_TRUE(tree.tree);
  EXPECT_EQ(tree.picture, "s79");
  // value, icon, level, then the second column's own fields
  EXPECT_EQ(tree.field, 1);
  EXPECT_EQ(tree.iconField, 2);
  EXPECT_EQ(tree.treeField, 3);
  EXPECT_EQ(f->columns[1].align, Align::Right);
  EXPECT_EQ(f->columns[1].field, 4);
  EXPECT_EQ(f->fields, 6);
}

TEST(UiListFormat, HeadingsIndentsBordersAndGroups) {
  auto f = ParseListFormat(
      "127L(2)|M~Data Set Name~@s128@[50L(2)|M@d17@32L(2)|M@t7@]|M~Date/Time Created~");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->columns.size(), 3u);
  EXPECT_EQ(f->columns[0].heading, "Data Set Name");
  EXPECT_EQ(f->columns[0].indent, 2);
  EXPECT_TRUE(f->columns[0].rightBorder);
  EXPECT_TRUE(f->columns[0].resizable);
  EXPECT_EQ(f->columns[0].group, 0);
  EXPECT_EQ(f->columns[1].picture, "d17");
  EXPECT_EQ(f->columns[2].picture, "t7");
  EXPECT_EQ(f->columns[1].group, 1);
  EXPECT_EQ(f->columns[2].group, 1);
  ASSERT_EQ(f->groups.size(), 1u);
  EXPECT_EQ(f->groups[0].heading, "Date/Time Created");
  EXPECT_EQ(f->groups[0].firstColumn, 2);
  EXPECT_EQ(f->groups[0].lastColumn, 3);
  EXPECT_TRUE(f->groups[0].rightBorder);
  EXPECT_TRUE(f->groups[0].resizable);
  EXPECT_EQ(f->fields, 3);
}

TEST(UiListFormat, HeadingAlignmentFollowsTheHeading) {
  auto f = ParseListFormat("53R(2)|M~Form ID~C(0)@n-14@80L(2)|M~Filled Form Name~@s128@");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->columns.size(), 2u);
  EXPECT_EQ(f->columns[0].align, Align::Right);
  EXPECT_TRUE(f->columns[0].hasHeadingAlign);
  EXPECT_EQ(f->columns[0].headingAlign, Align::Center);
  EXPECT_EQ(f->columns[0].headingIndent, 0);
  EXPECT_EQ(f->columns[0].picture, "n-14");
  EXPECT_FALSE(f->columns[1].hasHeadingAlign);
  EXPECT_EQ(f->columns[1].width, 80);
}

TEST(UiListFormat, StylesAndColoursTakeFields) {
  auto f = ParseListFormat("20L*Y@s10@30LZ(3)@s5@");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->columns[0].field, 1);
  EXPECT_EQ(f->columns[0].styleField, 6);  // four colour fields in between
  EXPECT_EQ(f->columns[1].field, 7);
  EXPECT_EQ(f->columns[1].columnStyle, 3);
}

TEST(UiListFormat, MalformedFormatsAreRefused) {
  for (const char* bad : {"80L~Heading", "80L@s20", "[80L@s20@", "80L]", "L@s20@", "80L(2", "80LZ3"})
    EXPECT_FALSE(ParseListFormat(bad)) << bad;
  auto empty = ParseListFormat("");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->columns.empty());
}

TEST(UiPopupText, NumbersItemsWithoutRules) {
  auto items = ParsePopup("&Add Form Page|&Change Form Page|&Delete Form Page|-|&Edit Form");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].text, "Add Form Page");
  EXPECT_EQ(items[0].mnemonic, 'A');
  EXPECT_TRUE(items[3].rule);
  EXPECT_EQ(items[3].number, 0);
  EXPECT_EQ(items[4].number, 4);
  EXPECT_EQ(items[4].text, "Edit Form");
}

TEST(UiPopupText, GreyedItemsAndLiteralAmpersand) {
  auto items = ParsePopup("&Add New Form|~&Change Form|~&Delete Form|Save && &Close");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_FALSE(items[0].greyed);
  EXPECT_TRUE(items[1].greyed);
  EXPECT_EQ(items[1].text, "Change Form");
  EXPECT_EQ(items[2].number, 3);
  EXPECT_EQ(items[3].text, "Save & Close");
  EXPECT_EQ(items[3].mnemonic, 'C');
  EXPECT_TRUE(ParsePopup("").empty());
}

}  // namespace
}  // namespace ui
