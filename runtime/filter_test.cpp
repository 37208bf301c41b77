#include "runtime/filter.h"

#include <utility>

#include <gtest/gtest.h>

#include "runtime/bindings.h"
#include "runtime/text.h"
#include "runtime/value.h"

namespace mirabo {
namespace {

TEST(BindingsTest, NamesMatchExactlyIncludingCase) {
  Bindings b;
  StringVar supplier(8);
  b.Bind("GLO:supplier", supplier.ref());
  EXPECT_EQ(b.Lookup("GLO:supplier").data, supplier.value.data());
  EXPECT_FALSE(b.Lookup("GLO:Supplier").valid());
  EXPECT_FALSE(b.Lookup("supplier").valid());
}

TEST(BindingsTest, InnerScopeShadowsUntilPopped) {
  Bindings b;
  ShortVar outer, inner, only_inner;
  b.Bind("X", outer.ref());
  b.PushScope();
  b.Bind("X", inner.ref());
  b.Bind("Y", only_inner.ref());
  EXPECT_EQ(b.Lookup("X").data, inner.ref().data);
  b.PopScope();
  EXPECT_EQ(b.Lookup("X").data, outer.ref().data);
  EXPECT_FALSE(b.Lookup("Y").valid());
  b.PopScope();  // the outermost scope stays
  b.PopScope();
  EXPECT_EQ(b.Lookup("X").data, outer.ref().data);
}

class FilterTest : public ::testing::Test {
 protected:
  FilterTest() {
    supplier.Assign("Vantor");
    glo_supplier.Assign("Vantor");
    hs.Assign("H");
    note.Assign("it's");
    b.Bind("FEA:ISSUE", issue.ref());
    b.Bind("FEA:PRICE", price.ref());
    b.Bind("FEA:DELTA", delta.ref());
    b.Bind("FEA:SUPPLIER", supplier.ref());
    b.Bind("FEA:HS", hs.ref());
    b.Bind("FEA:NOTE", note.ref());
    b.Bind("GLO:supplier", glo_supplier.ref());
  }

  Filter Compiled(const char* text) {
    Filter f;
    std::string error;
    EXPECT_TRUE(f.Compile(text, b, &error)) << text << ": " << error;
    return f;
  }

