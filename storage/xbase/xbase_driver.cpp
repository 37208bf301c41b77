#include "storage/xbase/xbase_driver.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "runtime/access.h"
#include "runtime/current_folder.h"
#include "runtime/driver_alert.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/file_system.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "storage/text/oem_charset.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "storage/xbase/table_paths.h"
#include "storage/xbase/xbase_field_map.h"

namespace mirabo::xbase {
namespace {

constexpr size_t kMaxNameLength = 143;
constexpr int kInvalidFieldType = kInvalidFieldTypeDescriptor;
constexpr char kDriverCaption[] = "xBase Driver";

// The memo file's first block: the next free block (1) and zeros.
constexpr int kMemoBlock = 512;

class XbaseFile final : public DriverFile {
 public:
  explicit XbaseFile(File& file) : file_(file), decl_(file.decl()) {}

  int Open(uint8_t access_mode) override;
  int Create() override;
  // The code page mark of the tables this file makes.
  uint8_t Language() const {
    return decl_.oem ? xbase::kLanguageDos437 : xbase::kLanguageWindowsAnsi;
  }
  int Close() override;
  std::string Name() override {
    std::string path;
    return TableName(&path) == kNoError ? path : std::string(Clip(decl_.ExternalName()));
  }
  int Records(int64_t* count) override;
  int SetKeyStart(int key) override;
  int Next() override { return Step(+1); }
  int Previous() override { return Step(-1); }
  int Add() override { return Append(); }
  int Append() override;
  int Delete() override;
  int Pack() override;
  int Lock() override;
  int Unlock() override;
  int PostOpen() override { return table_ ? kNoError : kFileNotOpen; }
  int Empty() override;
  int Flush() override;
  int Option(std::string_view text, std::string* answer) override;

 private:
  int TableName(std::string* path);
  int Step(int direction);
  // The runtime code of an engine result, with the error state and the stop
  // box that go with it.
  int Translate(int engine_code);
  // Fills the table's record buffer from the record buffer, and back.
  int ToTable();
  void FromTable();
  int MapTableFields();
  int CreateMemoFile(const std::string& table_path);
  void Alert(const char* text) {
    RaiseDriverAlert({DriverAlert::Kind::kExclamation, kDriverCaption, text});
  }

  File& file_;
  const FileDecl& decl_;
  std::unique_ptr<DbfTable> table_;
  std::vector<MappedField> map_;
  std::vector<int> table_field_;  // per map entry: the field's number in the table
  std::string oem_;               // a string field converted for an OEM file
  int64_t position_ = 0;          // record order: 0 before the first / after the last

  int buffers_ = 0;
  bool ext_errors_ = false;
  bool ignore_status_ = false;
};

int XbaseFile::TableName(std::string* path) {
  std::string name(Clip(decl_.ExternalName()));
  if (name.size() > kMaxNameLength) return kInvalidFilename;
  if (name.empty()) {
    *path = name;
    return kNoError;
  }
  if (name.back() == '.') {
    name.pop_back();
  } else if (WithoutFolder(name).find('.') == std::string::npos) {
    name += ".DBF";
  }
  if (name.front() == '/') {
    *path = name;
    return kNoError;
  }
  // A folder that cannot be told is no reason to write somewhere else.
  const std::optional<std::string> folder = CurrentFolder();
  if (!folder) return kPathNotFound;
  *path = *folder + "/" + name;
  return kNoError;
}

int XbaseFile::Translate(int engine_code) {
  const int code = RuntimeCodeOf(engine_code);
  // The system's error behind a failed read or write (a full disk) goes
  // with the code, for messages that name the file.
  const int os_error = table_ && code != kNoError ? table_->os_error() : 0;
  if (code == kFileSystemError) {
    SetFileSystemError(engine_code, DbfErrorText(engine_code), os_error);
  } else if (code != kNoError) {
    SetError(code, os_error);
  }
  if (code != kNoError && IsDbfError(engine_code) && ext_errors_) {
    const std::string text(code == kFileSystemError ? std::string(DbfErrorText(engine_code))
                                                    : ErrorText(code));
    char message[512];
    std::snprintf(message, sizeof message, "File %s, xBase Error (%d): %s",
                  WithoutFolder(Name()).c_str(), engine_code, text.c_str());
    RaiseDriverAlert({DriverAlert::Kind::kStop, "", message});
  }
  return code;
}

int XbaseFile::MapTableFields() {
  table_field_.clear();
  const std::vector<DbfField>& fields = table_->fields();
  for (const MappedField& m : map_) {
    const std::string name = ToUpper1252(m.new_field.name);
    int found = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].name == name) found = static_cast<int>(i);
    }
    if (found < 0) return kInvalidRecordDeclaration;
    table_field_.push_back(found);
  }
  return kNoError;
}

