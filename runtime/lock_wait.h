// Waiting for a lock that another process holds.
//
// A driver that finds a file locked by another process does not sleep until
// the lock goes: it waits in short steps (a few milliseconds each) and calls
// the installed observer before every step.  The observer keeps the program
// live meanwhile (the window layer lets its windows repaint and queues their
// input) and may end the wait early by returning false; the operation then
// fails as a wait that ran out of time does.  Without an observer the driver
// waits as its own settings say.
//
// One observer serves the process; like the rest of the runtime it is used
// from one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mirabo {

struct LockWait {
  std::string file;       // full name of the file that is locked
  int holder = 0;         // id of a process holding the lock; 0 when unknown
  int64_t waited_ms = 0;  // since this wait began
  bool first = false;     // the first step of this wait
  // The pause the caller takes next on the program's clock.  A batch run,
  // whose clock does not wait (its timers fire at once), takes it for real
  // in its observer; 0 when the caller sleeps for real itself.
  int64_t pause_ms = 0;
};

using LockWaitObserver = std::function<bool(const LockWait&)>;

// Installs `observer` (empty: none) and returns the one it replaces.
LockWaitObserver SetLockWaitObserver(LockWaitObserver observer);

// For drivers: reports one step of a wait; false when the wait is to end now.
bool ObserveLockWait(const LockWait& wait);

// The name of process `pid` as the system gives it ("sqlite3"), or "".
std::string ProcessName(int pid);

// "SUPPLIER.KVX is locked by sqlite3 (process 4242)": the file's name
// without its folder and the holder as well as the system tells it
// ("another program" when it does not).
std::string LockSentence(const std::string& file, int holder);

}  // namespace mirabo
