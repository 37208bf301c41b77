#include "runtime/value.h"

#include <cstring>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "runtime/file_decl.h"

namespace mirabo {
namespace {

TEST(ValueRefTest, NumbersAreTruncatedAndWrappedToTheStoredType) {
  using enum FieldType;
  const struct {
    FieldType type;
    double in, out;
  } cases[] = {{kShort, 2.9, 2},   {kShort, -2.9, -2},      {kShort, 32768, -32768},
               {kShort, 65537, 1}, {kShort, -32769, 32767}, {kLong, 2147483648.0, -2147483648.0},
               {kLong, -7.99, -7}, {kByte, 255, 255},       {kByte, 256, 0},
               {kByte, -1, 255},   {kByte, 3.7, 3},         {kReal, 0.1, 0.1}};
  for (const auto& c : cases) {
    char buf[8] = {};
    const ValueRef v{c.type, buf, FixedSize(c.type)};
    v.SetNumber(c.in);
    EXPECT_EQ(v.GetNumber(), c.out) << static_cast<int>(c.type) << " " << c.in;
  }
}

TEST(ValueRefTest, IntegersAreStoredLittleEndian) {
  char buf[4] = {};
  ValueRef{FieldType::kShort, buf, 2}.SetNumber(0x1234);
  EXPECT_EQ(std::memcmp(buf, "\x34\x12", 2), 0);
  ValueRef{FieldType::kLong, buf, 4}.SetNumber(-2);
  EXPECT_EQ(std::memcmp(buf, "\xFE\xFF\xFF\xFF", 4), 0);
}

TEST(ValueRefTest, StringsAreCutOrPaddedToTheirSize) {
  StringVar s(5);
  EXPECT_EQ(s.value, "     ");
  s.Assign("abcdefg");
  EXPECT_EQ(s.value, "abcde");
  s.Assign("x");
  EXPECT_EQ(s.ref().GetString(), "x    ");
}

TEST(ValueRefTest, TextStoredInANumberIsParsed) {
  const std::pair<const char*, double> cases[] = {
      {"  42  ", 42}, {"abc", 0}, {"", 0}, {"-7", -7}, {"3.75", 3}};
  for (const auto& [text, number] : cases) {
    ShortVar n;
    n.value = 99;
    n.ref().SetString(text);
    EXPECT_EQ(n.ref().GetNumber(), number) << '"' << text << '"';
  }
  StringVar s(6);
  s.Assign(" 2.5");
  EXPECT_EQ(s.ref().GetNumber(), 2.5);
}

TEST(ValueRefTest, NumbersReadAsTheirShortestText) {
  const std::pair<double, const char*> cases[] = {{12, "12"}, {1.5, "1.5"},     {-3, "-3"},
                                                  {0, "0"},   {-0.25, "-0.25"}, {0.1, "0.1"}};
  for (const auto& [v, text] : cases) {
    RealVar r;
    r.value = v;
    EXPECT_EQ(r.ref().GetString(), text);
    EXPECT_EQ(NumberText(v), text);
  }
}

TEST(ValueRefTest, AssignConvertsBetweenTypes) {
  RealVar real;
  ShortVar sh;
  ByteVar byte;
  StringVar str(4), wide(8);
  real.value = 300.75;
  sh.ref().Assign(real.ref());
  EXPECT_EQ(sh.value, 300);
  byte.ref().Assign(sh.ref());
  EXPECT_EQ(byte.value, 44);  // 300 wrapped to a byte
  str.ref().Assign(real.ref());
  EXPECT_EQ(str.value, "300.");
  wide.Assign("12345678");
  str.ref().Assign(wide.ref());
  EXPECT_EQ(str.value, "1234");
  wide.ref().Assign(str.ref());
  EXPECT_EQ(wide.value, "1234    ");
  sh.ref().Assign(wide.ref());
  EXPECT_EQ(sh.value, 1234);
}

TEST(ValueRefTest, ClearBlanksStringsAndZeroesNumbers) {
  StringVar s(3);
  RealVar r{4.5};
  s.Assign("abc");
  s.ref().Clear();
  r.ref().Clear();
  EXPECT_EQ(s.value, "   ");
  EXPECT_EQ(r.value, 0.0);
}

TEST(ValueRefTest, CompareIsNumericOnlyWhenBothAreNumbers) {
  ShortVar ten{10}, five{5};
  RealVar five_real{5.0}, nine_half{9.5};
  StringVar s10(4), s9(6), s10b(2);
  s10.Assign("10");
  s9.Assign("9.5");
  s10b.Assign("10");
  EXPECT_EQ(CompareValues(five.ref(), five_real.ref()), 0);
  EXPECT_GT(CompareValues(ten.ref(), nine_half.ref()), 0);
  EXPECT_LT(CompareValues(s10.ref(), s9.ref()), 0);  // as text "10" < "9.5"
  EXPECT_EQ(CompareValues(s10.ref(), s10b.ref()), 0);
  EXPECT_EQ(CompareValues(ten.ref(), s10.ref()), 0);
  EXPECT_LT(CompareValues(ten.ref(), s9.ref()), 0);
}

TEST(FileDeclTest, BuilderLaysOutFieldsAndKeys) {
  const FileDecl d =
      FileDeclBuilder("FEATURES", "FEA", "KARVINEX")
          .String("PRODUCT", 30)
          .Short("ISSUE", "ISSUE=N(4.0)")
          .Real("PRICE", "COST")
          .Byte("HS")
          .Long("PAGE")
          .Key("FEATPROD", {"PRODUCT", "ISSUE"}, FileDeclBuilder::kDup | FileDeclBuilder::kNoCase)
          .Key("KEY_ISSUE", {"ISSUE"}, FileDeclBuilder::kNoCase)
          .Build();
  const std::tuple<const char*, int, const char*> want[] = {{"FEA:PRODUCT", 0, "PRODUCT"},
                                                            {"FEA:ISSUE", 30, "ISSUE"},
                                                            {"FEA:PRICE", 32, "COST"},
                                                            {"FEA:HS", 40, "HS"},
                                                            {"FEA:PAGE", 41, "PAGE"}};
  ASSERT_EQ(d.fields.size(), 5u);
  for (size_t i = 0; i < d.fields.size(); ++i) {
    const auto& [label, offset, column] = want[i];
    EXPECT_EQ(d.fields[i].label, label);
    EXPECT_EQ(d.fields[i].offset, offset) << label;
    EXPECT_EQ(d.fields[i].ColumnName(), column) << label;
  }
  EXPECT_EQ(d.record_size, 45);

  EXPECT_EQ(d.FieldIndex("FEA:PRICE"), 2);
  EXPECT_EQ(d.FieldIndex("PRICE"), 2);
  EXPECT_EQ(d.FieldIndex("SUP:PRICE"), -1);
  EXPECT_EQ(d.FieldIndex("COST"), -1);
  EXPECT_EQ(d.KeyIndex("FEA:KEY_ISSUE"), 1);
  EXPECT_EQ(d.KeyIndex("FEATPROD"), 0);
  EXPECT_EQ(d.KeyIndex("NONE"), -1);
  EXPECT_EQ(d.keys[0].Name(), "FEATPROD");
  EXPECT_EQ(d.keys[0].components, (std::vector<int>{0, 1}));
  EXPECT_TRUE(d.keys[0].dup && d.keys[0].nocase);
  EXPECT_TRUE(!d.keys[1].dup && d.keys[1].nocase);
}

}  // namespace
}  // namespace mirabo