int XbaseFile::Open(uint8_t access_mode) {
  if (table_) return kFileAlreadyOpen;
  std::string path;
  if (int rc = TableName(&path)) return rc;
  if (int rc = BuildFieldMap(decl_, &map_)) return rc;
  DbfAccess access;
  access.read_only = AccessBits(access_mode) == kReadOnly;
  const uint8_t sharing = SharingBits(access_mode);
  if (sharing == kDenyNone) {
    access.shared = true;
    access.auto_lock = !access.read_only;
  } else {
    access.write_through = (sharing == kShareAny || sharing == kDenyAll) && buffers_ == 0;
  }
  if (int rc = DbfTable::Open(path, access, &table_)) return Translate(rc);
  int rc = MapTableFields();
  if (rc == kNoError && !decl_.keys.empty()) rc = kKeyFileMustBeRebuilt;
  if (rc == kNoError && decl_.memos > 0 && !FileExists(WithExtension(path, ".DBT"))) {
    rc = kMemoFileMissing;
  }
  if (rc != kNoError) {
    table_.reset();
    return rc;
  }
  position_ = 0;
  return kNoError;
}

int XbaseFile::CreateMemoFile(const std::string& table_path) {
  OpenOptions o;
  o.read = o.write = o.create = o.truncate = true;
  std::unique_ptr<FileHandle> memo;
  IoStatus s = CurrentFileSystem().Open(WithExtension(table_path, ".DBT"), o, &memo);
  if (!s.ok()) return s.Report();
  std::string block(kMemoBlock, '\0');
  block[0] = 1;
  s = memo->WriteAt(0, block);
  const IoStatus closed = memo->Close();
  if (!s.ok()) return s.Report();
  return closed.ok() ? kNoError : closed.Report();
}

int XbaseFile::Create() {
  if (!decl_.create) return kNoCreateAttribute;
  std::string path;
  if (int rc = TableName(&path)) return rc;
  if (int rc = BuildFieldMap(decl_, &map_)) return rc;
  int memo_fields = 0;
  for (const MappedField& m : map_) memo_fields += m.new_field.type == 'M';
  if (memo_fields != decl_.memos) {
    Alert("You have a field of type LONG with no matching memo");
    return kInvalidFieldType;
  }
  std::vector<NewField> new_fields;
  for (const MappedField& m : map_) new_fields.push_back(m.new_field);
  if (int rc = DbfTable::Create(path, &new_fields, Language())) {
    const int code = Translate(rc);
    // A table the fields cannot describe is a bad declaration; a file the
    // system would not write keeps its own reason.
    const bool layout = rc <= kErrFieldCount && rc >= kErrRecordLength;
    return layout ? kInvalidFieldType : code;
  }

  // Key files: each needs a name of its own in its first 8 characters.  The
  // driver keeps no key files, so a declaration with keys creates nothing.
  int rc = kNoError;
  for (size_t i = 0; i < decl_.keys.size() && rc == kNoError; ++i) {
    const std::string a = ToUpper1252(WithoutFolder(decl_.keys[i].external_name)).substr(0, 8);
    for (size_t j = 0; j < i; ++j) {
      if (ToUpper1252(WithoutFolder(decl_.keys[j].external_name)).substr(0, 8) == a) {
        Alert(
            "This file has two key files with the same name.\n"
            "Key names must be unique in the first 8 characters");
        rc = kInvalidKeyFile;
        break;
      }
    }
  }
  if (rc == kNoError && !decl_.keys.empty()) rc = kUnsupportedFunction;
  if (rc == kNoError && decl_.memos > 0) rc = CreateMemoFile(path);
  if (rc != kNoError) {
    FileSystem& fs = CurrentFileSystem();
    (void)fs.Remove(path);
    if (decl_.memos > 0) (void)fs.Remove(WithExtension(path, ".DBT"));
  }
  return rc;
}

int XbaseFile::Close() {
  if (!table_) return kFileNotOpen;
  const int rc = table_->Close();
  table_.reset();  // a table that could not be flushed is closed all the same
  return Translate(rc);
}

int XbaseFile::Records(int64_t* count) {
  *count = 0;
  if (!table_) return kFileNotOpen;
  *count = table_->RecordCount();
  return kNoError;
}

int XbaseFile::SetKeyStart(int key) {
  if (key != kRecordOrder) return kInvalidKeyFile;
  position_ = 0;
  return kNoError;
}

int XbaseFile::ToTable() {
  table_->BlankRecord();
  for (size_t i = 0; i < map_.size(); ++i) {
    const ValueRef v = file_.Field(map_[i].decl_field);
    const int field = table_field_[i];
    const char type = table_->fields()[field].type;
    int rc = kDbfOk;
    if (v.type == FieldType::kString) {
      if (decl_.oem) {
        text::OemFromAnsi(v.Bytes(), &oem_);
        rc = table_->PutText(field, oem_);
      } else {
        rc = table_->PutText(field, v.Bytes());
      }
    } else if (type == 'N' || type == 'F') {
      rc = table_->PutNumber(field, v.GetNumber());
    } else if (type == 'L') {
      const double d = v.GetNumber();
      rc = d == 1   ? table_->PutLogical(field, 1)
           : d == 0 ? table_->PutLogical(field, 0)
                    : kErrBadData;
    } else if (type == 'M') {
      const double d = v.GetNumber();
      rc = d >= 0 && d <= 4294967295.0 ? table_->PutMemo(field, static_cast<uint32_t>(d))
                                       : kErrBadData;
    } else {
      rc = table_->PutText(field, NumberText(v.GetNumber()));
    }
    if (IsDbfError(rc)) return rc;
  }
  return kDbfOk;
}

