#include "storage/xbase/dbf_table.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/table_paths.h"

namespace mirabo::xbase {
namespace {

int OpenError(const IoStatus& s) {
  switch (s.code()) {
    case kFileNotFound:
      return kErrFileNotFound;
    case kPathNotFound:
      return kErrPathNotFound;
    case kTooManyOpenFiles:
      return kErrNoHandles;
    default:
      return kErrAccessDenied;  // refused, a sharing conflict, a folder
  }
}

bool AllBlank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

// 'T' or 'F' for the bytes that stand for true or false, else 0.
char TruthOf(char c) {
  switch (c) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
    case 1:
      return 'T';
    case 'F':
    case 'f':
    case 'N':
    case 'n':
    case 0:
      return 'F';
    default:
      return 0;
  }
}

std::string_view Trimmed(std::string_view s) { return Clip(TrimLeft(s)); }

}  // namespace

int DbfTable::Create(const std::string& path, std::vector<NewField>* fields, uint8_t language) {
  DbfHeader header;
  if (int rc = CheckFields(fields, &header)) return rc;
  header.language = language;
  SetHeaderDate(&header, TodayUtc());
  if (path.empty()) return kErrInvalidFilename;

  OpenOptions o;
  o.read = o.write = true;
  o.create = o.truncate = true;
  o.deny_read = o.deny_write = true;
  FileSystem& fs = CurrentFileSystem();
  std::unique_ptr<FileHandle> file;
  if (!fs.Open(path, o, &file).ok()) return kErrCannotOpen;

  std::string descriptors;
  for (const NewField& f : *fields) descriptors += EncodeDescriptor(f);
  const char tail[] = {kHeaderEnd, kEndOfFile};
  int rc = kDbfOk;
  if (!file->WriteAt(0, EncodeHeader(header)).ok() ||
      !file->WriteAt(kHeaderSize, descriptors).ok() ||
      !file->WriteAt(kHeaderSize + static_cast<int64_t>(descriptors.size()),
                     std::string_view(tail, 2))
           .ok()) {
    rc = kErrWrite;
  }
  if (!file->Close().ok() && rc == kDbfOk) rc = kErrClose;
  // A table that could not be written whole is no table: remove it rather
  // than leave a file that other programs would take for one.
  if (rc != kDbfOk) (void)fs.Remove(path);
  return rc;
}

int DbfTable::Open(const std::string& path, const DbfAccess& access,
                   std::unique_ptr<DbfTable>* table) {
  table->reset();
  std::unique_ptr<DbfTable> t(new DbfTable());
  if (int rc = t->OpenFile(path, access)) return rc;
  *table = std::move(t);
  return kDbfOk;
}

int DbfTable::OpenFile(const std::string& path, const DbfAccess& access) {
  if (path.empty()) return kErrInvalidFilename;
  OpenOptions o;
  o.read = true;
  o.write = !access.read_only;
  o.deny_read = o.deny_write = !access.shared;
  std::unique_ptr<FileHandle> file;
  if (IoStatus s = CurrentFileSystem().Open(path, o, &file); !s.ok()) return OpenError(s);

  std::string bytes;
  if (!file->ReadAt(0, kHeaderSize, &bytes).ok()) return kErrRead;
  const auto version = static_cast<uint8_t>(bytes.empty() ? 0 : bytes[0]);
  if (version != kVersion && version != kVersionWithMemo) return kErrVersion;
  if (bytes.size() < static_cast<size_t>(kHeaderSize)) return kErrHeaderLength;
  const DbfHeader header = DecodeHeader(bytes);
  if (!file->ReadAt(kHeaderSize, DescriptorBytes(header), &bytes).ok()) return kErrRead;
  std::vector<DbfField> fields;
  if (int rc = DecodeFields(header, bytes, &fields)) return rc;

  path_ = path;
  access_ = access;
  if (access_.shared) access_.write_through = true;
  if (access_.read_only) access_.auto_lock = false;
  file_ = std::move(file);
  header_ = header;
  fields_ = std::move(fields);
  current_ = 0;
  record_.assign(header_.record_length, ' ');
  capacity_ = 0;
  block_.clear();
  if (buffered()) {
    capacity_ = BlockCapacity(header_.record_length);
    block_.assign(static_cast<size_t>(capacity_) * header_.record_length + 1, ' ');
  }
  block_first_ = block_count_ = 0;
  changed_ = appended_ = false;
  locks_.clear();
  file_locked_ = false;
  return kDbfOk;
}

