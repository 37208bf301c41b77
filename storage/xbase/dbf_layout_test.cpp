#include "storage/xbase/dbf_layout.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "storage/xbase/dbf_test_util.h"

namespace mirabo::xbase {
namespace {

using testing::Bytes;
using testing::Le16;
using testing::Le32;

class DbfLayoutTest : public ::testing::Test {
 protected:
  int Create(std::vector<NewField> fields) { return DbfTable::Create("t.dbf", &fields); }
  std::string File() { return Bytes(fs_, "t.dbf"); }

  MemoryFileSystem fs_;
  ScopedFileSystemForTests use_{fs_};
  testing::ScopedTestDate date_;
};

TEST_F(DbfLayoutTest, OneCharacterFieldMakesThe66ByteEmptyTable) {
  ASSERT_EQ(Create({{"name", 'c', 10, 0}}), kDbfOk);
  const std::string b = File();
  ASSERT_EQ(b.size(), 66u);
  EXPECT_EQ(static_cast<uint8_t>(b[0]), 0x03);
  EXPECT_EQ(static_cast<uint8_t>(b[1]), 126) << "2026 - 1900";
  EXPECT_EQ(b[2], 5);
  EXPECT_EQ(b[3], 17);
  EXPECT_EQ(Le32(b, 4), 0u);
  EXPECT_EQ(Le16(b, 8), 65u);
  EXPECT_EQ(Le16(b, 10), 11u);
  EXPECT_EQ(b.substr(12, 17), std::string(17, '\0'));
  EXPECT_EQ(b[29], 0x57) << "the language driver: Windows ANSI";
  EXPECT_EQ(b.substr(30, 2), std::string(2, '\0'));
  EXPECT_EQ(b.substr(32, 11), std::string("NAME\0\0\0\0\0\0\0", 11)) << "upper case, NUL padded";
  EXPECT_EQ(b[43], 'C');
  EXPECT_EQ(b.substr(44, 4), std::string(4, '\0'));
  EXPECT_EQ(b[48], 10);
  EXPECT_EQ(b[49], 0);
  EXPECT_EQ(b.substr(50, 14), std::string(14, '\0'));
  EXPECT_EQ(b[64], 0x0D);
  EXPECT_EQ(b[65], 0x1A);
}

// Descriptor bytes 16 and 17 and the version byte, per field kind.
TEST_F(DbfLayoutTest, DescriptorsCarryWidthAndDecimalsByType) {
  struct Case {
    NewField field;
    uint8_t byte16, byte17;
    int width;  // as the table reads it back
    uint8_t version;
  };
  const Case cases[] = {
      {{"WIDE", 'C', 300, 0}, 44, 1, 300, 0x03}, {{"LONGEST", 'C', 2048, 0}, 0, 8, 2048, 0x03},
      {{"PRICE", 'N', 9, 2}, 9, 2, 9, 0x03},     {{"ISSUE", 'n', 3, 0}, 3, 0, 3, 0x03},
      {{"WHEN", 'D', 3, 4}, 8, 0, 8, 0x03},      {{"FLAG", 'l', 7, 0}, 1, 0, 1, 0x03},
      {{"NOTES", 'M', 1, 0}, 10, 0, 10, 0x83},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field.name);
    ASSERT_EQ(Create({c.field}), kDbfOk);
    const std::string b = File();
    EXPECT_EQ(static_cast<uint8_t>(b[0]), c.version);
    EXPECT_EQ(static_cast<uint8_t>(b[32 + 16]), c.byte16);
    EXPECT_EQ(static_cast<uint8_t>(b[32 + 17]), c.byte17);
    std::unique_ptr<DbfTable> t;
    ASSERT_EQ(DbfTable::Open("t.dbf", {}, &t), kDbfOk);
    EXPECT_EQ(t->fields()[0].width, c.width);
    EXPECT_EQ(t->header().record_length, 1 + c.width);
  }
}

TEST_F(DbfLayoutTest, CreationRefusesEveryLimit) {
  struct Case {
    const char* what;
    std::vector<NewField> fields;
    int error;
  };
  const std::vector<NewField> too_many(1024, {"F", 'L', 1, 0});
  const std::vector<NewField> too_long(5, {"F", 'C', 2000, 0});
  const Case cases[] = {
      {"no field", {}, kErrFieldCount},
      {"1024 fields", too_many, kErrFieldCount},
      {"empty name", {{"", 'C', 1, 0}}, kErrFieldName},
      {"11-character name", {{"ABCDEFGHIJK", 'C', 1, 0}}, kErrFieldName},
      {"C of width 0", {{"A", 'C', 0, 0}}, kErrFieldLength},
      {"C of width 2049", {{"A", 'C', 2049, 0}}, kErrFieldLength},
      {"N of width 20", {{"A", 'N', 20, 0}}, kErrFieldLength},
      {"N(5,4)", {{"A", 'N', 5, 4}}, kErrDecimals},
      {"N(19,16)", {{"A", 'N', 19, 16}}, kErrDecimals},
      {"negative decimals", {{"A", 'N', 5, -1}}, kErrDecimals},
      {"type X", {{"A", 'X', 5, 0}}, kErrFieldType},
      {"record of 8193 bytes", too_long, kErrRecordLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Create(c.fields), c.error);
    EXPECT_EQ(File(), "") << "nothing is created";
  }
  EXPECT_EQ(Create({{"A", 'N', 5, 3}, {"B", 'N', 19, 15}}), kDbfOk);
  EXPECT_EQ(Create(std::vector<NewField>(1023, {"F", 'L', 1, 0})), kDbfOk);
  EXPECT_EQ(
      Create({{"A", 'C', 2048, 0}, {"B", 'C', 2048, 0}, {"C", 'C', 2048, 0}, {"D", 'C', 2047, 0}}),
      kDbfOk)
      << "8192 bytes with the flag";
}

TEST_F(DbfLayoutTest, CreationUpperCasesNamesAndTypesInPlace) {
  std::vector<NewField> fields = {{"issue_numb", 'n', 3, 0}, {"comments", 'c', 91, 0}};
  ASSERT_EQ(DbfTable::Create("t.dbf", &fields), kDbfOk);
  EXPECT_EQ(fields[0].name, "ISSUE_NUMB");
  EXPECT_EQ(fields[0].type, 'N');
  EXPECT_EQ(fields[1].name, "COMMENTS");
  EXPECT_EQ(File().substr(64, 11), std::string("COMMENTS\0\0\0", 11));
}

// Headers that open, and headers that are refused, by patching one created
// with a C(10) field.
TEST_F(DbfLayoutTest, OpenChecksVersionDateDescriptorsAndRecordLength) {
  struct Case {
    const char* what;
    size_t at;
    std::string bytes;
    int result;
  };
  const Case cases[] = {
      {"as created", 0, "", kDbfOk},
      {"year 126 (2026)", 1, "\x7E", kDbfOk},
      {"year 80", 1, "\x50", kDbfOk},
      {"year 79", 1, "\x4F", kErrChangeDate},
      {"month 0", 2, std::string(1, '\0'), kErrChangeDate},
      {"month 13", 2, "\x0D", kErrChangeDate},
      {"day 0", 3, std::string(1, '\0'), kErrChangeDate},
      {"day 32", 3, "\x20", kErrChangeDate},
      {"version 0x04", 0, "\x04", kErrVersion},
      {"version 0x83 without memo", 0, "\x83", kDbfOk},
      {"lower-case type", 43, "c", kDbfOk},
      {"type F", 43, "F", kDbfOk},
      {"type X", 43, "X", kErrFieldType},
      {"M in a version 0x03 table", 43, "M", kErrVersion},
      {"11-character name", 32, "ABCDEFGHIJK", kErrFieldName},
      {"record length 12", 10, "\x0C", kErrRecordLength},
      {"width 11", 48, "\x0B", kErrRecordLength},
      {"no terminator within the header", 64, "X", kErrHeaderLength},
      {"header length 64", 8, "\x40", kErrHeaderLength},
      {"header length 20", 8, "\x14", kErrHeaderLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Create({{"NAME", 'C', 10, 0}}), kDbfOk);
    std::string b = File();
    b.replace(c.at, c.bytes.size(), c.bytes);
    fs_.SetContents("t.dbf", b);
    std::unique_ptr<DbfTable> t;
    EXPECT_EQ(DbfTable::Open("t.dbf", {}, &t), c.result);
    EXPECT_EQ(t != nullptr, c.result == kDbfOk);
  }
}

// A one-field table from another program whose descriptor gives the field a
// width: one that its type cannot have is refused, the record length and all
// else being right.
TEST_F(DbfLayoutTest, OpenRefusesAWidthTheTypeCannotHave) {
  struct Case {
    char type;
    uint8_t width;
    int result;
  };
  const Case cases[] = {
      {'D', 8, kDbfOk},          {'D', 0, kErrFieldLength}, {'D', 9, kErrFieldLength},
      {'L', 1, kDbfOk},          {'L', 0, kErrFieldLength}, {'L', 2, kErrFieldLength},
      {'M', 10, kDbfOk},         {'M', 4, kErrFieldLength}, {'M', 40, kErrFieldLength},
      {'C', 0, kErrFieldLength}, {'N', 0, kErrFieldLength}, {'F', 0, kErrFieldLength},
      {'N', 20, kDbfOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.type) + std::to_string(c.width));
    ASSERT_EQ(Create({{"NAME", 'C', 10, 0}}), kDbfOk);
    std::string b = File();
    b[0] = static_cast<char>(c.type == 'M' ? kVersionWithMemo : kVersion);
    b[10] = static_cast<char>(1 + c.width);
    b[43] = c.type;
    b[48] = static_cast<char>(c.width);
    fs_.SetContents("t.dbf", b);
    std::unique_ptr<DbfTable> t;
    EXPECT_EQ(DbfTable::Open("t.dbf", {}, &t), c.result);
  }
}

