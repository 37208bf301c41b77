// What became of a run that writes an output: Create File's copy, a Publish,
// a report run or a search.  The procedure returns it; the window turns it
// into its texts, the batch commands into their messages and exit statuses.
// Nobody decides anything by reading the texts a window showed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mirabo::app {

struct Outcome {
  enum class Kind {
    kComplete,    // the whole output was written: `written` records, rows or pages
    kIncomplete,  // written, but `missing` records are not in it; `failure` says
                  // which was first and why
    kCancelled,   // the user stopped it (or answered No); nothing is claimed
    kFailed,      // no usable output; `failure` says why
  };
  Kind kind = Kind::kCancelled;
  int64_t written = 0;
  int64_t missing = 0;
  std::string failure;

  static Outcome Complete(int64_t written) { return {Kind::kComplete, written, 0, {}}; }
  static Outcome Incomplete(int64_t written, int64_t missing, std::string failure) {
    return {Kind::kIncomplete, written, missing, std::move(failure)};
  }
  static Outcome Cancelled() { return {}; }
  static Outcome Failed(std::string failure) { return {Kind::kFailed, 0, 0, std::move(failure)}; }
  bool complete() const { return kind == Kind::kComplete; }
};

// Who else hears of outcomes besides the window: the batch commands install
// an observer for the run they start.  Returns the one it replaces.
using OutcomeObserver = std::function<void(const Outcome&)>;
OutcomeObserver SetOutcomeObserver(OutcomeObserver observer);

// Tells the observer, if any, how a run ended.  Every run that writes an
// output calls it exactly once, on every way out.
void NotifyOutcome(const Outcome& outcome);

}  // namespace mirabo::app
