#include "runtime/picture.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace mirabo {
namespace {

struct CompileCase {
  const char* picture;
  PictureKind kind;
  int width;
};

TEST(PictureCompileTest, KindsWidthsAndRejections) {
  const CompileCase cases[] = {
      {"s86", PictureKind::kString, 86},
      {"@S5", PictureKind::kString, 5},
      {"s0", PictureKind::kInvalid, 0},
      {"s256", PictureKind::kInvalid, 0},
      {"s5x", PictureKind::kInvalid, 0},
      {"n10", PictureKind::kNumber, 10},
      {"N02", PictureKind::kNumber, 2},
      {"n255", PictureKind::kNumber, 255},
      {"n256", PictureKind::kInvalid, 0},
      {"n", PictureKind::kInvalid, 0},
      {"n0", PictureKind::kInvalid, 0},
      {"n6v2", PictureKind::kNumber, 6},
      {"n3.2", PictureKind::kNumber, 3},
      {"n2.2", PictureKind::kInvalid, 0},  // two places and the point need 3
      {"n2v2", PictureKind::kNumber, 2},   // an implied point takes no column
      {"n~EUR~5.2", PictureKind::kInvalid, 0},
      {"n~EUR~6.2", PictureKind::kNumber, 6},
      {"n(2)", PictureKind::kNumber, 2},
      {"n(1)", PictureKind::kInvalid, 0},
      {"n(10", PictureKind::kInvalid, 0},
      {"n-10)", PictureKind::kInvalid, 0},
      {"n-10-", PictureKind::kInvalid, 0},
      {"n(10-", PictureKind::kInvalid, 0},
      {"n$10$", PictureKind::kInvalid, 0},
      {"n~EUR10", PictureKind::kInvalid, 0},
      {"n-$10", PictureKind::kInvalid, 0},
      {"n10x", PictureKind::kInvalid, 0},
      {"n10bb", PictureKind::kInvalid, 0},
      {"d1", PictureKind::kDate, 8},
      {"D3", PictureKind::kDate, 11},
      {"d4", PictureKind::kDate, 18},
      {"d012-", PictureKind::kDate, 8},
      {"d6<50.", PictureKind::kDate, 10},
      {"d0", PictureKind::kInvalid, 0},
      {"d19", PictureKind::kInvalid, 0},
      {"d6<100", PictureKind::kInvalid, 0},
      {"d2x", PictureKind::kInvalid, 0},
      {"t1", PictureKind::kTime, 5},
      {"T6", PictureKind::kTime, 10},
      {"t9", PictureKind::kInvalid, 0},
      {"pPage <<<#p", PictureKind::kPattern, 9},
      {"pPage <<<#pb", PictureKind::kPattern, 9},
      {"pabc", PictureKind::kInvalid, 0},
      {"pp", PictureKind::kInvalid, 0},
      {"e10", PictureKind::kScientific, 10},
      {"e6", PictureKind::kInvalid, 0},
      {"kXXXk", PictureKind::kKeyIn, 3},
      {"", PictureKind::kInvalid, 0},
      {"@", PictureKind::kInvalid, 0},
      {"x10", PictureKind::kInvalid, 0},
  };
  for (const CompileCase& c : cases) {
    const Picture p = Picture::Compile(c.picture);
    EXPECT_EQ(p.kind(), c.kind) << c.picture;
    EXPECT_EQ(p.width(), c.width) << c.picture;
    EXPECT_EQ(p.valid(), c.kind != PictureKind::kInvalid) << c.picture;
  }
}

struct NumberCase {
  const char* picture;
  double value;
  const char* expected;
};

TEST(PictureFormatTest, Numbers) {
  const double inf = std::numeric_limits<double>::infinity();
  const NumberCase cases[] = {
      {"n10", 1234, "     1,234"},
      {"N3", 7, "  7"},
      {"N02", 7, "07"},
      {"n010", 1234, "0000001234"},
      {"n10.2", 1234.5, "  1,234.50"},
      {"n10", 0, "         0"},
      {"n10b", 0, "          "},
      {"n10.2b", 0.001, "          "},
      {"n10", 1234567, " 1,234,567"},
      {"N3", 100, "100"},
      {"n5", 999.5, "1,000"},
      // Rounding follows the decimal text, not the binary double.
      {"n10.2", 0.005, "      0.01"},
      {"n10.2", 1.005, "      1.01"},
      {"n10.2", 2.675, "      2.68"},
      {"n10.2", 99.995, "    100.00"},
      {"n10", 0.4999, "         0"},
      {"n6.2", -0.001, "  0.00"},
      // Overflow.
      {"n3", 1234, "###"},
      {"n4", 12345, "####"},
      {"n4", 999.5, "####"},
      {"n5", 1234, "1,234"},
      {"n5", 12345, "#####"},
      {"n10", 1e300, "##########"},
      {"n10.2", inf, "##########"},
      {"n3", -123, "###"},
      // Negative numbers without a sign slot.
      {"n10", -1234, "    -1,234"},
      {"n4", -123, "-123"},
      {"n10.2", -1.005, "     -1.01"},
      {"N03", -7, "-07"},
      {"n*10", -1234, "-****1,234"},
      // Sign slots.
      {"n-10", -1234, "-    1,234"},
      {"n-10", 1234, "     1,234"},
      {"n10-", -1234, "    1,234-"},
      {"n10-", 1234, "    1,234 "},
      {"n(10)", -1234, "   (1,234)"},
      {"n(10)", 1234, "    1,234 "},
      {"n(10)", -123456, " (123,456)"},
      {"n-*10", -1234, "-****1,234"},
      // Currency, fills, markers and separators.
      {"n$10.2", 1234.5, "$ 1,234.50"},
      {"n~EUR~12.2", 1234.5, "EUR 1,234.50"},
      {"n12.2~EUR~", 1234.5, " 1,234.50EUR"},
      {"n$-10.2", -5, "$-    5.00"},
      {"n*10", 1234, "*****1,234"},
      {"n_10", 1234, "      1234"},
      {"n10`2", 1234.5, "  1.234,50"},
      {"n6v2", 12.34, "  1234"},
      {"n10-.2", 1234.5, "  1-234.50"},
      {"n10_.2", 123456.5, "123 456.50"},
      {"n_10..2", 1234.5, "  1.234.50"},
      {"n4.3", 0.5, ".500"},
      // Invalid pictures format nothing.
      {"n2.2", 1, ""},
      {"s0", 1, ""},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(FormatPicture(c.picture, c.value), c.expected) << c.picture << " " << c.value;
  }
}

TEST(PictureFormatTest, Patterns) {
  const NumberCase cases[] = {
      {"pPage <<<#p", 7, "Page    7"},
      {"pPage <<<#p", 123, "Page  123"},
      {"pPage <<<#p", 0, "Page    0"},
      {"pPage <<<#pb", 0, "         "},
      {"pPage <<<#p", 12345, "Page ####"},
      {"p###-####p", 1234, "000-1234"},
      {"p<<<-<<<#p", 1234, "   -1234"},
      {"p#<<#p", 5, "0  5"},
      {"p<<#p", -12, " 12"},
      {"p<<#p", 3.5, "  4"},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(FormatPicture(c.picture, c.value), c.expected) << c.picture << " " << c.value;
  }
}

TEST(PictureFormatTest, Dates) {
  const double july4 = DateSerial(1997, 7, 4);
  const NumberCase cases[] = {
      {"d1", july4, " 7/04/97"},
      {"d2", july4, " 7/04/1997"},
      {"d3", july4, "JUL  4,1997"},
      {"d4", july4, "July  4, 1997"},
      {"d5", july4, " 4/07/97"},
      {"d6", july4, " 4/07/1997"},
      {"d7", july4, " 4 JUL 97"},
      {"d8", july4, " 4 JUL 1997"},
      {"d9", july4, "97/07/04"},
      {"d10", july4, "1997/07/04"},
      {"d11", july4, "970704"},
      {"d12", july4, "19970704"},
      {"d13", july4, "07/97"},
      {"d14", july4, "07/1997"},
      {"d15", july4, "97/07"},
      {"d16", july4, "1997/07"},
      {"@D3", static_cast<double>(DateSerial(1997, 12, 1)), "DEC  1,1997"},
      {"d4", static_cast<double>(DateSerial(2000, 9, 30)), "September 30, 2000"},
      {"d2", static_cast<double>(DateSerial(2000, 12, 25)), "12/25/2000"},
      // Fill chars and separator suffixes.
      {"d01", july4, "07/04/97"},
      {"d*1", july4, "*7/04/97"},
      {"d_1", july4, " 7/04/97"},
      {"d1-", july4, " 7-04-97"},
      {"d6.", july4, " 4.07.1997"},
      {"d1`", july4, " 7,04,97"},
      {"d7-", july4, " 4-JUL-97"},
      {"d9_", july4, "97 07 04"},
      {"d1>10", july4, " 7/04/97"},
      // No date.
      {"d1", 0, "        "},
      {"d1", -5, "        "},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(FormatPicture(c.picture, c.value), c.expected) << c.picture;
  }
}

TEST(PictureFormatTest, Times) {
  const double t140509 = TimeValue(14, 5, 9);
  const NumberCase cases[] = {
      {"t1", t140509, "14:05"},
      {"t2", t140509, "1405"},
      {"t3", t140509, " 2:05PM"},
      {"t4", t140509, "14:05:09"},
      {"t5", t140509, "140509"},
      {"t6", t140509, " 2:05:09PM"},
      {"T3", static_cast<double>(TimeValue(0, 30, 0)), "12:30AM"},
      {"t3", static_cast<double>(TimeValue(12, 0, 0)), "12:00PM"},
      {"t3", static_cast<double>(TimeValue(11, 59, 0)), "11:59AM"},
      {"t1", static_cast<double>(TimeValue(9, 5, 0)), " 9:05"},
      {"t2", static_cast<double>(TimeValue(9, 5, 0)), "0905"},
      {"t01", static_cast<double>(TimeValue(9, 5, 0)), "09:05"},
      {"t4.", t140509, "14.05.09"},
      {"t1_", t140509, "14 05"},
      {"t4", static_cast<double>(TimeValue(23, 59, 59, 99)), "23:59:59"},
      {"t1", 1, " 0:00"},
      {"t1", 0, "     "},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(FormatPicture(c.picture, c.value), c.expected) << c.picture;
  }
}

TEST(PictureFormatTest, SystemFormatsFollowTheCLocale) {
  EXPECT_EQ(FormatPicture("d17", DateSerial(1997, 7, 4)), "07/04/97");
  EXPECT_EQ(FormatPicture("d18", DateSerial(1997, 7, 4)), "Friday, July 04, 1997");
  EXPECT_EQ(FormatPicture("t7", TimeValue(14, 5, 9)), "14:05");
  EXPECT_EQ(FormatPicture("t8", TimeValue(14, 5, 9)), "14:05:09");
  const Picture long_date = Picture::Compile("d18");
  EXPECT_GE(long_date.width(),
            static_cast<int>(std::string("Wednesday, September 28, 2000").size()));
}

TEST(PictureFormatTest, StringsAndTextInput) {
  EXPECT_EQ(FormatPicture("s5", std::string_view("abcdefg")), "abcde");
  EXPECT_EQ(FormatPicture("s5", std::string_view("ab")), "ab   ");
  EXPECT_EQ(FormatPicture("s6", 12.5), "12.5  ");
  EXPECT_EQ(FormatPicture("kXXXXk", std::string_view("ab")), "ab  ");
  EXPECT_EQ(FormatPicture("n10.2", std::string_view(" 1234.5  ")), "  1,234.50");
  EXPECT_EQ(FormatPicture("n5", std::string_view("junk")), "    0");
  EXPECT_EQ(FormatPicture("e10", 1234.5), "1.2345e+03");
  EXPECT_EQ(FormatPicture("e7", -1234.5), " -1e+03");
  EXPECT_EQ(FormatPicture("s0", std::string_view("ab")), "");
}

TEST(PictureDateTest, PivotAndYearExpansion) {
  EXPECT_EQ(Picture::Compile("d1").pivot(), 80);
  EXPECT_EQ(Picture::Compile("d1<50").pivot(), 50);
  EXPECT_EQ(Picture::Compile("d1<0").pivot(), 80);
  EXPECT_EQ(Picture::Compile("d1>10").pivot(), 89);
  EXPECT_EQ(Picture::Compile("d1>0").pivot(), 19);
  const Picture p = Picture::Compile("d1");
  EXPECT_EQ(p.ExpandYear(79), 2079);
  EXPECT_EQ(p.ExpandYear(80), 1980);
}

TEST(PictureDateTest, SerialsAndWeekdays) {
  EXPECT_EQ(DateSerial(1800, 12, 28), 0);
  EXPECT_EQ(DateSerial(1801, 1, 1), 4);
  EXPECT_EQ(DateSerial(1997, 7, 4) % 7, 5);        // a Friday
  EXPECT_EQ(Weekday(DateSerial(2024, 2, 29)), 4);  // a Thursday
  EXPECT_EQ(Weekday(-1), 6);
  EXPECT_EQ(DateSerial(1900, 3, 1) - DateSerial(1900, 2, 28), 1);
  EXPECT_EQ(DateSerial(2000, 3, 1) - DateSerial(2000, 2, 28), 2);
  EXPECT_EQ(DateSerial(1997, 13, 1), DateSerial(1998, 1, 1));
  EXPECT_EQ(DateSerial(1997, 0, 1), DateSerial(1996, 12, 1));
  EXPECT_EQ(DateSerial(1997, 3, 0), DateSerial(1997, 2, 28));
  for (int32_t serial = -1000; serial < 3'000'000; serial += 997) {
    int y, m, d;
    DateFromSerial(serial, &y, &m, &d);
    ASSERT_EQ(DateSerial(y, m, d), serial) << y << "-" << m << "-" << d;
  }
  EXPECT_EQ(TimeValue(0, 0, 0), 1);
  EXPECT_EQ(TimeValue(14, 5, 9, 50), 5070951);
}

}  // namespace
}  // namespace mirabo
