// The coroutine task type and the scheduler's handling of what procedures
// wait for, under the headless loop with a watchdog.
#include "ui/task.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testing/watchdog.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::ui {
namespace {

using testing::RunUntilEnded;
using testing::Watchdog;

const WindowDef& PlainWindow() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "TASK$WINDOW";
    d.title = "Task";
    d.width = 100;
    d.height = 50;
    return d;
  }();
  return def;
}

class TaskTest : public ::testing::Test {
 protected:
  Watchdog watchdog_{std::chrono::seconds(20),
                     ::testing::UnitTest::GetInstance()->current_test_info()->name()};
  HeadlessBackend backend_;
  VirtualClock clock_;
  Scheduler scheduler_{backend_, clock_};
};

// Counts its own destruction, to see which frames were torn down.
struct Guard {
  int* count;
  ~Guard() { ++*count; }
};

// Waits for one event on its own window, then answers with `x + 1`.
Task<int> AfterAnEvent(int x, Window** shown, int* destroyed) {
  Guard g{destroyed};
  Window w(PlainWindow());
  w.Open();
  *shown = &w;
  co_await w.Accept();  // EVENT_OpenWindow
  co_await w.Accept();  // the event the test posts
  *shown = nullptr;
  w.Close();
  co_return x + 1;
}

Task<int> Middle(int x, Window** shown, int* destroyed) {
  Guard g{destroyed};
  const int y = co_await AfterAnEvent(x, shown, destroyed);
  co_return y * 10;
}

Proc Outer(int* result, Window** shown, int* destroyed) {
  Guard g{destroyed};
  *result = co_await Middle(4, shown, destroyed);
}

TEST_F(TaskTest, NestedCallsResumeTheirCallersWithTheirResults) {
  int result = 0, destroyed = 0;
  Window* shown = nullptr;
  const ThreadId id = scheduler_.Start(Outer(&result, &shown, &destroyed));
  scheduler_.RunReady();
  ASSERT_NE(shown, nullptr) << "the innermost call waits for its window";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(destroyed, 0);
  shown->Post(EVENT_Accepted, 1);
  EXPECT_TRUE(RunUntilEnded(scheduler_, id, 1000));
  EXPECT_EQ(result, 50);
  EXPECT_EQ(destroyed, 3) << "every frame ended once";
}

// A task destroyed while it waits (the program ends under it) tears down
// every frame of the call chain, innermost locals included, and closes its
// window; a task never awaited never runs.
TEST_F(TaskTest, DestroyingASuspendedTaskEndsEveryFrameOfItsChain) {
  int result = 0, destroyed = 0;
  Window* shown = nullptr;
  {
    HeadlessBackend backend;
    VirtualClock clock;
    Scheduler scheduler(backend, clock);
    scheduler.Start(Outer(&result, &shown, &destroyed));
    scheduler.RunReady();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->is_open());
  }
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(result, 0) << "the caller never resumed";

  bool ran = false;
  {
    auto never = [](bool* r) -> Proc {
      *r = true;
      co_return;
    }(&ran);
  }
  EXPECT_FALSE(ran) << "tasks start lazily";
}

// A long chain of calls that finish at once does not grow the native stack,
// in debug builds too (no tail calls there); nesting goes as deep as any
// procedure needs.  (Results are taken into named variables: GCC 12
// mishandles a co_await inside a larger expression.)
Task<int> Zero() { co_return 0; }

Task<int> Depth(int n) {
  if (n == 0) co_return 0;
  const int below = co_await Depth(n - 1);
  co_return below + 1;
}

Proc ManyCalls(long* total) {
  for (int i = 0; i < 200000; ++i) {
    const int zero = co_await Zero();
    *total += zero + 1;
  }
  const int deep = co_await Depth(1000);
  *total += deep;
}

TEST_F(TaskTest, LongChainsOfCallsDoNotGrowTheStack) {
  long total = 0;
  const ThreadId id = scheduler_.Start(ManyCalls(&total));
  EXPECT_TRUE(RunUntilEnded(scheduler_, id, 0));
  EXPECT_EQ(total, 201000);
}

// A procedure that sleeps gives way: others run, timers fire, and it goes
// on when the clock has passed its time.
Proc Sleeper(std::vector<std::string>* log) {
  log->push_back("sleep");
  co_await Sleep(500);
  log->push_back("awake");
}

Proc Ticker(std::vector<std::string>* log) {
  Window w(PlainWindow());
  w.Open();
  w.SetTimer(20);  // every 200 ms
  int ticks = 0;
  while (Event e = co_await w.Accept()) {
    if (e.code == EVENT_Timer) log->push_back("tick");
    if (e.code == EVENT_Timer && ++ticks == 3) break;
  }
  w.Close();
}

TEST_F(TaskTest, ASleepingThreadGivesWayUntilTheClockHasPassedItsTime) {
  std::vector<std::string> log;
  const ThreadId sleeper = scheduler_.Start(Sleeper(&log));
  const ThreadId ticker = scheduler_.Start(Ticker(&log));
  scheduler_.RunReady();
  EXPECT_EQ(scheduler_.NextTimerDue(), 200);
  scheduler_.Advance(1000);
  EXPECT_EQ(log, (std::vector<std::string>{"sleep", "tick", "tick", "awake", "tick"}));
  EXPECT_FALSE(scheduler_.Alive(sleeper));
  EXPECT_FALSE(scheduler_.Alive(ticker));
}

// A procedure that suspends on something the window layer does not know
// would wait for ever unnoticed: the scheduler says so and ends its thread,
// closing its window.
Proc Stranded(Window** shown) {
  Window w(PlainWindow());
  w.Open();
  *shown = &w;
  co_await std::suspend_always{};
}

TEST_F(TaskTest, AThreadSuspendedOutsideTheWindowLayerIsReportedAndEnded) {
  Window* shown = nullptr;
  ::testing::internal::CaptureStderr();
  const ThreadId id = scheduler_.Start(Stranded(&shown));
  scheduler_.RunReady();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(scheduler_.Alive(id));
  EXPECT_EQ(scheduler_.stranded(), 1);
  EXPECT_NE(said.find("procedure thread 1 waited for something other than"), std::string::npos)
      << said;
  EXPECT_TRUE(scheduler_.windows().empty()) << "its window closed with it";
}

// The watchdog fails a test whose procedure never finishes, saying which.
TEST(WatchdogDeathTest, AProcedureThatNeverFinishesFailsTheTest) {
  EXPECT_EXIT(
      {
        Watchdog dog(std::chrono::milliseconds(200), "the endless procedure");
        HeadlessBackend backend;
        VirtualClock clock;
        Scheduler scheduler(backend, clock);
        scheduler.Start([]() -> Proc {
          for (volatile bool forever = true; forever;) {
          }
          co_return;
        }());
        scheduler.RunReady();
      },
      ::testing::ExitedWithCode(3), "the endless procedure did not finish within 200 ms");
}

}  // namespace
}  // namespace mirabo::ui
