// Value types of declared fields and variables, and references to values held
// as raw bytes (a field inside a record buffer, or a global variable).
//
// Layouts are byte for byte those of the declarations: STRING(n) is n bytes of
// Windows-1252 text, blank-padded; SHORT, LONG and BYTE are little-endian
// integers of 2, 4 and 1 bytes (BYTE unsigned); REAL is an 8-byte IEEE double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mirabo {

enum class FieldType : uint8_t { kString, kShort, kLong, kByte, kReal };

// The stored width of a value of `type` (strings carry their own width).
int FixedSize(FieldType type);
bool IsNumeric(FieldType type);

// A typed view of `size` bytes that the referrer does not own.
struct ValueRef {
  FieldType type = FieldType::kString;
  char* data = nullptr;
  int size = 0;

  bool valid() const { return data != nullptr; }
  bool numeric() const { return IsNumeric(type); }

  // Numbers read as doubles; strings read as their number when they hold one, else 0.
  double GetNumber() const;
  // Strings read as their padded bytes; numbers as their shortest decimal text.
  std::string GetString() const;
  std::string_view Bytes() const { return {data, static_cast<size_t>(size)}; }

  // Assigns with the runtime's conversions: a string is cut or padded, a
  // number stored in an integer type is truncated towards zero and wrapped to
  // the type's width.
  void SetNumber(double v) const;
  void SetString(std::string_view s) const;
  // Copies another value into this one, converting between types.
  void Assign(const ValueRef& from) const;
  // Blanks a string, zeroes a number.
  void Clear() const;
};

// Formats a double the way the runtime shows an unformatted number.
std::string NumberText(double v);

// Compares two values: numerically when both are numbers, else as fixed strings
// (a number compared with a string uses its text).  Returns <0, 0 or >0.
int CompareValues(const ValueRef& a, const ValueRef& b);

// Typed variables that can be bound and referenced like fields.
struct ShortVar {
  int16_t value = 0;
  ValueRef ref() { return {FieldType::kShort, reinterpret_cast<char*>(&value), 2}; }
};
struct LongVar {
  int32_t value = 0;
  ValueRef ref() { return {FieldType::kLong, reinterpret_cast<char*>(&value), 4}; }
};
struct ByteVar {
  uint8_t value = 0;
  ValueRef ref() { return {FieldType::kByte, reinterpret_cast<char*>(&value), 1}; }
};
struct RealVar {
  double value = 0;
  ValueRef ref() { return {FieldType::kReal, reinterpret_cast<char*>(&value), 8}; }
};

// A STRING(n) variable: always exactly n bytes, blank-padded.
struct StringVar {
  explicit StringVar(int width) : value(width, ' ') {}
  std::string value;
  ValueRef ref() { return {FieldType::kString, value.data(), static_cast<int>(value.size())}; }
  void Assign(std::string_view s) { ref().SetString(s); }
};

}  // namespace mirabo
