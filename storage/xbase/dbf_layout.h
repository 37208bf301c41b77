// The bytes of an xBase table file (docs/formats/dbf.md): the 32-byte header,
// the 32-byte field descriptors, and the rules that check a field list before
// a table is created and a header when a table is opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mirabo::xbase {

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr char kHeaderEnd = 0x0D;
constexpr char kEndOfFile = 0x1A;
constexpr char kLiveFlag = ' ';
constexpr char kDeletedFlag = '*';
constexpr uint8_t kVersion = 0x03;
constexpr uint8_t kVersionWithMemo = 0x83;
// The language driver byte (header offset 29): the code page other programs
// read the text in.  Windows-1252 ("Windows ANSI") for the program's tables,
// DOS code page 437 for tables declared OEM.  A table that carries 0 there
// is read as Windows-1252 (or 437) all the same.
constexpr uint8_t kLanguageWindowsAnsi = 0x57;
constexpr uint8_t kLanguageDos437 = 0x01;
constexpr int kMaxFields = 1023;
constexpr int kMaxNameLength = 10;
constexpr int kMaxCharWidth = 2048;
constexpr int kMaxNumericWidth = 19;
constexpr int kMaxDecimals = 15;
constexpr int kMaxRecordLength = 8192;

// A field as a caller asks for it at creation.
struct NewField {
  std::string name;  // 1 to 10 characters
  char type = 'C';   // C, N, D, L or M, either case
  int width = 0;
  int decimals = 0;
};

// A field of an open table.
struct DbfField {
  std::string name;    // upper case
  char type = 'C';     // upper case: C, N, F, D, L or M
  int width = 0;       // for C including the high byte
  int decimals = 0;    // N and F
  int offset = 0;      // in the record; the deletion flag is offset 0
  double largest = 0;  // N and F: the largest magnitude the field can show
};

struct DbfHeader {
  uint8_t version = kVersion;
  uint8_t year = 0;  // minus 1900
  uint8_t month = 0;
  uint8_t day = 0;
  uint32_t records = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  uint8_t language = 0;  // the language driver byte; kLanguageWindowsAnsi in our tables
};

struct DbfDate {
  int year = 0;  // full year
  int month = 0;
  int day = 0;
};

// Today's date in UTC, which every header write records.
DbfDate TodayUtc();
// Tests fix the date; an empty function restores the system clock.
void SetTodayForTests(std::function<DbfDate()> today);

std::string EncodeHeader(const DbfHeader& h);
// `bytes` holds at least 32 bytes.
DbfHeader DecodeHeader(std::string_view bytes);
void SetHeaderDate(DbfHeader* h, const DbfDate& d);

// Checks `fields` against the limits, upper-cases names and type letters in
// place, forces the widths of D, L and M and the decimals of all but N, and
// fills `header` (version, lengths; date and count left alone).  Returns 0 or
// the engine error of the first field that breaks a limit.
int CheckFields(std::vector<NewField>* fields, DbfHeader* header);

// The descriptor of a field checked by CheckFields.
std::string EncodeDescriptor(const NewField& f);

// Checks a header read from a file (version, date) and reads the descriptors
// that follow it: `descriptors` holds DescriptorBytes(header) bytes from
// offset 32 (fewer when the file is shorter).  Returns 0 or an engine error;
// a field whose width its type cannot have (D other than 8, L other than 1,
// M other than 10, any other type 0) is kErrFieldLength.
int DecodeFields(const DbfHeader& header, std::string_view descriptors,
                 std::vector<DbfField>* fields);

// The descriptor slots the header length has room for, and one byte more.
inline size_t DescriptorBytes(const DbfHeader& h) {
  const size_t slots = h.header_length / kDescriptorSize;
  return slots < 1 ? 1 : (slots - 1) * kDescriptorSize + 1;
}

// The number made of width - decimals - 1 nines, a point and decimals nines
// (width nines without decimals).
double LargestMagnitude(int width, int decimals);

// How many records a buffered table holds in memory: 8, fewer when 8 would
// take more than 16384 bytes, more when 8 would take fewer than 1024.
int BlockCapacity(int record_length);

}  // namespace mirabo::xbase
