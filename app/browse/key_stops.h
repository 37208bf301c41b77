// Key stops: 100 key values spread between the first and the last key of a
// view, so that a 0 to 100 scroll thumb can stand for a position in a table
// that is never held in memory.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <variant>

namespace mirabo::app {

// How an order's stops are made: numeric (SHORT stops are truncated towards
// zero), or strings over the key field's width with alphabet flags: 1 letters
// (upper case), 2 punctuation, 4 digits, 8 lower-case letters as well.
struct KeyStopKind {
  enum class Type { kShort, kReal, kString } type = Type::kString;
  int width = 0;
  int flags = 0;
  bool nocase = false;  // the key compares upper-cased
};

class KeyStops {
 public:
  using Value = std::variant<double, std::string>;

  KeyStops();

  // Spreads the stops between `low` and `high` (the first and last key of
  // the view).
  void BuildNumeric(const KeyStopKind& kind, double low, double high);
  void BuildString(const KeyStopKind& kind, std::string_view low, std::string_view high);

  // Stop i, 1 to 100.
  const Value& Stop(int i) const { return stops_[i - 1]; }

  // The thumb position of a key: the smallest i whose stop is not less than
  // the key (101 when every stop is less), with 1 giving 0.
  int Thumb(const KeyStopKind& kind, const Value& key) const;

  // The alphabet of a flag value, in ascending code order.
  static std::string Alphabet(int flags);

 private:
  std::array<Value, 100> stops_;
};

}  // namespace mirabo::app
