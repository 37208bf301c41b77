// How SQLite's results become the runtime's error codes, and the waits on
// other processes' locks.
#include "storage/native/native_file.h"

#include <thread>

#include "runtime/error.h"

namespace mirabo::native {

int NativeFile::BusyCallback(void* self, int count) {
  auto* f = static_cast<NativeFile*>(self);
  const auto now = std::chrono::steady_clock::now();
  int wait = f->busy_mode_ == BusyMode::kOpen ? f->recover_seconds_ : f->hold_wait_;
  if (f->busy_mode_ == BusyMode::kOpen && wait == 0) return 0;  // locked: report it at once
  if (count == 0) f->busy_deadline_ = now + std::chrono::seconds(wait);
  if (wait > 0 && now >= f->busy_deadline_) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : 10));
  return 1;
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
      return kCreatesDuplicateKey;
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
  return SetFileSystemError(std::to_string(extended), db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

int NativeFile::Exec(sqlite3* db, const std::string& sql, BusyMode mode) {
  busy_mode_ = mode;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? kNoError : MapError(rc, db, mode);
}

}  // namespace mirabo::native
