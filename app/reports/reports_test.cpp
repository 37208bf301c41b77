#include "app/reports/reports.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/thread_block.h"
#include "app/shell/frame.h"
#include "app/shell/procedures.h"
#include "runtime/error.h"
#include "tests/testing/data_files.h"
#include "tests/testing/golden.h"
#include "tests/testing/report_run.h"

namespace mirabo::app {
namespace {

using testing::WriteTable;

const char kLongName[] = "Abercorn Microsystems & Distributors";  // 36 characters

class ReportsTest : public testing::ReportRunTest {
 protected:
  void SetUp() override {
    WriteTable(DataFile::kSupplier, {{kLongName, "1"},
                                     {"Brennock Systems", "2"},
                                     {"Tallowmere Data", "4"},
                                     {"Brennock Systems", "3"}});
    WriteTable(DataFile::kReview, {{"Group Test", "1"}, {"First Look", "2"}});
    WriteTable(DataFile::kCategory, {{"Modems", "1"}, {"Printers", "2"}});
    WriteTable(DataFile::kIssues,
               {{"1234", "Far off", "A look ahead"}, {"12", "May 1996", "Christmas special"}});
    // PRODUCT, REVIEW, ISSUE, SUPPLIER, HS, CATEGORY, V, COMMENTS.
    WriteTable(DataFile::kFeatures,
               {{"Abercorn Fax Modem 2400", "1", "12", "1", "H", "1", "1.0", ""},
                {"Abercorn Scanner Pro", "2", "1234", "1", "H", "9", "2.0", "no such category"},
                {"Brennock Write", "1", "12", "2", "S", "2", "3.1", ""},
                {"Brennock Draw", "2", "12", "3", "S", "1", "1.5", ""},
                {"Tallowmere Base", "1", "1234", "4", "S", "1", "", ""}});
  }

  // Runs the report with the global selections as they are, to its preview.
  ui::ThreadId RunToPreview(ReportId id) {
    response_ = -1;
    const ui::ThreadId thread = Open(Probe(ReportPlanOf(id), &response_));
    EXPECT_TRUE(UntilPreview(thread)) << ReportPlanOf(id).procedure;
    return thread;
  }
  // The title on the first page of the report.
  std::string Title(ReportId id) {
    const ui::ThreadId thread = RunToPreview(id);
    const std::vector<report::PageImage> pages = PageFiles();
    Leave(thread);
    if (pages.empty()) return "(no page)";
    return std::get<report::TextRun>(pages[0].items[0]).text;
  }
  ui::Window* WindowNamed(const std::string& name) {
    for (ui::Window* w : scheduler_.windows()) {
      if (w->def().name == name) return w;
    }
    return nullptr;
  }

