#include "runtime/text.h"

#include <utility>

#include <gtest/gtest.h>

#include "runtime/option_text.h"

namespace mirabo {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(FixedTextTest, ClipAndFit) {
  EXPECT_EQ(Clip("  ab c  "), "  ab c");
  EXPECT_EQ(Clip("   "), "");
  EXPECT_EQ(Clip("ab\t"), "ab\t");
  // Long paddings go eight blanks at a time; what stands before them stays.
  for (size_t text = 0; text < 20; ++text) {
    for (size_t blanks = 0; blanks < 20; ++blanks) {
      const std::string s = std::string(text, 'x') + std::string(blanks, ' ');
      EXPECT_EQ(Clip(s), std::string(text, 'x')) << text << " + " << blanks;
    }
  }
  EXPECT_EQ(Clip("a        b        "), "a        b");
  EXPECT_EQ(Fit("abcdef", 3), "abc");
  EXPECT_EQ(Fit("ab", 5), "ab   ");
  EXPECT_EQ(Fit("", 2), "  ");
}

TEST(FixedTextTest, CompareFixedPadsTheShorterWithBlanks) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {{"abc", "abc   ", 0}, {"", "   ", 0},     {"ab", "abc", -1},
               {"ab", "ab\x01", 1},  {"Abc", "abc", -1}, {"ab\xE9", "abz", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(CompareFixed(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(CompareFixed(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
  }
}

TEST(Cp1252CaseTest, LettersAndTheirCases) {
  const std::pair<unsigned char, unsigned char> pairs[] = {{'a', 'A'},   {'z', 'Z'},   {0xE0, 0xC0},
                                                           {0xFE, 0xDE}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                                           {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const auto& [lower, upper] : pairs) {
    EXPECT_EQ(ToUpper1252(lower), upper) << int(lower);
    EXPECT_EQ(ToLower1252(upper), lower) << int(upper);
    EXPECT_TRUE(IsLower1252(lower) && IsUpper1252(upper)) << int(lower);
  }
  for (const unsigned char c : {0xDF, 0xB5}) {  // lower case without an upper form
    EXPECT_TRUE(IsLower1252(c) && ToUpper1252(c) == c) << int(c);
  }
  const unsigned char non_letters[] = {0xD7, 0xF7, '0', ' ', '@', '[', '`', '{', 0x80, 0xA0};
  for (const unsigned char c : non_letters) EXPECT_FALSE(IsLetter1252(c)) << int(c);
  EXPECT_EQ(ToUpper1252(std::string_view("caf\xE9 \xFF-9\xF7")), "CAF\xC9 \x9F-9\xF7");
}

TEST(Cp1252CaseTest, EveryByteConvertsConsistently) {
  for (int i = 0; i < 256; ++i) {
    const auto c = static_cast<unsigned char>(i);
    EXPECT_EQ(IsLetter1252(c), IsUpper1252(c) || IsLower1252(c)) << i;
    EXPECT_FALSE(IsUpper1252(c) && IsLower1252(c)) << i;
    EXPECT_TRUE(IsLower1252(c) || ToUpper1252(c) == c) << i;
    EXPECT_TRUE(IsUpper1252(c) || ToLower1252(c) == c) << i;
    EXPECT_TRUE(ToUpper1252(c) == c || ToLower1252(ToUpper1252(c)) == c) << i;
  }
}

TEST(Cp1252Utf8Test, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Cp1252FromUtf8(Utf8FromCp1252(all)), all);
}

TEST(Cp1252Utf8Test, CharactersMapToTheirCodePoints) {
  const std::pair<const char*, const char*> cases[] = {
      {"A", "A"},
      {"\x80", "\u20AC"},
      {"\x99", "\u2122"},
      {"\x81", "\xC2\x81"},
      {"\x8D\x8F\x90\x9D", "\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
      {"\xE9", "\u00E9"},
      {"\x9F", "\u0178"},
      {"\xA0", "\xC2\xA0"}};
  for (const auto& [cp1252, utf8] : cases) {
    EXPECT_EQ(Utf8FromCp1252(cp1252), utf8) << utf8;
    EXPECT_EQ(Cp1252FromUtf8(utf8), std::optional<std::string>(cp1252)) << utf8;
  }
}

TEST(Cp1252Utf8Test, UnrepresentableOrMalformedTextIsRefused) {
  const std::pair<const char*, size_t> cases[] = {
      {"a\u03A9b", 1}, {"\u20AC\U0001F600", 3}, {"ab\x80", 2},       {"x\xE2\x82", 1},
      {"\xC3", 0},     {"\xC0\x80", 0},         {"\xE0\x81\x81", 0}, {"\xC3\x41", 0},
      {"ok\xFF", 2},   {"\xED\xA0\x80", 0}};
  for (const auto& [utf8, want_at] : cases) {
    size_t bad_at = 99;
    EXPECT_FALSE(Cp1252FromUtf8(utf8, &bad_at).has_value()) << utf8;
    EXPECT_EQ(bad_at, want_at) << utf8;
  }
}

TEST(OptionTextTest, BlanksRemovedAndUpperCasedBeforeReading) {
  const struct {
    const char* text;
    const char* name;
    std::optional<std::string> value;
  } cases[] = {{" tcf = c:\\x ", "TCF", "C:\\X"},
               {" full build ", "FULLBUILD", std::nullopt},
               {"FULLBUILD", "FULLBUILD", std::nullopt},
               {"Recover=10", "RECOVER", "10"},
               {"A=", "A", ""},
               {"a=b=c", "A", "B=C"}};
  for (const auto& c : cases) {
    const OptionText o = ParseOption(c.text);
    EXPECT_EQ(o.name, c.name) << c.text;
    EXPECT_EQ(o.value, c.value) << c.text;
    EXPECT_EQ(o.is_query(), !c.value.has_value()) << c.text;
  }
  EXPECT_FALSE(OptionOn("OFF"));
  EXPECT_TRUE(OptionOn("ON") && OptionOn("") && OptionOn("0"));
}

TEST(PrintableTest, EscapesControlsAndBrokenUtf8AndCutsLongText) {
  EXPECT_EQ(Printable("plain text"), "plain text");
  EXPECT_EQ(Printable("tab\there\r\n"), "tab\\there\\r\\n");
  EXPECT_EQ(Printable("\x1b[2J"), "\\x1B[2J");
  EXPECT_EQ(Printable("caf\xc3\xa9"), "caf\xc3\xa9") << "whole UTF-8 characters pass";
  EXPECT_EQ(Printable("caf\xe9!"), "caf\\xE9!") << "a Windows-1252 byte is escaped";
  EXPECT_EQ(Printable(std::string(50, 'a'), 10), "aaaaaaaaaa...");
}

}  // namespace
}  // namespace mirabo
