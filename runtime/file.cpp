#include "runtime/file.h"

#include "runtime/error.h"

#include <set>

namespace mirabo {
namespace {
// Never destroyed: files in objects destroyed at exit still unregister.
std::set<File*>& OpenFiles() {
  static auto* files = new std::set<File*>;
  return *files;
}
}  // namespace

void ReleaseAllFileLocks() {
  for (File* f : OpenFiles()) f->ReleaseLocks();
}

File::File(const FileDecl& decl) : decl_(&decl), record_(decl.record_size, '\0') { ClearRecord(); }

File::~File() {
  // A file still open at its end is closed; nobody is left to hear a failure.
  if (driver_ && open_) (void)driver_->Close();
  OpenFiles().erase(this);
}

ValueRef File::Field(int index) {
  const FieldDecl& f = decl_->fields.at(index);
  return {f.type, record_.data() + f.offset, f.size};
}

ValueRef File::Field(std::string_view label) {
  const int i = decl_->FieldIndex(label);
  return i < 0 ? ValueRef{} : Field(i);
}

void File::ClearRecord() {
  for (size_t i = 0; i < decl_->fields.size(); ++i) Field(static_cast<int>(i)).Clear();
}

int File::Attach() {
  if (driver_) return kNoError;
  const FileDriver* driver = FindDriver(decl_->driver);
  if (!driver) return kUnsupportedFunction;
  driver_ = driver->Attach(*this);
  return driver_ ? kNoError : kInsufficientMemory;
}

// The result of a driver's call, recorded in the error state.  A driver
// that met an operating-system error has recorded it with its code (the
// state was cleared before the call); any other code is recorded here.
namespace {
int Result(int rc) {
  const ErrorState& e = CurrentError();
  if (rc == kFileSystemError || (rc != kNoError && e.code == rc && e.os_error != 0)) return rc;
  return SetError(rc);
}
}  // namespace

#define MIRABO_WITH_DRIVER \
  if (int rc = Attach()) return SetError(rc)

int File::Open(uint8_t access_mode) {
  MIRABO_WITH_DRIVER;
  if (open_) return SetError(kFileAlreadyOpen);
  SetError(kNoError);
  const int rc = driver_->Open(access_mode);
  open_ = rc == kNoError;
  if (open_) OpenFiles().insert(this);
  return Result(rc);
}

int File::Create() {
  if (!decl_->create) return SetError(kNoCreateAttribute);
  MIRABO_WITH_DRIVER;
  SetError(kNoError);
  return Result(driver_->Create());
}

int File::Close() {
  if (!driver_ || !open_) return SetError(kFileNotOpen);
  open_ = false;
  OpenFiles().erase(this);
  SetError(kNoError);
  const int rc = driver_->Close();
  return Result(rc);
}

std::string File::Name() {
  if (Attach() != kNoError) return decl_->ExternalName();
  return driver_->Name();
}

// Operations that need the file open.  Drivers that report a file-system
// error (90) have already recorded its details; the rest record their code here.
#define MIRABO_OPEN_OP(call)                             \
  if (!driver_ || !open_) return SetError(kFileNotOpen); \
  SetError(kNoError);                                    \
  return Result(driver_->call)

int File::Records(int64_t* count) { MIRABO_OPEN_OP(Records(count)); }
int File::SetKeyStart(int key) { MIRABO_OPEN_OP(SetKeyStart(key)); }
int File::SetKeyValue(int key) { MIRABO_OPEN_OP(SetKeyValue(key)); }
int File::Next() {
  ++reads_;
  MIRABO_OPEN_OP(Next());
}
int File::Previous() {
  ++reads_;
  MIRABO_OPEN_OP(Previous());
}
int File::Position(int key, std::string* position) { MIRABO_OPEN_OP(Position(key, position)); }
int File::ResetToPosition(int key, std::string_view position) {
  MIRABO_OPEN_OP(ResetToPosition(key, position));
}
int File::ResetPastPosition(int key, std::string_view position) {
  MIRABO_OPEN_OP(ResetPastPosition(key, position));
}
int File::GetByKey(int key) {
  ++reads_;
  MIRABO_OPEN_OP(GetByKey(key));
}
int File::GetByPosition(int key, std::string_view position) {
  ++reads_;
  MIRABO_OPEN_OP(GetByPosition(key, position));
}
int File::GetByRecord(int64_t record) {
  ++reads_;
  MIRABO_OPEN_OP(GetByRecord(record));
}
int File::RecordNumber(int64_t* record) { MIRABO_OPEN_OP(RecordNumber(record)); }
int File::Add() { MIRABO_OPEN_OP(Add()); }
int File::Append() { MIRABO_OPEN_OP(Append()); }
int File::Delete() { MIRABO_OPEN_OP(Delete()); }
int File::Pack() { MIRABO_OPEN_OP(Pack()); }
int File::Lock() { MIRABO_OPEN_OP(Lock()); }
int File::Unlock() { MIRABO_OPEN_OP(Unlock()); }
int File::PostOpen() { MIRABO_OPEN_OP(PostOpen()); }
int File::Empty() { MIRABO_OPEN_OP(Empty()); }
int File::Flush() { MIRABO_OPEN_OP(Flush()); }
int File::BeginTransaction() { MIRABO_OPEN_OP(BeginTransaction()); }
int File::Commit() { MIRABO_OPEN_OP(Commit()); }
int File::Rollback() { MIRABO_OPEN_OP(Rollback()); }

int File::BuildKeys() {
  MIRABO_WITH_DRIVER;
  const int rc = driver_->BuildKeys();
  return rc == kFileSystemError ? rc : SetError(rc);
}

int File::Option(std::string_view text, std::string* answer) {
  MIRABO_WITH_DRIVER;
  std::string ignored;
  const int rc = driver_->Option(text, answer ? answer : &ignored);
  return rc == kFileSystemError ? rc : SetError(rc);
}

void File::SetHoldWait(int seconds) {
  if (Attach() == kNoError) driver_->SetHoldWait(seconds);
}

int File::DataVersion(uint64_t* version) { MIRABO_OPEN_OP(DataVersion(version)); }
int File::FindText(int field, std::string_view text, int64_t after, size_t limit,
                   std::vector<int64_t>* records) {
  MIRABO_OPEN_OP(FindText(field, text, after, limit, records));
}

void File::ReleaseLocks() {
  if (driver_ && open_) driver_->ReleaseLocks();
}

}  // namespace mirabo
