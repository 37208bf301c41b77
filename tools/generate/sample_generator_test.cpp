#include "tools/generate/sample_generator.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// RFC 4180 reader kept independent of the project's own CSV code, so that both can be checked
// against each other's idea of quoting.
Rows ParseCsv(const std::string& text) {
  Rows rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      EXPECT_TRUE(field.empty()) << "quote inside an unquoted field at byte " << i;
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
    } else {
      field += c;
    }
  }
  EXPECT_FALSE(quoted) << "unterminated quoted field";
  EXPECT_TRUE(field.empty() && row.empty()) << "last line lacks its line end";
  return rows;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Counts characters as Windows-1252 would store them; -1 when a character has no 1252 byte or
// is a control character.
int Width1252(const std::string& text) {
  static const std::set<uint32_t> kHighCodes = {
      0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
      0x0160, 0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
  int width = 0;
  for (size_t i = 0; i < text.size(); ++width) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return -1;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return -1;
      code = (code << 6) | (next & 0x3F);
    }
    i += length;
    const bool fits = (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF) ||
                      kHighCodes.count(code) > 0;
    if (!fits) return -1;
  }
  return width;
}

struct Index {
  std::map<std::string, Rows> tables;  // file name -> rows, header first

  const Rows& operator[](const std::string& file) const { return tables.at(file); }
  // Values of one column, header excluded.
  std::vector<std::string> Column(const std::string& file, const std::string& column) const {
    const Rows& rows = tables.at(file);
    const auto at = std::find(rows[0].begin(), rows[0].end(), column) - rows[0].begin();
    std::vector<std::string> values;
    for (size_t r = 1; r < rows.size(); ++r) values.push_back(rows[r].at(at));
    return values;
  }
  std::set<int> References(const std::string& file, const std::string& column) const {
    std::set<int> refs;
    for (const std::string& value : Column(file, column)) refs.insert(std::stoi(value));
    return refs;
  }
};

const char* const kFiles[] = {"FEATURES.csv", "SUPPLIER.csv", "REVIEW.csv", "CATEGORY.csv",
                              "ISSUES.csv"};

class SampleGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mirabo-sample-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Generate(const SampleOptions& options, const std::string& name) {
    const fs::path dir = root_ / name;
    fs::create_directory(dir);
    EXPECT_EQ(WriteSampleData(options, dir.string()), "");
    return dir;
  }

  Index Load(const SampleOptions& options, const std::string& name = "index") {
    const fs::path dir = Generate(options, name);
    Index index;
    for (const char* file : kFiles) index.tables[file] = ParseCsv(ReadFile(dir / file));
    return index;
  }

  fs::path root_;
};

TEST_F(SampleGeneratorTest, DefaultOptionsGiveAWellFormedIndex) {
  const Index index = Load(SampleOptions{});
  const std::map<std::string, std::vector<std::string>> headers = {
      {"FEATURES.csv",
       {"PRODUCT", "REVIEW", "ISSUE", "SUPPLIER", "HS", "CATEGORY", "V", "COMMENTS"}},
      {"SUPPLIER.csv", {"SUPPLIER", "REFERENCE"}},
      {"REVIEW.csv", {"REVIEW", "REFERENCE"}},
      {"CATEGORY.csv", {"CATEGORY", "REFERENCE"}},
      {"ISSUES.csv", {"ISSUE_NUMB", "ISSUE_NAME", "COMMENTS"}}};
  for (const auto& [file, header] : headers) {
    const Rows& rows = index[file];
    ASSERT_FALSE(rows.empty()) << file;
    EXPECT_EQ(rows[0], header) << file;
    for (size_t r = 1; r < rows.size(); ++r) {
      ASSERT_EQ(rows[r].size(), header.size()) << file << " row " << r;
    }
  }
  EXPECT_GE(index["ISSUES.csv"].size() - 1, 60u);
  EXPECT_GE(index["SUPPLIER.csv"].size() - 1, 300u);
  EXPECT_GE(index["REVIEW.csv"].size() - 1, 15u);
  EXPECT_GE(index["CATEGORY.csv"].size() - 1, 40u);
  EXPECT_GE(index["FEATURES.csv"].size() - 1, 3000u);
}

