#include "app/browse/browse.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/reports/report_runner.h"
#include "app/shell/frame.h"
#include "app/shell/procedures.h"
#include "app/startup.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "tests/testing/data_files.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/procedure_test.h"
#include "tests/testing/temp_dir.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using testing::WriteTable;

std::string Two(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

class BrowseTest : public testing::ProcedureTest {
 protected:
  void SetUp() override {
    std::vector<std::vector<std::string>> suppliers;
    for (int i = 1; i <= 40; ++i) suppliers.push_back({"Supplier " + Two(i), std::to_string(i)});
    WriteTable(DataFile::kSupplier, suppliers);
    WriteTable(DataFile::kReview, {{"Group Test", "1"}, {"First Look", "2"}});
    WriteTable(DataFile::kCategory, {{"Modems", "1"}, {"Printers", "2"}});
    WriteTable(DataFile::kIssues,
               {{"1", "January 1991", ""}, {"2", "February 1991", ""}, {"3", "March 1991", ""}});
    std::vector<std::vector<std::string>> features;
    for (int i = 0; i < 60; ++i) {
      // Supplier 30 has one feature, supplier 7 many; supplier 40 none.
      const int supplier = i == 0 ? 30 : (i % 3 == 0 ? 7 : 1 + i % 20);
      features.push_back({"Product " + Two(i), std::to_string(1 + i % 2), std::to_string(1 + i % 3),
                          std::to_string(supplier), "S", std::to_string(1 + i % 2), "1.0", ""});
    }
    WriteTable(DataFile::kFeatures, features);
  }

  const ui::Control& ListOf(ui::ThreadId id) { return *Win(id).Find(kBrowseList); }
  ThreadBlock& Block(ui::ThreadId id) {
    return *static_cast<ThreadBlock*>(scheduler_.ThreadData(id));
  }
  int64_t Reads(ui::ThreadId id, DataFile f) { return Block(id).Data(f).reads(); }
  using ProcedureTest::Post;
  // Events of the list box.
  void Post(ui::ThreadId id, int code) { ProcedureTest::Post(id, code, kBrowseList); }
  std::string Cell(ui::ThreadId id, int row, int column = 0) {
    return std::string(Clip(ListOf(id).rows.at(row - 1).at(column)));
  }
  std::string Highlighted(ui::ThreadId id) { return Cell(id, ListOf(id).selected); }
};

TEST_F(BrowseTest, TheFirstPageHoldsTheVisibleRowsInKeyOrder) {
  const ui::ThreadId id = Open(BrowseSupplier());
  ASSERT_EQ(Win(id).title(), "Browse the SUPPLIER Table");
  EXPECT_EQ(ListOf(id).visible_rows, 18);
  ASSERT_EQ(ListOf(id).rows.size(), 18u);
  EXPECT_EQ(Cell(id, 1), "Supplier 01");
  EXPECT_EQ(ListOf(id).selected, 1);
  EXPECT_TRUE(ListOf(id).scrollbar) << "a full page shows the thumb";
  EXPECT_TRUE(Win(id).Find(kBrowseSelect)->hidden) << "browse mode hides Select";
  EXPECT_FALSE(Win(id).Find(kBrowsePublish)->hidden);
}

TEST_F(BrowseTest, ScrollingInsideThePageReadsNothingAndPastItsEdgeReadsOneRecord) {
  const ui::ThreadId id = Open(BrowseSupplier());
  int64_t before = Reads(id, DataFile::kSupplier);
  for (int i = 0; i < 17; ++i) Post(id, ui::EVENT_ScrollDown);
  EXPECT_EQ(Reads(id, DataFile::kSupplier) - before, 0) << "within the page";
  EXPECT_EQ(ListOf(id).selected, 18);
  // Reading past the edge: one new record, the first row dropped, the
  // highlight still on the last row.  Re-reading the highlighted record for
  // the new selection is not a page read.
  Post(id, ui::EVENT_ScrollDown);
  EXPECT_EQ(Cell(id, 1), "Supplier 02");
  EXPECT_EQ(Highlighted(id), "Supplier 19");
  EXPECT_EQ(ListOf(id).selected, 18);
  before = Reads(id, DataFile::kSupplier);
  Post(id, ui::EVENT_ScrollDown);
  EXPECT_EQ(Reads(id, DataFile::kSupplier) - before, 1);
  EXPECT_EQ(Highlighted(id), "Supplier 20");
  // And back up past the top edge.
  for (int i = 0; i < 17; ++i) Post(id, ui::EVENT_ScrollUp);
  before = Reads(id, DataFile::kSupplier);
  Post(id, ui::EVENT_ScrollUp);
  EXPECT_EQ(Reads(id, DataFile::kSupplier) - before, 1);
  EXPECT_EQ(Highlighted(id), "Supplier 02");
}

// A re-positioning the driver refuses is a failed read (message 35, the
// window closes), never a page read on from wherever the file was.
TEST_F(BrowseTest, ARefusedRepositioningIsAReadFailureNotAPageFromTheOldPlace) {
  testing::ScopedFaultyDriver faulty("KARVINEX");
  using Op = testing::ScopedFaultyDriver::Op;
  for (const Op op : {Op::kResetPast, Op::kResetTo}) {
    backend_.messages.clear();
    const ui::ThreadId id = Open(BrowseSupplier());
    for (int i = 0; i < 17; ++i) Post(id, ui::EVENT_ScrollDown);
    faulty.Fail(op, 1, kRecordNotFound);
    // Past the page's edge (the filler re-positions past the last row), or
    // a refresh of the page kept (it re-positions at its first row).
    if (op == Op::kResetPast) {
      Post(id, ui::EVENT_ScrollDown);
    } else {
      ProcedureTest::Post(id, ui::EVENT_Sized, 0);
    }
    ASSERT_EQ(backend_.messages.size(), 1u) << static_cast<int>(op);
    EXPECT_EQ(backend_.messages[0].request.caption, "Record Retrieval Error");
    EXPECT_NE(backend_.messages[0].request.text.find("Record Not Found (35)"), std::string::npos)
        << backend_.messages[0].request.text;
    EXPECT_FALSE(scheduler_.Alive(id)) << "the window closes";
  }
}

TEST_F(BrowseTest, PagingTopAndBottom) {
  const ui::ThreadId id = Open(BrowseSupplier());
  Post(id, ui::EVENT_PageDown);
  EXPECT_EQ(Cell(id, 1), "Supplier 19");
  EXPECT_EQ(ListOf(id).selected, 1) << "a whole page read keeps the highlight's place";
  Post(id, ui::EVENT_PageDown);
  // Only 4 rows were left: the page ends at the last record, the highlight
  // moves down by the rows that were missing.
  EXPECT_EQ(Cell(id, 18), "Supplier 40");
  EXPECT_EQ(Highlighted(id), "Supplier 37");
  Post(id, ui::EVENT_ScrollTop);
  EXPECT_EQ(Highlighted(id), "Supplier 01");
  Post(id, ui::EVENT_ScrollBottom);
  EXPECT_EQ(Highlighted(id), "Supplier 40");
  EXPECT_EQ(ListOf(id).selected, 18);
}

TEST_F(BrowseTest, TheLocatorFindsAPrefixOrTheLastPage) {
  const ui::ThreadId id = Open(BrowseSupplier());
  Win(id).SetValue(kBrowseLocator, "Supplier 2");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  EXPECT_EQ(Highlighted(id), "Supplier 20");
  // Near the end the page is completed backwards: the record is not at the top.
  Win(id).SetValue(kBrowseLocator, "Supplier 39");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  EXPECT_EQ(Highlighted(id), "Supplier 39");
  EXPECT_EQ(ListOf(id).selected, 17);
  EXPECT_EQ(Cell(id, 18), "Supplier 40");
  // Past the last key: the last page with its last row highlighted.
  Win(id).SetValue(kBrowseLocator, "ZZZ");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  EXPECT_EQ(Highlighted(id), "Supplier 40");
  EXPECT_EQ(ListOf(id).selected, 18);
  // A blank locator does not move.
  Win(id).SetValue(kBrowseLocator, "");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  EXPECT_EQ(Highlighted(id), "Supplier 40");
  // Typing on the list feeds the locator.
  Post(id, ui::EVENT_AlertKey, kBrowseList, ui::kCharKeyBase + 'S');
  EXPECT_EQ(Win(id).Value(kBrowseLocator), "S");
  EXPECT_EQ(Win(id).focus(), kBrowseLocator);
}

TEST_F(BrowseTest, ThumbDragsGoToTheEndsOrTheStop) {
  // Stops count in letters only (alphabet flags 9): names that differ in
  // their letters spread over the thumb.
  std::vector<std::vector<std::string>> names;
  for (int i = 0; i < 40; ++i) {
    names.push_back({std::string(1, static_cast<char>('A' + i % 20)) + "xx" +
                         std::string(1, static_cast<char>('a' + i / 20)),
                     std::to_string(i + 1)});
  }
  WriteTable(DataFile::kSupplier, names);
  const ui::ThreadId id = Open(BrowseSupplier());
  EXPECT_EQ(Highlighted(id), "Axxa");
  Win(id).SetThumb(kBrowseList, 100);
  Post(id, ui::EVENT_ScrollDrag);
  EXPECT_EQ(Highlighted(id), "Txxb");
  Win(id).SetThumb(kBrowseList, 1);
  Post(id, ui::EVENT_ScrollDrag);
  EXPECT_EQ(Highlighted(id), "Axxa");
  Win(id).SetThumb(kBrowseList, 50);
  Post(id, ui::EVENT_ScrollDrag);
  const std::string middle = Highlighted(id);
  EXPECT_GT(middle, "Gxxa");
  EXPECT_LT(middle, "Oxxb");
  EXPECT_GT(ListOf(id).thumb, 30) << "the thumb follows the highlighted key";
  EXPECT_LT(ListOf(id).thumb, 70);
}

TEST_F(BrowseTest, FewerRowsThanThePage) {
  const ui::ThreadId id = Open(BrowseISSUES());
  EXPECT_EQ(ListOf(id).rows.size(), 3u);
  EXPECT_FALSE(ListOf(id).scrollbar);
  EXPECT_EQ(Cell(id, 1, 1), "January 1991");
  EXPECT_EQ(ListOf(id).rows[0][0], "         1") << "issue numbers through n10";
  Post(id, ui::EVENT_PageDown);
  EXPECT_EQ(ListOf(id).selected, 3) << "PageDown moves the highlight to the last row";
}

TEST_F(BrowseTest, AnEmptyViewDisablesRowControlsButStillInserts) {
  GLO::supplier.value = 40;  // a supplier without features
  const ui::ThreadId id = Open(BrowseFEATURES());
  Win(id).SetChoice(kBrowseSheet, 2);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  EXPECT_TRUE(ListOf(id).rows.empty());
  EXPECT_TRUE(Win(id).Find(kBrowseChange)->disabled);
  EXPECT_TRUE(Win(id).Find(kBrowseDelete)->disabled);
  Post(id, ui::EVENT_AlertKey, kBrowseList, ui::InsertKey);
  EXPECT_EQ(Block(id).SharedRequest.value, ReqInsert) << "Insert ran its request cycle";
  Post(id, ui::EVENT_ScrollDown);  // ignored on an empty page
  EXPECT_TRUE(ListOf(id).rows.empty());
}

TEST_F(BrowseTest, RangedOrdersShowOneSupplierAndTheProductOrderIgnoresCase) {
  const ui::ThreadId id = Open(BrowseFEATURES());
  EXPECT_EQ(Win(id).title(), "Browse the FEATURES Table");
  EXPECT_EQ(Cell(id, 1), "Product 00");
  EXPECT_EQ(Cell(id, 1, 3), "Supplier 30") << "the supplier's name is joined";
  GLO::supplier.value = 7;
  Win(id).SetChoice(kBrowseSheet, 2);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  ASSERT_FALSE(ListOf(id).rows.empty());
  for (const auto& row : ListOf(id).rows) EXPECT_EQ(Clip(row[3]), "Supplier 07");
  // One key value in the whole range: a drag lands on its first record.
  const std::string first = Cell(id, 1);
  Post(id, ui::EVENT_ScrollDown);
  Win(id).SetThumb(kBrowseList, 50);
  Post(id, ui::EVENT_ScrollDrag);
  EXPECT_EQ(Highlighted(id), first);
  // A supplier with a single feature.
  GLO::supplier.value = 30;
  Post(id, ui::EVENT_GainFocus, 0);
  ASSERT_EQ(ListOf(id).rows.size(), 1u);
  EXPECT_EQ(Cell(id, 1), "Product 00");
}

TEST_F(BrowseTest, PickingASupplierFromTheFeaturesBrowseSetsItsRange) {
  const ui::ThreadId id = Open(BrowseFEATURES());
  Win(id).SetChoice(kBrowseSheet, 2);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  Post(id, ui::EVENT_Accepted, kBrowseSelectSupplier);
  ui::Window& lookup = Win(id);
  ASSERT_EQ(lookup.def().name, "BROWSESUPPLIER$QUICKWINDOW") << "called on the same thread";
  EXPECT_EQ(lookup.title(), "Select Supplier");
  EXPECT_TRUE(lookup.Find(kBrowsePublish)->hidden);
  EXPECT_FALSE(lookup.Find(kBrowseSelect)->hidden);
  // Choose Supplier 05 and press Select.
  lookup.SetValue(kBrowseLocator, "Supplier 05");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  Post(id, ui::EVENT_Accepted, kBrowseSelect);
  EXPECT_EQ(GLO::supplier.value, 5);
  ASSERT_EQ(Win(id).def().name, "BROWSEFEATURES$QUICKWINDOW");
  ASSERT_FALSE(ListOf(id).rows.empty());
  for (const auto& row : ListOf(id).rows) EXPECT_EQ(Clip(row[3]), "Supplier 05");

  // Cancelling keeps the range.
  Post(id, ui::EVENT_Accepted, kBrowseSelectSupplier);
  Post(id, ui::EVENT_Accepted, kBrowseClose);
  EXPECT_EQ(GLO::supplier.value, 5);
}

TEST_F(BrowseTest, TheIssueOrderTakesTheIssuePickedInItsLookup) {
  const ui::ThreadId id = Open(BrowseFEATURES());
  Win(id).SetChoice(kBrowseSheet, 5);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  Post(id, ui::EVENT_Accepted, kBrowseSelectIssue);
  ASSERT_EQ(Win(id).title(), "Select Issue");
  Win(id).SetValue(kBrowseLocator, "2");
  Post(id, ui::EVENT_Accepted, kBrowseLocator);
  Post(id, ui::EVENT_Accepted, kBrowseClose);  // even Close leaves the issue in the buffer
  ASSERT_EQ(Win(id).def().name, "BROWSEFEATURES$QUICKWINDOW");
  ASSERT_FALSE(ListOf(id).rows.empty());
  for (const auto& row : ListOf(id).rows) EXPECT_EQ(Clip(row[2]), "         2");
  EXPECT_EQ(GLO::Issue.value, 0) << "an ordinary pick sets no global";
}

TEST_F(BrowseTest, ASelectionForAReportClearsTheFlagAndRunsTheReport) {
  ReportAfterSelect.value = 100;
  const ui::ThreadId id = Open(BrowseReview());
  EXPECT_EQ(Win(id).title(), "Select Review");
  Post(id, ui::EVENT_ScrollDown);
  Post(id, ui::EVENT_AlertKey, kBrowseList, ui::MouseLeft2);  // a double click presses Select
  EXPECT_EQ(GLO::review.value, 1) << "Group Test, the second in name order";
  EXPECT_EQ(ReportAfterSelect.value, 0);
  ASSERT_TRUE(scheduler_.Alive(id));
  EXPECT_EQ(Win(id).def().name, "PRINTFEA:FEATREV$PROGRESSWINDOW")
      << "the report runs on the lookup's thread";
  Post(id, ui::EVENT_Accepted, kProgressCancel);
  EXPECT_FALSE(scheduler_.Alive(id)) << "the lookup closes once the report has returned";
}

TEST_F(BrowseTest, APlainLookupLeavesAnotherThreadsReportSelectionAlone) {
  const ui::ThreadId plain = Open(BrowseCategory());  // opened by the user
  ReportAfterSelect.value = 100;                      // then the frame's report pick
  const ui::ThreadId picker = Open(BrowseSupplier());
  EXPECT_EQ(Win(picker).title(), "Select Supplier");
  Post(plain, ui::EVENT_Accepted, kBrowseClose);
  EXPECT_EQ(ReportAfterSelect.value, 100) << "closing the other browse does not cancel the pick";
  Post(picker, ui::EVENT_Accepted, kBrowseSelect);
  EXPECT_EQ(ReportAfterSelect.value, 0);
  EXPECT_EQ(Win(picker).def().name, "PRINTFEA:FEATSUPP$PROGRESSWINDOW");
  Post(picker, ui::EVENT_Accepted, kProgressCancel);
}

TEST_F(BrowseTest, AListMadeSmallerKeepsThePageWithinIt) {
  const ui::ThreadId id = Open(BrowseSupplier());
  for (int i = 0; i < 10; ++i) Post(id, ui::EVENT_ScrollDown);
  EXPECT_EQ(Highlighted(id), "Supplier 11");
  // The list shrinks; a scroll arrives before the size event does.
  Win(id).SetVisibleRows(kBrowseList, 5);
  Post(id, ui::EVENT_ScrollDown);
  EXPECT_LE(ListOf(id).rows.size(), 5u);
  EXPECT_EQ(Highlighted(id), "Supplier 12");
  Post(id, ui::EVENT_Sized, 0);
  EXPECT_EQ(ListOf(id).rows.size(), 5u);
  EXPECT_EQ(Highlighted(id), "Supplier 12");
}

TEST_F(BrowseTest, TheContextMenuOffersSelectOnlyInSelectMode) {
  const ui::ThreadId id = Open(BrowseCategory());
  Post(id, ui::EVENT_NewSelection, kBrowseList, ui::MouseRight);
  ASSERT_EQ(backend_.popups.size(), 1u);
  EXPECT_EQ(backend_.popups[0], "~&Select");
  ReportAfterSelect.value = 100;
  const ui::ThreadId picker = Open(BrowseCategory());
  backend_.popup_answers = {1};
  Post(picker, ui::EVENT_NewSelection, kBrowseList, ui::MouseRight);
  EXPECT_EQ(backend_.popups[1], "&Select");
  EXPECT_EQ(GLO::category.value, 1) << "choosing it acts as Select";
  EXPECT_EQ(Win(picker).def().name, "PRINTFEA:FEATCAT$PROGRESSWINDOW");
  Post(picker, ui::EVENT_Accepted, kProgressCancel);
  EXPECT_FALSE(scheduler_.Alive(picker));
}

TEST_F(BrowseTest, ToolbarButtonsDriveTheBrowse) {
  const ui::ThreadId id = Open(BrowseSupplier());
  Post(id, ui::EVENT_Accepted, kToolPageDown, 0);
  EXPECT_EQ(Cell(id, 1), "Supplier 19");
  Post(id, ui::EVENT_Accepted, kToolBottom, 0);
  EXPECT_EQ(Highlighted(id), "Supplier 40");
  Post(id, ui::EVENT_Accepted, kToolTop, 0);
  Post(id, ui::EVENT_Accepted, kToolDown, 0);
  EXPECT_EQ(Highlighted(id), "Supplier 02");
}

TEST_F(BrowseTest, RegainingFocusRebuildsThePageWithItsRowsInPlace) {
  const ui::ThreadId id = Open(BrowseSupplier());
  Post(id, ui::EVENT_PageDown);
  for (int i = 0; i < 5; ++i) Post(id, ui::EVENT_ScrollDown);
  EXPECT_EQ(Highlighted(id), "Supplier 24");
  const std::vector<std::vector<std::string>> before = ListOf(id).rows;
  // A click on row 9 of the inactive window: the window gains the focus,
  // then the click's own selection arrives.
  Win(id).SetSelected(kBrowseList, 9);
  const int64_t reads = Reads(id, DataFile::kSupplier);
  Post(id, ui::EVENT_GainFocus, 0);
  EXPECT_GT(Reads(id, DataFile::kSupplier), reads) << "the page was read again";
  EXPECT_EQ(ListOf(id).rows, before) << "every row stays where it was on screen";
  EXPECT_EQ(ListOf(id).selected, 9);
  Post(id, ui::EVENT_NewSelection, kBrowseList);
  EXPECT_EQ(Highlighted(id), "Supplier 27");
  // A record that another user added appears in its place.
  {
    File other(DataFileDecl(DataFile::kSupplier));
    ASSERT_EQ(other.Open(kReadWrite | kDenyNone), kNoError);
    other.Field(SUP::SUPPLIER).SetString("Supplier 20a");
    other.Field(SUP::REFERENCE).SetNumber(41);
    ASSERT_EQ(other.Add(), kNoError);
  }
  Post(id, ui::EVENT_GainFocus, 0);
  EXPECT_EQ(Cell(id, 1), "Supplier 19");
  EXPECT_EQ(Cell(id, 3), "Supplier 20a");
  EXPECT_EQ(Highlighted(id), "Supplier 27");
  EXPECT_EQ(ListOf(id).selected, 10);
}

TEST_F(BrowseTest, CloseReturnsCancelledAndSavesThePosition) {
  const ui::ThreadId id = Open(BrowseSupplier());
  Post(id, ui::EVENT_Accepted, kBrowseClose);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(CurrentThread().SharedResponse.value, 0) << "the response stays on the browse's thread";
}

}  // namespace
}  // namespace mirabo::app
