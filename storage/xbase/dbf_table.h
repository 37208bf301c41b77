// The xBase table engine: one table file (docs/formats/dbf.md) opened for
// reading, or for reading and writing, through the runtime's file interface
// (runtime/file_system.h).
//
// Design.  An open table keeps the header as last read or written (record
// count, date), its fields, a current record number with a record buffer,
// and its access flags.  It is in one of two modes for its whole life:
//
//   write-through  every append and update goes to the file at once, with the
//                  0x1A after a new record and a header rewrite;
//   buffered       a block of consecutive records lives in memory.  The block
//                  is empty, clean (as on disk), or changed (and, when records
//                  were appended to it, appended).  Writing a changed block
//                  takes one write (with the 0x1A after an appended block)
//                  and a header rewrite, and leaves it clean.  A read or
//                  append outside the block writes it first.  Flush (and
//                  close, which flushes) also asks the system to sync the
//                  file; the block writes between flushes do not, so that a
//                  long run of appends goes at the speed of the disk's cache
//                  rather than of a sync every few kilobytes.
//
// Invariants (checked by CheckInvariants in debug builds): the block holds at
// most its capacity of consecutive records, all numbered 1 to the record
// count; only a buffered table has a block; an appended block is changed and
// ends at the last record.  The header on disk carries the count and date of
// the last flush or write-through write: records appended to a block are not
// in the file until the block is flushed.
//
// Failures.  Every operation returns 0, a positive warning or a negative
// engine error (storage/xbase/dbf_error.h).  A failed operation leaves the
// table open and its record count as it was: an append that could not be
// written is not counted, and a block that could not be flushed stays changed
// so that a later flush or close tries again.
//
// Locks.  Shared tables lock byte ranges at 1,000,000,000 and up (far beyond
// any data): the record n at 1e9 + n, the header (for an append) at 1e9, the
// whole file at 1e9 with length 1e9.  A lock is tried once; a refusal is
// kErrLockRefused.  Exclusive tables take no locks.  Closing releases all.
//
// Not thread-safe; one procedure thread uses a table at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file_system.h"
#include "storage/xbase/dbf_layout.h"

namespace mirabo::xbase {

struct DbfAccess {
  bool read_only = false;
  bool shared = false;         // others may open the file too; always write-through
  bool write_through = false;  // with !shared: no block buffer
  bool auto_lock = false;      // shared: append and update lock for themselves
};

// How many locks a table can hold at once.
constexpr int kLockCapacity = 64;
constexpr int64_t kLockBase = 1000000000;

class DbfTable {
 public:
  // Creates `path` with `fields` (upper-cased in place), replacing any file of
  // that name, and leaves it closed: header, descriptors, 0x0D, 0x1A.  A
  // creation that fails after the file was made removes the file again, so
  // no half-written table is left behind.
  // `language` goes in the header's language driver byte: the code page
  // other programs read the text in.
  static int Create(const std::string& path, std::vector<NewField>* fields,
                    uint8_t language = kLanguageWindowsAnsi);

  // Opens `path` and checks its header; `*table` is null on failure.
  static int Open(const std::string& path, const DbfAccess& access,
                  std::unique_ptr<DbfTable>* table);

  // Destroying an open table closes its file without flushing its block.
  ~DbfTable();
  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;

  // Flushes, releases every lock and closes the file.  When the flush fails
  // the table stays open and the error is returned.
  int Close();
  bool is_open() const { return file_ != nullptr; }

  const std::string& path() const { return path_; }
  const std::vector<DbfField>& fields() const { return fields_; }
  const DbfHeader& header() const { return header_; }
  const DbfAccess& access() const { return access_; }
  bool buffered() const { return !access_.shared && !access_.write_through; }
  int block_capacity() const { return capacity_; }

  // The record count, appended records not yet written included.  A shared
  // table first takes the count that the file's header has now.
  int64_t RecordCount();

  // Reads record `n` into the record buffer; kWarnDeletedRecord when it
  // carries the deletion flag.  kErrSeek when n is not 1 to the count;
  // kErrRead when the file ends before the record (a header that promises
  // more records than the file holds).
  int Read(int64_t n);
  int64_t current() const { return current_; }
  bool deleted() const { return record_[0] != kLiveFlag; }
  std::string_view record() const { return record_; }
  // Fills the record buffer with blanks (a live record).
  void BlankRecord();