void XbaseFile::FromTable() {
  for (size_t i = 0; i < map_.size(); ++i) {
    const ValueRef v = file_.Field(map_[i].decl_field);
    std::string text;
    (void)table_->GetText(table_field_[i], &text);
    switch (v.type) {
      case FieldType::kString:
        if (decl_.oem) text::AnsiFromOem(std::string(text), &text);
        v.SetString(text);
        break;
      case FieldType::kByte:
        v.SetNumber(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
        break;
      default: {
        const std::string_view t = Clip(text);
        v.SetNumber(std::strtod(std::string(t).c_str(), nullptr));
      }
    }
  }
}

int XbaseFile::Append() {
  if (!table_) return kFileNotOpen;
  if (int rc = ToTable()) return Translate(rc);
  return Translate(table_->Append());
}

int XbaseFile::Step(int direction) {
  if (!table_) return kFileNotOpen;
  const int64_t count = table_->RecordCount();
  int64_t n = position_ == 0 ? (direction > 0 ? 1 : count) : position_ + direction;
  for (; n >= 1 && n <= count; n += direction) {
    const int rc = table_->Read(n);
    if (IsDbfError(rc)) return Translate(rc);
    if (rc == kWarnDeletedRecord && !ignore_status_) continue;
    position_ = n;
    FromTable();
    return kNoError;
  }
  return kRecordNotAvailable;
}

int XbaseFile::Delete() {
  if (!table_) return kFileNotOpen;
  if (table_->current() < 1) return kRecordNotAvailable;
  return Translate(table_->Delete(table_->current()));
}

int XbaseFile::Pack() {
  if (!table_) return kFileNotOpen;
  position_ = 0;
  return Translate(table_->Pack());
}

int XbaseFile::Lock() { return table_ ? Translate(table_->LockFile()) : kFileNotOpen; }
int XbaseFile::Unlock() { return table_ ? Translate(table_->UnlockFile()) : kFileNotOpen; }
int XbaseFile::Flush() { return table_ ? Translate(table_->Flush()) : kFileNotOpen; }

// The table is closed and made anew.  When the new one cannot be created or
// opened the file is left without a table: it still counts as open to the
// runtime, so every operation checks for the table and answers 37.
int XbaseFile::Empty() {
  if (!table_) return kFileNotOpen;
  if (table_->access().shared || table_->access().read_only) return kExclusiveAccessRequired;
  const DbfAccess access = table_->access();
  const std::string path = table_->path();
  std::vector<NewField> new_fields;
  for (const DbfField& f : table_->fields())
    new_fields.push_back({f.name, f.type, f.width, f.decimals});
  if (int rc = table_->Close()) return Translate(rc);
  table_.reset();
  position_ = 0;
  if (int rc = DbfTable::Create(path, &new_fields, Language())) return Translate(rc);
  if (int rc = DbfTable::Open(path, access, &table_)) return Translate(rc);
  return MapTableFields();
}

int XbaseFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  auto on_off = [&](bool* flag) {
    if (opt.is_query()) {
      *answer = *flag ? "ON" : "OFF";
    } else {
      *flag = OptionOn(*opt.value);
    }
    return kNoError;
  };
  if (opt.name == "EXTERRORS") return on_off(&ext_errors_);
  if (opt.name == "IGNORESTATUS") return on_off(&ignore_status_);
  if (opt.name == "BUFFERS") {
    if (opt.is_query()) {
      *answer = std::to_string(buffers_);
    } else {
      buffers_ = std::max(0, std::atoi(opt.value->c_str()));
    }
    return kNoError;
  }
  if (opt.name == "DELETED") {
    if (!ignore_status_ || !table_ || table_->current() < 1) return kRecordNotAvailable;
    *answer = table_->deleted() ? "ON" : "OFF";
    return kNoError;
  }
  if (opt.name == "RECOVER") {
    if (!table_) return kFileNotOpen;
    const int64_t count = table_->RecordCount();
    for (int64_t n = 1; n <= count; ++n) {
      if (const int rc = table_->Recall(n); IsDbfError(rc)) return Translate(rc);
    }
    return kNoError;
  }
  return kUnsupportedFunction;
}

}  // namespace

void RegisterXbaseDriver() { RegisterDriverOnce<XbaseFile>("XBASE"); }

}  // namespace mirabo::xbase