TEST_F(SampleGeneratorTest, EveryValueFitsItsColumnAndEveryWidthIsReached) {
  const Index index = Load(SampleOptions{});
  const std::map<std::pair<std::string, std::string>, int> widths = {
      {{"SUPPLIER.csv", "SUPPLIER"}, 36}, {{"REVIEW.csv", "REVIEW"}, 19},
      {{"CATEGORY.csv", "CATEGORY"}, 31}, {{"ISSUES.csv", "ISSUE_NAME"}, 14},
      {{"ISSUES.csv", "COMMENTS"}, 91},   {{"FEATURES.csv", "PRODUCT"}, 86},
      {{"FEATURES.csv", "HS"}, 4},        {{"FEATURES.csv", "V"}, 15},
      {{"FEATURES.csv", "COMMENTS"}, 207}};
  for (const auto& [column, width] : widths) {
    int widest = 0;
    int at_width = 0;
    for (const std::string& value : index.Column(column.first, column.second)) {
      const int w = Width1252(value);
      ASSERT_GE(w, 0) << column.second << " has a character outside Windows-1252: " << value;
      ASSERT_LE(w, width) << column.second << ": " << value;
      widest = std::max(widest, w);
      at_width += w == width;
    }
    // Loaders must cope with values that fill the column; HS never needs all four.
    if (column.second != "HS") {
      EXPECT_EQ(widest, width) << column.second;
    }
    if (column.second == "PRODUCT") {
      EXPECT_EQ(at_width, 1) << "exactly one product fills the column";
    }
  }
  for (const std::string& hs : index.Column("FEATURES.csv", "HS")) {
    EXPECT_TRUE(hs == "H" || hs == "S" || hs == "H/S" || hs.empty()) << hs;
  }
  const std::pair<const char*, const char*> numbers[] = {
      {"SUPPLIER.csv", "REFERENCE"}, {"REVIEW.csv", "REFERENCE"}, {"CATEGORY.csv", "REFERENCE"},
      {"ISSUES.csv", "ISSUE_NUMB"},  {"FEATURES.csv", "REVIEW"},  {"FEATURES.csv", "ISSUE"},
      {"FEATURES.csv", "SUPPLIER"},  {"FEATURES.csv", "CATEGORY"}};
  for (const auto& [file, column] : numbers) {
    for (const std::string& value : index.Column(file, column)) {
      ASSERT_FALSE(value.empty()) << column;
      ASSERT_TRUE(std::all_of(value.begin(), value.end(), ::isdigit)) << column << ": " << value;
      ASSERT_LE(std::stoi(value), 32767) << column;
      ASSERT_GE(std::stoi(value), 1) << column;
    }
  }
}

TEST_F(SampleGeneratorTest, ReferencesAreUniqueAndOnlyTheDeliberateOnesDangle) {
  for (bool edge_cases : {true, false}) {
    SCOPED_TRACE(edge_cases ? "with edge cases" : "without edge cases");
    SampleOptions options;
    options.edge_cases = edge_cases;
    const Index index = Load(options, edge_cases ? "edges" : "plain");

    const std::pair<const char*, const char*> keys[] = {
        {"SUPPLIER.csv", "REFERENCE"}, {"REVIEW.csv", "REFERENCE"}, {"CATEGORY.csv", "REFERENCE"}};
    for (const auto& [file, column] : keys) {
      EXPECT_EQ(index.References(file, column).size(), index[file].size() - 1) << file;
    }
    const std::vector<std::string> issues = index.Column("ISSUES.csv", "ISSUE_NUMB");
    for (size_t i = 0; i < issues.size(); ++i) ASSERT_EQ(issues[i], std::to_string(i + 1));

    const std::set<int> suppliers = index.References("SUPPLIER.csv", "REFERENCE");
    const std::set<int> reviews = index.References("REVIEW.csv", "REFERENCE");
    const std::set<int> categories = index.References("CATEGORY.csv", "REFERENCE");
    int dangling = 0;
    for (size_t r = 1; r < index["FEATURES.csv"].size(); ++r) {
      const std::vector<std::string>& row = index["FEATURES.csv"][r];
      ASSERT_LE(std::stoul(row[2]), issues.size()) << "feature names a missing issue";
      dangling += !suppliers.count(std::stoi(row[3])) || !reviews.count(std::stoi(row[1])) ||
                  !categories.count(std::stoi(row[5]));
    }
    if (edge_cases) {
      EXPECT_GE(dangling, 3);
      EXPECT_LE(dangling, 5);
    } else {
      EXPECT_EQ(dangling, 0);
    }
  }
}