DbfTable::~DbfTable() { CloseFile(); }

void DbfTable::CloseFile() {
  if (!file_) return;
  for (const HeldLock& l : locks_) (void)file_->Unlock(l.offset, l.length);
  locks_.clear();
  file_locked_ = false;
  (void)file_->Close();
  file_.reset();
}

int DbfTable::Close() {
  if (!file_) return kErrInvalidHandle;
  if (int rc = Flush()) return rc;
  for (const HeldLock& l : locks_) (void)file_->Unlock(l.offset, l.length);
  locks_.clear();
  file_locked_ = false;
  const IoStatus s = file_->Close();
  file_.reset();
  return Ok(s) ? kDbfOk : kErrClose;
}

bool DbfTable::Ok(const IoStatus& s) {
  if (!s.ok()) os_error_ = s.os_error();
  return s.ok();
}

void DbfTable::CheckInvariants() const {
#ifndef NDEBUG
  assert(block_count_ >= 0 && block_count_ <= capacity_);
  assert(buffered() || (block_count_ == 0 && !changed_));
  assert(block_count_ == 0 ||
         (block_first_ >= 1 && block_first_ + block_count_ - 1 <= header_.records));
  assert(!appended_ || (changed_ && block_first_ + block_count_ - 1 == header_.records));
#endif
}

int DbfTable::RefreshCount() {
  if (!access_.shared) return kDbfOk;
  std::string bytes;
  if (!file_->ReadAt(0, kHeaderSize, &bytes).ok() || bytes.size() < size_t{kHeaderSize}) {
    return kErrRead;
  }
  header_.records = DecodeHeader(bytes).records;
  return kDbfOk;
}

int64_t DbfTable::RecordCount() {
  if (file_) (void)RefreshCount();
  return header_.records;
}

void DbfTable::BlankRecord() { record_.assign(header_.record_length, ' '); }

int DbfTable::WriteHeader() {
  SetHeaderDate(&header_, TodayUtc());
  return Ok(file_->WriteAt(0, EncodeHeader(header_))) ? kDbfOk : kErrWrite;
}

int DbfTable::LoadBlock(int64_t n) {
  if (int rc = WriteBlock()) return rc;
  const int64_t want = std::min<int64_t>(capacity_, header_.records - n + 1);
  const size_t length = header_.record_length;
  std::string bytes;
  block_count_ = 0;
  if (!Ok(file_->ReadAt(Offset(n), want * length, &bytes))) return kErrRead;
  // Only whole records count: a file shorter than its header says holds
  // fewer records than promised, and the missing ones are read failures.
  const int64_t got = static_cast<int64_t>(bytes.size() / length);
  if (got == 0) return kErrRead;
  std::memcpy(block_.data(), bytes.data(), got * length);
  block_first_ = n;
  block_count_ = got;
  return kDbfOk;
}

int DbfTable::Read(int64_t n) {
  if (!file_) return kErrInvalidHandle;
  if (n > header_.records) (void)RefreshCount();
  if (n < 1 || n > header_.records) return kErrSeek;
  if (buffered()) {
    if (!InBlock(n)) {
      if (int rc = LoadBlock(n)) return rc;
    }
    record_.assign(BlockSlot(n), header_.record_length);
  } else {
    std::string bytes;
    if (!Ok(file_->ReadAt(Offset(n), header_.record_length, &bytes))) return kErrRead;
    if (bytes.size() != header_.record_length) return kErrRead;
    record_ = std::move(bytes);
  }
  current_ = n;
  CheckInvariants();
  return deleted() ? kWarnDeletedRecord : kDbfOk;
}

