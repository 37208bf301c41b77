#include "app/browse/key_stops.h"

#include <gtest/gtest.h>

namespace mirabo::app {
namespace {

using T = KeyStopKind::Type;

TEST(KeyStopsTest, AlphabetsFollowTheFlags) {
  EXPECT_EQ(KeyStops::Alphabet(4), "0123456789");
  const std::string upper = KeyStops::Alphabet(1);
  EXPECT_EQ(upper.substr(0, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(upper.find('a'), std::string::npos) << "lower case only with flag 8";
  EXPECT_NE(upper.find('\xC9'), std::string::npos) << "Windows-1252 capitals count";
  const std::string both = KeyStops::Alphabet(9);
  EXPECT_NE(both.find('a'), std::string::npos);
  EXPECT_LT(both.find('Z'), both.find('a')) << "ascending codes";
  EXPECT_EQ(KeyStops::Alphabet(2).size(), 30u);
  EXPECT_EQ(KeyStops::Alphabet(2).front(), ' ');
}

TEST(KeyStopsTest, NumericStopsSpreadEvenlyAndShortsTruncate) {
  KeyStops s;
  s.BuildNumeric({T::kShort}, 1, 100);
  EXPECT_EQ(std::get<double>(s.Stop(1)), 1);
  EXPECT_EQ(std::get<double>(s.Stop(2)), 2);
  EXPECT_EQ(std::get<double>(s.Stop(100)), 100);
  s.BuildNumeric({T::kShort}, -10, 10);
  EXPECT_EQ(std::get<double>(s.Stop(2)), -9) << "-9.79 truncated towards zero";
  EXPECT_EQ(std::get<double>(s.Stop(99)), 9);
  s.BuildNumeric({T::kReal}, 0, 9.9);
  EXPECT_DOUBLE_EQ(std::get<double>(s.Stop(51)), 5.0);
  // One key value everywhere: all stops equal.
  s.BuildNumeric({T::kShort}, 7, 7);
  for (int i = 1; i <= 100; ++i) EXPECT_EQ(std::get<double>(s.Stop(i)), 7);
}

TEST(KeyStopsTest, StringStopsCountInTheAlphabetAfterTheCommonPrefix) {
  const KeyStopKind kind{T::kString, 10, 1, true};
  KeyStops s;
  s.BuildString(kind, "ALPHA", "ALZ");
  // Common prefix "AL"; tails are upper-cased four characters.
  EXPECT_EQ(std::get<std::string>(s.Stop(1)), "ALPHA ") << "the prefix and a four-character tail";
  EXPECT_EQ(std::get<std::string>(s.Stop(100)).substr(0, 3), "ALZ");
  // The high value is padded with the alphabet's last letter.
  EXPECT_EQ(std::get<std::string>(s.Stop(100)).size(), 6u);
  for (int i = 2; i <= 100; ++i) {
    EXPECT_LE(std::get<std::string>(s.Stop(i - 1)), std::get<std::string>(s.Stop(i))) << i;
  }
  // Lower case is kept by flags 9 and upper-cased by flag 1 alone.
  KeyStops lower;
  lower.BuildString({T::kString, 6, 1, true}, "apple", "banana");
  EXPECT_EQ(std::get<std::string>(lower.Stop(1)), "APPL");
  KeyStops kept;
  kept.BuildString({T::kString, 6, 9, false}, "apple", "banana");
  EXPECT_EQ(std::get<std::string>(kept.Stop(1)), "appl");
}

TEST(KeyStopsTest, TheThumbIsTheFirstStopNotBelowTheKey) {
  KeyStops s;
  const KeyStopKind kind{T::kShort};
  s.BuildNumeric(kind, 0, 99);
  EXPECT_EQ(s.Thumb(kind, KeyStops::Value(0.0)), 0) << "index 1 gives 0";
  EXPECT_EQ(s.Thumb(kind, KeyStops::Value(50.0)), 51);
  EXPECT_EQ(s.Thumb(kind, KeyStops::Value(99.0)), 100);
  EXPECT_EQ(s.Thumb(kind, KeyStops::Value(1000.0)), 100) << "past every stop";
  KeyStops text;
  const KeyStopKind nocase{T::kString, 8, 1, true};
  text.BuildString(nocase, "AAAA", "ZZZZ");
  EXPECT_EQ(text.Thumb(nocase, KeyStops::Value(std::string("aaaa"))), 0)
      << "compared as the key does";
  EXPECT_GT(text.Thumb(nocase, KeyStops::Value(std::string("mmmm"))), 40);
}

}  // namespace
}  // namespace mirabo::app
