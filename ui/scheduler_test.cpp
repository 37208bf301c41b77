#include "ui/scheduler.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/driver_alert.h"
#include "ui/dialogs.h"
#include "ui/headless.h"
#include "ui/window.h"

namespace mirabo::ui {
namespace {

const WindowDef& TestWindowDef() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "TEST$WINDOW";
    d.title = "Test";
    d.width = 100;
    d.height = 50;
    d.controls = {{.kind = ControlKind::kButton, .id = 1, .text = "&OK"},
                  {.kind = ControlKind::kList, .id = 2, .at = {0, 0, 90, 100}}};
    return d;
  }();
  return def;
}

class SchedulerTest : public ::testing::Test {
 protected:
  HeadlessBackend backend_;
  VirtualClock clock_;
  Scheduler scheduler_{backend_, clock_};
  std::vector<std::string> log_;
};

// A procedure that opens a window, logs every event and ends at CloseWindow.
Proc Logger(std::vector<std::string>& log, std::string name, int timer = 0) {
  Window w(TestWindowDef());
  w.Open();
  if (timer) w.SetTimer(timer);
  while (Event e = co_await w.Accept()) {
    log.push_back(name + ":" + std::to_string(e.code) +
                  (e.control ? "/" + std::to_string(e.control) : ""));
  }
  log.push_back(name + ":end");
  w.Close();
}

Task<int> Twice(std::vector<std::string>& log, int x) {
  log.push_back("twice " + std::to_string(x));
  co_return 2 * x;
}

Proc Caller(std::vector<std::string>& log, int* result) {
  log.push_back("caller before");
  // A call on the same thread: the callee runs to its end before the caller goes on.
  const int a = co_await Twice(log, 3);
  const int b = co_await Twice(log, a);
  *result = b;
  log.push_back("caller after");
}

TEST_F(SchedulerTest, CallsOnTheSameThreadRunToTheirEnd) {
  int result = 0;
  const ThreadId id = scheduler_.Start(Caller(log_, &result));
  EXPECT_EQ(id, 1);
  EXPECT_TRUE(log_.empty()) << "a started procedure waits for the scheduler";
  scheduler_.RunReady();
  EXPECT_EQ(result, 12);
  EXPECT_EQ(log_,
            (std::vector<std::string>{"caller before", "twice 3", "twice 6", "caller after"}));
  EXPECT_EQ(scheduler_.thread_count(), 0) << "the thread ended with its procedure";
}

TEST_F(SchedulerTest, ThreadsGiveWayOnlyWhileTheyWaitForEvents) {
  const ThreadId a = scheduler_.Start(Logger(log_, "a"));
  const ThreadId b = scheduler_.Start(Logger(log_, "b"));
  scheduler_.RunReady();
  EXPECT_EQ(log_, (std::vector<std::string>{"a:515", "b:515"}));  // EVENT_OpenWindow each
  log_.clear();

  // Posting across threads: b posts nothing itself, a's window gets the event.
  EXPECT_TRUE(scheduler_.PostToThread(a, {EVENT_Accepted, 2005}));
  scheduler_.TopWindow(b)->Post(EVENT_Accepted, 1);
  scheduler_.TopWindow(b)->Post(EVENT_CloseWindow);
  scheduler_.RunReady();
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1/2005", "b:1/1", "b:513", "b:end"}));
  EXPECT_FALSE(scheduler_.Alive(b));
  EXPECT_TRUE(scheduler_.Alive(a));
  EXPECT_FALSE(scheduler_.PostToThread(b, {EVENT_Accepted, 1}))
      << "a finished thread takes nothing";
}

TEST_F(SchedulerTest, TimersFireOnTheVirtualClock) {
  scheduler_.Start(Logger(log_, "t", 100));  // one second
  scheduler_.RunReady();
  log_.clear();
  scheduler_.Advance(999);
  EXPECT_TRUE(log_.empty());
  scheduler_.Advance(1);
  EXPECT_EQ(log_, (std::vector<std::string>{"t:523"}));  // EVENT_Timer
  scheduler_.Advance(3000);
  EXPECT_EQ(log_.size(), 4u) << "one event per period, in order";
}

Proc Slices(int* done, int slices) {
  for (; *done < slices; ++*done) co_await GiveWay();
}

