#include "app/reports/report_runner.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "app/data/data_snapshot.h"
#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "app/reports/report_preview.h"
#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/view.h"
#include "ui/dialogs.h"
#include "ui/timer_batch.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

ReportSettings g_settings;

constexpr char kStartText[] = "0% Completed";

// One call of a report procedure: the run state that the procedure keeps in
// its own variables.
class ReportRun {
 public:
  explicit ReportRun(ReportPlan plan)
      : plan_(std::move(plan)), title_(std::max(plan_.title_length, 1)) {}

  ui::Task<Outcome> Run();

 private:
  enum class State { kLoading, kPositioning, kPrinting, kEnding };

  // Reads the next record of the view and keeps the counters; the read's
  // result code.
  int FetchNext();
  // FetchNext and the report's own check until a record to print, or the
  // stop (the end of the data, a failed read: read_failure_ says which).
  // Records that the report skips are work of the event too: once `batch`
  // has used up the event's time, the reading pauses and goes on at the next
  // timer event.
  enum class Found { kRecord, kStop, kPaused };
  Found ReadOn(const ui::TimerBatch& batch);
  // Reads on and shows message 35 for a failed read.  Afterwards `pending_`
  // tells whether a record waits to be printed; a run that stopped is ending.
  ui::Proc ReadOnAndSettle(const ui::TimerBatch& batch);
  // Ends the run after the read that failed (read_failure_ says why) and
  // shows message 35.
  ui::Proc EndAfterReadFailure();
  // The plan's candidates, when it names them: the run reads those, and
  // their number is the estimate.
  ui::Proc TakeCandidates();
  // RecordEstimate: the plan's number, else the file's record count.
  void TakeEstimate();
  // EVENT:OpenWindow and EVENT:Timer.
  ui::Proc Position(report::Report& report);
  ui::Proc PrintBatch(report::Report& report);
  // Shows why the report could not be made and ends the run failed.
  ui::Proc Fail(std::string why);
  // Another process committed to the files since the run began: the run
  // starts again from its first record, or fails after too many starts.
  ui::Proc StartAgain(report::Report& report);
  // Enters kEnding with `outcome`: no more batches, no more Cancel; only the
  // CloseWindow posted is still to come.
  void End(Outcome outcome);
  // Whether the run ended having printed, so its pages go to the output.
  bool ReachedTheEnd() const;
  void CheckInvariants() const;

  const ReportPlan plan_;
  ReportSettings settings_ = g_settings;  // a run keeps what it started with
  StringVar title_;
  State state_ = State::kLoading;
  Outcome outcome_;       // set on entering kEnding
  int32_t estimate_ = 0;  // RecordEstimate
  int32_t records_read_ = 0;
  int64_t printed_ = 0;          // detail bands printed
  int percent_ = 0;              // the percentage shown
  bool pending_ = false;         // a record read waits to be printed
  DataSnapshot snapshot_;        // the state of the data the run reads
  bool start_again_ = false;     // the data changed: StartAgain after this event
  std::string read_failure_;     // why the last read failed; empty when it did not
  report::PageImageList pages_;  // PageImageList
  std::unique_ptr<View> view_;   // ReportView
  // The records the plan named (ReportPlan::candidates), the next to read;
  // none: the run reads the view.
  std::optional<std::vector<int64_t>> candidates_;
  size_t next_candidate_ = 0;
  std::unique_ptr<ui::Window> window_;
  ui::WindowDef window_def_;
};

// The message that a report failed where it could not go on: its definition
// does not fit its variables, a page could not be written, the data kept
// changing.
ui::Proc ShowReportFailure(const ReportPlan& plan, const std::string& why) {
  ui::MessageRequest m;
  m.caption = "Report";
  m.text = "The report \"" + (plan.layout.title.empty() ? plan.procedure : plan.layout.title) +
           "\" could not be made.\n" + why;
  m.icon = ui::Icon::kExclamation;
  co_await ui::Message(m);
}

int ReportRun::FetchNext() {
  int rc = kRecordNotAvailable;
  if (!candidates_) {
    rc = view_->Next();
  } else {
    // A record gone since it was named is passed over; the data snapshot
    // starts the run again anyway.
    do {
      if (next_candidate_ == candidates_->size()) return kRecordNotAvailable;
      rc = view_->GetRecord((*candidates_)[next_candidate_++]);
    } while (rc == kRecordNotFound);
  }
  if (rc != kNoError) return rc;
  ++records_read_;
  if (percent_ < 100) {
    // An estimate of 0 (a table that was empty when counted) has no
    // percentage: a record read is all there is to show, so the bar is full.
    const int percent =
        estimate_ > 0
            ? static_cast<int>(std::min<int64_t>(100, int64_t{records_read_} * 100 / estimate_))
            : 100;
    if (percent != percent_) {
      percent_ = percent;
      window_->SetValue(kProgressBar, std::to_string(percent_));
      window_->SetText(kProgressPercent, PercentText(percent_));
    }
  }
  return kNoError;
}

