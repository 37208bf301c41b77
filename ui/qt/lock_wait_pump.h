// While a data file driver waits for a lock that another process holds, the
// program stays live: each step of the wait lets Qt deliver its events (the
// windows repaint; input is taken and queued for the procedures, which go on
// once the wait is over, since one procedure runs at a time) and the frame's
// status bar says what the program waits for, under a busy cursor.
#pragma once

#include <functional>

#include "runtime/lock_wait.h"

class QMainWindow;

namespace mirabo::ui::qt {

class LockWaitPump {
 public:
  // Installs itself as the process's lock-wait observer; `frame` finds the
  // frame window (null when there is none).
  explicit LockWaitPump(std::function<QMainWindow*()> frame);
  // Puts the previous observer back.
  ~LockWaitPump();
  LockWaitPump(const LockWaitPump&) = delete;
  LockWaitPump& operator=(const LockWaitPump&) = delete;

  // The scheduler's run has ended, and with it any wait: the cursor and the
  // status text go back to normal.
  void WaitOver();

 private:
  bool Step(const LockWait& wait);

  std::function<QMainWindow*()> frame_;
  LockWaitObserver previous_;
  bool waiting_ = false;
};

}  // namespace mirabo::ui::qt
