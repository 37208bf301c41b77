// A watchdog for tests that drive procedures: a procedure that never
// finishes (a loop that never waits, a wait nothing answers) fails the test
// with a message that says what hung, instead of hanging the suite until
// ctest's own timeout kills it without a word.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "ui/scheduler.h"

namespace mirabo::testing {

class Watchdog {
 public:
  // Ends the process with exit code 3 and `what` on stderr unless destroyed
  // within `limit` of real time.
  Watchdog(std::chrono::milliseconds limit, std::string what)
      : what_(std::move(what)), thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "watchdog: %s did not finish within %lld ms\n", what_.c_str(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      disarmed_ = true;
    }
    done_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool disarmed_ = false;
  std::thread thread_;
};

// Runs the scheduler on its virtual clock for up to `budget_ms`, in steps,
// until thread `id` has ended; false when it is still alive afterwards.
inline bool RunUntilEnded(ui::Scheduler& scheduler, ui::ThreadId id, int64_t budget_ms) {
  scheduler.RunReady();
  for (int64_t spent = 0; scheduler.Alive(id) && spent < budget_ms; spent += 100) {
    scheduler.Advance(100);
  }
  return !scheduler.Alive(id);
}

}  // namespace mirabo::testing
