#include "runtime/value.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/text.h"

namespace mirabo {

int FixedSize(FieldType type) {
  switch (type) {
    case FieldType::kShort:
      return 2;
    case FieldType::kLong:
      return 4;
    case FieldType::kByte:
      return 1;
    case FieldType::kReal:
      return 8;
    case FieldType::kString:
      return 0;
  }
  return 0;
}

bool IsNumeric(FieldType type) { return type != FieldType::kString; }

std::string NumberText(double v) {
  if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15) {
    return std::to_string(static_cast<long long>(v));
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

static double ParseNumber(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  s = Clip(s);
  if (s.empty()) return 0;
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
  return v;
}

double ValueRef::GetNumber() const {
  switch (type) {
    case FieldType::kShort: {
      int16_t v;
      std::memcpy(&v, data, 2);
      return v;
    }
    case FieldType::kLong: {
      int32_t v;
      std::memcpy(&v, data, 4);
      return v;
    }
    case FieldType::kByte:
      return static_cast<unsigned char>(*data);
    case FieldType::kReal: {
      double v;
      std::memcpy(&v, data, 8);
      return v;
    }
    case FieldType::kString:
      return ParseNumber(Bytes());
  }
  return 0;
}

std::string ValueRef::GetString() const {
  if (type == FieldType::kString) return std::string(Bytes());
  return NumberText(GetNumber());
}

static int64_t Truncated(double v) {
  if (!std::isfinite(v)) return 0;
  const double t = std::trunc(v);
  if (t >= 9.2e18 || t <= -9.2e18) return 0;
  return static_cast<int64_t>(t);
}

void ValueRef::SetNumber(double v) const {
  switch (type) {
    case FieldType::kShort: {
      const int16_t s = static_cast<int16_t>(static_cast<uint16_t>(Truncated(v)));
      std::memcpy(data, &s, 2);
      return;
    }
    case FieldType::kLong: {
      const int32_t l = static_cast<int32_t>(static_cast<uint32_t>(Truncated(v)));
      std::memcpy(data, &l, 4);
      return;
    }
    case FieldType::kByte:
      *data = static_cast<char>(static_cast<uint8_t>(Truncated(v)));
      return;
    case FieldType::kReal:
      std::memcpy(data, &v, 8);
      return;
    case FieldType::kString:
      SetString(NumberText(v));
      return;
  }
}

void ValueRef::SetString(std::string_view s) const {
  if (type != FieldType::kString) {
    SetNumber(ParseNumber(s));
    return;
  }
  const size_t n = std::min(s.size(), static_cast<size_t>(size));
  std::memcpy(data, s.data(), n);
  std::memset(data + n, ' ', size - n);
}

void ValueRef::Assign(const ValueRef& from) const {
  if (type == FieldType::kString && from.type == FieldType::kString) {
    SetString(from.Bytes());
  } else if (type == FieldType::kString) {
    SetString(from.GetString());
  } else {
    SetNumber(from.GetNumber());
  }
}

void ValueRef::Clear() const { std::memset(data, type == FieldType::kString ? ' ' : 0, size); }

int CompareValues(const ValueRef& a, const ValueRef& b) {
  if (a.numeric() && b.numeric()) {
    const double x = a.GetNumber(), y = b.GetNumber();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareFixed(a.type == FieldType::kString ? a.Bytes() : a.GetString(),
                      b.type == FieldType::kString ? b.Bytes() : b.GetString());
}

}  // namespace mirabo
