#include "runtime/text.h"

#include <cstdio>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace mirabo {
namespace {

// Unicode code points of Windows-1252 codes 0x80 to 0x9F.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePoint(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80];
  return c;
}

std::optional<unsigned char> ByteFor(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

}  // namespace

std::string_view TrimLeft(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

std::string_view Clip(std::string_view s) {
  // Fixed-length fields are mostly padding: drop the blanks eight at a time
  // while there are as many, then one at a time.
  constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
  size_t n = s.size();
  for (uint64_t w; n >= 8; n -= 8) {
    std::memcpy(&w, s.data() + n - 8, 8);
    if (w != kEightBlanks) break;
  }
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

std::string Fit(std::string_view s, size_t width) {
  std::string out(s.substr(0, std::min(s.size(), width)));
  out.resize(width, ' ');
  return out;
}

int CompareFixed(std::string_view a, std::string_view b) {
  const size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    const unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

bool IsUpper1252(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9F ||
         (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool IsLower1252(unsigned char c) {
  return (c >= 'a' && c <= 'z') || c == 0x83 || c == 0x9A || c == 0x9C || c == 0x9E || c == 0xAA ||
         c == 0xB5 || c == 0xBA || (c >= 0xDF && c != 0xF7);
}

bool IsLetter1252(unsigned char c) { return IsUpper1252(c) || IsLower1252(c); }

unsigned char ToUpper1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0x9A:
      return 0x8A;
    case 0x9C:
      return 0x8C;
    case 0x9E:
      return 0x8E;
    case 0xFF:
      return 0x9F;
    default:
      return c;
  }
}

unsigned char ToLower1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  switch (c) {
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8E:
      return 0x9E;
    case 0x9F:
      return 0xFF;
    default:
      return c;
  }
}

std::string ToUpper1252(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(ToUpper1252(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
      continue;
    }
    const char32_t cp = CodePoint(c);
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::optional<std::string> Cp1252FromUtf8(std::string_view utf8, size_t* bad_at) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  auto fail = [&](size_t at) -> std::optional<std::string> {
    if (bad_at) *bad_at = at;
    return std::nullopt;
  };
  while (i < utf8.size()) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    int extra;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return fail(i);
    }
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= utf8.size()) return fail(i);
      const unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
      if ((cc & 0xC0) != 0x80) return fail(i);
      cp = (cp << 6) | (cc & 0x3F);
    }
    const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra]) return fail(i);  // an overlong form hides a character
    const std::optional<unsigned char> b = ByteFor(cp);
    if (!b) return fail(i);
    out.push_back(static_cast<char>(*b));
    i += extra + 1;
  }
  return out;
}

std::string SqlQuoted(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    if (c == quote) out.push_back(quote);
    out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

std::string Printable(std::string_view text, size_t limit) {
  std::string out;
  size_t shown = 0;
  for (size_t i = 0; i < text.size(); ++shown) {
    if (shown == limit) return out + "...";
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      static const char* const kNamed[] = {"\\0", 0,     0,     0,     0,     0,     0,
                                           "\\a", "\\b", "\\t", "\\n", "\\v", "\\f", "\\r"};
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += c < 14 && kNamed[c] ? kNamed[c] : hex;
      ++i;
      continue;
    }
    // A whole UTF-8 character passes; a byte that starts none is escaped.
    size_t len = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    bool valid = len > 0 && i + len <= text.size();
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    if (!valid) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
      ++i;
      continue;
    }
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace mirabo
