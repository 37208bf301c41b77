#include "app/browse/key_stops.h"

#include <cmath>
#include <cstring>

#include "runtime/text.h"

namespace mirabo::app {
namespace {

// The thirty punctuation characters a flag value of 2 admits.
constexpr char kPunctuation[] = "`!\"\xA3$%^&*()'-=_+[]#;~@:/.,?\\| ";

int CompareKeys(const KeyStopKind& kind, const KeyStops::Value& a, const KeyStops::Value& b) {
  if (kind.type != KeyStopKind::Type::kString) {
    const double x = std::get<double>(a), y = std::get<double>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const std::string& x = std::get<std::string>(a);
  const std::string& y = std::get<std::string>(b);
  return kind.nocase ? CompareFixed(ToUpper1252(x), ToUpper1252(y)) : CompareFixed(x, y);
}

}  // namespace

KeyStops::KeyStops() { stops_.fill(0.0); }

std::string KeyStops::Alphabet(int flags) {
  std::string out;
  for (int code = 1; code <= 255; ++code) {
    const unsigned char c = static_cast<unsigned char>(code);
    bool take = false;
    if ((flags & 4) && c >= '0' && c <= '9') take = true;
    if ((flags & 2) && std::memchr(kPunctuation, c, sizeof kPunctuation - 1)) take = true;
    if ((flags & 1) && IsLetter1252(c) && (IsUpper1252(c) || (flags & 8))) take = true;
    if (take) out.push_back(static_cast<char>(c));
  }
  return out;
}

void KeyStops::BuildNumeric(const KeyStopKind& kind, double low, double high) {
  const double step = (high - low) / 99;
  for (int i = 1; i <= 100; ++i) {
    double v = i == 1 ? low : i == 100 ? high : low + step * (i - 1);
    if (kind.type == KeyStopKind::Type::kShort) v = std::trunc(v);
    stops_[i - 1] = v;
  }
}

void KeyStops::BuildString(const KeyStopKind& kind, std::string_view low_in,
                           std::string_view high_in) {
  const std::string alphabet = Alphabet(kind.flags);
  const int64_t base = static_cast<int64_t>(alphabet.size()) + 1;
  const size_t w = static_cast<size_t>(kind.width);
  std::string low = Fit(low_in, w);
  std::string high(Clip(high_in.substr(0, std::min(high_in.size(), w))));
  if (high.size() < w) high.append(w - high.size(), alphabet.empty() ? ' ' : alphabet.back());

  size_t prefix = 0;
  while (prefix < w && low[prefix] == high[prefix]) ++prefix;
  auto tail = [&](const std::string& v) {
    std::string t = v.substr(prefix, std::min<size_t>(4, w - prefix));
    if ((kind.flags & 1) && !(kind.flags & 8)) t = ToUpper1252(t);
    return t;
  };
  const std::string low_tail = tail(low), high_tail = tail(high);
  auto number = [&](const std::string& t) {
    const size_t used = Clip(t).size();
    int64_t n = 0;
    for (size_t k = 0; k < 4; ++k) {
      int64_t digit = 0;
      if (k < used) {
        const size_t at = alphabet.find(t[k]);
        if (at != std::string::npos) digit = static_cast<int64_t>(at) + 1;
      }
      n = n * base + digit;
    }
    return n;
  };
  const int64_t low_num = number(low_tail), high_num = number(high_tail);
  const int64_t step = (high_num - low_num) / 99;
  const std::string head = low.substr(0, prefix);
  for (int i = 1; i <= 100; ++i) {
    if (i == 1) {
      stops_[0] = head + low_tail;
    } else if (i == 100) {
      stops_[99] = head + high_tail;
    } else {
      int64_t n = low_num + step * (i - 1);
      std::string digits(4, ' ');
      for (int k = 3; k >= 0; --k) {
        const int64_t d = n % base;
        n /= base;
        digits[k] = d == 0 ? ' ' : alphabet[d - 1];
      }
      stops_[i - 1] = head + digits.substr(0, std::min<size_t>(4, w - prefix));
    }
  }
}

int KeyStops::Thumb(const KeyStopKind& kind, const Value& key) const {
  int index = 101;
  for (int i = 1; i <= 100; ++i) {
    if (CompareKeys(kind, stops_[i - 1], key) >= 0) {
      index = i;
      break;
    }
  }
  return index == 1 ? 0 : std::min(index, 100);
}

}  // namespace mirabo::app
