// The report runner: every report of the program is one ReportPlan (data)
// run by RunReport.  A run reads one data file through an ordered, filtered
// view, prints a detail band per record it wants into a report that keeps
// its pages as page images, and hands the finished pages to its output: the
// preview, and the printer when the user chooses Print there.
//
// Design note.  A run passes through these states, each the work of one
// event of its progress window "<procedure>$PROGRESSWINDOW":
//
//   loading      definitions loaded, data files opened by use counting,
//                title built, estimate taken; the window opens
//   positioning  EVENT:OpenWindow: the view set to the key's start, its
//                filter, opened; the first wanted record read (records the
//                report skips are read while the event has time, the rest at
//                the timer events that follow)
//                  -> ending (no record, a failed read: nothing shown)
//                  -> ending (the view refused: message 36, nothing printed)
//   printing     EVENT:Timer: a batch of records printed (ui/timer_batch.h:
//                at least 25, then more while the event has taken less than
//                about 8 ms), each followed by the read of the next; records
//                that the report skips (its own check) are read on only
//                while the event has time, then at the next event
//                  -> ending, completed (end of data, or a failed read after
//                     message 35: the pages printed so far are kept)
//                Cancel, or the window closed between batches
//                  -> ending, cancelled (the pages are discarded)
//   ending       completed: the last page closed, the pages given to the
//                output; then the pages removed, the files released in the
//                order they were opened, SharedResponse set
//
// RunResponse follows the run as the procedures have always kept it:
// RespCompleted just after a successful read and when the data has run out
// after a record was printed, RespCancelled between batches (also before the
// first), after Cancel and when no record came, so a run closed in any other
// way ends cancelled.  Only a completed run reaches the output.  The
// percentage (RecordsRead of RecordEstimate) is computed per record read
// until it reaches 100, and the window is redrawn only when the whole number
// changes.
//
// Batch use: the output is a seam.  The program's output shows REPORTPREVIEW
// and prints on request; a batch run installs one (SetReportSettings) that
// writes the finished pages to a PDF or PNG files, and runs the same report
// procedures on the headless window model: the same pages, composed with the
// same font metrics.  A work clock that stands still
// (Scheduler::SetWorkClock) makes the whole run one timer event.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/data/declarations.h"
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

// The text of PercentText for a percentage after the start: the number in
// picture "N3" followed by "% Completed".
std::string PercentText(int percent);

// Runs the report on the calling thread.  SharedResponse on return:
// RespCompleted when the run reached the end of its data (whether or not the
// pages were then printed), else RespCancelled.
ui::Proc RunReport(const ReportPlan& plan);

// A run that reached the end of its data, as its output sees it.  The report
// holds the pages until the run removes them after the output returns.
struct FinishedReport {
  const ReportPlan& plan;
  report::Report& report;
  const report::PageImageList& pages;  // never empty
};
using ReportOutput = std::function<ui::Proc(FinishedReport& finished)>;

// The program's output: REPORTPREVIEW on the pages; when the user chose
// Print there, the pages go to the printer.
ui::Proc PreviewThenPrint(FinishedReport& finished);

// What every run uses from now on.
struct ReportSettings {
  ReportOutput output;                     // empty: PreviewThenPrint
  report::PageFiles pages;                 // where the page files go
  report::FontMetrics* metrics = nullptr;  // null: report::ReportFontMetrics()
};
// Installs `settings` and returns the ones they replace.
ReportSettings SetReportSettings(ReportSettings settings);

}  // namespace mirabo::app
