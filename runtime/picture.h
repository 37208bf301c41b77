// Display pictures: compiled templates that turn numbers, dates, times and
// strings into fixed-width text for windows and reports.
//
// A picture is written as a kind letter (any case) and its parameters, e.g.
// "s20", "n$-10.2", "d6", "t3" or "pPage <<<#p"; a leading '@' is ignored.
// Compiling turns the text into a row of slots, one per output column, so that
// formatting is a single pass over the row.  The one slot without a column is
// an implied decimal point.
//
// Date values are day serials (see DateSerial); time values are hundredths of
// a second since midnight plus one, so that 0 can mean "no time".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirabo {

enum class PictureKind { kInvalid, kString, kNumber, kScientific, kDate, kTime, kPattern, kKeyIn };

enum class SlotClass : uint8_t {
  kLiteral,         // shows `ch`
  kDigit,           // a digit, zero shown
  kDigitBlank,      // a digit; a leading zero shows `ch` (blank or the fill char)
  kGroup,           // thousands separator `ch`
  kDecimal,         // decimal mark `ch`
  kImpliedDecimal,  // decimal position without an output column
  kSign,            // `ch` ('-', '(' or ')') when the value is negative, else a blank
  kCurrency,        // one character of the currency text
  kMonth,           // date and time digits: runs of one class make a field, and a
  kDay,             // leading zero of the field shows `ch` ('0' when zero shown)
  kYear,            //
  kHour,            //
  kMinute,          //
  kSecond,          //
  kMonthName,       // a run of 3 is the abbreviation, of 9 the whole name; `ch`
                    // 'U' shows capitals, 'n' the name as written in the table
  kSeparator,       // replaceable separator, already replaced by the picture's choice
  kAmPm,            // "AM" or "PM"; its presence puts the hours on a 12-hour clock
  kSystem,          // a column of a date or time in the C library's locale format
};

struct PictureSlot {
  SlotClass cls;
  char ch;
};

class Picture {
 public:
  // An invalid picture.
  Picture() = default;

  // Compiles `text`.  A malformed picture compiles to kind kInvalid, width 0.
  static Picture Compile(std::string_view text);

  PictureKind kind() const { return kind_; }
  // Output columns; a date with a month name or a long system format may come
  // out shorter.
  int width() const { return width_; }
  bool valid() const { return kind_ != PictureKind::kInvalid; }
  bool blank_when_zero() const { return blank_when_zero_; }
  // Decimal places of a number picture.
  int decimals() const { return decimals_; }
  // Two-digit years below the pivot belong to the 2000s, the others to the 1900s.
  int pivot() const { return pivot_; }
  int ExpandYear(int two_digit_year) const;
  const std::vector<PictureSlot>& slots() const { return slots_; }

  // Formats a number: a plain number for number, scientific and pattern
  // pictures, a day serial for dates, a time value for times.  String and
  // key-in pictures show the number's text.  Invalid pictures give "".
  //
  // Numbers round half up on their decimal text (0.005 at two places gives
  // 0.01).  Integer digits that do not fit turn every digit, separator and
  // decimal mark into '#'.  A negative number in a picture without a sign
  // shows its minus in the leading slot left of its first digit (with a '0' or
  // '*' fill, in the leftmost integer slot); without such a slot it overflows.
  // Pattern pictures show the magnitude and ignore the sign.
  std::string Format(double value) const;

  // Formats a text: string and key-in pictures show its first width()
  // characters, blank-padded; the others read it as a number (blanks around it
  // allowed, anything unreadable counts as 0).
  std::string FormatString(std::string_view value) const;

 private:
  friend class PictureCompiler;

  std::string FormatNumber(double value) const;
  std::string FormatPattern(double value) const;
  std::string FormatDate(double value) const;
  std::string FormatTime(double value) const;
  std::string FormatScientific(double value) const;
  std::string FormatSystem(int year, int month, int day, int hours, int minutes, int seconds) const;
  std::string Overflow() const;

  PictureKind kind_ = PictureKind::kInvalid;
  int width_ = 0;
  bool blank_when_zero_ = false;
  int decimals_ = 0;
  int pivot_ = 80;
  char fill_ = 0;              // number pictures: 0, '0', '_' or '*'
  std::string system_format_;  // strftime format of system date and time pictures
  std::vector<PictureSlot> slots_;
};

// Compiles `picture` and formats with it; "" when the picture is invalid.
std::string FormatPicture(std::string_view picture, double value);

// `value` in fixed point with `places` decimals ("-12.50", "13", "0.5" as
// "0.50"), rounded as pictures round: half away from zero on the value's
// 15 significant digits.  Every output that shows a number rounds this way,
// so a text copy and an xBase copy of one record agree.
std::string FixedText(double value, int places);
std::string FormatPicture(std::string_view picture, std::string_view text);

// Day serials count days since 28 December 1800, a Sunday, so serial 4 is
// 1 January 1801 and serial % 7 is the weekday (0 = Sunday).  Months outside
// 1..12 and days outside the month carry into the neighbouring months.
int32_t DateSerial(int year, int month, int day);
void DateFromSerial(int32_t serial, int* year, int* month, int* day);
// 0 = Sunday .. 6 = Saturday, also for serials before the epoch.
int Weekday(int32_t serial);

// The time value of a time of day: hundredths of a second since midnight plus one.
int32_t TimeValue(int hours, int minutes, int seconds, int hundredths = 0);

}  // namespace mirabo
