#include "app/reports/report_runner.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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
  explicit ReportRun(const ReportPlan& plan)
      : plan_(plan), title_(std::max(plan.title_length, 1)) {}

  ui::Proc Run();

 private:
  // Reads the next record of the view and keeps the counters; the read's
  // result code.
  int FetchNext();
  Verdict CheckRecord();
  // FetchNext and CheckRecord until a record to print, or the stop (the end
  // of the data, a failed read).  Records that the report skips are work of
  // the event too: once `batch` has used up the event's time, the reading
  // pauses and goes on at the next timer event.
  enum class Found { kRecord, kStop, kPaused };
  Found ReadOn(const ui::TimerBatch& batch);
  // Reads on and shows message 35 for a failed read.  Afterwards `pending_`
  // tells whether a record waits to be printed; when the run has stopped it
  // is closing.
  ui::Proc ReadOnAndSettle(const ui::TimerBatch& batch);
  // EVENT:OpenWindow and EVENT:Timer.
  ui::Proc Position(report::Report& report);
  ui::Proc PrintBatch(report::Report& report);
  // Ends the event loop: no more batches, no more Cancel.
  void Close();

  const ReportPlan& plan_;
  ReportSettings settings_ = g_settings;  // a run keeps what it started with
  StringVar title_;
  int32_t run_response_ = 0;  // RunResponse
  bool files_opened_ = false;
  int32_t estimate_ = 0;  // RecordEstimate
  int32_t records_read_ = 0;
  int percent_done_ = 0;
  int shown_percent_ = 0;
  bool closing_ = false;
  bool pending_ = false;  // a record read waits to be printed
  bool printed_ = false;  // a detail band has been printed
  bool read_failed_ = false;
  report::PageImageList pages_;  // PageImageList
  std::unique_ptr<View> view_;   // ReportView
  std::unique_ptr<ui::Window> window_;
  ui::WindowDef window_def_;
};

// The message that a report failed where it could not go on: its definition
// does not fit its variables, or a page could not be written.
ui::Proc ShowReportFailure(const ReportPlan& plan, const report::Status& status) {
  ui::MessageRequest m;
  m.caption = "Report";
  m.text = "The report \"" + (plan.layout.title.empty() ? plan.procedure : plan.layout.title) +
           "\" could not be made.\n" + status.message();
  m.icon = ui::Icon::kExclamation;
  co_await ui::Message(m);
}

int ReportRun::FetchNext() {
  const int rc = view_->Next();
  if (rc != kNoError) {
    run_response_ = RespCancelled;
    return rc;
  }
  run_response_ = RespCompleted;
  ++records_read_;
  if (percent_done_ < 100) {
    // An estimate of 0 (a table that was empty when counted) has no
    // percentage: a record read is all there is to show, so the bar is full.
    percent_done_ =
        estimate_ > 0
            ? static_cast<int>(std::min<int64_t>(100, int64_t{records_read_} * 100 / estimate_))
            : 100;
    if (percent_done_ != shown_percent_) {
      shown_percent_ = percent_done_;
      window_->SetValue(kProgressBar, std::to_string(shown_percent_));
      window_->SetText(kProgressPercent, PercentText(shown_percent_));
    }
  }
  return kNoError;
}

Verdict ReportRun::CheckRecord() {
  if (run_response_ == RespCancelled) return Verdict::kStop;
  return plan_.check ? plan_.check() : Verdict::kPrint;
}

ReportRun::Found ReportRun::ReadOn(const ui::TimerBatch& batch) {
  for (;;) {
    const int rc = FetchNext();
    if (rc != kNoError && rc != kRecordNotAvailable) read_failed_ = true;
    switch (CheckRecord()) {
      case Verdict::kPrint:
        return Found::kRecord;
      case Verdict::kStop:
        run_response_ = RespCancelled;
        return Found::kStop;
      case Verdict::kSkip:
        if (batch.TimeUp()) return Found::kPaused;
        break;
    }
  }
}

ui::Proc ReportRun::ReadOnAndSettle(const ui::TimerBatch& batch) {
  const Found found = ReadOn(batch);
  if (read_failed_) {
    read_failed_ = false;
    const std::string word = plan_.file_word, none;
    co_await StandardMessage(35, word, none);
  }
  pending_ = found == Found::kRecord;
  if (found == Found::kPaused) {
    run_response_ = RespCancelled;  // between events, as between batches
  } else if (found == Found::kStop) {
    // The data ran out, or a read failed: a run that has printed ends as
    // completed with what it has; one that found nothing shows nothing.
    run_response_ = printed_ ? RespCompleted : RespCancelled;
    Close();
  }
}

void ReportRun::Close() {
  closing_ = true;
  window_->SetTimer(0);
  window_->Post(ui::EVENT_CloseWindow);
}