  int32_t response_ = -1;
};

struct GoldenCase {
  ReportId report;
  const char* file;
};

class ReportLayoutTest : public ReportsTest, public ::testing::WithParamInterface<GoldenCase> {};

// The first page of each report on the small data set, as a display list:
// positions, pictures, fonts, lines and the grey head box of each layout.
TEST_P(ReportLayoutTest, TheFirstPageIsTheGoldenDisplayList) {
  GLO::supplier.value = 1;  // one feature with a category that does not exist
  GLO::review.value = 1;
  GLO::category.value = 1;
  GLO::Issue.value = 1234;
  const ui::ThreadId id = RunToPreview(GetParam().report);
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  testing::ExpectGolden(std::string(MIRABO_APP_TESTDATA) + "/" + GetParam().file,
                        report::DescribePageImage(pages[0]));
  Leave(id);
  EXPECT_EQ(response_, RespCompleted);
}

INSTANTIATE_TEST_SUITE_P(
    EightReports, ReportLayoutTest,
    ::testing::Values(GoldenCase{ReportId::kFeaturesBySupplier, "features_by_supplier.txt"},
                      GoldenCase{ReportId::kFeaturesByReview, "features_by_review.txt"},
                      GoldenCase{ReportId::kFeaturesByCategory, "features_by_category.txt"},
                      GoldenCase{ReportId::kFeaturesByIssue, "features_by_issue.txt"},
                      GoldenCase{ReportId::kIssueTable, "issue_table.txt"},
                      GoldenCase{ReportId::kCategoryTable, "category_table.txt"},
                      GoldenCase{ReportId::kReviewTable, "review_table.txt"},
                      GoldenCase{ReportId::kSupplierTable, "supplier_table.txt"}));

TEST_F(ReportsTest, TitlesNameTheChosenGroup) {
  ASSERT_EQ(std::string(kLongName).size(), 36u);
  GLO::supplier.value = 1;
  EXPECT_EQ(Title(ReportId::kFeaturesBySupplier), std::string("FEATURES by Supplier ") + kLongName)
      << "a 36-character name whole";
  GLO::review.value = 2;
  EXPECT_EQ(Title(ReportId::kFeaturesByReview), "FEATURES by Review First Look");
  GLO::category.value = 2;
  EXPECT_EQ(Title(ReportId::kFeaturesByCategory), "FEATURES by Category Printers");
  GLO::Issue.value = 12;
  EXPECT_EQ(Title(ReportId::kFeaturesByIssue), "FEATURES by Issue 12");
  GLO::Issue.value = 1234;
  EXPECT_EQ(Title(ReportId::kFeaturesByIssue), "FEATURES by Issue 1,234")
      << "with the picture's thousands separator";
}

// Reads supplier 2 into the record buffer (as a lookup's pick leaves it),
// then runs the report for a supplier that has features but no record.
ui::Proc StaleNameProbe() {
  ThreadBlock& block = CurrentThread();
  const std::vector<DataFile> files = {DataFile::kSupplier};
  co_await OpenDataFiles(files);
  File& supplier = block.Data(DataFile::kSupplier);
  supplier.Field(SUP::REFERENCE).SetNumber(2);
  EXPECT_EQ(supplier.GetByKey(SUP::SUPPLIER_REF), kNoError);
  GLO::supplier.value = 7;
  co_await PrintReport(ReportId::kFeaturesBySupplier);
  CloseDataFiles(files);
}

TEST_F(ReportsTest, ATitleWhoseNameCannotBeReadShowsNoName) {
  WriteTable(DataFile::kFeatures, {{"Orphan Utility", "1", "12", "7", "S", "1", "1.0", ""}});
  const ui::ThreadId id = Open(StaleNameProbe());
  ASSERT_TRUE(UntilPreview(id));
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(std::get<report::TextRun>(pages[0].items[0]).text, "FEATURES by Supplier")
      << "not the Brennock Systems left in the buffer";
  EXPECT_EQ(TextsAt(pages[0], 490 + 52, 1740), std::vector<std::string>{"Orphan Utility"});
  Leave(id);
}

TEST_F(ReportsTest, AMissingCategoryLeavesTheLowerLineBlank) {
  GLO::supplier.value = 1;
  const ui::ThreadId id = RunToPreview(ReportId::kFeaturesBySupplier);
  const std::vector<report::PageImage> pages = PageFiles();
  Leave(id);
  ASSERT_EQ(pages.size(), 1u);
  // The category field of each record (column 1, lower line).
  EXPECT_EQ(TextsAt(pages[0], 490 + 42, 1740), (std::vector<std::string>{"Modems", ""}));
  EXPECT_EQ(TextsAt(pages[0], 490 + 3448, 1740),
            (std::vector<std::string>{"Group Test", "First Look"}))
      << "the other lookups print";
}

TEST_F(ReportsTest, TwoSuppliersOfOneNameAreBothListedInRecordOrder) {
  const ui::ThreadId id = RunToPreview(ReportId::kSupplierTable);
  const std::vector<report::PageImage> pages = PageFiles();
  Leave(id);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(TextsAt(pages[0], 1000 + 50, 1540),
            (std::vector<std::string>{kLongName, "Brennock Systems", "Brennock Systems",
                                      "Tallowmere Data"}));
}

TEST_F(ReportsTest, AnEmptyTableListsNothing) {
  WriteTable(DataFile::kReview, {});
  const ui::ThreadId id = Open(Probe(ReportPlanOf(ReportId::kReviewTable), &response_));
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_TRUE(backend_.messages.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

// Select-then-print: the lookup opened for a report runs it on its own
// thread after the pick, and closes when the report returns.
struct LookupCase {
  ui::Proc (*browse)();
  const char* locate;  // typed into the locator
  const char* title;   // of the report that follows
};

class SelectThenPrintTest : public ReportsTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(SelectThenPrintTest, ThePickRunsTheReportOnTheLookupsThread) {
  ReportAfterSelect.value = 100;
  const ui::ThreadId id = Open(GetParam().browse());
  ASSERT_EQ(Top(id)->title().rfind("Select ", 0), 0u);
  Top(id)->SetValue(kBrowseLocator, GetParam().locate);
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  const std::string lookup = Top(id)->def().name;
  Post(id, ui::EVENT_Accepted, kBrowseSelect);
  EXPECT_EQ(ReportAfterSelect.value, 0);
  ASSERT_TRUE(UntilPreview(id)) << "the report's preview, on the lookup's thread";
  EXPECT_NE(WindowNamed(lookup), nullptr) << "the lookup stays open behind the report";
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(std::get<report::TextRun>(pages[0].items[0]).text, GetParam().title);
  Leave(id);
  EXPECT_FALSE(scheduler_.Alive(id)) << "the lookup closes once the report has returned";
}

INSTANTIATE_TEST_SUITE_P(
    FourLookups, SelectThenPrintTest,
    ::testing::Values(LookupCase{BrowseSupplier, "Tall", "FEATURES by Supplier Tallowmere Data"},
                      LookupCase{BrowseReview, "First", "FEATURES by Review First Look"},
                      LookupCase{BrowseCategory, "Print", "FEATURES by Category Printers"},
                      LookupCase{BrowseISSUES, "12", "FEATURES by Issue 12"}));

TEST_F(ReportsTest, ALookupClosedWithoutAPickRunsNoReport) {
  ReportAfterSelect.value = 100;
  const ui::ThreadId id = Open(BrowseSupplier());
  Post(id, ui::EVENT_Accepted, kBrowseClose);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(WindowNamed("PRINTFEA:FEATSUPP$PROGRESSWINDOW"), nullptr);
  for (const std::string& name : backend_.opened)
    EXPECT_EQ(name.find("PROGRESSWINDOW"), std::string::npos);
}

// The frame's Reports menu: each table listing on a thread of its own, with
// its stack; Features, By Supplier through the supplier lookup.
struct MenuCase {
  int item;
  const char* procedure;
  int stack;
};

class ReportsMenuTest : public ReportsTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(ReportsMenuTest, TheItemRunsItsListingOnANewThread) {
  const ui::ThreadId frame = Open(Main());
  Post(frame, ui::EVENT_Accepted, GetParam().item);
  ui::Window* progress = WindowNamed(std::string(GetParam().procedure) + "$PROGRESSWINDOW");
  ASSERT_NE(progress, nullptr);
  const ui::ThreadId id = progress->owner();
  EXPECT_NE(id, frame);
  EXPECT_EQ(scheduler_.StackSize(id), GetParam().stack);
  ASSERT_TRUE(UntilPreview(id));
  EXPECT_FALSE(PageFiles().empty());
  Leave(id);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_TRUE(scheduler_.Alive(frame));
  for (const auto& m : backend_.messages) ADD_FAILURE() << m.request.text;
}

INSTANTIATE_TEST_SUITE_P(
    FourListings, ReportsMenuTest,
    ::testing::Values(MenuCase{kMenuReportIssue, "PRINTISS:ISSUE", 50000},
                      MenuCase{kMenuReportCategory, "PRINTCAT:CATEGORY", 25000},
                      MenuCase{kMenuReportReview, "PRINTREV:REVIEW", 25000},
                      MenuCase{kMenuReportSupplier, "PRINTSUP:SUPPLIER", 25000}));

TEST_F(ReportsTest, FeaturesBySupplierFromTheMenuPicksThenPrints) {
  const ui::ThreadId frame = Open(Main());
  Post(frame, ui::EVENT_Accepted, kMenuBySupplier);
  ui::Window* lookup = WindowNamed("BROWSESUPPLIER$QUICKWINDOW");
  ASSERT_NE(lookup, nullptr);
  const ui::ThreadId id = lookup->owner();
  EXPECT_EQ(lookup->title(), "Select Supplier");
  Post(id, ui::EVENT_Accepted, kBrowseSelect);  // the first: the long name
  ASSERT_TRUE(UntilPreview(id));
  EXPECT_EQ(GLO::supplier.value, 1);
  Leave(id, kPreviewMenuPrint);
  ASSERT_EQ(backend_.print_jobs.size(), 1u);
  EXPECT_EQ(backend_.print_jobs[0].job, "FEATURES by Supplier");
  EXPECT_FALSE(scheduler_.Alive(id));
}

}  // namespace
}  // namespace mirabo::app