ReportRun::Found ReportRun::ReadOn(const ui::TimerBatch& batch) {
  for (;;) {
    const int rc = FetchNext();
    if (rc != kNoError) {
      // The end of the order is a read that finds no record; anything else
      // is a failure.
      if (rc != kRecordNotAvailable) read_failure_ = ErrorDescription();
      return Found::kStop;
    }
    switch (plan_.check ? plan_.check() : Verdict::kPrint) {
      case Verdict::kPrint:
        return Found::kRecord;
      case Verdict::kStop:
        return Found::kStop;
      case Verdict::kSkip:
        if (batch.TimeUp()) return Found::kPaused;
        break;
    }
  }
}

ui::Proc ReportRun::ReadOnAndSettle(const ui::TimerBatch& batch) {
  const Found found = ReadOn(batch);
  pending_ = found == Found::kRecord;
  if (pending_) state_ = State::kPrinting;
  if (found != Found::kStop) co_return;
  if (read_failure_.empty()) {
    // The pages are whole only if the data did not change under them.
    if (snapshot_.Changed()) {
      start_again_ = true;
      co_return;
    }
    End(Outcome::Complete(0));  // its pages are counted once they are made
    co_return;
  }
  co_await EndAfterReadFailure();
}

ui::Proc ReportRun::EndAfterReadFailure() {
  // A run that has printed ends with what it has; one that found nothing
  // shows nothing.
  const std::string failure = "reading " + plan_.file_word + " failed after record " +
                              std::to_string(records_read_) + ": " + read_failure_;
  End(printed_ > 0 ? Outcome::Incomplete(0, 1, failure) : Outcome::Failed(failure));
  const std::string word = plan_.file_word, none;
  co_await StandardMessage(35, word, none);
}

void ReportRun::End(Outcome outcome) {
  pending_ = false;
  outcome_ = std::move(outcome);
  state_ = State::kEnding;
  window_->SetTimer(0);
  window_->Post(ui::EVENT_CloseWindow);
}

bool ReportRun::ReachedTheEnd() const {
  return state_ == State::kEnding && printed_ > 0 &&
         (outcome_.kind == Outcome::Kind::kComplete || outcome_.kind == Outcome::Kind::kIncomplete);
}

void ReportRun::CheckInvariants() const {
  assert(!pending_ || state_ == State::kPrinting);
  assert(printed_ == 0 || state_ == State::kPrinting || state_ == State::kEnding);
  assert(read_failure_.empty() || state_ == State::kEnding);
  assert(state_ == State::kEnding || outcome_.kind == Outcome::Kind::kCancelled);
}

ui::Proc ReportRun::Fail(std::string why) {
  End(Outcome::Failed(why));
  co_await ShowReportFailure(plan_, why);
}

ui::Proc ReportRun::StartAgain(report::Report& report) {
  start_again_ = false;
  if (!snapshot_.Restart()) {
    std::string why = DataSnapshot::kKeptChanging;
    why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    co_await Fail(why + ".");
    co_return;
  }
  report.Restart();
  pages_.clear();
  records_read_ = 0;
  printed_ = 0;
  pending_ = false;
  percent_ = 0;
  window_->SetValue(kProgressBar, "0");
  window_->SetText(kProgressPercent, kStartText);
  // A fresh view: the names it kept belong to the old data.
  view_->Close();
  view_->KeepLookupRows(false);
  view_->KeepLookupRows();
  co_await Position(report);
}

ui::Proc ReportRun::Position(report::Report& report) {
  if (state_ == State::kLoading) snapshot_.Take(plan_.files);
  state_ = State::kPositioning;
  // A view that cannot be ordered, filtered or opened would print records
  // that the report does not select (every feature under one supplier's
  // title): the run ends after the message, with nothing printed.
  int rc = view_->SetOrder(plan_.key);
  if (rc == kNoError) rc = view_->SetFilter(plan_.filter, CurrentThread().bindings());
  if (rc == kNoError) rc = view_->Open();
  if (rc != kNoError) {
    End(Outcome::Failed("the view of " + plan_.file_word +
                        " could not be opened: " + ErrorDescription()));
    const std::string none;
    co_await StandardMessage(36, none, none);
    co_return;
  }
  // Pages are only made when a detail is printed: a run that finds nothing
  // leaves none.
  if (const report::Status s = report.Open(&pages_, settings_.pages); !s.ok()) {
    co_await Fail(s.message());
    co_return;
  }
  co_await TakeCandidates();
  if (state_ == State::kEnding) co_return;
  const ui::TimerBatch batch(kReportBatch);
  co_await ReadOnAndSettle(batch);
}