ui::Proc ReportRun::Position(report::Report& report) {
  // A view that cannot be ordered, filtered or opened would print records
  // that the report does not select (every feature under one supplier's
  // title): the run ends after the message, with nothing printed.
  int rc = view_->SetOrder(plan_.key);
  if (rc == kNoError) rc = view_->SetFilter(plan_.filter, CurrentThread().bindings());
  if (rc == kNoError) rc = view_->Open();
  if (rc != kNoError) {
    const std::string none;
    co_await StandardMessage(36, none, none);
    run_response_ = RespCancelled;
    Close();
    co_return;
  }
  // Pages are only made when a detail is printed: a run that finds nothing
  // leaves none.
  if (const report::Status s = report.Open(&pages_, settings_.pages); !s.ok()) {
    co_await ShowReportFailure(plan_, s);
    run_response_ = RespCancelled;
    Close();
    co_return;
  }
  const ui::TimerBatch batch(kReportBatch);
  co_await ReadOnAndSettle(batch);
  // Until the first batch, as between batches: a window closed now ends
  // the run cancelled, not completed with nothing printed.
  if (pending_) run_response_ = RespCancelled;
}

ui::Proc ReportRun::PrintBatch(report::Report& report) {
  ui::TimerBatch batch(kReportBatch);
  if (!pending_) {
    // Still reading past records the report skips.
    co_await ReadOnAndSettle(batch);
    if (!pending_) co_return;
  }
  while (batch.More()) {
    if (const report::Status s = report.PrintDetail(); !s.ok()) {
      co_await ShowReportFailure(plan_, s);
      run_response_ = RespCancelled;
      Close();
      co_return;
    }
    printed_ = true;
    co_await ReadOnAndSettle(batch);
    if (!pending_) co_return;
    run_response_ = RespCancelled;  // a run closed between batches is cancelled
  }
}

ui::Proc ReportRun::Run() {
  ThreadBlock& block = CurrentThread();
  run_response_ = 0;
  files_opened_ = false;
  percent_done_ = 0;
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
    co_await ShowReportFailure(plan_, status);
    block.SharedResponse.value = RespCancelled;
    co_return;
  }
  window_def_ = ProgressWindowDef(plan_.procedure);
  shown_percent_ = 0;
  pages_.clear();

  // The filter's names: the global selections, then each file's fields
  // (FEA:ISSUE and ISS:ISSUE_NUMB among them, under their own names).
  Bindings& bindings = block.bindings();
  bindings.PushScope();
  BindGlobals(bindings);

  run_response_ = RespCancelled;
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;

  const std::vector<DataFile> files = plan_.files;
  co_await OpenDataFiles(files);
  for (DataFile f : files) bindings.BindRecord(block.Data(f));
  files_opened_ = true;

  if (plan_.title) title_.Assign(plan_.title());

  if (plan_.estimate) {
    estimate_ = *plan_.estimate;
  } else {
    int64_t count = 0;
    if (block.Data(plan_.file).Records(&count) != kNoError) count = 0;
    estimate_ = static_cast<int32_t>(std::clamp<int64_t>(count, 0, INT32_MAX));
  }
  records_read_ = 0;
  percent_done_ = 0;

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
    if (closing_) continue;  // only the CloseWindow posted is still to come
    switch (e.code) {
      case ui::EVENT_OpenWindow:
        co_await Position(report);
        break;
      case ui::EVENT_Timer:
        co_await PrintBatch(report);
        break;
      case ui::EVENT_Accepted:
        if (e.control == kProgressCancel) {
          run_response_ = RespCancelled;
          Close();
        }
        break;
      default:
        break;
    }
  }
  // The progress window goes before the preview comes.
  w.Close();

  if (run_response_ == RespCompleted) {
    if (const report::Status s = report.EndReport(); !s.ok()) {
      co_await ShowReportFailure(plan_, s);
      run_response_ = RespCancelled;
    } else if (!pages_.empty()) {
      FinishedReport finished{plan_, report, pages_};
      const ReportOutput output = settings_.output ? settings_.output : PreviewThenPrint;
      co_await output(finished);
    }
  }
  report.Close();
  pages_.clear();

  // FinishRun.
  if (files_opened_) CloseDataFiles(files);
  block.SharedResponse.value = run_response_ ? run_response_ : RespCancelled;
  bindings.PopScope();
  view_->Close();
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

std::string PercentText(int percent) { return FormatPicture("N3", percent) + "% Completed"; }

ui::Proc RunReport(const ReportPlan& plan) {
  ReportRun run(plan);
  co_await run.Run();
}

ui::Proc PreviewThenPrint(FinishedReport& finished) {
  co_await REPORTPREVIEW(finished.pages);
  if (CurrentThread().SharedResponse.value == RespCompleted) {
    // A failure is shown to the user by the report itself.
    (void)co_await finished.report.Print();
  }
}

ReportSettings SetReportSettings(ReportSettings settings) {
  return std::exchange(g_settings, std::move(settings));
}

}  // namespace mirabo::app
