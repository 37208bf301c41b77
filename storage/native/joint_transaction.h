// One write transaction over several open native files, so that a load
// replaces every table it names or none of them.
//
// The first file's connection attaches the other files' databases, and every
// member reads and writes through that connection until the transaction
// ends.  SQLite commits a transaction over attached databases atomically (a
// super-journal, in rollback-journal mode), so after a failed commit, or a
// crash at any point of one, each file is as it was before Begin; a reader
// of the files meanwhile sees the old tables or, after the commit, the new.
//
// While a file takes part, use its own operations (Add, Empty, GetByKey,
// reads), not its BeginTransaction, Commit or Rollback (they answer 80).
// Closing a member rolls the whole transaction back.  Waits for another
// process's lock follow the first file's hold-wait setting and the lock-wait
// observer (runtime/lock_wait.h).
#pragma once

#include <vector>

namespace mirabo {
class File;

namespace native {

class NativeFile;

class JointTransaction {
 public:
  JointTransaction() = default;
  // Rolls back a transaction that was neither committed nor rolled back.
  ~JointTransaction();
  JointTransaction(const JointTransaction&) = delete;
  JointTransaction& operator=(const JointTransaction&) = delete;

  // Begins over `files`: native files, open for writing, in no transaction,
  // at most ten, each on a data file of its own.  On failure returns the
  // code (43 when another process holds a file locked past the wait; 90
  // with a text naming the file when a data file is given twice) and leaves
  // every file as it was.
  [[nodiscard]] int Begin(const std::vector<File*>& files);
  // Commits all or nothing; on failure every file is as it was before
  // Begin.  Either way the transaction is over and the files work alone again.
  [[nodiscard]] int Commit();
  // Undoes everything since Begin.  Safe to call when nothing is active.
  int Rollback();

  bool active() const { return !members_.empty(); }

 private:
  // Ends the members' part: detaches the databases and gives each file its
  // own connection again.
  void Leave();

  std::vector<NativeFile*> members_;
};

}  // namespace native
}  // namespace mirabo