TEST_F(SampleGeneratorTest, EdgeCaseRowsArePresent) {
  const fs::path dir = Generate(SampleOptions{}, "edges");
  Index index;
  for (const char* file : kFiles) index.tables[file] = ParseCsv(ReadFile(dir / file));
  const std::vector<std::string> products = index.Column("FEATURES.csv", "PRODUCT");
  const std::vector<std::string> supplier_names = index.Column("SUPPLIER.csv", "SUPPLIER");
  const std::vector<std::string> comments = index.Column("FEATURES.csv", "COMMENTS");
  auto contains = [](const std::vector<std::string>& values, const std::string& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
  };
  auto any_with = [](const std::vector<std::string>& values, const char* chars) {
    return std::any_of(values.begin(), values.end(), [&](const std::string& v) {
      return std::all_of(chars, chars + std::strlen(chars),
                         [&](char c) { return v.find(c) != std::string::npos; });
    });
  };

  // Quoting-hostile text survives the round trip, and is quoted in the raw file.
  EXPECT_TRUE(contains(supplier_names, "Bright & Sons \"Micro\", Ltd"));
  EXPECT_NE(ReadFile(dir / "SUPPLIER.csv").find("\"Bright & Sons \"\"Micro\"\", Ltd\""),
            std::string::npos);
  EXPECT_TRUE(any_with(supplier_names, "<>&"));
  EXPECT_TRUE(any_with(products, "<>"));
  EXPECT_TRUE(any_with(products, "&\","));
  EXPECT_TRUE(any_with(comments, ",\""));

  // Names that differ only in case, and supplier names shared by two references.
  auto case_twins = [](const std::vector<std::string>& values) {
    std::map<std::string, std::set<std::string>> spellings;
    for (const std::string& v : values) {
      std::string folded = v;
      std::transform(folded.begin(), folded.end(), folded.begin(), ::tolower);
      spellings[folded].insert(v);
    }
    return std::count_if(spellings.begin(), spellings.end(),
                         [](const auto& entry) { return entry.second.size() > 1; });
  };
  EXPECT_GE(case_twins(products), 1);
  EXPECT_GE(case_twins(supplier_names), 1);
  EXPECT_TRUE(contains(products, "alpha draw") && contains(products, "ALPHA DRAW"));
  // References are unique (checked above), so a repeated name means two references share it.
  EXPECT_LT(std::set<std::string>(supplier_names.begin(), supplier_names.end()).size(),
            supplier_names.size());

  // Accented Windows-1252 letters appear in both suppliers and products.
  auto accented = [](const std::vector<std::string>& values) {
    return std::count_if(values.begin(), values.end(), [](const std::string& v) {
      return std::any_of(v.begin(), v.end(), [](char c) { return (c & 0x80) != 0; });
    });
  };
  EXPECT_GE(accented(supplier_names), 2);
  EXPECT_GE(accented(products), 2);
}

TEST_F(SampleGeneratorTest, OutputDependsOnlyOnTheOptions) {
  SampleOptions options;
  options.features = 500;
  const fs::path first = Generate(options, "first");
  const fs::path again = Generate(options, "again");
  // Regenerating over an existing index replaces it rather than adding to it.
  EXPECT_EQ(WriteSampleData(options, again.string()), "");
  options.seed = 1998;
  const fs::path other = Generate(options, "other");
  for (const char* file : kFiles) {
    EXPECT_EQ(ReadFile(first / file), ReadFile(again / file)) << file;
  }
  EXPECT_NE(ReadFile(first / "FEATURES.csv"), ReadFile(other / "FEATURES.csv"));
  EXPECT_NE(ReadFile(first / "SUPPLIER.csv"), ReadFile(other / "SUPPLIER.csv"));
}