TEST_F(SchedulerTest, AThreadThatGivesWayGoesOnAtTheNextTurnOnly) {
  int done = 0;
  scheduler_.Start(Slices(&done, 3));
  scheduler_.RunReady();
  EXPECT_EQ(done, 0) << "not again in the same run";
  EXPECT_EQ(scheduler_.NextTimerDue(), clock_.NowMs()) << "but due at once";
  scheduler_.Tick();
  EXPECT_EQ(done, 1);
  scheduler_.Advance(0);
  EXPECT_EQ(done, 3) << "each turn a slice, without the clock moving";
  EXPECT_EQ(scheduler_.thread_count(), 0);
}

Proc StartMany(std::vector<ThreadId>& ids, std::vector<std::string>& log) {
  for (int i = 0; i < 70; ++i) ids.push_back(Scheduler::Get().Start(Logger(log, "x"), i * 1000));
  co_return;
}

TEST_F(SchedulerTest, AtMostSixtyFourThreadsAndAMinimumStack) {
  std::vector<ThreadId> ids;
  scheduler_.Start(StartMany(ids, log_));
  scheduler_.RunReady();
  ASSERT_EQ(ids.size(), 70u);
  EXPECT_EQ(ids[62], 64);
  EXPECT_EQ(ids[63], 0) << "the 64th start while the starter still runs is refused";
  EXPECT_EQ(scheduler_.StackSize(ids[0]), kMinStack);
  EXPECT_EQ(scheduler_.StackSize(ids[30]), 30000);
}

// GCC 12 mishandles non-trivial temporaries inside a co_await expression:
// requests are built as named objects first.
Proc AskTwice(std::vector<std::string>& log) {
  const MessageRequest sure{"Sure?", "Question", Icon::kExclamation, kButtonYes | kButtonNo,
                            kButtonYes};
  const int first = co_await Message(sure);
  log.push_back("first " + std::to_string(first));
  const MessageRequest really{"Really?", "Question", Icon::kExclamation, kButtonYes | kButtonNo,
                              kButtonNo};
  const int second = co_await Message(really);
  log.push_back("second " + std::to_string(second));
  std::string text = "Stopped here";
  co_await Halt(text);
  log.push_back("never");
}

TEST_F(SchedulerTest, ScriptedMessagesAndAHaltThatEndsTheProgram) {
  backend_.answers = {kButtonNo};
  scheduler_.Start(AskTwice(log_));
  scheduler_.Start(Logger(log_, "other"));
  scheduler_.RunReady();
  // While the first thread waits for its answer, the other one runs.
  EXPECT_EQ(log_, (std::vector<std::string>{"first 4", "other:515", "second 4"}));
  ASSERT_EQ(backend_.messages.size(), 3u);
  EXPECT_EQ(backend_.messages[2].request.caption, "Halt");
  EXPECT_EQ(backend_.messages[2].request.text, "Stopped here");
  EXPECT_EQ(backend_.messages[2].request.buttons, kButtonOk);
  EXPECT_TRUE(scheduler_.exited());
  EXPECT_EQ(backend_.quit_code, 0);
  // Nothing runs after the halt, not even the other thread's open event.
  scheduler_.TopWindow(2) ? scheduler_.TopWindow(2)->Post(EVENT_Accepted, 1) : void();
  EXPECT_FALSE(scheduler_.RunReady());
}

Proc Stopper(std::vector<std::string>& log) {
  const std::string text = "Access Denied";
  co_await StopBox(text);
  log.push_back("ignored");
  co_await StopBox(text);
  log.push_back("not reached");
}

TEST_F(SchedulerTest, TheStopBoxIgnoresOrEndsTheProgram) {
  backend_.answers = {kButtonIgnore, kButtonAbort};
  scheduler_.Start(Stopper(log_));
  scheduler_.RunReady();
  EXPECT_EQ(log_, (std::vector<std::string>{"ignored"}));
  ASSERT_EQ(backend_.messages.size(), 2u);
  EXPECT_EQ(backend_.messages[0].request.caption, "Stop");
  EXPECT_EQ(backend_.messages[0].request.default_button, kButtonAbort);
  EXPECT_TRUE(scheduler_.exited());
}

Proc Pick(std::optional<std::string>* out) {
  const FileDialogRequest request{"Enter the name of your HTML File", "/tmp/FEATURES.HTM",
                                  "HTML Files|*.HTM|All Files|*.*", true};
  *out = co_await FileDialog(request);
}

