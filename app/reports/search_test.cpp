#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/globals.h"
#include "app/data/profile.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "app/reports/search_features.h"
#include "app/reports/search_report.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "tests/testing/data_files.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/golden.h"
#include "tests/testing/report_run.h"

namespace mirabo::app {
namespace {

using testing::WriteTable;

// Where the search layout prints each record's product and issue number:
// the detail area's left edge and top, the field's place in its band.
constexpr int kDetailX = 479, kDetailTop = 1750, kBand = 469;

// The texts printed at (x, y) of every detail band of the page.
std::vector<std::string> InEachBand(const report::PageImage& page, int x, int y) {
  std::vector<std::string> out;
  for (const report::PageItem& item : page.items) {
    const auto* run = std::get_if<report::TextRun>(&item);
    if (run && run->box.x == kDetailX + x && run->box.y >= kDetailTop &&
        (run->box.y - kDetailTop) % kBand == y) {
      out.push_back(run->text);
    }
  }
  return out;
}
std::vector<std::string> Products(const report::PageImage& page) {
  return InEachBand(page, 52, 52);
}

class SearchTest : public testing::ReportRunTest {
 protected:
  void SetUp() override {
    WriteTable(DataFile::kSupplier, {{"Disk Doctors", "1"}, {"Brennock Systems", "2"}});
    WriteTable(DataFile::kReview, {{"Group Test", "1"}, {"First Look", "2"}});
    WriteTable(DataFile::kCategory, {{"Hard Disks", "1"},
                                     {"\xC9"
                                      "crans",
                                      "2"}});
    WriteTable(DataFile::kIssues, {{"12", "May 1996", ""}});
    // PRODUCT, REVIEW, ISSUE, SUPPLIER, HS, CATEGORY, V, COMMENTS; stored
    // out of issue order, so the report's order is its own.
    WriteTable(DataFile::kFeatures,
               {{"DISKETTE BOX", "2", "14", "2", "H", "2", "", ""},
                {"Hard Disk Controller", "1", "12", "1", "H", "1", "1.0", ""},
                {"Hard disk", "9", "15", "9", "H", "1", "2.0", "no such supplier or review"},
                {"Diskette", "1", "16", "2", "S", "9", "", "no such category"},
                {"\xE9"
                 "cran plat",
                 "2", "1234", "2", "H", "2", "3", ""},
                {"Tape Streamer", "2", "13", "1", "H", "2", "", ""}});
  }

  // Runs a search with `criteria` on a thread of its own until its preview
  // (or its end) and returns the products it printed, in page order.
  std::vector<std::string> Found(const SearchCriteria& criteria) {
    const ReportPlan plan = SearchReportPlan(criteria);
    response_ = -1;
    const ui::ThreadId id = Open(Probe(plan, &response_));
    std::vector<std::string> products;
    if (UntilPreview(id)) {
      for (const report::PageImage& p : PageFiles()) {
        for (std::string& s : Products(p)) products.push_back(s);
      }
      Leave(id);
    }
    return products;
  }
  static SearchCriteria In(std::string text, bool product, bool review = false,
                           bool category = false, bool supplier = false) {
    return {std::move(text), product, review, category, supplier};
  }

  // The search window on a thread of its own, opened.
  ui::ThreadId OpenWindow() {
    const ui::ThreadId id = Open(SearchFeatures());
    EXPECT_EQ(Win(id).def().name, "SEARCHFEATURES$WINDOW");
    return id;
  }
  void Type(ui::ThreadId id, const std::string& text) {
    Win(id).EnterValue(kSearchText, text);
    scheduler_.RunReady();
  }

