#include "ui/timer_batch.h"

#include "ui/scheduler.h"

namespace mirabo::ui {

TimerBatch::TimerBatch(int minimum) : minimum_(minimum), start_us_(Scheduler::Get().WorkTimeUs()) {}

bool TimerBatch::More() {
  if (taken_ >= minimum_ && TimeUp()) return false;
  ++taken_;
  return true;
}

bool TimerBatch::TimeUp() const {
  return Scheduler::Get().WorkTimeUs() - start_us_ >= kBatchBudget.count();
}

}  // namespace mirabo::ui
