#include "report/report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/faulty_file_system.h"
#include "runtime/file_system.h"
#include "tests/testing/golden.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::report {
namespace {

// A two-line listing in three columns, laid out like the program's Features
// reports: a centred bold title, a grey column-head box with lines, two text
// lines per record and a rule under it, and the page number in the footer.
ReportDef TwoLineListing() {
  ReportDef d;
  d.name = "TEST:LISTING$REPORT";
  d.title = "Listing by Supplier";
  d.detail_area = {490, 1740, 7000, 7260};
  d.header.at = {490, 1052, 7000, 667};
  ReportControl title = Variable("s60", {0, 21, 6969, 219}, Justify::kCentre);
  title.font.bold = true;
  d.header.controls = {
      title,
      Box({10, 260, 6979, 458}, kBlack, kLightGrey),
      Line({3385, 271, 0, 460}),
      Text("PRODUCT", {50, 310, 1400, 170}),
      Text("ISSUE", {5083, 302, kSizedToText, kSizedToText}),
  };
  for (ReportControl& c : d.header.controls) {
    if (c.kind == ItemKind::kText) c.transparent = true;
  }
  d.detail.at = {0, 0, 7010, 469};
  d.detail.controls = {
      Line({3385, 10, 0, 460}),
      Variable("s86", {52, 52, 3281, 167}),
      Variable("n10", {5042, 31, 667, 208}, Justify::kLeft),
      Variable("s31", {42, 229, 2365, 167}),
      Variable("n10.2", {3458, 229, 1000, 167}),
      Line({10, 469, 6938, 0}),
  };
  d.footer.at = {1000, 9000, 6000, 219};
  ReportControl number = PageNumber("pPage <<<#p", {5250, 30, 700, 135});
  number.font.size = 8;
  d.footer.controls = {number};
  return d;
}

struct Record {
  StringVar title{60}, product{86}, category{31};
  RealVar issue, price;
  std::vector<ValueRef> Refs() {
    return {title.ref(), product.ref(), issue.ref(), category.ref(), price.ref()};
  }
};

std::string Golden(const std::string& name) {
  return std::string(MIRABO_REPORT_TESTDATA) + "/" + name;
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  testing::ExpectGolden(Golden(name), actual);
}

class ReportTest : public ::testing::Test {
 protected:
  PageFiles Files() { return {dir_.path(), "RPG"}; }

  // Prints `n` records into `report`: products "Product 1" ..., issues 1 ...
  void PrintRecords(Report& report, Record& r, int n, int from = 1) {
    for (int i = from; i < from + n; ++i) {
      r.product.Assign("Product " + std::to_string(i));
      r.category.Assign(i % 2 ? "Modems" : "Printers");
      r.issue.value = i;
      r.price.value = i * 10.5;
      ASSERT_TRUE(report.PrintDetail().ok()) << i;
    }
  }

  PageImage Page(const std::string& name) {
    PageImage p;
    EXPECT_TRUE(ReadPageFile(name, &p).ok()) << name;
    return p;
  }

  size_t FilesLeft() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_.path()),
                                             std::filesystem::directory_iterator()));
  }

  testing::TempDir dir_;
  FixedPitchMetrics metrics_;
  ReportDef def_ = TwoLineListing();
  Record record_;
  PageImageList pages_;
};

TEST_F(ReportTest, PagesComposeAsTheGoldenDisplayLists) {
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.status().ok()) << report.status().message();
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  record_.title.Assign("Listing by Supplier Caf\xE9 Nord");
  PrintRecords(report, record_, 17);
  ASSERT_TRUE(report.EndReport().ok());
  ASSERT_EQ(pages_.size(), 2u);
  ExpectGolden("two_line_page1.txt", DescribePageImage(Page(pages_[0])));
  ExpectGolden("two_line_page2.txt", DescribePageImage(Page(pages_[1])));
}

