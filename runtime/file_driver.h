// The interface that every file driver implements, and the registry that
// finds a driver by the name a declaration gives.
//
// A driver is stateless; it attaches a DriverFile to each File instance.  All
// operations return 0 or a runtime error code (runtime/error.h) and never
// throw.  An operation a driver does not support returns 80.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mirabo {

class File;

// Key number used where an operation may also work in record order.
constexpr int kRecordOrder = -1;

class DriverFile {
 public:
  virtual ~DriverFile() = default;

  [[nodiscard]] virtual int Open(uint8_t access_mode) = 0;
  [[nodiscard]] virtual int Create() = 0;
  [[nodiscard]] virtual int Close() = 0;
  // The file's full external name.
  virtual std::string Name() = 0;

  [[nodiscard]] virtual int Records(int64_t* count);

  // Sequential reading.  `key` is a key index of the declaration, or
  // kRecordOrder.  Next and Previous fill the record buffer; at either end
  // they return 33 and leave the buffer unchanged.
  [[nodiscard]] virtual int SetKeyStart(int key);
  [[nodiscard]] virtual int SetKeyValue(int key);  // key fields taken from the record buffer
  [[nodiscard]] virtual int Next();
  [[nodiscard]] virtual int Previous();

  // Positions: the current record's position in `key` (kRecordOrder: the
  // record number), and setting the pending position back to one.
  [[nodiscard]] virtual int Position(int key, std::string* position);
  [[nodiscard]] virtual int ResetToPosition(int key, std::string_view position);
  // Like ResetToPosition, but reading on starts with the neighbour of the
  // record the position names, in the direction of the read.
  [[nodiscard]] virtual int ResetPastPosition(int key, std::string_view position);

  // Direct reads: the first record whose key equals the key fields in the
  // buffer (35 when none), and the record a position names (35 when gone).
  [[nodiscard]] virtual int GetByKey(int key);
  [[nodiscard]] virtual int GetByPosition(int key, std::string_view position);
  // The record numbered `record` (35 when gone), and the number of the
  // current record: for a caller that gathered record numbers (FindText).
  // kUnsupportedFunction from a driver without record numbers.
  [[nodiscard]] virtual int GetByRecord(int64_t record);
  [[nodiscard]] virtual int RecordNumber(int64_t* record);

  // Adds the record buffer as a new record, keeping every key current.
  [[nodiscard]] virtual int Add();
  // Adds the record buffer as a new record at the end of the file; a driver
  // may leave its key files to be rebuilt.  Unless a driver says otherwise,
  // the same as Add.
  [[nodiscard]] virtual int Append();
  // Marks the record last read as deleted.
  [[nodiscard]] virtual int Delete();
  // Removes the deleted records for good.
  [[nodiscard]] virtual int Pack();
  // Locks the whole file against other processes: one attempt, 32 when
  // another holds a lock on it.  A caller that wants to wait tries again
  // between events.  Unlock gives the lock up.
  [[nodiscard]] virtual int Lock();
  [[nodiscard]] virtual int Unlock();
  // The request an exporting procedure sends right after it opens a target,
  // before the first record: 0 when the driver is ready.  Unless a driver
  // says otherwise it needs nothing and answers 0.
  [[nodiscard]] virtual int PostOpen();
  [[nodiscard]] virtual int Empty();
  [[nodiscard]] virtual int Flush();
  [[nodiscard]] virtual int BuildKeys();
  [[nodiscard]] virtual int BeginTransaction();
  [[nodiscard]] virtual int Commit();
  [[nodiscard]] virtual int Rollback();

  // A query answers into `answer`; a setting leaves it empty.
  [[nodiscard]] virtual int Option(std::string_view text, std::string* answer);
  // Seconds to wait for a record held by another process; 0 waits forever.
  virtual void SetHoldWait(int seconds);
  // Substring search.  The record numbers of the records whose field `field`
  // (one of the declaration's text_indexed) may hold `text`, ignoring the
  // case of Windows-1252 letters, in record-number order: every record that
  // holds it is among them, and some that do not may be too (the caller
  // tests each).  A call gives at most `limit` of them, those after record
  // number `after` (0: from the first): a caller that got `limit` asks again
  // after the last, so that a common text is listed a part at a time.
  // kUnsupportedFunction from a driver (or a file) without a text index, or
  // for a text too short for it to narrow down: the caller then tests every
  // record.
  [[nodiscard]] virtual int FindText(int field, std::string_view text, int64_t after,
                                     size_t limit, std::vector<int64_t>* records);
  // A number that changes whenever another connection or process commits a
  // change to the file: a long run compares it between its batches to know
  // it still reads one state of the data.  kUnsupportedFunction from a
  // driver that cannot tell.
  [[nodiscard]] virtual int DataVersion(uint64_t* version);
  // Gives up any read lock the open file keeps between operations, so other
  // processes can write while this one waits for its user.  The next read
  // continues where the last one stopped.
  virtual void ReleaseLocks();
};

class FileDriver {
 public:
  virtual ~FileDriver() = default;
  // The answer to "REGISTER": the driver's name.
  virtual std::string Register() const = 0;
  virtual std::unique_ptr<DriverFile> Attach(File& file) const = 0;
};

// The usual driver: stateless, it attaches a `FileT` (constructed from the
// File) to each file, and answers "REGISTER" with its name.
template <typename FileT>
class DriverOf final : public FileDriver {
 public:
  explicit DriverOf(std::string name) : name_(std::move(name)) {}
  std::string Register() const override { return name_; }
  std::unique_ptr<DriverFile> Attach(File& file) const override {
    return std::make_unique<FileT>(file);
  }

 private:
  std::string name_;
};

// Registers a DriverOf<FileT> under `name` the first time it is called for
// that FileT; later calls do nothing (a test that stood in for the driver
// puts the same one back itself).
template <typename FileT>
void RegisterDriverOnce(const char* name) {
  static const bool registered = [name] {
    RegisterDriver(std::make_shared<DriverOf<FileT>>(name));
    return true;
  }();
  (void)registered;
}

// Makes a driver known under its registered name; a later registration of the
// same name replaces the earlier one.
void RegisterDriver(std::shared_ptr<const FileDriver> driver);
const FileDriver* FindDriver(std::string_view name);
// The registered driver with its ownership shared (a wrapper that stands in
// for it under its name keeps it alive); null when there is none.
std::shared_ptr<const FileDriver> RegisteredDriver(std::string_view name);

}  // namespace mirabo