TEST_F(DbfLayoutTest, OpenReadsAHeaderLongerThanItsDescriptors) {
  // Some writers leave room after the terminator; records start at the
  // header length all the same.
  ASSERT_EQ(Create({{"NAME", 'C', 3, 0}}), kDbfOk);
  std::string b = File();
  b[8] = static_cast<char>(65 + 32);
  b = b.substr(0, 65) + std::string(32, '\0') + " abc" + "\x1A";
  b[4] = 1;
  fs_.SetContents("t.dbf", b);
  std::unique_ptr<DbfTable> t;
  ASSERT_EQ(DbfTable::Open("t.dbf", {}, &t), kDbfOk);
  ASSERT_EQ(t->Read(1), kDbfOk);
  std::string text;
  ASSERT_EQ(t->GetText(0, &text), kDbfOk);
  EXPECT_EQ(text, "abc");
}

TEST_F(DbfLayoutTest, OpenOfFilesThatAreNoTables) {
  std::unique_ptr<DbfTable> t;
  EXPECT_EQ(DbfTable::Open("missing.dbf", {}, &t), kErrFileNotFound);
  EXPECT_EQ(DbfTable::Open("no/such/folder.dbf", {}, &t), kErrPathNotFound);
  EXPECT_EQ(DbfTable::Open("", {}, &t), kErrInvalidFilename);
  fs_.SetContents("empty.dbf", "");
  EXPECT_EQ(DbfTable::Open("empty.dbf", {}, &t), kErrVersion);
  fs_.SetContents("short.dbf", "\x03\x7E\x05\x11");
  EXPECT_EQ(DbfTable::Open("short.dbf", {}, &t), kErrHeaderLength);
  ASSERT_EQ(Create({{"NAME", 'C', 10, 0}}), kDbfOk);
  fs_.SetContents("t.dbf", File().substr(0, 50));
  EXPECT_EQ(DbfTable::Open("t.dbf", {}, &t), kErrHeaderLength) << "cut inside the descriptors";
}

