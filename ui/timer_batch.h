// How much work one timer event of a timer-paced loop takes on: the report
// runs, Publish's all-records mode, the search.
//
// Design note.  Such a loop does its work in batches, one batch per timer
// event of its window, so that the window answers Cancel between batches.
// A fixed batch (25 records of a report, 10 rows of Publish) at one event
// every 10 ms would cap a large table at a few thousand records a second
// however fast the disk is.  So a batch is at least the described number of
// items, and goes on taking items while the event's work has taken less than
// kBatchBudget of real time; then the loop gives way to the next event.  The
// longest event stays near the budget plus one item, so Cancel still answers
// within about 10 ms, while a large table runs at the speed of the disk.
//
// What a loop does per item (its percentage, its progress text) is unchanged:
// the batch only decides where one event's work ends.
//
//   TimerBatch batch(25);
//   while (batch.More()) { ...one record...; if (done) break; }
//
// The time is the scheduler's work clock (real time; tests install their
// own), never the clock that fires timers, which is virtual in tests.
#pragma once

#include <chrono>
#include <cstdint>

namespace mirabo::ui {

constexpr std::chrono::microseconds kBatchBudget{8000};

class TimerBatch {
 public:
  // Starts measuring now.  `minimum` items are always taken.
  explicit TimerBatch(int minimum);

  // Whether the event takes one more item; counts it when it does.
  bool More();
  // Whether the event has used up its time (work between items, such as
  // records a report reads and skips, stops here; the next event goes on).
  bool TimeUp() const;
  // Items taken so far.
  int taken() const { return taken_; }

 private:
  int minimum_;
  int taken_ = 0;
  int64_t start_us_;
};

}  // namespace mirabo::ui
