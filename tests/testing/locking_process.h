// Another process that holds a lock on an SQLite database file: a sqlite3
// shell in the middle of a transaction, the real thing the program and the
// loader must wait for, give up on and report.  (A forked copy of the test
// would not do: it inherits SQLite's record of the locks this process holds
// and would not take its own.)
#pragma once

#include <sys/types.h>

#include <string>

namespace mirabo::testing {

class LockingProcess {
 public:
  // Starts `sqlite3 path`, has it run `sql` ("BEGIN EXCLUSIVE", or "BEGIN;
  // SELECT count(*) FROM sqlite_master" for a reader's lock) and hold what it
  // took until Release().
  LockingProcess(const std::string& path, const std::string& sql);
  // Releases the lock if still held.
  ~LockingProcess();
  LockingProcess(const LockingProcess&) = delete;
  LockingProcess& operator=(const LockingProcess&) = delete;

  // True when the shell ran `sql` and holds its lock.
  bool holding() const { return holding_; }
  pid_t pid() const { return pid_; }
  // Has the shell roll back and end; returns once it ended.
  void Release();

 private:
  pid_t pid_ = -1;
  int to_shell_ = -1;
  bool holding_ = false;
};

}  // namespace mirabo::testing
