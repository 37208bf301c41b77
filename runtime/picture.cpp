// Pictures: compiling a picture text and formatting values with it.  One
// file for every kind, since the formatters share the compiled slots, the
// rounding and the date arithmetic.
#include "runtime/picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "runtime/text.h"
#include "runtime/value.h"

namespace mirabo {
namespace {

constexpr int kMaxWidth = 255;

constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};

// Date layouts by picture number.  m/d: two digits, the first blank when
// leading; M/D: two digits, zero shown; y/Y: two/four year digits; N: month
// abbreviation; L: month name; '/' and '_': replaceable separators that default
// to a slash and a blank; anything else is literal.  17 and 18 use the locale.
constexpr const char* kDateLayouts[19] = {
    "",      "m/D/y", "m/D/Y", "N d,Y", "L d, Y", "d/M/y", "d/M/Y", "d_N_y", "d_N_Y", "y/M/D",
    "Y/M/D", "yMD",   "YMD",   "M/y",   "M/Y",    "y/M",   "Y/M",   "",      ""};
constexpr const char* kShortDateFormat = "%x";
constexpr const char* kLongDateFormat = "%A, %B %d, %Y";

// Time layouts: h hour blank when leading, H hour zero shown, M minutes,
// S seconds, P AM/PM, ':' replaceable separator.  7 and 8 use the locale.
constexpr const char* kTimeLayouts[9] = {"", "h:M", "HM", "h:MP", "h:M:S", "HMS", "h:M:SP", "", ""};
constexpr const char* kShortTimeFormat = "%H:%M";
constexpr const char* kLongTimeFormat = "%X";

constexpr int32_t kHundredthsPerDay = 24 * 60 * 60 * 100;

// Days since 1 January 1970 of a proleptic Gregorian date; linear in `d`, so
// days outside the month carry over.
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kEpochDays = DaysFromCivil(1800, 12, 28);
constexpr int32_t kMaxSerial = static_cast<int32_t>(DaysFromCivil(9999, 12, 31) - kEpochDays);

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// What a replaceable-separator suffix shows: '.', '-', '_' (a blank) or '`'
// (a comma); 0 (no suffix) stays 0.
char SeparatorFor(char c) { return c == '_' ? ' ' : c == '`' ? ',' : c; }

class Cursor {
 public:
  explicit Cursor(std::string_view s) : s_(s) {}
  bool done() const { return i_ >= s_.size(); }
  char peek(size_t ahead = 0) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
  std::string_view rest() const { return s_.substr(i_); }
  void Skip(size_t n) { i_ = std::min(s_.size(), i_ + n); }
  // Takes the next character when it is `c` (letters in either case).
  bool Take(char c) {
    if (done() || Lower(peek()) != c) return false;
    ++i_;
    return true;
  }
  // Takes the next character when it is in `set`; returns it, or 0.
  char TakeAny(std::string_view set) {
    if (done() || set.find(peek()) == std::string_view::npos) return 0;
    return s_[i_++];
  }
  // A decimal number, or -1 when no digit follows.  Large numbers saturate so
  // that they stay out of every valid range.
  int Number() {
    if (done() || peek() < '0' || peek() > '9') return -1;
    int n = 0;
    while (!done() && peek() >= '0' && peek() <= '9') {
      n = std::min(n * 10 + (s_[i_++] - '0'), 100000);
    }
    return n;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

// Reads an optional currency text ("$" or "~text~").  False when a tilde text
// is not closed.
bool ReadCurrency(Cursor& c, std::string* text, bool* present) {
  if (c.Take('$')) {
    *text = "$";
    *present = true;
  } else if (c.peek() == '~') {
    const size_t close = c.rest().find('~', 1);
    if (close == std::string_view::npos) return false;
    *text = std::string(c.rest().substr(1, close - 1));
    *present = true;
    c.Skip(close + 1);
  }
  return true;
}

// Splits |v| rounded half up at `places` decimals into its integer digits
// (without leading zeros, so empty for 0) and exactly `places` fraction digits.
// Rounding works on the value's 15-significant-digit text rather than on the
// binary double, so 1.005 rounds to 1.01 as the user wrote it.
void RoundedDigits(double v, int places, std::string* int_part, std::string* frac_part) {
  // A whole number of at most fifteen digits is its own fifteen significant
  // digits: the common case (counts, references) needs no decimal conversion.
  const double a = std::fabs(v);
  if (a < 1e15 && a == std::floor(a)) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(a));
    if (a == 0) {
      int_part->clear();
    } else {
      int_part->assign(digits, r.ptr);
    }
    frac_part->assign(static_cast<size_t>(places), '0');
    return;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string all(1, buf[0]);
  all.append(buf + 2, 14);
  const int point = std::atoi(std::strchr(buf, 'e') + 1) + 1;
  size_t int_len = 0;
  if (point <= 0) {
    all.insert(0, static_cast<size_t>(-point), '0');
  } else {
    int_len = static_cast<size_t>(point);
    if (all.size() < int_len) all.resize(int_len, '0');
  }
  const size_t keep = int_len + static_cast<size_t>(places);
  bool carry = all.size() > keep && all[keep] >= '5';
  all.resize(keep, '0');
  for (size_t i = keep; carry && i-- > 0;) {
    if (all[i] == '9') {
      all[i] = '0';
    } else {
      ++all[i];
      carry = false;
    }
  }
  if (carry) {
    all.insert(0, 1, '1');
    ++int_len;
  }
  const size_t first = std::min(all.find_first_not_of('0'), int_len);
  *int_part = all.substr(first, int_len - first);
  *frac_part = all.substr(int_len);
}

double ReadNumber(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  s = Clip(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
  return v;
}

// Shows `n` as exactly `slots` digits (keeping the low ones); the leading zeros
// of the field show their slot's char, the last digit always shows.
void AppendField(const PictureSlot* slots, int count, int64_t n, std::string* out) {
  std::string digits(static_cast<size_t>(count), '0');
  for (int i = count - 1; i >= 0 && n > 0; --i, n /= 10)
    digits[i] = static_cast<char>('0' + n % 10);
  bool leading = true;
  for (int i = 0; i < count; ++i) {
    leading = leading && digits[i] == '0' && i < count - 1;
    out->push_back(leading ? slots[i].ch : digits[i]);
  }
}

std::tm MakeTm(int year, int month, int day, int hours, int minutes, int seconds) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hours;
  tm.tm_min = minutes;
  tm.tm_sec = seconds;
  const int32_t serial = DateSerial(year, month, day);
  tm.tm_wday = Weekday(serial);
  tm.tm_yday = serial - DateSerial(year, 1, 1);
  return tm;
}

std::string Strftime(const char* format, const std::tm& tm) {
  char buf[256];
  const size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace

// Builds pictures; one compiler per kind letter.
class PictureCompiler {
 public:
  static Picture String(std::string_view body) {
    Cursor c(body);
    const int w = c.Number();
    if (w < 1 || w > kMaxWidth || !c.done()) return {};
    Picture p = Make(PictureKind::kString, w);
    p.slots_.assign(static_cast<size_t>(w), {SlotClass::kLiteral, ' '});
    return p;
  }

  static Picture Number(std::string_view body) {
    Cursor c(body);
    std::string currency;
    bool currency_prefix = false;
    if (!ReadCurrency(c, &currency, &currency_prefix)) return {};
    const char sign_prefix = c.TakeAny("-(");
    const char fill = c.TakeAny("0_*");
    const int w = c.Number();
    if (w < 1 || w > kMaxWidth) return {};

    char group = 0;
    char marker = 0;
    int d = 0;
    auto is_marker = [](char ch) { return ch == '.' || ch == '`' || Lower(ch) == 'v'; };
    if (std::string_view(".-_`").find(c.peek()) != std::string_view::npos && is_marker(c.peek(1))) {
      group = c.TakeAny(".-_`");
    }
    if (is_marker(c.peek())) {
      marker = Lower(c.TakeAny(".`vV"));
      d = std::max(c.Number(), 0);
    }

    const char sign_suffix = c.TakeAny("-)");
    if ((sign_prefix == '(') != (sign_suffix == ')')) return {};
    if (sign_prefix == '-' && sign_suffix == '-') return {};
    std::string suffix_text;
    bool currency_suffix = false;
    if (!ReadCurrency(c, &suffix_text, &currency_suffix)) return {};
    if (currency_prefix && currency_suffix) return {};
    if (currency_suffix) currency = suffix_text;
    const bool blank_when_zero = c.Take('b');
    if (!c.done()) return {};

    const int sign_slots = sign_prefix == '(' ? 2 : (sign_prefix || sign_suffix) ? 1 : 0;
    const int mark_slots = d > 0 && marker != 'v' ? 1 : 0;
    const int fixed = static_cast<int>(currency.size()) + sign_slots + d + mark_slots;
    if (w < fixed) return {};

    char sep = ',';
    if (group) {
      sep = group == '_' ? ' ' : group == '`' ? ',' : group;
    } else if (fill == '0' || fill == '_') {
      sep = 0;
    } else if (marker == '`') {
      sep = '.';
    }
    const char lead = fill == '0' ? '0' : fill == '*' ? '*' : ' ';

    Picture p = Make(PictureKind::kNumber, w);
    p.blank_when_zero_ = blank_when_zero;
    p.decimals_ = d;
    p.fill_ = fill;
    auto add = [&p](SlotClass cls, char ch) { p.slots_.push_back({cls, ch}); };
    if (currency_prefix) {
      for (char ch : currency) add(SlotClass::kCurrency, ch);
    }
    if (sign_prefix) add(SlotClass::kSign, sign_prefix);

    // The integer area is built right to left from the units digit, with a
    // separator after every three digits while a slot is left for it.
    std::vector<PictureSlot> area;
    int digits = 0;
    for (int i = 0; i < w - fixed; ++i) {
      if (i == 0) {
        area.push_back({SlotClass::kDigit, '0'});
        ++digits;
      } else if (sep && digits % 3 == 0 && area.back().cls != SlotClass::kGroup) {
        area.push_back({SlotClass::kGroup, sep});
      } else {
        area.push_back({SlotClass::kDigitBlank, lead});
        ++digits;
      }
    }
    p.slots_.insert(p.slots_.end(), area.rbegin(), area.rend());

    if (d > 0) {
      if (marker == 'v') {
        add(SlotClass::kImpliedDecimal, 0);
      } else {
        add(SlotClass::kDecimal, marker == '`' ? ',' : '.');
      }
      for (int i = 0; i < d; ++i) add(SlotClass::kDigit, '0');
    }
    if (sign_suffix) add(SlotClass::kSign, sign_suffix);
    if (currency_suffix) {
      for (char ch : currency) add(SlotClass::kCurrency, ch);
    }
    return p;
  }

  static Picture Pattern(std::string_view body) {
    bool blank_when_zero = false;
    if (body.size() >= 2 && Lower(body.back()) == 'b' && Lower(body[body.size() - 2]) == 'p') {
      blank_when_zero = true;
      body.remove_suffix(1);
    }
    if (body.empty() || Lower(body.back()) != 'p') return {};
    body.remove_suffix(1);
    if (body.empty() || body.size() > static_cast<size_t>(kMaxWidth)) return {};
    Picture p = Make(PictureKind::kPattern, static_cast<int>(body.size()));
    p.blank_when_zero_ = blank_when_zero;
    for (char ch : body) {
      if (ch == '#') {
        p.slots_.push_back({SlotClass::kDigit, '0'});
      } else if (ch == '<') {
        p.slots_.push_back({SlotClass::kDigitBlank, ' '});
      } else {
        p.slots_.push_back({SlotClass::kLiteral, ch});
      }
    }
    return p;
  }

  static Picture Date(std::string_view body) {
    Cursor c(body);
    const char lead = LeadFill(c);
    const int n = c.Number();
    if (n < 1 || n > 18) return {};
    int pivot = 80;
    if (const char dir = c.TakeAny("<>")) {
      int years = c.Number();
      if (years < 0 || years > 99) return {};
      if (years == 0) years = 80;
      pivot = dir == '<' ? years : 99 - years;
    }
    const char sep = SeparatorFor(c.TakeAny(".-_`"));
    const bool blank_when_zero = c.Take('b');
    if (!c.done()) return {};

    Picture p = Make(PictureKind::kDate, 0);
    p.pivot_ = pivot;
    p.blank_when_zero_ = blank_when_zero;
    if (n >= 17) {
      SetSystem(&p, n == 17 ? kShortDateFormat : kLongDateFormat, n == 17, true);
      return p;
    }
    for (const char* l = kDateLayouts[n]; *l; ++l) {
      switch (*l) {
        case 'm':
          Add(&p, {{SlotClass::kMonth, lead}, {SlotClass::kMonth, '0'}});
          break;
        case 'M':
          Add(&p, {{SlotClass::kMonth, '0'}, {SlotClass::kMonth, '0'}});
          break;
        case 'd':
          Add(&p, {{SlotClass::kDay, lead}, {SlotClass::kDay, '0'}});
          break;
        case 'D':
          Add(&p, {{SlotClass::kDay, '0'}, {SlotClass::kDay, '0'}});
          break;
        case 'y':
          Add(&p, SlotClass::kYear, '0', 2);
          break;
        case 'Y':
          Add(&p, SlotClass::kYear, '0', 4);
          break;
        case 'N':
          Add(&p, SlotClass::kMonthName, 'U', 3);
          break;
        case 'L':
          Add(&p, SlotClass::kMonthName, 'n', 9);
          break;
        case '/':
          Add(&p, SlotClass::kSeparator, sep ? sep : '/', 1);
          break;
        case '_':
          Add(&p, SlotClass::kSeparator, sep ? sep : ' ', 1);
          break;
        default:
          Add(&p, SlotClass::kLiteral, *l, 1);
          break;
      }
    }
    return p;
  }

  static Picture Time(std::string_view body) {
    Cursor c(body);
    const char lead = LeadFill(c);
    const int n = c.Number();
    if (n < 1 || n > 8) return {};
    const char sep = SeparatorFor(c.TakeAny(".-_`"));
    const bool blank_when_zero = c.Take('b');
    if (!c.done()) return {};

    Picture p = Make(PictureKind::kTime, 0);
    p.blank_when_zero_ = blank_when_zero;
    if (n >= 7) {
      SetSystem(&p, n == 7 ? kShortTimeFormat : kLongTimeFormat, true, false);
      return p;
    }
    for (const char* l = kTimeLayouts[n]; *l; ++l) {
      switch (*l) {
        case 'h':
          Add(&p, {{SlotClass::kHour, lead}, {SlotClass::kHour, '0'}});
          break;
        case 'H':
          Add(&p, SlotClass::kHour, '0', 2);
          break;
        case 'M':
          Add(&p, SlotClass::kMinute, '0', 2);
          break;
        case 'S':
          Add(&p, SlotClass::kSecond, '0', 2);
          break;
        case 'P':
          Add(&p, {{SlotClass::kAmPm, 'A'}, {SlotClass::kAmPm, 'M'}});
          break;
        case ':':
          Add(&p, SlotClass::kSeparator, sep ? sep : ':', 1);
          break;
      }
    }
    return p;
  }

  static Picture Scientific(std::string_view body) {
    Cursor c(body);
    const int w = c.Number();
    const bool blank_when_zero = c.Take('b');
    if (w < 7 || w > kMaxWidth || !c.done()) return {};
    Picture p = Make(PictureKind::kScientific, w);
    p.blank_when_zero_ = blank_when_zero;
    p.slots_.assign(static_cast<size_t>(w), {SlotClass::kDigit, '0'});
    return p;
  }

  static Picture KeyIn(std::string_view body) {
    bool blank_when_zero = false;
    if (body.size() >= 2 && Lower(body.back()) == 'b' && Lower(body[body.size() - 2]) == 'k') {
      blank_when_zero = true;
      body.remove_suffix(1);
    }
    if (body.empty() || Lower(body.back()) != 'k') return {};
    body.remove_suffix(1);
    if (body.empty() || body.size() > static_cast<size_t>(kMaxWidth)) return {};
    Picture p = Make(PictureKind::kKeyIn, static_cast<int>(body.size()));
    p.blank_when_zero_ = blank_when_zero;
    for (char ch : body) p.slots_.push_back({SlotClass::kLiteral, ch});
    return p;
  }

 private:
  static Picture Make(PictureKind kind, int width) {
    Picture p;
    p.kind_ = kind;
    p.width_ = width;
    return p;
  }

  static void Add(Picture* p, std::initializer_list<PictureSlot> slots) {
    p->slots_.insert(p->slots_.end(), slots);
    p->width_ += static_cast<int>(slots.size());
  }
  static void Add(Picture* p, SlotClass cls, char ch, int count) {
    p->slots_.insert(p->slots_.end(), static_cast<size_t>(count), {cls, ch});
    p->width_ += count;
  }

  // The optional fill char of date and time pictures: what a digit that is
  // blank when leading shows instead.
  static char LeadFill(Cursor& c) {
    const char fill = c.TakeAny("0_*");
    return fill == '0' || fill == '*' ? fill : ' ';
  }

  // A locale format is as wide as its longest text over every month, weekday
  // and hour.  `pad` marks formats padded to that width; the others keep the
  // length of their names.
  static void SetSystem(Picture* p, const char* format, bool pad, bool date) {
    p->system_format_ = format;
    size_t width = 0;
    for (int month = 1; month <= 12; ++month) {
      for (int day = 22; day <= 28; ++day) {
        const int hour = date ? 12 : (month * 7 + day) % 24;
        const std::tm tm = MakeTm(2000, month, day, hour, 59, 59);
        width = std::max(width, Strftime(format, tm).size());
      }
    }
    width = std::clamp<size_t>(width, 1, kMaxWidth);
    Add(p, SlotClass::kSystem, pad ? 'p' : 'v', static_cast<int>(width));
  }
};

Picture Picture::Compile(std::string_view text) {
  if (!text.empty() && text.front() == '@') text.remove_prefix(1);
  if (text.empty()) return {};
  const std::string_view body = text.substr(1);
  switch (Lower(text.front())) {
    case 's':
      return PictureCompiler::String(body);
    case 'n':
      return PictureCompiler::Number(body);
    case 'e':
      return PictureCompiler::Scientific(body);
    case 'd':
      return PictureCompiler::Date(body);
    case 't':
      return PictureCompiler::Time(body);
    case 'p':
      return PictureCompiler::Pattern(body);
    case 'k':
      return PictureCompiler::KeyIn(body);
    default:
      return {};
  }
}

int Picture::ExpandYear(int two_digit_year) const {
  return two_digit_year < pivot_ ? 2000 + two_digit_year : 1900 + two_digit_year;
}

std::string Picture::Format(double value) const {
  switch (kind_) {
    case PictureKind::kInvalid:
      return "";
    case PictureKind::kString:
    case PictureKind::kKeyIn:
      if (blank_when_zero_ && value == 0) return std::string(width_, ' ');
      return Fit(NumberText(value), static_cast<size_t>(width_));
    case PictureKind::kNumber:
      return FormatNumber(value);
    case PictureKind::kScientific:
      return FormatScientific(value);
    case PictureKind::kDate:
      return FormatDate(value);
    case PictureKind::kTime:
      return FormatTime(value);
    case PictureKind::kPattern:
      return FormatPattern(value);
  }
  return "";
}

std::string Picture::FormatString(std::string_view value) const {
  switch (kind_) {
    case PictureKind::kInvalid:
      return "";
    case PictureKind::kString:
    case PictureKind::kKeyIn:
      return Fit(value, static_cast<size_t>(width_));
    default:
      return Format(ReadNumber(value));
  }
}

std::string Picture::Overflow() const {
  std::string out;
  for (const PictureSlot& s : slots_) {
    switch (s.cls) {
      case SlotClass::kImpliedDecimal:
        break;
      case SlotClass::kCurrency:
      case SlotClass::kLiteral:
        out.push_back(s.ch);
        break;
      case SlotClass::kSign:
        out.push_back(' ');
        break;
      default:
        out.push_back('#');
        break;
    }
  }
  return out;
}

std::string Picture::FormatNumber(double value) const {
  if (!std::isfinite(value)) return Overflow();
  std::string int_digits, frac_digits;
  RoundedDigits(value, decimals_, &int_digits, &frac_digits);
  const bool zero = int_digits.empty() && frac_digits.find_first_not_of('0') == std::string::npos;
  if (zero && blank_when_zero_) return std::string(static_cast<size_t>(width_), ' ');
  const bool negative = value < 0 && !zero;

  const int n = static_cast<int>(slots_.size());
  int mark = n;
  for (int i = 0; i < n; ++i) {
    const SlotClass cls = slots_[i].cls;
    if (cls == SlotClass::kDecimal || cls == SlotClass::kImpliedDecimal) {
      mark = i;
      break;
    }
  }

  std::string out(static_cast<size_t>(n), ' ');
  // Integer digits right-aligned, right to left.
  size_t remaining = int_digits.size();
  int int_begin = -1;
  int first_digit = -1;
  for (int i = mark - 1; i >= 0; --i) {
    const PictureSlot& s = slots_[i];
    switch (s.cls) {
      case SlotClass::kDigit:
      case SlotClass::kDigitBlank:
        if (remaining > 0) {
          out[i] = int_digits[--remaining];
          first_digit = i;
        } else if (s.cls == SlotClass::kDigit) {
          out[i] = '0';
          first_digit = i;
        } else {
          out[i] = s.ch;
        }
        int_begin = i;
        break;
      case SlotClass::kGroup:
        // A leading separator takes the fill, except that with zero fill it
        // stands between the shown zeros.
        out[i] = remaining > 0 || fill_ == '0' ? s.ch : fill_ == '*' ? '*' : ' ';
        int_begin = i;
        break;
      case SlotClass::kSign:
        break;
      default:
        out[i] = s.ch;
        break;
    }
  }
  if (remaining > 0) return Overflow();
  size_t next_frac = 0;
  for (int i = mark; i < n; ++i) {
    const PictureSlot& s = slots_[i];
    if (s.cls == SlotClass::kDigit) {
      out[i] = frac_digits[next_frac++];
    } else if (s.cls != SlotClass::kSign) {
      out[i] = s.ch;
    }
  }

  if (negative) {
    bool has_sign = false;
    for (int i = 0; i < n; ++i) {
      if (slots_[i].cls != SlotClass::kSign) continue;
      has_sign = true;
      out[i] = slots_[i].ch;
      // An opening sign in front of a blank leading separator moves up to the
      // first digit, so that "(   1,234)" does not read as a gap.
      const bool floats = i + 1 == int_begin && slots_[i + 1].cls == SlotClass::kGroup &&
                          int_begin < first_digit && fill_ != '0' && fill_ != '*';
      if (floats) {
        out[first_digit - 1] = out[i];
        out[i] = ' ';
      }
    }
    if (!has_sign) {
      if (int_begin < 0 || first_digit <= int_begin) return Overflow();
      out[fill_ == '0' || fill_ == '*' ? int_begin : first_digit - 1] = '-';
    }
  }

  std::string shown;
  shown.reserve(out.size());
  for (int i = 0; i < n; ++i) {
    if (slots_[i].cls != SlotClass::kImpliedDecimal) shown.push_back(out[i]);
  }
  return shown;
}

std::string Picture::FormatPattern(double value) const {
  if (!std::isfinite(value)) return Overflow();
  std::string int_digits, frac_digits;
  RoundedDigits(value, 0, &int_digits, &frac_digits);
  if (int_digits.empty() && blank_when_zero_) return std::string(static_cast<size_t>(width_), ' ');
  size_t digit_slots = 0;
  for (const PictureSlot& s : slots_) {
    digit_slots += s.cls == SlotClass::kDigit || s.cls == SlotClass::kDigitBlank;
  }
  if (int_digits.size() > digit_slots) return Overflow();
  const std::string digits = std::string(digit_slots - int_digits.size(), '0') + int_digits;
  std::string out;
  size_t next = 0;
  bool leading = true;
  for (const PictureSlot& s : slots_) {
    if (s.cls == SlotClass::kLiteral) {
      out.push_back(s.ch);
      continue;
    }
    const char d = digits[next++];
    leading = leading && d == '0';
    out.push_back(leading && s.cls == SlotClass::kDigitBlank ? ' ' : d);
  }
  return out;
}

std::string Picture::FormatDate(double value) const {
  if (!std::isfinite(value) || value < 1) return std::string(static_cast<size_t>(width_), ' ');
  if (value > kMaxSerial) return std::string(static_cast<size_t>(width_), '#');
  int year, month, day;
  DateFromSerial(static_cast<int32_t>(value), &year, &month, &day);
  if (!system_format_.empty()) return FormatSystem(year, month, day, 0, 0, 0);

  std::string out;
  const int n = static_cast<int>(slots_.size());
  for (int i = 0; i < n;) {
    const PictureSlot& s = slots_[i];
    int run = 1;
    while (i + run < n && slots_[i + run].cls == s.cls) ++run;
    switch (s.cls) {
      case SlotClass::kMonth:
        AppendField(&s, run, month, &out);
        break;
      case SlotClass::kDay:
        AppendField(&s, run, day, &out);
        break;
      case SlotClass::kYear:
        AppendField(&s, run, year, &out);
        break;
      case SlotClass::kMonthName: {
        std::string name = kMonthNames[month - 1];
        if (run == 3) name.resize(3);
        out += s.ch == 'U' ? ToUpper1252(name) : name;
        break;
      }
      default:
        for (int k = 0; k < run; ++k) out.push_back(slots_[i + k].ch);
        break;
    }
    i += run;
  }
  return out;
}

std::string Picture::FormatTime(double value) const {
  if (!std::isfinite(value) || value < 1) return std::string(static_cast<size_t>(width_), ' ');
  const int64_t t = (static_cast<int64_t>(std::fmod(value, 1e15)) - 1) % kHundredthsPerDay;
  const int seconds_of_day = static_cast<int>(t / 100);
  const int hours = seconds_of_day / 3600;
  const int minutes = seconds_of_day / 60 % 60;
  const int seconds = seconds_of_day % 60;
  if (!system_format_.empty()) return FormatSystem(1900, 1, 1, hours, minutes, seconds);

  bool twelve_hour = false;
  for (const PictureSlot& s : slots_) twelve_hour = twelve_hour || s.cls == SlotClass::kAmPm;
  const int shown_hours = twelve_hour ? (hours % 12 == 0 ? 12 : hours % 12) : hours;

  std::string out;
  const int n = static_cast<int>(slots_.size());
  for (int i = 0; i < n;) {
    const PictureSlot& s = slots_[i];
    int run = 1;
    while (i + run < n && slots_[i + run].cls == s.cls) ++run;
    switch (s.cls) {
      case SlotClass::kHour:
        AppendField(&s, run, shown_hours, &out);
        break;
      case SlotClass::kMinute:
        AppendField(&s, run, minutes, &out);
        break;
      case SlotClass::kSecond:
        AppendField(&s, run, seconds, &out);
        break;
      case SlotClass::kAmPm:
        out += hours < 12 ? "AM" : "PM";
        break;
      default:
        for (int k = 0; k < run; ++k) out.push_back(slots_[i + k].ch);
        break;
    }
    i += run;
  }
  return out;
}

std::string Picture::FormatSystem(int year, int month, int day, int hours, int minutes,
                                  int seconds) const {
  std::string text =
      Strftime(system_format_.c_str(), MakeTm(year, month, day, hours, minutes, seconds));
  // Only the long date keeps the case of its names.
  if (kind_ == PictureKind::kDate && slots_.front().ch == 'p') text = ToUpper1252(text);
  if (slots_.front().ch == 'p') return Fit(text, static_cast<size_t>(width_));
  return text.substr(0, std::min(text.size(), static_cast<size_t>(width_)));
}

std::string Picture::FormatScientific(double value) const {
  if (value == 0 && blank_when_zero_) return std::string(static_cast<size_t>(width_), ' ');
  if (!std::isfinite(value)) return Overflow();
  char buf[300];
  for (int precision = width_; precision >= 0; --precision) {
    const int len = std::snprintf(buf, sizeof buf, "%.*e", precision, value);
    if (len > 0 && len <= width_) {
      return std::string(static_cast<size_t>(width_ - len), ' ') + buf;
    }
  }
  return Overflow();
}

std::string FixedText(double value, int places) {
  std::string int_part, frac_part;
  RoundedDigits(value, places, &int_part, &frac_part);
  const bool zero = int_part.empty() && frac_part.find_first_not_of('0') == std::string::npos;
  std::string out = value < 0 && !zero ? "-" : "";
  out += int_part.empty() ? "0" : int_part;
  if (places > 0) out += "." + frac_part;
  return out;
}

std::string FormatPicture(std::string_view picture, double value) {
  return Picture::Compile(picture).Format(value);
}

std::string FormatPicture(std::string_view picture, std::string_view text) {
  return Picture::Compile(picture).FormatString(text);
}

int32_t DateSerial(int year, int month, int day) {
  const int64_t m0 = static_cast<int64_t>(month) - 1;
  const int64_t carry = m0 >= 0 ? m0 / 12 : (m0 - 11) / 12;
  const int m = static_cast<int>(m0 - carry * 12) + 1;
  return static_cast<int32_t>(DaysFromCivil(year + carry, m, day) - kEpochDays);
}

void DateFromSerial(int32_t serial, int* year, int* month, int* day) {
  const int64_t z = serial + kEpochDays + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

int Weekday(int32_t serial) { return ((serial % 7) + 7) % 7; }

int32_t TimeValue(int hours, int minutes, int seconds, int hundredths) {
  return ((hours * 60 + minutes) * 60 + seconds) * 100 + hundredths + 1;
}

}  // namespace mirabo
