#include "app/reports/report_runner.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/thread_block.h"
#include "app/reports/reports.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "tests/testing/data_files.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/report_run.h"

namespace mirabo::app {
namespace {

using testing::WriteTable;

// Where the Features by Supplier layout prints each record's product: the
// detail area's left edge and top, and the field's place in the band.
constexpr int kProductX = 490 + 52, kDetailTop = 1740;

class ReportRunnerTest : public testing::ReportRunTest {
 protected:
  void SetUp() override {
    WriteTable(DataFile::kSupplier,
               {{"Brennock Systems", "1"}, {"Quillon Software", "2"}, {"Tallowmere Data", "3"}});
    WriteTable(DataFile::kReview, {{"Group Test", "1"}});
    WriteTable(DataFile::kCategory, {{"Modems", "1"}, {"Printers", "2"}, {"Scanners", "3"}});
    WriteTable(DataFile::kIssues, {{"12", "May 1996", ""}});
    // Supplier 1 has one feature, supplier 2 a thousand, supplier 3 none.
    std::vector<std::vector<std::string>> features = {
        {"Brennock Modem 2880", "1", "12", "1", "H", "1", "1.0", ""}};
    for (int i = 1; i <= 1000; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Quillon Write %04d", i);
      features.push_back({name, "1", "12", "2", "S", "2", "2.1", ""});
    }
    WriteTable(DataFile::kFeatures, features);
  }

  // Runs a report on a thread of its own until it waits.
  ui::ThreadId Run(const ReportPlan& plan) {
    response_ = -1;
    return Open(Probe(plan, &response_));
  }
  ui::ThreadId RunForSupplier(int16_t supplier) {
    GLO::supplier.value = supplier;
    return Run(ReportPlanOf(ReportId::kFeaturesBySupplier));
  }
  size_t ProductsPrinted() {
    size_t n = 0;
    for (const report::PageImage& p : PageFiles()) n += TextsAt(p, kProductX, kDetailTop).size();
    return n;
  }
  bool PreviewOpened() {
    for (const std::string& name : backend_.opened) {
      if (name == PreviewWindowDef().name) return true;
    }
    return false;
  }

