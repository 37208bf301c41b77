// The page composer: a report run prints detail bands into it, it stacks them
// into the detail area, breaks pages, draws the header and footer on every
// page and keeps each finished page as a page image (report/page_image.h).
//
// States and the calls that move between them:
//
//   loaded   --Open(list)-->    collecting   (no page started yet)
//   collecting --PrintDetail--> page open    (the header drawn first)
//   page open --PrintDetail--> page open     (a band that does not fit below
//                                             the last closes the page and
//                                             starts the next)
//   page open --EndReport-->   ended         (the last page closed)
//   any      --Close-->        closed        (every page file removed)
//   collecting, page open, ended --Restart--> loaded (every page file removed)
//   a failed page write        -> failed     (nothing more is printed)
//
// Invariants: every page the report wrote is in its spool (one file for the
// run, report/page_spool.h) until Close or Restart removes it; the caller's
// list holds the entries of the finished pages in page order (the report
// only appends to it); page() is the number of pages started.  The
// destructor closes, so the spool goes on every way out: a cancelled run, a
// failed one, an exception-free early return.
#pragma once

#include <string>
#include <vector>

#include "report/font_metrics.h"
#include "report/page_image.h"
#include "report/page_spool.h"
#include "report/report_def.h"
#include "report/status.h"
#include "runtime/picture.h"
#include "runtime/run_folder.h"
#include "runtime/value.h"

namespace mirabo::report {

// Where finished pages go: the folder and the three-letter prefix of their
// file names.  By default the run's private folder (runtime/run_folder.h),
// which nobody else can read and which goes when the program does.
struct PageFiles {
  std::string folder = RunFolder().empty() ? TempFolder() : RunFolder();
  std::string prefix = "RPG";
};

class Report {
 public:
  // Loads `def` and binds its variable controls, in the order they appear
  // (header, detail, footer), to `variables`.  The definition, the variables
  // and `metrics` must outlive the report.  A list of the wrong length leaves
  // the report unusable: status() says why.
  Report(const ReportDef& def, std::vector<ValueRef> variables, FontMetrics& metrics);
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // The outcome of loading, or of the first failure since.
  const Status& status() const { return status_; }

  // Opens the report in page-image mode: each finished page is written to a
  // page file and its name appended to `*pages`, which the caller owns and
  // which must outlive the report (or Close must come first).
  Status Open(PageImageList* pages, PageFiles files = {});

  // Prints the detail band with the variables' current values, starting a
  // new page first when the band does not fit below the last one (a band
  // taller than the whole detail area gets a page of its own).
  Status PrintDetail();

  // Closes the last page; a report that printed nothing has no pages.
  Status EndReport();

  // Pages started so far: the page counter that the page number shows.
  int page() const { return page_number_; }

  // The name a print job of the report goes by: its title, else its
  // definition's name.
  std::string job_name() const;

  // Discards the pages: every page file is removed.  The caller's list is
  // left as it is (the caller empties it).  Safe to call more than once.
  void Close();

  // Discards the pages made so far (their files removed) and goes back to
  // the state before Open, for a run that starts again; the page counter
  // starts again too.  The caller empties its list.  A failed report stays
  // failed.
  void Restart();

  // The display list of the page being composed (empty before the first).
  const PageImage& current_page() const { return page_; }

 private:
  struct Bound {
    const ReportControl* control;
    Picture picture;
    ValueRef value;  // variables only
  };
  enum class State { kLoaded, kCollecting, kPageOpen, kEnded, kClosed, kFailed };

  Status Fail(Status s);
  void StartPage();
  Status FinishPage();
  void DrawBand(const std::vector<Bound>& band, int x, int y);
  void DrawControl(const Bound& b, int x, int y);
  std::string TextOf(const Bound& b) const;
  Font Resolve(const Font& f) const;
  std::vector<Bound> BindBand(const Band& band, std::vector<ValueRef>& variables, size_t* next);

  const ReportDef& def_;
  FontMetrics& metrics_;
  Status status_;
  State state_ = State::kLoaded;
  std::vector<Bound> header_, detail_, footer_;
  PageImageList* pages_ = nullptr;
  PageFiles files_;
  PageSpool spool_;
  PageImage page_;
  int page_number_ = 0;
  int cursor_y_ = 0;       // where the next detail band goes on the page
  int bands_on_page_ = 0;  // detail bands on the open page
};

}  // namespace mirabo::report
