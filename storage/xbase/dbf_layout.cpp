#include "storage/xbase/dbf_layout.h"

#include <cmath>
#include <ctime>

#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"

namespace mirabo::xbase {
namespace {

std::function<DbfDate()>& TodayOverride() {
  static std::function<DbfDate()> today;
  return today;
}

void Put16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

uint32_t Get8(std::string_view s, size_t at) { return static_cast<uint8_t>(s[at]); }
uint32_t Get16(std::string_view s, size_t at) { return Get8(s, at) | (Get8(s, at + 1) << 8); }
uint32_t Get32(std::string_view s, size_t at) { return Get16(s, at) | (Get16(s, at + 2) << 16); }

char UpperLetter(char c) { return static_cast<char>(ToUpper1252(static_cast<unsigned char>(c))); }

// Whether a field of `type` can be `width` bytes wide: D, L and M have the
// widths their values are written in, every other type at least one byte.
bool WidthFitsType(char type, int width) {
  switch (type) {
    case 'D':
      return width == 8;
    case 'L':
      return width == 1;
    case 'M':
      return width == 10;
    default:
      return width >= 1;
  }
}

}  // namespace

DbfDate TodayUtc() {
  if (TodayOverride()) return TodayOverride()();
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday};
}

void SetTodayForTests(std::function<DbfDate()> today) { TodayOverride() = std::move(today); }

std::string EncodeHeader(const DbfHeader& h) {
  std::string s(kHeaderSize, '\0');
  s[0] = static_cast<char>(h.version);
  s[1] = static_cast<char>(h.year);
  s[2] = static_cast<char>(h.month);
  s[3] = static_cast<char>(h.day);
  Put32(s, 4, h.records);
  Put16(s, 8, h.header_length);
  Put16(s, 10, h.record_length);
  s[29] = static_cast<char>(h.language);
  return s;
}

DbfHeader DecodeHeader(std::string_view b) {
  DbfHeader h;
  h.version = static_cast<uint8_t>(b[0]);
  h.year = static_cast<uint8_t>(b[1]);
  h.month = static_cast<uint8_t>(b[2]);
  h.day = static_cast<uint8_t>(b[3]);
  h.records = Get32(b, 4);
  h.header_length = static_cast<uint16_t>(Get16(b, 8));
  h.record_length = static_cast<uint16_t>(Get16(b, 10));
  h.language = static_cast<uint8_t>(b[29]);
  return h;
}

void SetHeaderDate(DbfHeader* h, const DbfDate& d) {
  h->year = static_cast<uint8_t>(d.year - 1900);
  h->month = static_cast<uint8_t>(d.month);
  h->day = static_cast<uint8_t>(d.day);
}

int CheckFields(std::vector<NewField>* fields, DbfHeader* header) {
  const size_t count = fields->size();
  if (count < 1 || count > static_cast<size_t>(kMaxFields)) return kErrFieldCount;
  header->version = kVersion;
  int record_length = 1;
  for (NewField& f : *fields) {
    if (f.name.empty() || f.name.size() > static_cast<size_t>(kMaxNameLength) ||
        f.name.find('\0') != std::string::npos) {
      return kErrFieldName;
    }
    f.name = ToUpper1252(f.name);
    f.type = UpperLetter(f.type);
    switch (f.type) {
      case 'C':
        if (f.width < 1 || f.width > kMaxCharWidth) return kErrFieldLength;
        f.decimals = 0;
        break;
      case 'N':
        if (f.width < 1 || f.width > kMaxNumericWidth) return kErrFieldLength;
        if (f.decimals != 0 &&
            (f.decimals < 1 || f.decimals > f.width - 2 || f.decimals > kMaxDecimals)) {
          return kErrDecimals;
        }
        break;
      case 'D':
        f.width = 8;
        f.decimals = 0;
        break;
      case 'L':
        f.width = 1;
        f.decimals = 0;
        break;
      case 'M':
        f.width = 10;
        f.decimals = 0;
        header->version = kVersionWithMemo;
        break;
      default:
        return kErrFieldType;
    }
    record_length += f.width;
    if (record_length > kMaxRecordLength) return kErrRecordLength;
  }
  header->header_length = static_cast<uint16_t>(kDescriptorSize * count + kHeaderSize + 1);
  header->record_length = static_cast<uint16_t>(record_length);
  return kDbfOk;
}

