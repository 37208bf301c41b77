// The file interface through which drivers reach the disk, so that tests can
// run them over memory and make writes, closes and opens fail.
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

#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mirabo {

class [[nodiscard]] IoStatus {
 public:
  IoStatus() = default;
  static IoStatus Ok() { return {}; }
  // The runtime code of `err` (ErrorFromErrno), keeping `err`.
  static IoStatus FromErrno(int err);
  // An explicit runtime code, with the system error behind it if any.
  static IoStatus Code(int code, int err = 0) { return IoStatus(code, err); }

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

// Files held in memory.  A path is a file name, or folders and a name joined
// by '/'; a file can only be created in a folder that was added (the top
// level always exists).  Handles must not outlive the file system.
class MemoryFileSystem : public FileSystem {
 public:
  IoStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<FileHandle>* file) override;
  IoStatus Remove(const std::string& path) override;
  IoStatus Rename(const std::string& from, const std::string& to) override;

  // Adds the folder and the folders it lies in.
  void AddFolder(const std::string& path);
  // Creates or replaces a file with `bytes`.
  void SetContents(const std::string& path, std::string bytes);
  // The file's bytes; false when there is no such file.
  bool GetContents(const std::string& path, std::string* bytes) const;
  // Handles open on `path` and not yet closed.
  int OpenCount(const std::string& path) const;

 private:
  struct Node;
  class Handle;
  bool FolderExists(const std::string& path) const;

  std::map<std::string, std::shared_ptr<Node>> files_;
  std::vector<std::string> folders_;
};

// Wraps another file system and makes chosen operations fail.  Faults are
// counted from when they are set; Clear() ends them all.  Handles must not
// outlive the file system.
class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& base) : base_(base) {}

  IoStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<FileHandle>* file) override;
  IoStatus Remove(const std::string& path) override { return base_.Remove(path); }
  IoStatus Rename(const std::string& from, const std::string& to) override {
    return base_.Rename(from, to);
  }

  // The nth write from now (1: the next) fails with `err` and writes nothing.
  void FailWrite(int nth, int err = EIO);
  // The nth read from now (1: the next) fails with `err` and reads nothing.
  void FailRead(int nth, int err = EIO);
  // The disk holds `bytes` more bytes: the write that reaches the limit
  // writes what fits and fails with ENOSPC, later writes write nothing.
  void FillDiskAfter(int64_t bytes);
  // Every close fails with `err` (the file is closed all the same).
  void FailClose(int err = EIO);
  // Every sync fails with `err`.
  void FailSync(int err = EIO);
  // Every truncate fails with `err` and leaves the file as it was.
  void FailTruncate(int err = EIO);
  // The next open fails with `err`; with `creating_only`, the next open that
  // may create a file.
  void FailOpen(int err, bool creating_only = false);
  void Clear();

  // Writes seen since construction, failed ones included.
  int writes() const { return writes_; }

 private:
  class Handle;

  FileSystem& base_;
  int writes_ = 0;
  int fail_write_at_ = 0;  // value of writes_ that fails; 0: none
  int fail_write_err_ = 0;
  int reads_ = 0;
  int fail_read_at_ = 0;  // value of reads_ that fails; 0: none
  int fail_read_err_ = 0;
  int64_t disk_left_ = -1;  // bytes the disk still takes; -1: unlimited
  int fail_close_err_ = 0;
  int fail_sync_err_ = 0;
  int fail_truncate_err_ = 0;
  int fail_open_err_ = 0;
  bool fail_open_creating_only_ = false;
};

}  // namespace mirabo