TEST(DbfLayout, BlockCapacityKeepsABlockBetweenOneAndSixteenKilobytes) {
  const std::pair<int, int> cases[] = {{403, 8},  {109, 18}, {37, 55},  {128, 8}, {127, 16},
                                       {2048, 8}, {2049, 7}, {8192, 2}, {2, 1024}};
  for (auto [length, capacity] : cases) EXPECT_EQ(BlockCapacity(length), capacity) << length;
}

TEST(DbfLayout, LargestMagnitudeIsNinesOfTheWidth) {
  EXPECT_DOUBLE_EQ(LargestMagnitude(3, 0), 999);
  EXPECT_DOUBLE_EQ(LargestMagnitude(9, 2), 999999.99);
  EXPECT_DOUBLE_EQ(LargestMagnitude(3, 1), 9.9);
  EXPECT_DOUBLE_EQ(LargestMagnitude(19, 0), 9999999999999999999.0);
}

TEST(DbfError, EveryErrorHasItsTextAndRuntimeCode) {
  struct Case {
    int code;
    const char* text;
    int runtime;
  };
  const Case cases[] = {
      {kErrWrite, "file write failure", 5},
      {kErrSeek, "file pointer reposition failed", 35},
      {kErrFileNotFound, "file not found", 2},
      {kErrVersion, "invalid xBase version", 36},
      {kErrChangeDate, "last file change date in error", 53},
      {kErrDecimals, "decimal places parameter invalid", 75},
      {kErrBadData, "bad data", 90},
      {kErrMustLock, "file must be locked first", 63},
      {kErrDisketteChanged, "diskette changed", 317},
      {kErrSharingBuffer, "sharing buffer overflow", 332},
      {kErrTagName, "invalid tag name", 46},
      {kErrLockUnderflow, "internal lock buffer underflow", 90},
      {kErrLockRefused, "", 32},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DbfErrorText(c.code), c.text) << c.code;
    EXPECT_EQ(RuntimeCodeOf(c.code), c.runtime) << c.code;
  }
  // Every code from -201 to -261 has a text of at most 37 characters.
  for (int code = -201; code >= -261; --code) {
    EXPECT_FALSE(DbfErrorText(code).empty()) << code;
    EXPECT_LE(DbfErrorText(code).size(), 37u) << code;
  }
  EXPECT_EQ(RuntimeCodeOf(kWarnDeletedRecord), 0);
  EXPECT_EQ(RuntimeCodeOf(214), 0);
  EXPECT_EQ(RuntimeCodeOf(-300), -300) << "unknown codes pass unchanged";
  EXPECT_EQ(RuntimeCodeOf(45), 45);
}

}  // namespace
}  // namespace mirabo::xbase
