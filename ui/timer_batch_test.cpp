#include "ui/timer_batch.h"

#include <gtest/gtest.h>

#include "ui/headless.h"
#include "ui/scheduler.h"

namespace mirabo::ui {
namespace {

class TimerBatchTest : public ::testing::Test {
 protected:
  // Every reading of the work clock is `step_us` later than the one before.
  void Step(int64_t step_us) {
    scheduler_.SetWorkClock([this, step_us] { return now_us_ += step_us; });
  }
  // Items one event takes when `items` are waiting.
  int Take(int minimum, int items = 1000) {
    TimerBatch batch(minimum);
    int done = 0;
    while (done < items && batch.More()) ++done;
    EXPECT_EQ(batch.taken(), done);
    return done;
  }

  HeadlessBackend backend_;
  VirtualClock clock_;
  Scheduler scheduler_{backend_, clock_};
  int64_t now_us_ = 0;
};

TEST_F(TimerBatchTest, AnEventTakesTheMinimumThenMoreWhileUnderTheBudget) {
  Step(10000);  // slow work: past the budget at the first look
  EXPECT_EQ(Take(25), 25);
  EXPECT_EQ(Take(10), 10);
  Step(1000);  // a millisecond between looks: seven more fit below 8 ms
  EXPECT_EQ(Take(25), 32);
  Step(0);  // work that takes no time goes on until the items run out
  EXPECT_EQ(Take(25, 5000), 5000);
  EXPECT_EQ(Take(25, 3), 3) << "fewer items than the minimum end the batch early";
}

TEST_F(TimerBatchTest, TimeUpTellsWorkBetweenItemsWhenToStop) {
  Step(3000);
  const TimerBatch batch(25);  // started at 3 ms
  EXPECT_FALSE(batch.TimeUp()) << "6 ms: 3 in";
  EXPECT_FALSE(batch.TimeUp()) << "9 ms: 6 in";
  EXPECT_TRUE(batch.TimeUp()) << "12 ms: 9 in, past the budget";
  EXPECT_EQ(batch.taken(), 0) << "looking takes no item";
}

TEST_F(TimerBatchTest, TheVirtualEventClockDoesNotLimitTheBatch) {
  // Tests move the timers' clock by hand; the batch measures real work time.
  clock_.Set(1000000);
  Step(10000);
  EXPECT_EQ(Take(25), 25);
  scheduler_.SetWorkClock(nullptr);
  EXPECT_GE(Take(25), 25) << "the steady clock again";
}

}  // namespace
}  // namespace mirabo::ui
