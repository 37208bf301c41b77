// Procedure threads: coroutines on one OS thread, one running at a time.
//
// A logical thread runs a procedure (a Task) from its start to its end and
// gives way only when it waits: for its window's next event, for a modal
// answer (a message box, a file dialog), or for a time on the clock (Sleep).  The scheduler resumes
// one ready thread at a time, in order of thread number, until none is ready; timers post
// EVENT_Timer when the clock passes their due time.  The clock is real in the program and virtual
// in tests (Advance moves it), so tests never sleep.
//
// States of a thread: new (ready to start) -> waiting for an event, a modal
// answer or a time -> ready again when its window has an event, the answer
// has come or the clock has passed the time -> done when its procedure
// returns.  Invariant: only the thread being resumed runs procedure code;
// Current() names it.  A procedure that suspends on anything else could
// never be resumed: the scheduler reports it and ends its thread.
//
// Driver alerts (runtime/driver_alert.h).  While a scheduler exists it is the
// runtime's alert sink: a box a driver raises on a thread is shown when that
// thread next waits, before the wait begins (before a modal request of its
// own is shown), and the thread is not resumed until every such box is
// answered.  A stop box answered with anything but Ignore ends the program.
// A box raised outside any thread is shown at once.
#pragma once

#include <chrono>
#include <coroutine>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/driver_alert.h"
#include "ui/backend.h"
#include "ui/event.h"
#include "ui/task.h"

namespace mirabo::ui {

class Window;
using ThreadId = int;

constexpr int kMaxThreads = 64;
constexpr int kMinStack = 20000;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMs() = 0;
};

class SteadyClock final : public Clock {
 public:
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

class VirtualClock final : public Clock {
 public:
  int64_t NowMs() override { return now_; }
  void Set(int64_t ms) { now_ = ms; }

 private:
  int64_t now_ = 0;
};

class Scheduler {
 public:
  // The scheduler the procedures use; installs itself until destroyed.
  Scheduler(Backend& backend, Clock& clock);
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  static Scheduler& Get();
  static bool Installed();

  Backend& backend() { return *backend_; }
  Clock& clock() { return *clock_; }

  // Real elapsed time in microseconds, whichever clock fires the timers: how
  // long one event's work has taken so far (ui/timer_batch.h).  The steady
  // clock unless a test installs its own; an empty function restores it.
  int64_t WorkTimeUs() const;
  void SetWorkClock(std::function<int64_t()> clock) { work_clock_ = std::move(clock); }

  // Each new thread gets data made by this factory (the per-thread block).
  void SetThreadDataFactory(std::function<std::shared_ptr<void>()> factory);
  void* ThreadData(ThreadId id);
  void* CurrentThreadData() { return ThreadData(current_); }

  // Starts `proc` on a new thread; returns its number, or 0 when the
  // threads are all in use.  A stack below 20000 bytes is raised to it.
  ThreadId Start(Proc proc, int stack_size = 0);
  ThreadId Current() const { return current_; }
  int StackSize(ThreadId id) const;
  int thread_count() const { return static_cast<int>(threads_.size()); }
  bool Alive(ThreadId id) const { return threads_.count(id) != 0; }
  // Threads ended because they suspended where nothing could resume them.
  int stranded() const { return stranded_; }

  // Resumes ready threads until none is ready.  Returns whether any ran.
  bool RunReady();
  // Posts the timer events that are due, then runs the ready threads.
  void Tick();
  // Virtual clocks: moves time forward by `ms`, firing timers in due order.
  void Advance(int64_t ms);
  // The earliest due time of a running timer or a sleeping thread, or -1.
  int64_t NextTimerDue() const;

  // The window that a thread is working in (its newest open window).
  Window* TopWindow(ThreadId id) const;
  // Posts to the top window of another thread.
  bool PostToThread(ThreadId id, Event e);
  // The active child window of the frame, as the backend reports it.
  Window* ActiveChild() const { return active_child_; }
  void SetActiveChild(Window* w) { active_child_ = w; }
  const std::vector<Window*>& windows() const { return windows_; }

  // Ends the program with `exit_code`; no thread runs again.
  void Exit(int exit_code);
  bool exited() const { return exited_; }
  int exit_code() const { return exit_code_; }

  // Used by the awaiters of ui/: the current thread waits for `w`'s next
  // event, or for a modal answer; `start` shows the modal request once the
  // thread's pending driver alerts are answered.
  void WaitForEvent(Window& w, std::coroutine_handle<> h);
  void WaitForModal(std::coroutine_handle<> h, std::function<void()> start);
  void WaitUntil(int64_t due_ms, std::coroutine_handle<> h);
  // Due at once, but not in the RunReady pass that suspends it: the event
  // loop has its turn first.
  void WaitForNextPass(std::coroutine_handle<> h);
  void ModalDone(ThreadId id);

  // Used by Window.
  void Register(Window& w);
  void Unregister(Window& w);
  void Changed(Window& w);

 private:
  struct Thread;
  bool Ready(const Thread& t) const;
  void QueueAlert(const DriverAlert& alert);
  // Shows thread `id`'s pending alerts one after another, then runs `then`.
  void ShowAlerts(ThreadId id, std::function<void()> then);
  // Shows `alert` outside any thread; `then` runs once it is answered (and
  // the program goes on).
  void ShowAlert(const DriverAlert& alert, std::function<void()> then);

  Backend* backend_;
  Clock* clock_;
  std::function<int64_t()> work_clock_;
  std::function<std::shared_ptr<void>()> data_factory_;
  std::map<ThreadId, std::unique_ptr<Thread>> threads_;
  ThreadId current_ = 0;
  ThreadId last_resumed_ = 0;
  uint64_t pass_ = 0;  // RunReady calls so far
  std::vector<Window*> windows_;
  Window* active_child_ = nullptr;
  bool exited_ = false;
  int exit_code_ = 0;
  bool running_ = false;
  int stranded_ = 0;
};

// `co_await Sleep(ms)`: the current thread gives way for `ms` milliseconds of
// the scheduler's clock; other threads run and timers fire meanwhile.
class SleepAwaiter {
 public:
  explicit SleepAwaiter(int64_t ms) : ms_(ms) {}
  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> h) {
    Scheduler& s = Scheduler::Get();
    s.WaitUntil(s.clock().NowMs() + ms_, h);
  }
  void await_resume() const noexcept {}

 private:
  int64_t ms_;
};

inline SleepAwaiter Sleep(int64_t ms) { return SleepAwaiter(ms); }

// `co_await GiveWay()`: the current thread goes on at the event loop's next
// turn, once the events that came meanwhile are handled; for long work done
// in slices.  Unlike Sleep(0), never in the same run of ready threads.
class GiveWayAwaiter {
 public:
  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> h) { Scheduler::Get().WaitForNextPass(h); }
  void await_resume() const noexcept {}
};

inline GiveWayAwaiter GiveWay() { return {}; }

}  // namespace mirabo::ui
