// The file system through which tests make a driver's writes, reads, syncs,
// closes, truncates and opens fail, or its disk fill up.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/file_system.h"

namespace mirabo {

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
  // With `folder`, only files opened under it (by a path that starts with
  // it) are on that disk; others write as before.
  void FillDiskAfter(int64_t bytes, std::string folder = {});
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
  std::string disk_folder_;  // empty: every file is on the disk
  int fail_close_err_ = 0;
  int fail_sync_err_ = 0;
  int fail_truncate_err_ = 0;
  int fail_open_err_ = 0;
  bool fail_open_creating_only_ = false;
};

}  // namespace mirabo
