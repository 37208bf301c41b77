// Procedures are C++20 coroutines.  A Task starts lazily: nothing runs until
// it is awaited (the callee then runs on the caller's procedure thread) or
// handed to Scheduler::Start (it then runs on a new procedure thread).  Lazy
// start is what makes "call on this thread" and "start on a new thread" the
// same object: the caller decides.
//
// A task that finishes resumes whoever awaited it, by symmetric transfer, so
// nested calls do not grow the native stack.
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
    auto next = h.promise().continuation;
    return next ? next : std::noop_coroutine();
  }
  void await_resume() const noexcept {}
};

struct PromiseBase {
  std::coroutine_handle<> continuation;
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
  std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
    h_.promise().continuation = caller;
    return h_;
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
