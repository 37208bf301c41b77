#include "tools/load/csv_reader.h"

#include <gtest/gtest.h>

#include "tests/testing/temp_dir.h"

namespace mirabo::tools {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Parsed {
  Rows rows;
  std::vector<int64_t> lines;
  std::string error;
  int64_t error_line = 0;
};

Parsed Parse(const std::string& text) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("t.csv"), text);
  CsvReader r;
  std::string why;
  EXPECT_TRUE(r.Open(dir.File("t.csv"), &why)) << why;
  Parsed p;
  std::vector<std::string> fields;
  for (;;) {
    const auto res = r.Next(&fields, &p.error);
    if (res == CsvReader::Result::kEnd) break;
    if (res == CsvReader::Result::kError) {
      p.error_line = r.line();
      break;
    }
    p.rows.push_back(fields);
    p.lines.push_back(r.line());
  }
  return p;
}

TEST(CsvReaderTest, ReadsQuotedFieldsLineEndsAndLineNumbers) {
  const Parsed p = Parse(
      "\xEF\xBB\xBFNAME,REF\r\n"
      "\"Bright & Sons \"\"Micro\"\", Ltd\",7\r\n"
      "plain,8\n"
      "\"two\nlines\",9\n"
      ",\n"
      "last,10");
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_EQ(p.rows, (Rows{{"NAME", "REF"},
                          {"Bright & Sons \"Micro\", Ltd", "7"},
                          {"plain", "8"},
                          {"two\nlines", "9"},
                          {"", ""},
                          {"last", "10"}}));
  EXPECT_EQ(p.lines, (std::vector<int64_t>{1, 2, 3, 4, 6, 7}));
}

TEST(CsvReaderTest, BadQuotingIsReportedWithItsLine) {
  struct Case {
    const char* text;
    int64_t line;
  } cases[] = {
      {"a,b\n\"open,1\n", 2},      // never closed
      {"a,b\n\"x\"y,1\n", 2},      // text after the closing quote
      {"a,b\nc,d\nab\"c,1\n", 3},  // a quote inside a bare field
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.text);
    EXPECT_FALSE(p.error.empty()) << c.text;
    EXPECT_EQ(p.error_line, c.line) << c.text;
  }
}

TEST(CsvReaderTest, AMissingFileSaysWhy) {
  CsvReader r;
  std::string why;
  EXPECT_FALSE(r.Open("/nonexistent/x.csv", &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace
}  // namespace mirabo::tools