void ReportRun::TakeEstimate() {
  if (plan_.estimate) {
    estimate_ = *plan_.estimate;
    return;
  }
  int64_t count = 0;
  if (CurrentThread().Data(plan_.file).Records(&count) != kNoError) count = 0;
  estimate_ = static_cast<int32_t>(std::clamp<int64_t>(count, 0, INT32_MAX));
}

ui::Proc ReportRun::TakeCandidates() {
  candidates_.reset();
  next_candidate_ = 0;
  if (!plan_.candidates) co_return;
  std::vector<int64_t> records;
  const int rc = co_await plan_.candidates(&records);
  if (rc == kUnsupportedFunction) {
    TakeEstimate();
    co_return;
  }
  if (rc != kNoError) {
    read_failure_ = ErrorDescription();
    co_await EndAfterReadFailure();
    co_return;
  }
  estimate_ = static_cast<int32_t>(std::min<size_t>(records.size(), INT32_MAX));
  candidates_ = std::move(records);
}

ui::Proc ReportRun::PrintBatch(report::Report& report) {
  // Between events other processes may have written the files.
  if (snapshot_.Changed()) {
    start_again_ = true;
    co_return;
  }
  ui::TimerBatch batch(kReportBatch);
  if (!pending_) {
    // Still reading past records the report skips.
    co_await ReadOnAndSettle(batch);
    if (!pending_) co_return;
  }
  while (batch.More()) {
    if (const report::Status s = report.PrintDetail(); !s.ok()) {
      co_await Fail(s.message());
      co_return;
    }
    ++printed_;
    co_await ReadOnAndSettle(batch);
    if (!pending_) co_return;
  }
}

ui::Task<Outcome> ReportRun::Run() {
  ThreadBlock& block = CurrentThread();
  title_.Assign("");

  std::vector<ValueRef> variables;
  for (const ReportField& f : plan_.variables) {
    variables.push_back(f.title ? title_.ref() : block.Data(f.file).Field(f.field));
  }
  report::FontMetrics& metrics =
      settings_.metrics ? *settings_.metrics : report::ReportFontMetrics();
  report::Report report(plan_.layout, variables, metrics);
  if (!report.status().ok()) {
    // A layout that does not match its variables is the program's fault;
    // nothing is opened.
    const report::Status status = report.status();
    co_await ShowReportFailure(plan_, status.message());
    block.SharedResponse.value = RespCancelled;
    const Outcome failed = Outcome::Failed(status.message());
    NotifyOutcome(failed);
    co_return failed;
  }
  window_def_ = ProgressWindowDef(plan_.procedure);
  pages_.clear();

  // The filter's names: the global selections, then each file's fields
  // (FEA:ISSUE and ISS:ISSUE_NUMB among them, under their own names).
  Bindings& bindings = block.bindings();
  bindings.PushScope();
  BindGlobals(bindings);

  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;

  const std::vector<DataFile> files = plan_.files;
  co_await OpenDataFiles(files);
  for (DataFile f : files) bindings.BindRecord(block.Data(f));

  if (plan_.title) title_.Assign(plan_.title());

  // A plan that names its records counts them instead (TakeCandidates).
  if (!plan_.candidates) TakeEstimate();

  view_ = std::make_unique<View>(block.Data(plan_.file));
  for (const Relation& j : plan_.joins) {
    view_->Join(block.Data(j.lookup), j.lookup_key, {{j.features_field, j.lookup_field}});
  }
  // The lookup tables are small and a run is one pass: each name is read once.
  view_->KeepLookupRows();

  window_ = std::make_unique<ui::Window>(window_def_);
  ui::Window& w = *window_;
  w.Open();
  w.SetValue(kProgressBar, "0");
  w.SetText(kProgressPercent, kStartText);
  w.SetTitle("Generating Report");
  w.SetText(kProgressStatus, "");

  while (ui::Event e = co_await w.Accept()) {
    if (state_ == State::kEnding) continue;  // only the CloseWindow posted is still to come
    switch (e.code) {
      case ui::EVENT_OpenWindow:
        co_await Position(report);
        break;
      case ui::EVENT_Timer:
        if (state_ != State::kLoading) co_await PrintBatch(report);
        break;
      case ui::EVENT_Accepted:
        if (e.control == kProgressCancel) End(Outcome::Cancelled());
        break;
      default:
        break;
    }
    while (start_again_ && state_ != State::kEnding) co_await StartAgain(report);
    CheckInvariants();
  }
  // The progress window goes before the preview comes.
  w.Close();

  bool completed = ReachedTheEnd();
  Outcome outcome = state_ == State::kEnding ? outcome_ : Outcome::Cancelled();
  if (completed) {
    if (const report::Status s = report.EndReport(); !s.ok()) {
      co_await ShowReportFailure(plan_, s.message());
      completed = false;
      outcome = Outcome::Failed(s.message());
    } else {
      FinishedReport finished{plan_, report, pages_};
      const ReportOutput output = settings_.output ? settings_.output : PreviewThenPrint;
      const Outcome delivered = co_await output(finished);
      if (delivered.complete()) {
        outcome.written = static_cast<int64_t>(pages_.size());
      } else {
        outcome = delivered;  // the pages did not get where they were going
      }
    }
  }
  report.Close();
  pages_.clear();

  // FinishRun.
  CloseDataFiles(files);
  block.SharedResponse.value = completed ? RespCompleted : RespCancelled;
  bindings.PopScope();
  view_->Close();
  NotifyOutcome(outcome);
  co_return outcome;
}

}  // namespace