// The detail area is 7260 high; bands of 469 fit 15 times (7035), the 16th
// would end at 7504.
TEST_F(ReportTest, PageBreaksAtTheFirstBandThatNoLongerFits) {
  struct Case {
    int area_height, band_height, records;
    std::vector<int> bands_per_page;
  };
  const Case cases[] = {
      {7260, 469, 15, {15}},        {7260, 469, 16, {15, 1}},
      {7260, 469, 31, {15, 15, 1}}, {938, 469, 3, {2, 1}},  // two bands fill the area exactly
      {937, 469, 3, {1, 1, 1}},                             // one unit short of two
      {400, 469, 2, {1, 1}},  // a band taller than the area still prints, one a page
  };
  for (const Case& c : cases) {
    ReportDef d = def_;
    d.detail_area.h = c.area_height;
    d.detail.at.h = c.band_height;
    PageImageList pages;
    {
      Report report(d, record_.Refs(), metrics_);
      ASSERT_TRUE(report.Open(&pages, Files()).ok());
      PrintRecords(report, record_, c.records);
      ASSERT_TRUE(report.EndReport().ok());
      ASSERT_EQ(pages.size(), c.bands_per_page.size()) << c.area_height << "/" << c.band_height;
      int first = 1;
      for (size_t p = 0; p < pages.size(); ++p) {
        // Each band prints its product once; count them and check the order.
        int products = 0;
        for (const PageItem& item : Page(pages[p]).items) {
          const auto* t = std::get_if<TextRun>(&item);
          if (t && t->text.rfind("Product ", 0) == 0) {
            EXPECT_EQ(t->text, "Product " + std::to_string(first + products));
            ++products;
          }
        }
        EXPECT_EQ(products, c.bands_per_page[p]) << "page " << p + 1;
        first += products;
      }
      EXPECT_EQ(report.page(), static_cast<int>(pages.size()));
    }
    EXPECT_EQ(FilesLeft(), 0u);
  }
}

TEST_F(ReportTest, EveryPageHasItsHeaderFooterAndPageNumber) {
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  record_.title.Assign("Title");
  PrintRecords(report, record_, 15 * 11 + 1);
  ASSERT_TRUE(report.EndReport().ok());
  ASSERT_EQ(pages_.size(), 12u);
  const char* expected[] = {"Page    1", "Page   10", "Page   12"};
  const size_t at[] = {0, 9, 11};
  for (int k = 0; k < 3; ++k) {
    const PageImage p = Page(pages_[at[k]]);
    EXPECT_EQ(p.number, static_cast<int>(at[k]) + 1);
    const auto& first = std::get<TextRun>(p.items.front());
    EXPECT_EQ(first.text, "Title") << "the header opens every page";
    const auto& last = std::get<TextRun>(p.items.back());
    EXPECT_EQ(last.text, expected[k]);
    EXPECT_EQ(last.align, Align::kRight) << "a page number is a number";
    EXPECT_EQ(last.box, (Rect{6250, 9030, 700, 135}));
    EXPECT_EQ(p.fonts[last.font], (Font{"Arial", 8, false}));
  }
}

TEST(PageNumberTest, APageNumberIsAlwaysPrintedWhole) {
  const struct {
    const char* picture;
    int page;
    const char* text;
  } cases[] = {
      {"pPage <<<#p", 9999, "Page 9999"},
      {"pPage <<<#p", 10000, "Page 10000"},
      {"pPage <<<#p", 1234567, "Page 1234567"},
      {"pPage ###p", 12345, "Page 12345"},
      {"pPage <<<#pb", 0, "         "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PageNumberText(c.picture, c.page), c.text) << c.picture << " " << c.page;
  }
}

TEST_F(ReportTest, DetailBandOffsetMovesEveryControlOfTheBand) {
  def_.detail.offset_x = -21;
  def_.detail.offset_y = 10;
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  PrintRecords(report, record_, 2);
  ASSERT_TRUE(report.EndReport().ok());
  std::vector<Rect> products;
  for (const PageItem& item : Page(pages_[0]).items) {
    const auto* t = std::get_if<TextRun>(&item);
    if (t && t->text.rfind("Product", 0) == 0) products.push_back(t->box);
  }
  ASSERT_EQ(products.size(), 2u);
  EXPECT_EQ(products[0], (Rect{490 - 21 + 52, 1740 + 10 + 52, 3281, 167}));
  EXPECT_EQ(products[1], (Rect{490 - 21 + 52, 1740 + 469 + 10 + 52, 3281, 167}));
}

TEST_F(ReportTest, TextsAreFormattedTrimmedAndJustified) {
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  record_.title.Assign("  Centred  ");
  record_.product.Assign("Hard Disk Controller");
  record_.issue.value = 1234;
  record_.price.value = 0.005;
  ASSERT_TRUE(report.PrintDetail().ok());
  std::vector<TextRun> runs;
  for (const PageItem& item : report.current_page().items) {
    if (const auto* t = std::get_if<TextRun>(&item)) runs.push_back(*t);
  }
  ASSERT_EQ(runs.size(), 7u);
  EXPECT_EQ(runs[0].text, "Centred");
  EXPECT_EQ(runs[0].align, Align::kCentre);
  EXPECT_TRUE(runs[0].opaque);
  EXPECT_FALSE(runs[1].opaque) << "column heads are transparent";
  EXPECT_EQ(runs[3].text, "Hard Disk Controller");
  EXPECT_EQ(runs[3].align, Align::kLeft);
  EXPECT_EQ(runs[4].text, "1,234") << "n10 stated left: its leading blanks go";
  EXPECT_EQ(runs[4].align, Align::kLeft);
  EXPECT_EQ(runs[5].text, "") << "a blank string prints nothing";
  EXPECT_EQ(runs[6].text, "0.01");
  EXPECT_EQ(runs[6].align, Align::kRight) << "numbers are right-justified unless stated";
}

