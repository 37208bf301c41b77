// Procedures are C++20 coroutines.  A Task starts lazily: nothing runs until
// it is awaited (the callee then runs on the caller's procedure thread) or
// handed to Scheduler::Start (it then runs on a new procedure thread).  Lazy
// start is what makes "call on this thread" and "start on a new thread" the
// same object: the caller decides.
//
// Awaiting a task runs it at once on the caller's stack.  When it finishes
// without waiting (most calls), the caller simply goes on: a loop of many
// such calls never grows the native stack, with or without the compiler's
// tail calls (which debug builds lack).  When it waits (for an event, a modal
// answer, the clock), the caller stays suspended, and the task resumes it
// when it finishes, by symmetric transfer.
#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace mirabo::ui {

template <typename T>
class [[nodiscard]] Task;

namespace detail {

struct FinalAwaiter {
  bool await_ready() const noexcept { return false; }
  template <typename P>
  std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
    auto& p = h.promise();
    if (p.running_inline) {
      // Finished without waiting: back into the awaiter, which goes on.
      p.finished_inline = true;
      return std::noop_coroutine();
    }
    return p.continuation ? p.continuation : std::noop_coroutine();
  }
  void await_resume() const noexcept {}
};

struct PromiseBase {
  std::coroutine_handle<> continuation;
  bool running_inline = false;   // being run by the awaiter, on its stack
  bool finished_inline = false;  // and finished before it had to wait
  std::suspend_always initial_suspend() noexcept { return {}; }
  FinalAwaiter final_suspend() noexcept { return {}; }
  void unhandled_exception() noexcept { std::terminate(); }
};

}  // namespace detail

// What every task has: ownership of its coroutine, and awaiting it.
template <typename Promise>
class TaskBase {
 public:
  TaskBase(TaskBase&& o) noexcept : h_(std::exchange(o.h_, {})) {}
  TaskBase& operator=(TaskBase&& o) noexcept {
    if (this != &o) {
      if (h_) h_.destroy();
      h_ = std::exchange(o.h_, {});
    }
    return *this;
  }
  ~TaskBase() {
    if (h_) h_.destroy();
  }

  bool await_ready() const noexcept { return false; }
  // Runs the task; false (the caller goes on) when it finished meanwhile.
  bool await_suspend(std::coroutine_handle<> caller) noexcept {
    auto& p = h_.promise();
    p.continuation = caller;
    p.running_inline = true;
    h_.resume();
    p.running_inline = false;
    return !p.finished_inline;
  }

  // Gives the coroutine away (to a scheduler thread).
  std::coroutine_handle<Promise> release() { return std::exchange(h_, {}); }

 protected:
  explicit TaskBase(std::coroutine_handle<Promise> h) : h_(h) {}
  std::coroutine_handle<Promise> h_;
};

template <typename T>
struct TaskPromise : detail::PromiseBase {
  std::optional<T> value;
  Task<T> get_return_object();
  void return_value(T v) { value = std::move(v); }
};

template <>
struct TaskPromise<void> : detail::PromiseBase {
  Task<void> get_return_object();
  void return_void() {}
};

template <typename T>
class [[nodiscard]] Task : public TaskBase<TaskPromise<T>> {
 public:
  using promise_type = TaskPromise<T>;
  T await_resume() { return std::move(*this->h_.promise().value); }

 private:
  friend struct TaskPromise<T>;
  explicit Task(std::coroutine_handle<promise_type> h) : TaskBase<promise_type>(h) {}
};

template <>
class [[nodiscard]] Task<void> : public TaskBase<TaskPromise<void>> {
 public:
  using promise_type = TaskPromise<void>;
  void await_resume() const noexcept {}

 private:
  friend struct TaskPromise<void>;
  explicit Task(std::coroutine_handle<promise_type> h) : TaskBase<promise_type>(h) {}
};

template <typename T>
Task<T> TaskPromise<T>::get_return_object() {
  return Task<T>(std::coroutine_handle<TaskPromise<T>>::from_promise(*this));
}

inline Task<void> TaskPromise<void>::get_return_object() {
  return Task<void>(std::coroutine_handle<TaskPromise<void>>::from_promise(*this));
}

// A procedure: a task without a result.
using Proc = Task<void>;

}  // namespace mirabo::ui