int DbfTable::GetText(int field, std::string* text) const {
  const DbfField& f = fields_.at(field);
  text->assign(record_, f.offset, f.width);
  return AllBlank(*text) ? kWarnBlankField : kDbfOk;
}

int DbfTable::GetNumber(int field, double* value) const {
  std::string text;
  const int rc = GetText(field, &text);
  *value = rc == kWarnBlankField ? 0 : std::strtod(std::string(Trimmed(text)).c_str(), nullptr);
  return rc;
}

int DbfTable::GetLogical(int field, char* value) const {
  const DbfField& f = fields_.at(field);
  // A field without a byte has no value: it reads as a blank.
  const char c = f.width > 0 ? record_[f.offset] : ' ';
  *value = TruthOf(c) ? TruthOf(c) : '?';
  return c == ' ' ? kWarnBlankField : kDbfOk;
}

int DbfTable::GetDate(int field, std::string* yyyymmdd) const {
  const int rc = GetText(field, yyyymmdd);
  if (rc == kWarnBlankField) yyyymmdd->clear();
  return rc;
}

int DbfTable::GetMemo(int field, uint32_t* block) const {
  std::string text;
  const int rc = GetText(field, &text);
  *block =
      rc == kWarnBlankField
          ? 0
          : static_cast<uint32_t>(std::strtoul(std::string(Trimmed(text)).c_str(), nullptr, 10));
  return rc;
}

int DbfTable::PutText(int field, std::string_view text) {
  const DbfField& f = fields_.at(field);
  const size_t n = std::min<size_t>(text.size(), f.width);
  record_.replace(f.offset, n, text.substr(0, n));
  record_.replace(f.offset + n, f.width - n, f.width - n, ' ');
  return text.size() > static_cast<size_t>(f.width) ? kWarnTruncated : kDbfOk;
}

int DbfTable::PutNumber(int field, double value) {
  const DbfField& f = fields_.at(field);
  if (!std::isfinite(value)) return kErrBadData;
  // Rounded as the program's pictures round (half away from zero), so the
  // text copy of a record shows the number this column holds; a negative
  // that rounds to zero is stored as zero.
  if (std::fabs(value) >= 1e300) return kErrBadData;
  const std::string text = FixedText(value, f.decimals);
  const std::string_view digits = text;
  const int n = static_cast<int>(digits.size());
  if (n > f.width) return kErrBadData;
  if (std::fabs(std::strtod(text.c_str(), nullptr)) > f.largest) return kErrBadData;
  record_.replace(f.offset, f.width - n, f.width - n, ' ');
  record_.replace(f.offset + f.width - n, n, digits);
  return kDbfOk;
}

int DbfTable::PutLogical(int field, char value) {
  const DbfField& f = fields_.at(field);
  const char stored = value == ' ' || value == '?' ? ' ' : TruthOf(value);
  if (stored == 0) return kErrBadData;
  // A field without a byte cannot hold the value; at the end of the record
  // its offset is the record's length.
  if (f.width < 1) return kErrFieldLength;
  record_[f.offset] = stored;
  return kDbfOk;
}

int DbfTable::PutMemo(int field, uint32_t block) {
  const DbfField& f = fields_.at(field);
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(block));
  // The digits are right-aligned in the field, as "%10lu" puts them in an
  // M field; only the digits come from `text`, whatever the field's width.
  if (n < 0 || n > f.width) return kErrBadData;
  record_.replace(f.offset, f.width - n, f.width - n, ' ');
  record_.replace(f.offset + f.width - n, n, text, n);
  return kDbfOk;
}

int DbfTable::TakeLock(int64_t offset, int64_t length) {
  if (locks_.size() >= static_cast<size_t>(kLockCapacity)) return kErrLockOverflow;
  if (!file_->Lock(offset, length).ok()) return kErrLockRefused;
  locks_.push_back({offset, length});
  return kDbfOk;
}

