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

  int Open(uint8_t access_mode);
  int Create();
  int Close();
  std::string Name();
  int Records(int64_t* count);
  int SetKeyStart(int key);
  int SetKeyValue(int key);
  int Next();
  int Previous();
  int Position(int key, std::string* position);
  int ResetToPosition(int key, std::string_view position);
  int ResetPastPosition(int key, std::string_view position);
  int GetByKey(int key);
  int GetByPosition(int key, std::string_view position);
  int Add();
  int Append();
  int Delete();
  int Pack();
  int Lock();
  int Unlock();
  int PostOpen();
  int Empty();
  int Flush();
  int BuildKeys();
  int BeginTransaction();
  int Commit();
  int Rollback();
  int Option(std::string_view text, std::string* answer = nullptr);
  void SetHoldWait(int seconds);
  void ReleaseLocks();

  // Records read by Next, Previous and the Get operations since the file was
  // constructed: what the browse and report tests count.
  int64_t reads() const { return reads_; }

  // The driver's per-file state, for the driver's own diagnostics; null
  // before the first operation.
  DriverFile* driver_file() const { return driver_.get(); }

 private:
  // Attaches the declared driver on first use; 80 when no such driver exists.
  int Attach();

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