TEST_F(SchedulerTest, FileDialogsAnswerFromTheScript) {
  std::optional<std::string> got = "unset";
  backend_.file_answers = {std::string("/tmp/x.htm")};
  scheduler_.Start(Pick(&got));
  scheduler_.RunReady();
  EXPECT_EQ(got, "/tmp/x.htm");
  scheduler_.Start(Pick(&got));
  scheduler_.RunReady();
  EXPECT_EQ(got, std::nullopt) << "an unscripted dialog is cancelled";
  EXPECT_EQ(backend_.file_dialogs[0].filter, "HTML Files|*.HTM|All Files|*.*");
}

TEST_F(SchedulerTest, DestroyingTheSchedulerClosesWindowsLeftOpen) {
  auto backend = std::make_unique<HeadlessBackend>();
  VirtualClock clock;
  std::vector<std::string> log;
  {
    Scheduler s(*backend, clock);
    s.Start(Logger(log, "left"));
    s.RunReady();
    EXPECT_EQ(s.windows().size(), 1u);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"left:515"}));
}

TEST(HeadlessBackendTest, ListRowsFollowTheHeight) {
  EXPECT_EQ(HeadlessBackend::ListRows(154), 16);
  EXPECT_EQ(HeadlessBackend::ListRows(5), 1);
}

// A procedure whose file statements raise driver alerts: the boxes come up
// when it next waits, before its own message box, and it goes on only once
// they are answered.
Proc RaisesAlerts(std::vector<std::string>& log) {
  RaiseDriverAlert({DriverAlert::Kind::kExclamation, "xBase Driver", "a warning"});
  RaiseDriverAlert({DriverAlert::Kind::kStop, "", "File X.DBF, xBase Error (-233): bad data"});
  log.push_back("after the statements");
  MessageRequest own;  // named: GCC 12 mishandles temporaries in co_await
  own.text = "its own box";
  const int pressed = co_await Message(own);
  log.push_back("own box answered " + std::to_string(pressed));
  RaiseDriverAlert({DriverAlert::Kind::kStop, "", "second failure"});
  Window w(TestWindowDef());
  w.Open();
  while (co_await w.Accept()) log.push_back("event");
}

TEST_F(SchedulerTest, DriverAlertsShowBeforeTheThreadWaitsAndAbortEndsTheProgram) {
  backend_.answers = {kButtonOk, kButtonIgnore, kButtonOk, kButtonAbort};
  scheduler_.Start(RaisesAlerts(log_));
  scheduler_.RunReady();
  ASSERT_EQ(backend_.messages.size(), 4u);
  EXPECT_EQ(backend_.messages[0].request.caption, "xBase Driver");
  EXPECT_EQ(backend_.messages[0].request.icon, Icon::kExclamation);
  EXPECT_EQ(backend_.messages[1].request.caption, "Stop");
  EXPECT_EQ(backend_.messages[1].request.text, "File X.DBF, xBase Error (-233): bad data");
  EXPECT_EQ(backend_.messages[1].request.buttons, kButtonAbort | kButtonIgnore);
  EXPECT_EQ(backend_.messages[2].request.text, "its own box");
  EXPECT_EQ(backend_.messages[3].request.text, "second failure");
  EXPECT_EQ(log_, (std::vector<std::string>{"after the statements", "own box answered 1"}))
      << "the window's events never reached the procedure";
  EXPECT_TRUE(scheduler_.exited());
  EXPECT_EQ(backend_.quit_code, 0);
}

Proc FailsThenLogs(std::vector<std::string>& log) {
  RaiseDriverAlert({DriverAlert::Kind::kStop, "", "failure"});
  Window w(TestWindowDef());
  w.Open();
  while (Event e = co_await w.Accept()) log.push_back("event " + std::to_string(e.code));
}

TEST_F(SchedulerTest, AThreadWaitsWhileItsAlertIsUnanswered) {
  // The backend answers later, as a real one does.
  struct LateBackend : HeadlessBackend {
    std::function<void(int)> pending;
    void ShowMessage(const MessageRequest& r, std::function<void(int)> done) override {
      messages.push_back({r, 0});
      pending = std::move(done);
    }
  };
  LateBackend late;
  VirtualClock clock;
  Scheduler s(late, clock);
  std::vector<std::string> log;
  s.Start(FailsThenLogs(log));
  s.RunReady();
  ASSERT_EQ(late.messages.size(), 1u);
  EXPECT_TRUE(log.empty()) << "not resumed while the stop box is up";
  late.pending(kButtonIgnore);
  s.RunReady();
  EXPECT_EQ(log, (std::vector<std::string>{"event 515"}));
  EXPECT_FALSE(s.exited());
}

}  // namespace
}  // namespace mirabo::ui