ui::WindowDef ProgressWindowDef(const std::string& procedure) {
  using ui::ControlKind;
  ui::WindowDef d;
  d.name = procedure + "$PROGRESSWINDOW";
  d.title = "Progress...";
  d.width = 142;
  d.height = 59;
  d.timer = 1;
  d.help = "reports.html";
  d.controls = {
      {.kind = ControlKind::kProgress,
       .id = kProgressBar,
       .at = {15, 15, 111, 12},
       .low = 0,
       .high = 100},
      {.kind = ControlKind::kString, .id = kProgressStatus, .at = {0, 3, 141, 10}, .centred = true},
      {.kind = ControlKind::kString,
       .id = kProgressPercent,
       .text = kStartText,
       .at = {0, 30, 141, 10},
       .centred = true},
      {.kind = ControlKind::kButton,
       .id = kProgressCancel,
       .text = "Cancel",
       .at = {45, 42, 50, 15}},
  };
  return d;
}

ui::Task<Outcome> RunReport(ReportPlan plan) {
  ReportRun run(std::move(plan));
  co_return co_await run.Run();
}

ui::Task<report::Status> PrintPageImages(std::string job, const report::PageImageList& pages) {
  if (pages.empty()) co_return report::Status::Ok();
  ui::PrintRequest request;
  request.job = std::move(job);
  request.pages = pages;
  const ui::PrintResult result = co_await ui::PrintPages(request);
  switch (result.outcome) {
    case ui::PrintOutcome::kCancelled:
      co_return report::Status(report::StatusCode::kPrintCancelled, "Printing was cancelled.");
    case ui::PrintOutcome::kFailed:
      co_return report::Status(report::StatusCode::kPrintFailed, result.error);
    default:
      co_return report::Status::Ok();
  }
}

ui::Task<Outcome> PreviewThenPrint(FinishedReport& finished) {
  const int64_t pages = static_cast<int64_t>(finished.pages.size());
  const std::string job = finished.report.job_name();
  for (;;) {
    co_await REPORTPREVIEW(finished.pages, finished.plan.layout.title);
    if (CurrentThread().SharedResponse.value != RespCompleted) co_return Outcome::Complete(pages);
    const report::Status s = co_await PrintPageImages(job, finished.pages);
    // The print dialog cancelled: back to the pages.
    if (s.code() == report::StatusCode::kPrintCancelled) continue;
    if (!s.ok()) {
      ui::MessageRequest m;
      m.caption = "Print";
      m.text = "The report \"" + job + "\" could not be printed.\n" + s.message();
      m.icon = ui::Icon::kExclamation;
      co_await ui::Message(m);
      co_return Outcome::Failed(s.message());
    }
    co_return Outcome::Complete(pages);
  }
}

ReportSettings SetReportSettings(ReportSettings settings) {
  return std::exchange(g_settings, std::move(settings));
}

}  // namespace mirabo::app