int DbfTable::ReleaseLock(int64_t offset, int64_t length) {
  for (auto it = locks_.begin(); it != locks_.end(); ++it) {
    if (it->offset == offset && it->length == length) {
      locks_.erase(it);
      (void)file_->Unlock(offset, length);
      return kDbfOk;
    }
  }
  return kErrLockUnderflow;
}

int DbfTable::LockFile() {
  if (!file_) return kErrInvalidHandle;
  if (file_locked_) return kDbfOk;
  if (int rc = TakeLock(kLockBase, kLockBase)) return rc;
  file_locked_ = true;
  return kDbfOk;
}

int DbfTable::UnlockFile() {
  if (!file_) return kErrInvalidHandle;
  if (!file_locked_) return kErrLockUnderflow;
  file_locked_ = false;
  return ReleaseLock(kLockBase, kLockBase);
}

int DbfTable::Append(int64_t* number) {
  if (!file_) return kErrInvalidHandle;
  if (access_.read_only) return kErrReadOnly;
  // A shared table appends under the header lock, after taking the count
  // that other processes may have raised meanwhile.
  const bool lock_header = access_.shared && !file_locked_;
  if (lock_header) {
    if (!access_.auto_lock) return kErrMustLock;
    if (int rc = TakeLock(kLockBase, 1)) return rc;
  }
  int rc = access_.shared ? RefreshCount() : kDbfOk;
  const int64_t n = static_cast<int64_t>(header_.records) + 1;
  record_[0] = kLiveFlag;
  if (rc == kDbfOk && !buffered()) {
    std::string bytes = record_;
    bytes += kEndOfFile;
    header_.records = static_cast<uint32_t>(n);
    if (!Ok(file_->WriteAt(Offset(n), bytes)) || WriteHeader() != kDbfOk) {
      header_.records = static_cast<uint32_t>(n - 1);
      rc = kErrWrite;
    }
  } else if (rc == kDbfOk) {
    const bool joins =
        block_count_ > 0 && block_first_ + block_count_ == n && block_count_ < capacity_;
    if (!joins) {
      rc = WriteBlock();
      if (rc == kDbfOk) {
        block_first_ = n;
        block_count_ = 0;
      }
    }
    if (rc == kDbfOk) {
      header_.records = static_cast<uint32_t>(n);
      ++block_count_;
      std::memcpy(BlockSlot(n), record_.data(), record_.size());
      changed_ = appended_ = true;
    }
  }
  if (lock_header) (void)ReleaseLock(kLockBase, 1);
  if (rc != kDbfOk) return rc;
  current_ = n;
  if (number) *number = n;
  CheckInvariants();
  return kDbfOk;
}

int DbfTable::WriteRecord() {
  if (!buffered()) {
    if (!Ok(file_->WriteAt(Offset(current_), record_))) return kErrWrite;
    return WriteHeader();
  }
  if (!InBlock(current_)) {
    if (int rc = LoadBlock(current_)) return rc;
  }
  std::memcpy(BlockSlot(current_), record_.data(), record_.size());
  changed_ = true;
  return kDbfOk;
}

int DbfTable::Update() {
  if (!file_) return kErrInvalidHandle;
  if (access_.read_only) return kErrReadOnly;
  if (current_ < 1 || current_ > header_.records) return kErrSeek;
  const int64_t lock_at = kLockBase + current_;
  bool held = file_locked_;
  for (const HeldLock& l : locks_) held = held || (l.offset == lock_at && l.length == 1);
  const bool lock_record = access_.shared && !held;
  if (lock_record) {
    if (!access_.auto_lock) return kErrMustLock;
    if (int rc = TakeLock(lock_at, 1)) return rc;
  }
  const int rc = WriteRecord();
  if (lock_record) (void)ReleaseLock(lock_at, 1);
  CheckInvariants();
  return rc;
}