std::string EncodeDescriptor(const NewField& f) {
  std::string d(kDescriptorSize, '\0');
  d.replace(0, f.name.size(), f.name);
  d[11] = f.type;
  d[16] = static_cast<char>(f.width & 0xFF);
  d[17] = static_cast<char>(f.type == 'C' ? (f.width >> 8) & 0xFF : f.decimals);
  return d;
}

int DecodeFields(const DbfHeader& header, std::string_view descriptors,
                 std::vector<DbfField>* fields) {
  fields->clear();
  if (header.version != kVersion && header.version != kVersionWithMemo) return kErrVersion;
  if (header.year < 80 || header.month < 1 || header.month > 12 || header.day < 1 ||
      header.day > 31) {
    return kErrChangeDate;
  }
  if (header.header_length < kHeaderSize + kDescriptorSize + 1) return kErrHeaderLength;
  // The slots that the header length has room for, and the first byte after
  // them; the scan ends at the first slot that begins with the terminator.
  const size_t slots = header.header_length / kDescriptorSize - 1;
  bool terminated = false;
  int offset = 1;
  for (size_t i = 0; i <= slots; ++i) {
    const size_t at = i * kDescriptorSize;
    if (at < descriptors.size() && descriptors[at] == kHeaderEnd) {
      terminated = true;
      break;
    }
    if (i == slots || at + kDescriptorSize > descriptors.size()) break;
    const std::string_view d = descriptors.substr(at, kDescriptorSize);
    DbfField f;
    const size_t name_end = d.substr(0, 11).find('\0');
    if (name_end == std::string_view::npos || name_end == 0) return kErrFieldName;
    f.name = ToUpper1252(d.substr(0, name_end));
    f.type = UpperLetter(d[11]);
    f.width = static_cast<uint8_t>(d[16]);
    switch (f.type) {
      case 'C':
        f.width += 256 * static_cast<uint8_t>(d[17]);
        break;
      case 'N':
      case 'F':
        f.decimals = static_cast<uint8_t>(d[17]);
        f.largest = LargestMagnitude(f.width, f.decimals);
        break;
      case 'M':
        if ((header.version & 0x80) == 0) return kErrVersion;
        break;
      case 'D':
      case 'L':
        break;
      default:
        return kErrFieldType;
    }
    // The width comes from the file, and the record's layout and every
    // getter and putter follow it: a width the type's values are not written
    // in (a logical or date field without a byte, a memo field of other than
    // ten) makes a table whose values cannot be trusted either way.
    if (!WidthFitsType(f.type, f.width)) return kErrFieldLength;
    f.offset = offset;
    offset += f.width;
    fields->push_back(std::move(f));
  }
  // A header without its terminator within its length, or without fields,
  // is not a header this engine can trust.
  if (!terminated || fields->empty()) return kErrHeaderLength;
  if (offset != header.record_length) return kErrRecordLength;
  return kDbfOk;
}

double LargestMagnitude(int width, int decimals) {
  const int integer_digits = decimals > 0 ? width - decimals - 1 : width;
  return std::pow(10.0, std::max(integer_digits, 0)) - std::pow(10.0, -decimals);
}

int BlockCapacity(int record_length) {
  constexpr int kRecords = 8;
  if (kRecords * record_length > 16384) return std::max(16384 / record_length, 1);
  if (kRecords * record_length < 1024) return 2048 / record_length;
  return kRecords;
}

}  // namespace mirabo::xbase