  int32_t response_ = -1;
};

TEST_F(SearchTest, TheFirstPageIsTheGoldenDisplayList) {
  // Every field printed, the issue number with two decimals, centred.
  const ReportPlan plan = SearchReportPlan(In("disk", true));
  const ui::ThreadId id = Open(Probe(plan, &response_));
  ASSERT_TRUE(UntilPreview(id));
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  testing::ExpectGolden(std::string(MIRABO_APP_TESTDATA) + "/search.txt",
                        report::DescribePageImage(pages[0]));
  EXPECT_EQ(InEachBand(pages[0], 5990, 260),
            (std::vector<std::string>{"12.00", "14.00", "15.00", "16.00"}));
  Leave(id);
  EXPECT_EQ(response_, RespCompleted);
}

struct MatchCase {
  const char* what;
  SearchCriteria criteria;
  std::vector<std::string> found;  // in issue order
};

TEST_F(SearchTest, FindsTheTextInTheChosenFieldsWhateverItsCase) {
  const std::vector<MatchCase> cases = {
      {"either side's case does not matter",
       In("disk", true),
       {"Hard Disk Controller", "DISKETTE BOX", "Hard disk", "Diskette"}},
      {"a trailing blank changes nothing",
       In("disk ", true),
       {"Hard Disk Controller", "DISKETTE BOX", "Hard disk", "Diskette"}},
      {"a leading blank is part of the text",
       In(" disk", true),
       {"Hard Disk Controller", "Hard disk"}},
      {"Windows-1252 letters are upper-cased too",
       In("\xC9"
          "CRAN",
          true),
       {"\xE9"
        "cran plat"}},
      {"the supplier's name; a feature without a supplier row is never found",
       In("doctors", false, false, false, true),
       {"Hard Disk Controller", "Tape Streamer"}},
      {"the review kind's name",
       In("LOOK", false, true),
       {"Tape Streamer", "DISKETTE BOX",
        "\xE9"
        "cran plat"}},
      {"the category's name; a missing category matches nothing",
       In("disks", false, false, true),
       {"Hard Disk Controller", "Hard disk"}},
      {"any chosen field", In("tape", true, false, false, true), {"Tape Streamer"}},
      {"a field not chosen is not looked at", In("doctors", true, true, true), {}},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(Found(c.criteria), c.found) << c.what;
  }
}

TEST_F(SearchTest, NothingFoundShowsNothing) {
  EXPECT_TRUE(Found(In("zeppelin", true, true, true, true)).empty());
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_TRUE(backend_.messages.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SearchTest, TheTitleCarriesTheTextWholeCutToFifty) {
  const std::string thirty = "Hard Disk Controller 123456789";
  ASSERT_EQ(thirty.size(), 30u);
  WriteTable(DataFile::kFeatures,
             {{"Hard Disk Controller 12345678X", "1", "1", "1", "", "1", "", ""},
              {"Hard Disk Controller 1234567890", "1", "2", "1", "", "1", "", ""}});
  SearchText.Assign(thirty + "ignored");
  SearchInProduct.value = 1;
  const ReportPlan plan = SearchReportPlan(CurrentSearchCriteria());
  const ui::ThreadId id = Open(Probe(plan, &response_));
  ASSERT_TRUE(UntilPreview(id));
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  const std::string title = std::get<report::TextRun>(pages[0].items[0]).text;
  EXPECT_EQ(title, std::string("Search Features by String.. ") + thirty.substr(0, 22));
  EXPECT_EQ(Products(pages[0]), std::vector<std::string>{"Hard Disk Controller 1234567890"})
      << "the text is used whole, all 30 characters";
  Leave(id);
}

TEST_F(SearchTest, ARunKeepsTheCriteriaItStartedWith) {
  // Enough features for several batches, and the globals changed between
  // them, as a second search window would.
  std::vector<std::vector<std::string>> features;
  for (int i = 0; i < 300; ++i) {
    features.push_back({i % 2 ? "Modem " + std::to_string(i) : "Printer " + std::to_string(i), "1",
                        std::to_string(i + 1), "1", "H", "1", "", ""});
  }
  WriteTable(DataFile::kFeatures, features);
  SearchText.Assign("modem");
  SearchInProduct.value = 1;
  ExactBatches();
  const ui::ThreadId id = Open(SEARCHRUN());
  scheduler_.Advance(10);
  SearchText.Assign("printer");
  SearchInProduct.value = 0;
  SearchInSupplier.value = 1;
  ASSERT_TRUE(UntilPreview(id));
  size_t printed = 0;
  for (const report::PageImage& p : PageFiles()) {
    for (const std::string& s : Products(p)) {
      EXPECT_EQ(s.rfind("Modem ", 0), 0u) << s;
      ++printed;
    }
  }
  EXPECT_EQ(printed, 150u);
  Leave(id);
}

TEST_F(SearchTest, AReadFailureShowsMessage35ThenWhatWasFound) {
  using Op = testing::ScopedFaultyDriver::Op;
  struct Way {
    const char* how;
    bool indexed;
    Op fails;
    int nth;
    std::vector<std::string> found;
  };
  const Way ways[] = {
      // Every feature in issue order: the fourth (issue 14) fails.
      {"reading every feature", false, Op::kNext, 4, {"Hard Disk Controller", "DISKETTE BOX"}},
      // The index names four products, each read for its issue; the third
      // read of the run fails.
      {"reading what the index names", true, Op::kGetByRecord, 7,
       {"Hard Disk Controller", "DISKETTE BOX"}},
      {"asking the index", true, Op::kFindText, 1, {}},
      {"ordering what the index names", true, Op::kGetByRecord, 2, {}},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.how);
    backend_.messages.clear();
    testing::ScopedFaultyDriver faulty("KARVINEX");
    if (!way.indexed) faulty.Fail(Op::kFindText, 1, kUnsupportedFunction);
    faulty.Fail(way.fails, way.nth, kAccessDenied);
    EXPECT_EQ(Found(In("disk", true)), way.found) << "the matches read before the failure";
    ASSERT_EQ(backend_.messages.size(), 1u);
    EXPECT_EQ(backend_.messages[0].request.text,
              "Error: (Access Denied (5)) attempting to access a record from the FEATURES file.  "
              "Returning to previous window.");
  }
}

TEST_F(SearchTest, TheWindowOpensWithProductChosenAndAnEmptyText) {
  const ui::ThreadId id = OpenWindow();
  ui::Window& w = Win(id);
  EXPECT_EQ(w.def().title, "Search Features Database");
  EXPECT_EQ(w.Value(kSearchProduct), "Yes");
  EXPECT_EQ(w.Value(kSearchReview), "No");
  EXPECT_EQ(w.Value(kSearchCategory), "No");
  EXPECT_EQ(w.Value(kSearchSupplier), "No");
  EXPECT_EQ(w.Value(kSearchText), "");
  EXPECT_EQ(w.focus(), kSearchProductYes);
  EXPECT_EQ(w.Find(kSearchText)->def->picture, "s30");
}

TEST_F(SearchTest, EachRefusalLeavesTheWindowAndItsInputAsTheyWere) {
  const ui::ThreadId id = OpenWindow();
  struct Refusal {
    const char* what;
    std::vector<std::string> choices;  // product, review, category, supplier
    std::string text;
    const char* message;
  };
  const std::vector<Refusal> refusals = {
      {"at once: product is chosen, no text",
       {"Yes", "No", "No", "No"},
       "",
       "Search String must be entered"},
      {"a text of blanks is empty",
       {"No", "Yes", "No", "No"},
       "    ",
       "Search String must be entered"},
      {"no field, even with a text",
       {"No", "No", "No", "No"},
       "disk",
       "At least one Field must be selected for Search"},
  };
  const int groups[] = {kSearchProduct, kSearchReview, kSearchCategory, kSearchSupplier};
  for (const Refusal& r : refusals) {
    backend_.messages.clear();
    ui::Window& w = Win(id);
    for (int i = 0; i < 4; ++i) w.SetValue(groups[i], r.choices[i]);
    w.SetValue(kSearchText, r.text);
    Post(id, ui::EVENT_Accepted, kSearchStart);
    ASSERT_EQ(backend_.messages.size(), 1u) << r.what;
    const ui::MessageRequest& m = backend_.messages[0].request;
    EXPECT_EQ(m.text, r.message) << r.what;
    EXPECT_EQ(m.caption, "") << r.what;
    EXPECT_EQ(m.icon, ui::Icon::kInformation) << r.what;
    EXPECT_EQ(m.buttons, ui::kButtonOk) << r.what;
    EXPECT_EQ(&Win(id), &w) << r.what << ": no search ran";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(w.Value(groups[i]), r.choices[i]) << r.what;
    EXPECT_EQ(w.Value(kSearchText), r.text) << r.what;
  }
}

TEST_F(SearchTest, StartSearchRunsOnTheWindowsThreadAndTheWindowStaysForTheNext) {
  const ui::ThreadId id = OpenWindow();
  ui::Window& w = Win(id);
  Type(id, " disk");
  w.SetValue(kSearchSupplier, "Yes");
  Post(id, ui::EVENT_Accepted, kSearchStart);
  EXPECT_EQ(SearchText.value, Fit(" disk", 30));
  EXPECT_EQ(SearchInProduct.value, 1);
  EXPECT_EQ(SearchInReview.value, 0);
  EXPECT_EQ(SearchInCategory.value, 0);
  EXPECT_EQ(SearchInSupplier.value, 1);
  EXPECT_NE(&Win(id), &w) << "the progress window of the search, on the same thread";
  EXPECT_TRUE(w.Find(kSearchStart)->disabled) << "the window rests while its search runs";

  ASSERT_TRUE(UntilPreview(id));
  Leave(id);
  ASSERT_EQ(&Win(id), &w);
  EXPECT_FALSE(w.Find(kSearchStart)->disabled);
  EXPECT_EQ(w.Value(kSearchText), " disk") << "the choices stay for the next search";
  EXPECT_EQ(w.Value(kSearchSupplier), "Yes");

  // A search that finds nothing shows nothing; the window is there again.
  backend_.opened.clear();
  Type(id, "zeppelin");
  Post(id, ui::EVENT_Accepted, kSearchStart);
  for (int i = 0; i < 50 && &Win(id) != &w; ++i) scheduler_.Advance(10);
  EXPECT_EQ(&Win(id), &w);
  EXPECT_FALSE(w.Find(kSearchStart)->disabled);
  EXPECT_EQ(std::count(backend_.opened.begin(), backend_.opened.end(), PreviewWindowDef().name), 0);
  EXPECT_TRUE(backend_.messages.empty());

  Post(id, ui::EVENT_Accepted, kSearchClose);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(GetProfileString("SearchFeatures", "Maximize", kPositionProfile), "No")
      << "the position is kept in its own section";
}

TEST_F(SearchTest, TheWindowComesBackWhereItWas) {
  ASSERT_TRUE(WriteProfileString("SearchFeatures", "XPosit", "40", kPositionProfile));
  ASSERT_TRUE(WriteProfileString("SearchFeatures", "YPosit", "25", kPositionProfile));
  const ui::ThreadId id = OpenWindow();
  EXPECT_EQ(Win(id).geometry().x, 40);
  EXPECT_EQ(Win(id).geometry().y, 25);
}

}  // namespace
}  // namespace mirabo::app