int DbfTable::SetFlag(int64_t n, char flag) {
  if (!file_) return kErrInvalidHandle;
  if (access_.read_only) return kErrReadOnly;
  const int rc = Read(n);
  if (IsDbfError(rc)) return rc;
  if (record_[0] == flag) return kDbfOk;
  record_[0] = flag;
  return Update();
}

int DbfTable::Delete(int64_t n) { return SetFlag(n, kDeletedFlag); }
int DbfTable::Recall(int64_t n) { return SetFlag(n, kLiveFlag); }

int DbfTable::WriteBlock() {
  if (!changed_) return kDbfOk;
  // The records and, after an appended block, the 0x1A in one write (the
  // block buffer keeps a byte spare for it); then the header with the count.
  const size_t length = header_.record_length;
  size_t bytes = block_count_ * length;
  if (appended_) block_[bytes++] = kEndOfFile;
  if (!Ok(file_->WriteAt(Offset(block_first_), std::string_view(block_.data(), bytes)))) {
    return kErrWrite;
  }
  if (int rc = WriteHeader()) return rc;
  changed_ = appended_ = false;
  CheckInvariants();
  return kDbfOk;
}

int DbfTable::Flush() {
  if (!file_) return kErrInvalidHandle;
  if (!changed_) return kDbfOk;
  if (int rc = WriteBlock()) return rc;
  return Ok(file_->Sync()) ? kDbfOk : kErrFlush;
}

int DbfTable::Pack() {
  if (!file_) return kErrInvalidHandle;
  if (access_.read_only) return kErrReadOnly;
  if (int rc = Flush()) return rc;
  const bool lock_file = access_.shared && !file_locked_;
  if (lock_file) {
    if (int rc = LockFile()) return rc;
  }
  auto unlock = [&](int rc) {
    if (lock_file && file_) (void)UnlockFile();
    return rc;
  };
  (void)RefreshCount();

  const std::string dir = FolderOf(path_);
  const std::string backup = WithExtension(path_, ".BAK");
  std::string work;
  for (int i = 0;; ++i) {
    work = dir + std::to_string(i) + ".DBF";
    if (!FileExists(work)) break;
  }
  std::vector<NewField> new_fields;
  for (const DbfField& f : fields_) new_fields.push_back({f.name, f.type, f.width, f.decimals});
  if (int rc = Create(work, &new_fields)) return unlock(rc);

  // Copy the live records; on any failure the work file goes and the table
  // stays as it was.
  FileSystem& fs = CurrentFileSystem();
  {
    std::unique_ptr<DbfTable> copy;
    int rc = Open(work, DbfAccess{}, &copy);
    for (int64_t n = 1; rc == kDbfOk && n <= static_cast<int64_t>(header_.records); ++n) {
      rc = Read(n);
      if (rc == kWarnDeletedRecord) {
        rc = kDbfOk;
        continue;
      }
      if (rc != kDbfOk) break;
      copy->record_ = record_;
      rc = copy->Append();
    }
    if (rc == kDbfOk) rc = copy->Close();
    if (rc != kDbfOk) {
      copy.reset();
      (void)fs.Remove(work);
      return unlock(rc);
    }
  }

  const DbfAccess access = access_;
  CloseFile();
  if (FileExists(backup) && !fs.Remove(backup).ok()) {
    (void)fs.Remove(work);
    (void)OpenFile(path_, access);
    return kErrAccessDenied;
  }
  if (IoStatus s = fs.Rename(path_, backup); !s.ok()) {
    (void)fs.Remove(work);
    (void)OpenFile(path_, access);
    return s.code() == kFileNotFound ? kErrFileNotFound : kErrAccessDenied;
  }
  if (IoStatus s = fs.Rename(work, path_); !s.ok()) {
    (void)fs.Rename(backup, path_);
    (void)fs.Remove(work);
    (void)OpenFile(path_, access);
    return s.code() == kFileNotFound ? kErrFileNotFound : kErrAccessDenied;
  }
  return OpenFile(path_, access);
}

}  // namespace mirabo::xbase