  int32_t response_ = -1;
};

TEST_F(ReportRunnerTest, AOneRecordGroupIsReadAtOpeningPrintedAtTheFirstTimerAndPreviewed) {
  const ui::ThreadId id = RunForSupplier(1);
  ASSERT_TRUE(Showing(id, "PRINTFEA:FEATSUPP$PROGRESSWINDOW"));
  EXPECT_EQ(Top(id)->title(), "Generating Report");
  EXPECT_EQ(Top(id)->Text(kProgressPercent), "0% Completed") << "1 of 500 is still 0";
  EXPECT_EQ(Top(id)->Text(kProgressStatus), "");
  EXPECT_EQ(FilesLeft(), 0u) << "nothing is printed before the first timer event";

  scheduler_.Advance(10);
  ASSERT_TRUE(Previewing(id));
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(TextsAt(pages[0], kProductX, kDetailTop),
            std::vector<std::string>{"Brennock Modem 2880"});
  Leave(id);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCompleted) << "completed, though nothing was printed";
  EXPECT_TRUE(backend_.print_jobs.empty());
  EXPECT_EQ(FilesLeft(), 0u) << "the pages are removed after the preview";
}

TEST_F(ReportRunnerTest, AThousandRecordsFillTheBarAtTheFiveHundredthAndAllArePrinted) {
  ExactBatches();  // 1 record at opening, then 25 a timer event
  const ui::ThreadId id = RunForSupplier(2);
  for (int event = 1; event <= 19; ++event) scheduler_.Advance(10);
  EXPECT_EQ(Top(id)->Value(kProgressBar), "95") << "476 of 500";
  scheduler_.Advance(10);
  EXPECT_EQ(Top(id)->Value(kProgressBar), "100") << "the 500th record read";
  EXPECT_EQ(Top(id)->Text(kProgressPercent), "100% Completed");
  ASSERT_TRUE(UntilPreview(id));
  EXPECT_EQ(ProductsPrinted(), 1000u);
  EXPECT_EQ(PageFiles().size(), 67u) << "15 records a page";
  // Every whole percentage once, each shown when it changed; none after 100.
  ASSERT_EQ(percents_.size(), 101u);
  EXPECT_EQ(percents_[1], "  1% Completed");
  EXPECT_EQ(percents_[50], " 50% Completed");
  EXPECT_EQ(percents_.back(), "100% Completed");
  Leave(id);
  EXPECT_EQ(response_, RespCompleted);
}

TEST_F(ReportRunnerTest, ATimerEventTakesMoreRecordsWhileItsWorkIsUnderTheBudget) {
  scheduler_.SetWorkClock([this] { return work_us_ += 1000; });  // a millisecond a look
  const ui::ThreadId id = RunForSupplier(2);
  scheduler_.Advance(10);
  EXPECT_EQ(Top(id)->Value(kProgressBar), "6") << "1 + 32 records: 25, and 7 more within 8 ms";
  scheduler_.SetWorkClock([] { return int64_t{0}; });  // work that takes no time
  scheduler_.Advance(10);
  ASSERT_TRUE(Previewing(id)) << "the rest in one event";
  EXPECT_EQ(ProductsPrinted(), 1000u);
  EXPECT_EQ(percents_.size(), 101u) << "the percentage is still shown per record";
  Leave(id);
}

TEST_F(ReportRunnerTest, AThreeRecordListingShows33Then66Then100) {
  const ui::ThreadId id = Run(ReportPlanOf(ReportId::kCategoryTable));
  EXPECT_EQ(percents_, (std::vector<std::string>{"0% Completed", " 33% Completed"}))
      << "33 is shown once the first record is read, before any timer event";
  ASSERT_TRUE(UntilPreview(id));
  EXPECT_EQ(percents_, (std::vector<std::string>{"0% Completed", " 33% Completed", " 66% Completed",
                                                 "100% Completed"}));
  const std::vector<report::PageImage> pages = PageFiles();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(TextsAt(pages[0], 1000 + 50),
            (std::vector<std::string>{"CATEGORY", "Modems", "Printers", "Scanners"}));
  Leave(id);
}

TEST_F(ReportRunnerTest, CancelInTheFirstBatchDiscardsThePagesAndShowsNoPreview) {
  ExactBatches();
  const ui::ThreadId id = RunForSupplier(2);
  scheduler_.Advance(10);
  EXPECT_EQ(FilesLeft(), 1u) << "26 records printed: the first page is on disk";
  Post(id, ui::EVENT_Accepted, kProgressCancel);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_EQ(FilesLeft(), 0u);
  EXPECT_FALSE(PreviewOpened());
  EXPECT_TRUE(backend_.messages.empty());
}

TEST_F(ReportRunnerTest, AWindowClosedBetweenBatchesEndsTheRunCancelled) {
  ExactBatches();
  const ui::ThreadId id = RunForSupplier(2);
  scheduler_.Advance(10);
  scheduler_.Advance(10);
  Post(id, ui::EVENT_CloseWindow, 0);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_EQ(FilesLeft(), 0u);
  EXPECT_FALSE(PreviewOpened());
}

TEST_F(ReportRunnerTest, AWindowClosedBeforeTheFirstBatchEndsCancelledWithNothingShown) {
  const ui::ThreadId id = RunForSupplier(2);
  Post(id, ui::EVENT_CloseWindow, 0);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_FALSE(PreviewOpened());
}

// A report with a check of its own, as the search has: every tenth of the
// thousand records is printed, the others read and skipped.
TEST_F(ReportRunnerTest, RecordsAReportSkipsAreReadOnlyWhileTheEventHasTime) {
  ReportPlan tenth = ReportPlanOf(ReportId::kFeaturesBySupplier);
  tenth.check = [] {
    const std::string_view product =
        Clip(CurrentThread().Data(DataFile::kFeatures).Field(FEA::PRODUCT).Bytes());
    return product.back() == '0' ? Verdict::kPrint : Verdict::kSkip;
  };
  scheduler_.SetWorkClock([this] { return work_us_ += 1000; });  // a millisecond a look
  GLO::supplier.value = 2;
  const ui::ThreadId id = Run(tenth);
  EXPECT_EQ(Top(id)->Value(kProgressBar), "1") << "8 ms of skipping, then the event ends";
  EXPECT_EQ(FilesLeft(), 0u);
  int events = 0;
  while (scheduler_.Alive(id) && !Previewing(id)) {
    scheduler_.Advance(10);
    ++events;
  }
  EXPECT_GT(events, 100) << "a thousand records at eight a millisecond apart";
  ASSERT_TRUE(Previewing(id));
  EXPECT_EQ(ProductsPrinted(), 100u);
  EXPECT_EQ(TextsAt(PageFiles()[0], kProductX, kDetailTop)[0], "Quillon Write 0010");
  Leave(id);
  EXPECT_EQ(response_, RespCompleted);

  // Cancel while it skips: nothing is shown.
  tenth.check = [] { return Verdict::kSkip; };
  const ui::ThreadId skipping = Run(tenth);
  scheduler_.Advance(10);
  ASSERT_TRUE(scheduler_.Alive(skipping));
  Post(skipping, ui::EVENT_Accepted, kProgressCancel);
  EXPECT_FALSE(scheduler_.Alive(skipping));
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_EQ(std::count(backend_.opened.begin(), backend_.opened.end(), PreviewWindowDef().name), 1)
      << "only the first run's preview";
}

TEST_F(ReportRunnerTest, PrintFromThePreviewSendsEveryPageAsOneJob) {
  const ui::ThreadId id = Run(ReportPlanOf(ReportId::kSupplierTable));
  ASSERT_TRUE(UntilPreview(id));
  const size_t pages = PageFiles().size();
  Leave(id, kPreviewMenuPrint);
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(response_, RespCompleted);
  ASSERT_EQ(backend_.print_jobs.size(), 1u);
  EXPECT_EQ(backend_.print_jobs[0].job, "SUPPLIER Table");
  EXPECT_EQ(backend_.print_jobs[0].pages.size(), pages);
  EXPECT_EQ(FilesLeft(), 0u) << "and then discarded";
}

// What a batch run does: its own output in place of the preview, and a work
// clock that stands still, so the whole run is one timer event.
ui::Task<Outcome> KeepPages(FinishedReport& finished, std::vector<std::string>* kept) {
  for (const std::string& name : finished.pages) {
    report::PageImage page;
    if (report::ReadPageFile(name, &page).ok()) kept->push_back(finished.plan.procedure);
  }
  co_return Outcome::Complete(static_cast<int64_t>(kept->size()));
}

TEST_F(ReportRunnerTest, AnOutputOfItsOwnTakesThePagesInPlaceOfThePreview) {
  std::vector<std::string> kept;
  ReportSettings settings = SetReportSettings({});
  settings.output = [&kept](FinishedReport& finished) { return KeepPages(finished, &kept); };
  SetReportSettings(settings);
  scheduler_.SetWorkClock([] { return int64_t{0}; });
  const ui::ThreadId id = RunForSupplier(2);
  scheduler_.Advance(10);
  EXPECT_FALSE(scheduler_.Alive(id)) << "one timer event";
  EXPECT_EQ(kept, std::vector<std::string>(67, "PRINTFEA:FEATSUPP"));
  EXPECT_EQ(response_, RespCompleted);
  EXPECT_FALSE(PreviewOpened());
  EXPECT_EQ(FilesLeft(), 0u) << "removed once the output is done with them";
}

TEST_F(ReportRunnerTest, AGroupWithoutRecordsShowsNothing) {
  const ui::ThreadId id = RunForSupplier(3);
  EXPECT_FALSE(scheduler_.Alive(id)) << "the progress window closed at once";
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_FALSE(PreviewOpened());
  EXPECT_TRUE(backend_.messages.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(ReportRunnerTest, AReadFailureMidRunShowsMessage35ThenPreviewsWhatWasPrinted) {
  testing::ScopedFaultyDriver faulty("KARVINEX");
  faulty.Fail(testing::ScopedFaultyDriver::Op::kNext, 41, kAccessDenied);
  ExactBatches();
  const ui::ThreadId id = RunForSupplier(2);
  ASSERT_TRUE(UntilPreview(id));
  ASSERT_EQ(backend_.messages.size(), 1u);
  EXPECT_EQ(backend_.messages[0].request.caption, "Record Retrieval Error");
  EXPECT_EQ(backend_.messages[0].request.text,
            "Error: (Access Denied (5)) attempting to access a record from the FEATURES file.  "
            "Returning to previous window.");
  EXPECT_EQ(ProductsPrinted(), 40u) << "the records read before the failure";
  Leave(id);
  EXPECT_EQ(response_, RespCompleted);
}

TEST_F(ReportRunnerTest, AFailedFirstReadShowsMessage35AndNothingElse) {
  testing::ScopedFaultyDriver faulty("KARVINEX");
  faulty.Fail(testing::ScopedFaultyDriver::Op::kNext, 1, kAccessDenied);
  const ui::ThreadId id = RunForSupplier(2);
  EXPECT_FALSE(scheduler_.Alive(id));
  ASSERT_EQ(backend_.messages.size(), 1u);
  EXPECT_EQ(backend_.messages[0].request.caption, "Record Retrieval Error");
  EXPECT_EQ(response_, RespCancelled);
  EXPECT_FALSE(PreviewOpened());
}

TEST_F(ReportRunnerTest, AViewThatCannotBeFilteredOrOrderedEndsAfterMessage36) {
  // Printing on without the filter would put every feature under one title.
  ReportPlan unfiltered = ReportPlanOf(ReportId::kFeaturesBySupplier);
  unfiltered.filter = "FEA:SUPPLIER = GLO:nobody";
  ReportPlan unordered = ReportPlanOf(ReportId::kFeaturesBySupplier);
  unordered.key = 99;
  for (const ReportPlan* plan : {&unfiltered, &unordered}) {
    backend_.messages.clear();
    GLO::supplier.value = 2;
    const ui::ThreadId id = Run(*plan);
    EXPECT_FALSE(scheduler_.Alive(id));
    ASSERT_EQ(backend_.messages.size(), 1u);
    EXPECT_EQ(backend_.messages[0].request.caption, "View Open Error");
    EXPECT_EQ(response_, RespCancelled);
    EXPECT_FALSE(PreviewOpened());
    EXPECT_EQ(FilesLeft(), 0u);
  }
}

TEST_F(ReportRunnerTest, AnEstimateOfZeroShowsAFullBarOnceARecordIsRead) {
  // A listing counts its table when it starts: a count of 0 (the table was
  // empty then) has no percentage.
  testing::ScopedFaultyDriver faulty("KARVINEX");
  faulty.Fail(testing::ScopedFaultyDriver::Op::kRecords, 1, kAccessDenied);
  const ui::ThreadId id = Run(ReportPlanOf(ReportId::kCategoryTable));
  EXPECT_EQ(percents_, (std::vector<std::string>{"0% Completed", "100% Completed"}));
  ASSERT_TRUE(UntilPreview(id));
  EXPECT_EQ(TextsAt(PageFiles()[0], 1000 + 50).size(), 4u) << "the head and three records";
  Leave(id);
}

// Each way a run ends, as the window leaves it (SharedResponse) and as its
// outcome tells the batch commands.
TEST_F(ReportRunnerTest, EachWayARunEndsHasItsOutcome) {
  using K = Outcome::Kind;
  using Op = testing::ScopedFaultyDriver::Op;
  struct Case {
    const char* name;
    int16_t supplier;
    int failing_read;                      // the nth read fails; 0: none
    int item;                              // how the preview is left
    std::optional<ui::PrintResult> print;  // the print dialog's answer
    int then;                              // how the preview is left when it comes back
    K kind;
    int64_t written;  // pages
    int32_t response;
  };
  const ui::PrintResult cancelled{ui::PrintOutcome::kCancelled, ""};
  const Case cases[] = {
      {"to the end, previewed", 2, 0, kPreviewMenuExit, {}, 0, K::kComplete, 67, RespCompleted},
      {"to the end, printed", 1, 0, kPreviewMenuPrint, {}, 0, K::kComplete, 1, RespCompleted},
      {"no record", 3, 0, 0, {}, 0, K::kComplete, 0, RespCancelled},
      {"a read failing half-way", 2, 41, kPreviewMenuExit, {}, 0, K::kIncomplete, 3, RespCompleted},
      {"the first read failing", 2, 1, 0, {}, 0, K::kFailed, 0, RespCancelled},
      {"the printer failing", 1, 0, kPreviewMenuPrint,
       ui::PrintResult{ui::PrintOutcome::kFailed, "The printer is out of paper."}, 0, K::kFailed, 0,
       RespCompleted},
      // The pages are not lost: the preview comes back with them.
      {"the print dialog cancelled, then Exit", 1, 0, kPreviewMenuPrint, cancelled,
       kPreviewMenuExit, K::kComplete, 1, RespCompleted},
      {"the print dialog cancelled, then printed", 1, 0, kPreviewMenuPrint, cancelled,
       kPreviewMenuPrint, K::kComplete, 1, RespCompleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    outcomes_.clear();
    backend_.messages.clear();
    backend_.print_answers.clear();
    if (c.print) backend_.print_answers.push_back(*c.print);
    testing::ScopedFaultyDriver faulty("KARVINEX");
    if (c.failing_read) faulty.Fail(Op::kNext, c.failing_read, kAccessDenied);
    ExactBatches();
    const ui::ThreadId id = RunForSupplier(c.supplier);
    if (c.item) {
      ASSERT_TRUE(UntilPreview(id));
      Leave(id, c.item);
    }
    if (c.then) Leave(id, c.then);
    EXPECT_FALSE(scheduler_.Alive(id));
    ASSERT_EQ(outcomes_.size(), 1u) << "told once";
    EXPECT_EQ(outcomes_[0].kind, c.kind);
    EXPECT_EQ(outcomes_[0].written, c.written);
    EXPECT_EQ(outcomes_[0].failure.empty(), c.kind != K::kIncomplete && c.kind != K::kFailed)
        << outcomes_[0].failure;
    EXPECT_EQ(response_, c.response);
    // Failures are shown; a cancelled print dialog is not.
    EXPECT_EQ(backend_.messages.size(), c.kind == K::kFailed || c.kind == K::kIncomplete ? 1u : 0u);
    EXPECT_EQ(FilesLeft(), 0u);
  }
}

// Opens SUPPLIER as a lookup browse would, runs the supplier's report on the
// same thread, and notes the use counts and open states around it.
ui::Proc SharingProbe(std::vector<int32_t>* counts, std::vector<bool>* open) {
  ThreadBlock& block = CurrentThread();
  const std::vector<DataFile> files = {DataFile::kSupplier};
  co_await OpenDataFiles(files);
  co_await PrintReport(ReportId::kFeaturesBySupplier);
  for (DataFile f : kAllDataFiles) {
    counts->push_back(block.UseCount(f));
    open->push_back(block.Data(f).is_open());
  }
  CloseDataFiles(files);
}

TEST_F(ReportRunnerTest, FilesAreSharedThroughTheirUseCounts) {
  GLO::supplier.value = 1;
  std::vector<int32_t> counts;
  std::vector<bool> open;
  const ui::ThreadId id = Open(SharingProbe(&counts, &open));
  ThreadBlock& block = *static_cast<ThreadBlock*>(scheduler_.ThreadData(id));
  EXPECT_EQ(block.UseCount(DataFile::kSupplier), 2) << "the lookup's, and the report's";
  EXPECT_EQ(block.UseCount(DataFile::kFeatures), 1);
  EXPECT_EQ(block.UseCount(DataFile::kIssues), 0) << "not a file of the report";
  ASSERT_TRUE(UntilPreview(id));
  Leave(id);
  // FEATURES, SUPPLIER, REVIEW, CATEGORY, ISSUES.
  EXPECT_EQ(counts, (std::vector<int32_t>{0, 1, 0, 0, 0}));
  EXPECT_EQ(open, (std::vector<bool>{false, true, false, false, false}))
      << "the report closes what it opened and leaves the lookup's file open";
}

}  // namespace
}  // namespace mirabo::app