  ShortVar issue{5}, delta{-3};
  RealVar price{5.0};
  StringVar supplier{10}, glo_supplier{8}, hs{1}, note{6};
  Bindings b;
};

// ISSUE is SHORT 5, PRICE REAL 5.0: they compare numerically; strings compare
// without their trailing blanks, case included.
TEST_F(FilterTest, ExpressionsEvaluate) {
  const std::pair<const char*, bool> cases[] = {
      {"FEA:ISSUE = FEA:PRICE", true},
      {"FEA:ISSUE = 5", true},
      {"FEA:ISSUE <> 5", false},
      {"FEA:ISSUE ~= 4", true},
      {"FEA:ISSUE < 10", true},
      {"FEA:ISSUE > 10", false},
      {"FEA:ISSUE <= 5", true},
      {"FEA:ISSUE >= 5.5", false},
      {"FEA:ISSUE>4", true},
      {"FEA:PRICE < 5.25", true},
      {"FEA:DELTA = -3", true},
      {"FEA:DELTA < -2.5", true},
      {"FEA:SUPPLIER = 'Vantor'", true},
      {"FEA:SUPPLIER = 'vantor'", false},
      {"FEA:SUPPLIER = GLO:supplier", true},
      {"FEA:SUPPLIER < 'Vb'", true},
      {"FEA:NOTE = 'it''s'", true},
      {"FEA:HS = ''", false},
      {"FEA:ISSUE = 5 and FEA:HS = 'H'", true},
      {"FEA:ISSUE = 4 Or FEA:HS = 'H'", true},
      {"not FEA:ISSUE = 4", true},
      {"FEA:ISSUE = 5 OR FEA:ISSUE = 4 AND FEA:HS = 'X'", true},
      {"(FEA:ISSUE = 5 OR FEA:ISSUE = 4) AND FEA:HS = 'X'", false},
      {"NOT FEA:ISSUE = 5 AND FEA:HS = 'X'", false},
      {"NOT (FEA:ISSUE = 5 AND FEA:HS = 'X')", true},
      {"((FEA:ISSUE = 5))", true}};
  for (const auto& [text, pass] : cases) EXPECT_EQ(Compiled(text).Evaluate(), pass) << text;
}

TEST_F(FilterTest, BlankExpressionPassesEverything) {
  for (const char* text : {"", "   "}) {
    Filter f = Compiled(text);
    EXPECT_TRUE(f.empty());
    EXPECT_TRUE(f.Evaluate());
  }
}

// Unknown names (case counts), unterminated strings, unbalanced parentheses,
// dangling or unknown operators.
TEST_F(FilterTest, FaultyExpressionsAreRefusedAndLeaveTheFilterEmpty) {
  for (const char* text :
       {"FEA:NOPE = 1", "fea:issue = 5", "FEA:SUPPLIER = 'Vant", "(FEA:ISSUE = 5", "FEA:ISSUE = 5)",
        "FEA:ISSUE =", "FEA:ISSUE = 5 AND", "OR FEA:ISSUE = 5", "NOT", "FEA:ISSUE 5",
        "FEA:ISSUE == 5", "FEA:ISSUE = 5 # 3", "FEA:ISSUE = -FEA:PRICE"}) {
    Filter f = Compiled("FEA:ISSUE = 4");
    std::string error;
    EXPECT_FALSE(f.Compile(text, b, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_TRUE(f.empty()) << text;
  }
}

// Texts that would make the parser or the evaluator recurse past the stack
// (found by fuzzing) are refused, whatever their nesting.
TEST_F(FilterTest, DeepOrLongExpressionsAreRefusedNotFollowed) {
  std::string nots, parens, chain = "FEA:ISSUE = 5";
  for (int i = 0; i < 50000; ++i) nots += "NOT ";
  nots += "FEA:ISSUE = 5";
  parens = std::string(50000, '(') + "FEA:ISSUE = 5" + std::string(50000, ')');
  for (int i = 0; i < 50000; ++i) chain += " AND FEA:ISSUE = 5";
  for (const std::string* text : {&nots, &parens, &chain}) {
    Filter f;
    std::string error;
    EXPECT_FALSE(f.Compile(*text, b, &error));
    EXPECT_TRUE(error == "expression nested too deeply" || error == "expression too long") << error;
  }
  // Within the bounds, nesting works as ever.
  EXPECT_TRUE(Compiled("NOT NOT (((FEA:ISSUE = 5)))").Evaluate() ==
              Compiled("FEA:ISSUE = 5").Evaluate());
}

TEST_F(FilterTest, ValuesAreReadAtEveryEvaluation) {
  const Filter f = Compiled("FEA:SUPPLIER = GLO:supplier AND FEA:ISSUE >= 5");
  EXPECT_TRUE(f.Evaluate());
  glo_supplier.Assign("Other");
  EXPECT_FALSE(f.Evaluate());
  supplier.Assign("Other");
  EXPECT_TRUE(f.Evaluate());
  issue.value = 4;
  EXPECT_FALSE(f.Evaluate());
}

TEST_F(FilterTest, EqualityOnFindsTheValueEveryPassingRecordHas) {
  const std::pair<const char*, bool> cases[] = {
      {"FEA:SUPPLIER = GLO:supplier", true},
      {"GLO:supplier = FEA:SUPPLIER", true},
      {"FEA:ISSUE = 1 AND FEA:SUPPLIER = GLO:supplier", true},
      {"(FEA:ISSUE = 1 AND FEA:HS = 'H') AND GLO:supplier = FEA:SUPPLIER", true},
      {"FEA:SUPPLIER = GLO:supplier OR FEA:ISSUE = 1", false},
      {"FEA:SUPPLIER <> GLO:supplier", false},
      {"NOT FEA:SUPPLIER = GLO:supplier", false},
      {"FEA:SUPPLIER = FEA:SUPPLIER", false},
      {"", false}};
  for (const auto& [text, found] : cases) {
    const std::optional<ValueRef> v = Compiled(text).EqualityOn(supplier.value.data());
    ASSERT_EQ(v.has_value(), found) << text;
    EXPECT_TRUE(!v || v->data == glo_supplier.value.data()) << text;
  }
}

TEST_F(FilterTest, EqualityOnALiteralGivesTheLiteral) {
  const Filter f = Compiled("FEA:ISSUE > 2 AND FEA:SUPPLIER = 'Kellan'");
  const std::optional<ValueRef> v = f.EqualityOn(supplier.value.data());
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(std::string(Clip(v->Bytes())), "Kellan");
  EXPECT_FALSE(f.EqualityOn(hs.value.data()).has_value());
}

}  // namespace
}  // namespace mirabo
