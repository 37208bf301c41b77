// The file interface through which drivers reach the disk, so that tests can
// run them over memory (runtime/memory_file_system.h) and make writes, closes
// and opens fail (runtime/faulty_file_system.h).
//
// Every operation reports an IoStatus: the runtime error code (runtime/error.h)
// the failure maps to, and the operating-system error number behind it.  A
// failed operation leaves the file as the failure left it: a short write keeps
// the bytes that were written.
//
// Sharing.  Each open states the access it wants and the access it denies to
// opens that come later (or that are already there): an open conflicts with an
// earlier one when it wants what the other denies or denies what the other
// has.  A conflict fails the open with code 5 before the file is touched (a
// truncating open leaves the contents alone).  The POSIX file system keeps the
// sharing state in open-file-description locks, so it holds between processes
// and between two opens in one process alike; programs that do not take part
// are not stopped.
//
// Drivers use CurrentFileSystem(); it is the POSIX file system unless a test
// has put another in place.  None of the file systems is thread-safe: one
// procedure thread runs at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace mirabo {

class [[nodiscard]] IoStatus {
 public:
  IoStatus() = default;
  static IoStatus Ok() { return {}; }
  // The runtime code of `err` (ErrorFromErrno), keeping `err`.
  static IoStatus FromErrno(int err);
  // An explicit runtime code, with the system error behind it if any.
  static IoStatus Code(int code, int err = 0) { return IoStatus(code, err); }
  // The failures that every file system reports alike: an operation on a
  // closed handle (code 37), one that the open's access does not allow and an
  // open that conflicts with another's sharing (both code 5).
  static IoStatus NotOpen();
  static IoStatus WrongAccess();
  static IoStatus SharingViolation();

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  int os_error() const { return os_error_; }

  // Records the failure in the runtime's error state and returns its code:
  // code 90 with the system's number and text, any other code as it is.
  int Report() const;

 private:
  IoStatus(int code, int err) : code_(code), os_error_(err) {}
  int code_ = 0;
  int os_error_ = 0;
};

struct OpenOptions {
  bool read = true;
  bool write = false;
  bool create = false;     // create the file when it does not exist
  bool truncate = false;   // empty the file once the open has succeeded
  bool exclusive = false;  // with create: fail when the file already exists
  bool deny_read = false;
  bool deny_write = false;
};

// The access and sharing that a runtime access code (runtime/access.h) asks
// for.  Compatibility sharing (0x00) denies nothing.
OpenOptions OpenOptionsForAccess(uint8_t access_mode);

// An open file.  Offsets are in bytes from the start of the file.  Closing it
// (or destroying it) gives up its sharing.
class FileHandle {
 public:
  virtual ~FileHandle() = default;

  virtual IoStatus Size(int64_t* size) = 0;
  // Reads up to `n` bytes at `offset` into `out`, fewer at the end of the file.
  virtual IoStatus ReadAt(int64_t offset, size_t n, std::string* out) = 0;
  // Writes all of `data` at `offset`.  Not ok unless every byte was written;
  // `written` (when given) receives the count that was, also on failure.
  virtual IoStatus WriteAt(int64_t offset, std::string_view data, size_t* written = nullptr) = 0;
  virtual IoStatus Truncate(int64_t size) = 0;
  // Makes what was written durable.
  virtual IoStatus Sync() = 0;
  // Closes the file; later operations fail with code 37.  A failed close
  // still gives the file up.
  virtual IoStatus Close() = 0;

  // Byte-range locks, which may lie beyond the end of the file.  Lock takes
  // `length` bytes at `offset` without waiting and fails with code 32 when
  // another open of the file (in this process or another) holds a lock that
  // overlaps them.  The lock is exclusive when the file is open for writing,
  // else shared.  Unlock gives up the locks of this open that lie within the
  // range; closing the file gives up all of them.
  virtual IoStatus Lock(int64_t offset, int64_t length) = 0;
  virtual IoStatus Unlock(int64_t offset, int64_t length) = 0;

  // Writes `data` after the current last byte.
  IoStatus Append(std::string_view data, size_t* written = nullptr);
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens `path` as `options` say and sets `*file`; on failure `*file` is
  // null.  Codes: 2 the file is missing, 3 its folder is missing or the path
  // is invalid, 5 the access is refused or conflicts with another open.
  virtual IoStatus Open(const std::string& path, const OpenOptions& options,
                        std::unique_ptr<FileHandle>* file) = 0;
  virtual IoStatus Remove(const std::string& path) = 0;
  // Gives the file `from` the name `to`, replacing a file of that name.
  // Codes: 2 `from` is missing, 3 a folder is missing, 5 refused.
  virtual IoStatus Rename(const std::string& from, const std::string& to) = 0;

  // The operating system's file system.
  static FileSystem& Default();
};

// The file system that drivers use now.
FileSystem& CurrentFileSystem();
// Puts `fs` in place of the default; null restores it.  `fs` must outlive its
// use, and files opened through it must be closed before it goes.
void SetFileSystemForTests(FileSystem* fs);

// Puts a file system in place for the object's life.
class ScopedFileSystemForTests {
 public:
  explicit ScopedFileSystemForTests(FileSystem& fs) { SetFileSystemForTests(&fs); }
  ~ScopedFileSystemForTests() { SetFileSystemForTests(nullptr); }
  ScopedFileSystemForTests(const ScopedFileSystemForTests&) = delete;
  ScopedFileSystemForTests& operator=(const ScopedFileSystemForTests&) = delete;
};

}  // namespace mirabo