TEST_F(SampleGeneratorTest, SuppliersAreEvenAndReviewsAndCategoriesSkewed) {
  SampleOptions options;
  options.suppliers = 50;
  options.features = 50'000;
  const Index index = Load(options);
  auto counts = [&](const char* column) {
    std::map<std::string, int> per_key;
    for (const std::string& value : index.Column("FEATURES.csv", column)) ++per_key[value];
    return per_key;
  };
  const std::map<std::string, int> per_supplier = counts("SUPPLIER");
  const double expected = 50'000.0 / 50;
  int suppliers_seen = 0;
  for (const auto& [supplier, count] : per_supplier) {
    if (supplier == "30000") continue;  // the deliberately dangling reference
    ++suppliers_seen;
    EXPECT_NEAR(count, expected, expected * 0.3) << "supplier " << supplier;
  }
  EXPECT_EQ(suppliers_seen, 50);

  for (const char* column : {"REVIEW", "CATEGORY"}) {
    int top = 0;
    for (const auto& entry : counts(column)) top = std::max(top, entry.second);
    const double mean = 50'000.0 / (index[std::string(column) + ".csv"].size() - 1);
    EXPECT_GT(top, 3 * mean) << column << " keys should be dominated by a few values";
  }
}

TEST(AppendCsvFieldTest, QuotesOnlyWhatNeedsIt) {
  const std::pair<std::string, std::string> cases[] = {{"plain", "plain"},
                                                       {"", ""},
                                                       {"a,b", "\"a,b\""},
                                                       {"say \"hi\"", "\"say \"\"hi\"\"\""},
                                                       {"two\nlines", "\"two\nlines\""},
                                                       {"cr\r", "\"cr\r\""},
                                                       {" lead", "\" lead\""},
                                                       {"trail ", "\"trail \""},
                                                       {"in side", "in side"},
                                                       {"<tag> & caf\u00e9", "<tag> & caf\u00e9"}};
  for (const auto& [value, expected] : cases) {
    std::string out = "x,";
    AppendCsvField(out, value);
    EXPECT_EQ(out, "x," + expected) << value;
  }
}

TEST_F(SampleGeneratorTest, ReportsBadOptionsAndUnwritableFolders) {
  for (auto tweak :
       {+[](SampleOptions& o) { o.issues = 0; }, +[](SampleOptions& o) { o.issues = 1000; },
        +[](SampleOptions& o) { o.suppliers = 32767; }, +[](SampleOptions& o) { o.categories = 0; },
        +[](SampleOptions& o) { o.features = -1; }}) {
    SampleOptions options;
    tweak(options);
    EXPECT_NE(ValidateSampleOptions(options), "");
    EXPECT_NE(WriteSampleData(options, root_.string()), "");
  }
  SampleOptions largest;
  largest.suppliers = 32767;
  largest.edge_cases = false;  // no reference needs to be kept free
  largest.features = 0;
  EXPECT_EQ(ValidateSampleOptions(largest), "");

  const std::string error = WriteSampleData(SampleOptions{}, (root_ / "missing").string());
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

TEST_F(SampleGeneratorTest, GenerateCommandParsesItsArguments) {
  const fs::path dir = root_ / "new" / "nested";
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunGenerateCommand({"--features", "25", "--suppliers=12", "--seed", "7",
                                "--no-edge-cases", dir.string()}),
            0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ParseCsv(ReadFile(dir / "FEATURES.csv")).size(), 26u);
  EXPECT_EQ(ParseCsv(ReadFile(dir / "SUPPLIER.csv")).size(), 13u);
  SampleOptions same;
  same.features = 25;
  same.suppliers = 12;
  same.seed = 7;
  same.edge_cases = false;
  EXPECT_EQ(ReadFile(Generate(same, "direct") / "FEATURES.csv"), ReadFile(dir / "FEATURES.csv"));

  const std::vector<std::vector<std::string>> usage_errors = {{},
                                                              {"--features"},
                                                              {"--features", "many", "out"},
                                                              {"--features", "12x", "out"},
                                                              {"--colour", "red", "out"},
                                                              {"--issues", "1000", "out"},
                                                              {"one", "two"}};
  for (const auto& args : usage_errors) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunGenerateCommand(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  }

  std::ofstream(root_ / "plain-file") << "x";
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunGenerateCommand({(root_ / "plain-file" / "out").string()}), 2);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace mirabo::tools
