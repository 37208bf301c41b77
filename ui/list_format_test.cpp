#include "ui/list_format.h"

#include <gtest/gtest.h>

namespace mirabo::ui {
namespace {

TEST(ListFormatTest, ReadsEveryColumnOfTheFeaturesList) {
  const auto cols = ParseListFormat(
      "80L(2)|_M~PRODUCT~@s86@76L(2)|_M~REVIEW~@s19@44D(18)|_M~ISSUE~C(0)@n10@"
      "110L(2)|_M~SUPPLIER~L(0)@s36@20L(2)|_M~H/S~@s4@124L(2)|_M~CATEGORY~@s31@"
      "38L(2)|_M~VERSION~@s15@160L(2)|_M~COMMENTS~@s207@");
  ASSERT_EQ(cols.size(), 8u);
  EXPECT_EQ(cols[0].width, 80);
  EXPECT_EQ(cols[0].justify, 'L');
  EXPECT_EQ(cols[0].indent, 2);
  EXPECT_TRUE(cols[0].right_border && cols[0].underline && cols[0].resizable);
  EXPECT_EQ(cols[0].header, "PRODUCT");
  EXPECT_EQ(cols[0].header_justify, 'L') << "the header takes the data's justification";
  EXPECT_EQ(cols[0].header_indent, 2);
  EXPECT_EQ(cols[0].picture, "s86");
  EXPECT_EQ(cols[2].justify, 'D');
  EXPECT_EQ(cols[2].indent, 18);
  EXPECT_EQ(cols[2].header_justify, 'C');
  EXPECT_EQ(cols[2].header_indent, 0);
  EXPECT_EQ(cols[2].picture, "n10");
  EXPECT_EQ(cols[3].header_justify, 'L');
  EXPECT_EQ(cols[3].header_indent, 0);
  EXPECT_EQ(cols[4].header, "H/S");
  EXPECT_EQ(cols[7].picture, "s207");
}

TEST(ListFormatTest, MalformedStringsGiveNoColumns) {
  for (const char* bad : {"L(2)|~X~@s1@", "80Q~X~", "80L(2~X~", "80L~X", "80L~X~@s1"}) {
    EXPECT_TRUE(ParseListFormat(bad).empty()) << bad;
  }
}

}  // namespace
}  // namespace mirabo::ui