TEST_F(ReportTest, ControlSizedToItsTextTakesTheTextsWidthAndLineHeight) {
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  ASSERT_TRUE(report.PrintDetail().ok());
  const TextRun* issue = nullptr;
  for (const PageItem& item : report.current_page().items) {
    const auto* t = std::get_if<TextRun>(&item);
    if (t && t->text == "ISSUE") issue = t;
  }
  ASSERT_NE(issue, nullptr);
  EXPECT_EQ(issue->box, (Rect{490 + 5083, 1052 + 302, 5 * 70, 140}));
}

TEST_F(ReportTest, PageFilesAreGoneAfterCloseOnEveryWayOut) {
  {  // closed after the preview
    Report report(def_, record_.Refs(), metrics_);
    ASSERT_TRUE(report.Open(&pages_, Files()).ok());
    PrintRecords(report, record_, 40);
    ASSERT_TRUE(report.EndReport().ok());
    EXPECT_EQ(FilesLeft(), 1u) << "one spool holds the run's pages";
    ASSERT_EQ(pages_.size(), 3u);
    for (size_t i = 0; i < pages_.size(); ++i) {
      PageImage page;
      ASSERT_TRUE(ReadPageFile(pages_[i], &page).ok()) << pages_[i];
      EXPECT_EQ(page.number, static_cast<int>(i) + 1);
      EXPECT_LE(pages_[i].size(), kPageNameLimit);
    }
    report.Close();
    EXPECT_EQ(FilesLeft(), 0u);
    report.Close();
  }
  {  // cancelled in the middle of a page: the report just goes away
    PageImageList pages;
    Report report(def_, record_.Refs(), metrics_);
    ASSERT_TRUE(report.Open(&pages, Files()).ok());
    PrintRecords(report, record_, 20);
    EXPECT_EQ(FilesLeft(), 1u);
  }
  EXPECT_EQ(FilesLeft(), 0u);
  EXPECT_EQ(pages_.size(), 3u) << "the caller's list is the caller's to empty";
}

TEST_F(ReportTest, FailedPageWriteStopsTheReportAndItsPagesStillGo) {
  FaultyFileSystem faulty(FileSystem::Default());
  ScopedFileSystemForTests use(faulty);
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  PrintRecords(report, record_, 16);  // page 1 written
  faulty.FillDiskAfter(0);
  PrintRecords(report, record_, 14, 17);
  const Status s = report.PrintDetail();  // page 2 cannot be written
  EXPECT_EQ(s.code(), StatusCode::kWriteFailed);
  EXPECT_EQ(report.PrintDetail().code(), StatusCode::kWriteFailed) << "the report stays failed";
  EXPECT_EQ(report.EndReport().code(), StatusCode::kWriteFailed);
  EXPECT_EQ(pages_.size(), 1u);
  faulty.Clear();
  report.Close();
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(ReportTest, VariableListMustMatchTheDefinition) {
  std::vector<ValueRef> refs = record_.Refs();
  refs.pop_back();
  Report report(def_, refs, metrics_);
  EXPECT_EQ(report.status().code(), StatusCode::kWrongBinding);
  EXPECT_NE(report.status().message().find("5 variables but was given 4"), std::string::npos);
  EXPECT_EQ(report.Open(&pages_, Files()).code(), StatusCode::kWrongBinding);
  EXPECT_EQ(report.PrintDetail().code(), StatusCode::kWrongBinding);
  EXPECT_EQ(VariableCount(def_), 5);
}

TEST_F(ReportTest, NoDetailMeansNoPage) {
  Report report(def_, record_.Refs(), metrics_);
  ASSERT_TRUE(report.Open(&pages_, Files()).ok());
  ASSERT_TRUE(report.EndReport().ok());
  EXPECT_TRUE(pages_.empty());
  EXPECT_EQ(report.page(), 0);
}

}  // namespace
}  // namespace mirabo::report
