// One instance of a declared file: its record buffer, its open state and the
// driver's per-file state.  Every operation records its result in the error
// state (runtime/error.h) and returns it.
//
// A File is not copyable; its record buffer keeps its address for the File's
// life, so ValueRefs into it (bound names, views) stay valid.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/file_decl.h"
#include "runtime/file_driver.h"
#include "runtime/value.h"

namespace mirabo {

class File {
 public:
  // The declaration must outlive the file.
  explicit File(const FileDecl& decl);
  File(FileDecl&&) = delete;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const FileDecl& decl() const { return *decl_; }
  bool is_open() const { return open_; }

  // The record buffer: decl().record_size bytes laid out as declared.
  char* record() { return record_.data(); }
  std::string_view record_bytes() const { return record_; }
  ValueRef Field(int index);
  ValueRef Field(std::string_view label);  // with or without prefix
  // Blanks the strings and zeroes the numbers of the record buffer.
  void ClearRecord();

  [[nodiscard]] int Open(uint8_t access_mode);
  [[nodiscard]] int Create();
  [[nodiscard]] int Close();
  std::string Name();
  [[nodiscard]] int Records(int64_t* count);
  [[nodiscard]] int SetKeyStart(int key);
  [[nodiscard]] int SetKeyValue(int key);
  [[nodiscard]] int Next();
  [[nodiscard]] int Previous();
  [[nodiscard]] int Position(int key, std::string* position);
  [[nodiscard]] int ResetToPosition(int key, std::string_view position);
  [[nodiscard]] int ResetPastPosition(int key, std::string_view position);
  [[nodiscard]] int GetByKey(int key);
  [[nodiscard]] int GetByPosition(int key, std::string_view position);
  [[nodiscard]] int GetByRecord(int64_t record);
  [[nodiscard]] int RecordNumber(int64_t* record);
  [[nodiscard]] int Add();
  [[nodiscard]] int Append();
  [[nodiscard]] int Delete();
  [[nodiscard]] int Pack();
  [[nodiscard]] int Lock();
  [[nodiscard]] int Unlock();
  [[nodiscard]] int PostOpen();
  [[nodiscard]] int Empty();
  [[nodiscard]] int Flush();
  [[nodiscard]] int BuildKeys();
  [[nodiscard]] int BeginTransaction();
  [[nodiscard]] int Commit();
  [[nodiscard]] int Rollback();
  [[nodiscard]] int Option(std::string_view text, std::string* answer = nullptr);
  void SetHoldWait(int seconds);
  void ReleaseLocks();
  // See DriverFile::DataVersion and DriverFile::FindText.
  [[nodiscard]] int DataVersion(uint64_t* version);
  [[nodiscard]] int FindText(int field, std::string_view text, int64_t after, size_t limit,
                             std::vector<int64_t>* records);

  // Records read by Next, Previous and the Get operations since the file was
  // constructed: what the browse and report tests count.
  int64_t reads() const { return reads_; }

  // The driver's per-file state, for the driver's own diagnostics; null
  // before the first operation.
  DriverFile* driver_file() const { return driver_.get(); }

 private:
  // Attaches the declared driver on first use; 80 when no such driver exists.
  [[nodiscard]] int Attach();

  const FileDecl* decl_;
  std::string record_;
  std::unique_ptr<DriverFile> driver_;
  bool open_ = false;
  int64_t reads_ = 0;
};

// Every open file gives up the read locks it keeps between operations (see
// DriverFile::ReleaseLocks).  The window layer calls this whenever all
// procedure threads wait for their user.
void ReleaseAllFileLocks();

}  // namespace mirabo