  // Fields by number from 0.  Getters return kWarnBlankField for a field of
  // all blanks, with the value the blanks stand for.
  int GetText(int field, std::string* text) const;
  int GetNumber(int field, double* value) const;        // N, F: blanks give 0
  int GetLogical(int field, char* value) const;         // 'T', 'F', or '?' for blank
  int GetDate(int field, std::string* yyyymmdd) const;  // empty for blanks
  int GetMemo(int field, uint32_t* block) const;        // 0 for blanks

  // Putters change the record buffer only, and never more than the field's
  // own bytes, for any type and width.  PutText blank-pads and cuts
  // (kWarnTruncated) for any type; PutNumber formats fixed-point with the
  // field's decimals, right-aligned, and refuses (kErrBadData, field
  // unchanged) a value that does not fit; PutLogical takes T t Y y 1 / F f N
  // n 0 / blank ? into the field's first byte; PutMemo stores the block
  // number right-aligned ("%10lu" in an M field) and refuses (kErrBadData,
  // field unchanged) one with more digits than the field has bytes.
  int PutText(int field, std::string_view text);
  int PutNumber(int field, double value);
  int PutLogical(int field, char value);
  int PutMemo(int field, uint32_t block);

  // Adds the record buffer (flag made live) as record count + 1, which
  // becomes current; `number` receives it.
  int Append(int64_t* number = nullptr);
  // Writes the record buffer back as the current record.
  int Update();
  // Sets record n's flag to an asterisk or a blank (through the buffer).
  int Delete(int64_t n);
  int Recall(int64_t n);
  // Removes the deleted records: the live ones are copied in order to a new
  // file, the old file becomes NAME.BAK, and the table is reopened.
  int Pack();
  // Writes a changed block and the header, and syncs (buffered tables);
  // kErrFlush when the sync fails.
  int Flush();

  // The whole-file lock, for callers that update a shared table in a series.
  int LockFile();
  int UnlockFile();
  bool file_locked() const { return file_locked_; }
  int lock_count() const { return static_cast<int>(locks_.size()); }

  // The operating system's error behind the last failed read or write of
  // the table (a full disk), or 0.
  int os_error() const { return os_error_; }

 private:
  // Whether `s` succeeded; a failure's system error is kept for os_error().
  bool Ok(const IoStatus& s);
  DbfTable() = default;
  int OpenFile(const std::string& path, const DbfAccess& access);
  void CloseFile();
  int64_t Offset(int64_t n) const {
    return header_.header_length + (n - 1) * static_cast<int64_t>(header_.record_length);
  }
  int WriteHeader();
  // Writes a changed block (with the 0x1A after an appended one) and the
  // header; no sync.
  int WriteBlock();
  int LoadBlock(int64_t n);
  bool InBlock(int64_t n) const { return n >= block_first_ && n < block_first_ + block_count_; }
  char* BlockSlot(int64_t n) { return block_.data() + (n - block_first_) * header_.record_length; }
  int WriteRecord();
  int SetFlag(int64_t n, char flag);
  int RefreshCount();
  int TakeLock(int64_t offset, int64_t length);
  int ReleaseLock(int64_t offset, int64_t length);
  void CheckInvariants() const;

  std::string path_;
  DbfAccess access_;
  std::unique_ptr<FileHandle> file_;
  DbfHeader header_;
  std::vector<DbfField> fields_;
  int64_t current_ = 0;
  std::string record_;

  // Buffered mode.
  int os_error_ = 0;
  int capacity_ = 0;
  std::string block_;  // capacity_ records and a byte for the 0x1A
  int64_t block_first_ = 0;
  int64_t block_count_ = 0;
  bool changed_ = false;
  bool appended_ = false;

  struct HeldLock {
    int64_t offset;
    int64_t length;
  };
  std::vector<HeldLock> locks_;
  bool file_locked_ = false;
};

}  // namespace mirabo::xbase
