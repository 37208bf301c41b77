// The report runner: every report of the program is one ReportPlan (data)
// run by RunReport.  A run reads one data file through an ordered, filtered
// view, prints a detail band per record it wants into a report that keeps
// its pages as page images, and hands the finished pages to its output: the
// preview, and the printer when the user chooses Print there.
//
// Design note.  A run is in one of four states (ReportRun::State), each the
// work of one event of its progress window "<procedure>$PROGRESSWINDOW":
//
//   kLoading      definitions loaded, data files opened by use counting,
//                 title built, estimate taken (for a plan that names its
//                 records, their number, once positioning has them); the
//                 window opens
//     --EVENT:OpenWindow (Position)--> kPositioning
//   kPositioning  the view set to the key's start, its filter, opened; the
//                 first wanted record read (records the report skips are read
//                 while the event has time, the rest at the timer events that
//                 follow)
//     --a record to print (ReadOnAndSettle)--> kPrinting
//     --no record: nothing shown; a failed read after message 35--> kEnding
//     --the view refused: message 36, nothing printed--> kEnding
//   kPrinting     EVENT:Timer: a batch of records printed (ui/timer_batch.h:
//                 at least 25, then more while the event has taken less than
//                 about 8 ms), each followed by the read of the next; records
//                 the report skips (its own check) are read on only while the
//                 event has time, then at the next event
//     --end of data (End)--> kEnding, complete
//     --a failed read, after message 35 (End)--> kEnding, incomplete: the
//       pages printed so far are kept
//     --a page that could not be made (End)--> kEnding, failed
//   kPositioning, kPrinting
//     --Cancel (End)--> kEnding, cancelled: the pages are discarded
//     --another process committed to the files between events, or before
//       the end of the data was kept (StartAgain)--> kPositioning, from the
//       first record with no pages (app/data/data_snapshot.h); after too many
//       starts --> kEnding, failed
//   kEnding       only the CloseWindow posted is still to come; then the last
//                 page closed and the pages given to the output (complete and
//                 incomplete runs that printed), the pages removed, the files
//                 released in the order they were opened, SharedResponse set
//
// A window closed in any other way (its close box) ends the run cancelled.
// Invariants (CheckInvariants, in debug builds): a record waits to be printed
// only while printing; records have been printed only once printing began;
// the timer runs only before kEnding; the ending's outcome is set exactly in
// kEnding.  "The last read failed" (read_failure_) is its own field: it is
// shown as message 35 by the event that read, and ends the run.
//
// SharedResponse on return: RespCompleted when the run reached the end of its
// data having printed (a failed read counts as the end), whether or not the
// pages were then printed; else RespCancelled.  Only such a run reaches the
// output.  The percentage (RecordsRead of RecordEstimate) is computed per
// record read until it reaches 100, and the window is redrawn only when the
// whole number changes.
//
// Batch use: the output is a seam.  The program's output shows REPORTPREVIEW
// and prints on request; a batch run installs one (SetReportSettings) that
// writes the finished pages to a PDF or PNG files, and runs the same report
// procedures on the headless window model: the same pages, composed with the
// same font metrics.  A work clock that stands still
// (Scheduler::SetWorkClock) makes the whole run one timer event.  The run's
// outcome goes to the outcome observer (app/data/outcome.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/data/declarations.h"
#include "app/data/outcome.h"
#include "report/page_image.h"
#include "report/report.h"
#include "report/report_def.h"
#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

// One variable that a report's layout prints: a field of a data file's
// record, or the run's title (file and field ignored).
struct ReportField {
  DataFile file = DataFile::kFeatures;
  int field = 0;
  bool title = false;
};
inline ReportField TitleField() { return {DataFile::kFeatures, 0, true}; }

// A report's own verdict on a record that passed the view's filter.
enum class Verdict { kPrint = 0, kStop = 1, kSkip = 2 };

struct ReportPlan {
  std::string procedure;                // "PRINTFEA:FEATSUPP": names the run's definitions
  DataFile file = DataFile::kFeatures;  // the file read
  int key = 0;                          // in the order of this key of it
  std::string filter;                   // over the bound names; empty: every record
  std::vector<DataFile> files;          // opened in this order, released in it
  std::vector<Relation> joins;          // lookups read with every record (a
                                        // missing one prints blank)
  std::string file_word;                // names the file in message 35
  // The expected number of records: a fixed number, or (none) the file's
  // record count when the run starts.
  std::optional<int32_t> estimate;
  // ReportTitle: its width (0: the report has none) and how it is built,
  // once the files are open.
  int title_length = 0;
  std::function<std::string()> title;
  // A report that selects records itself; none prints every record the view
  // gives.
  std::function<Verdict()> check;
  // A report that can name its records beforehand: kNoError and the record
  // numbers of `file` in the report's order, which the run then reads (with
  // their joins, each still given to `check`) instead of the view.
  // kUnsupportedFunction: the run reads the view.  Another code is a read
  // that failed.  Asked at every start of the run; it may give way to the
  // window's events while it gathers.
  std::function<ui::Task<int>(std::vector<int64_t>*)> candidates;
  // The layout, and the variables its variable controls show, in order.
  report::ReportDef layout;
  std::vector<ReportField> variables;
};

// The progress window of a report procedure, "<procedure>$PROGRESSWINDOW".
enum ProgressControl : int {
  kProgressBar = 1,
  kProgressStatus = 2,
  kProgressPercent = 3,
  kProgressCancel = 4,
};
ui::WindowDef ProgressWindowDef(const std::string& procedure);

// Records printed per timer event at least.
constexpr int kReportBatch = 25;

// Runs the report on the calling thread and returns its outcome (also told
// to the outcome observer): complete with the pages made (none when no
// record was found), incomplete after a failed read, cancelled, or failed.
// The plan is the task's own copy: the task starts lazily.
ui::Task<Outcome> RunReport(ReportPlan plan);

// A run that reached the end of its data, as its output sees it.  The report
// holds the pages until the run removes them after the output returns.
struct FinishedReport {
  const ReportPlan& plan;
  report::Report& report;
  const report::PageImageList& pages;  // never empty
};
// What became of the pages: complete when they went where they should (or
// the user saw them and chose not to print), failed with the reason.  The
// output shows its own failures in the window; it is awaited at once, so
// `finished` lives as long as it runs.
using ReportOutput = std::function<ui::Task<Outcome>(FinishedReport& finished)>;

// The program's output: REPORTPREVIEW on the pages; when the user chose
// Print there, the pages go to the printer (a failure is shown).  Cancelling
// the print dialog goes back to the preview with the same pages: the user
// who waited for them does not run the report again.  Complete when the
// user left the preview without printing or the pages were printed.
ui::Task<Outcome> PreviewThenPrint(FinishedReport& finished);

// Sends `pages` to the printer chosen in the platform's print dialog, in
// page order, as one job named `job`.  Shows nothing: kPrintCancelled when
// the user cancelled the dialog, kPrintFailed with the reason.  `pages` must
// outlive the task.
ui::Task<report::Status> PrintPageImages(std::string job, const report::PageImageList& pages);

// What every run uses from now on.
struct ReportSettings {
  ReportOutput output;                     // empty: PreviewThenPrint
  report::PageFiles pages;                 // where the page files go
  report::FontMetrics* metrics = nullptr;  // null: report::ReportFontMetrics()
};
// Installs `settings` and returns the ones they replace.
ReportSettings SetReportSettings(ReportSettings settings);

}  // namespace mirabo::app
