// How SQLite's results become the runtime's error codes, and the waits on
// other processes' locks.
#include "storage/native/native_file.h"

#include <algorithm>
#include <thread>

#include "runtime/error.h"
#include "runtime/lock_wait.h"
#include "storage/native/lock_holder.h"

namespace mirabo::native {

// SQLite calls this while another process holds a lock this connection
// needs.  An open answers 32 at once: its caller decides how long to keep
// trying, and the program does so between events.  Any other operation waits
// for the hold-wait time (0: until the lock goes), in steps of a few
// milliseconds, telling the lock-wait observer before each step so that the
// program stays live and a batch run can give up.
int NativeFile::BusyCallback(void* self, int count) {
  auto* f = static_cast<NativeFile*>(self);
  if (f->busy_mode_ == BusyMode::kOpen) return 0;
  const auto now = std::chrono::steady_clock::now();
  if (count == 0) {
    f->busy_started_ = now;
    f->FindLockHolder();
  }
  const int64_t waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - f->busy_started_).count();
  if (f->hold_wait_ > 0 && waited >= int64_t{f->hold_wait_} * 1000) return 0;
  if (!ObserveLockWait({f->busy_file_, f->busy_holder_, waited, count == 0})) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : 5));
  return 1;
}

void NativeFile::FindLockHolder() {
  busy_file_ = name_.path;
  busy_holder_ = 0;
  std::vector<const NativeFile*> files = {this};
  for (const NativeFile* f : followers_) files.push_back(f);
  for (const NativeFile* f : files) {
    const int holder = LockHolder(f->name_.path);
    if (holder != 0) {
      busy_file_ = f->name_.path;
      busy_holder_ = std::max(holder, 0);
      return;
    }
  }
}

int NativeFile::MapError(int rc, sqlite3* db, BusyMode mode) {
  const int extended = db ? sqlite3_extended_errcode(db) : rc;
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kNoError;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return mode == BusyMode::kOpen ? kFileIsAlreadyLocked : kRecordIsAlreadyHeld;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
      return kInvalidDataFile;
    case SQLITE_READONLY:
      // A hot journal that a read-only connection cannot roll back: the lock
      // of a writer that stopped half-way.
      if (extended == SQLITE_READONLY_ROLLBACK || extended == SQLITE_READONLY_RECOVERY) {
        return kFileIsAlreadyLocked;
      }
      return kAccessDenied;
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kAccessDenied;
    case SQLITE_NOMEM:
      return kInsufficientMemory;
    case SQLITE_FULL:
      return kOsErrorBase + 39;
    case SQLITE_CONSTRAINT:
      // Only a unique index makes a duplicate key; any other constraint a
      // file carries (one another tool added) is reported as it is.
      if (extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY) {
        return kCreatesDuplicateKey;
      }
      break;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      const int sys = db ? sqlite3_system_errno(db) : 0;
      if (sys != 0) {
        const int code = ErrorFromErrno(sys);
        if (code != kFileSystemError) return code;
      }
      if ((rc & 0xFF) == SQLITE_CANTOPEN) return kAccessDenied;
      break;
    }
    default:
      break;
  }
  return SetFileSystemError(extended, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

int NativeFile::Exec(sqlite3* db, const std::string& sql, BusyMode mode) {
  busy_mode_ = mode;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? kNoError : MapError(rc, db, mode);
}

}  // namespace mirabo::native
