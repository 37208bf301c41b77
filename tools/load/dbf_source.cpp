#include "tools/load/dbf_source.h"

#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "tools/load/memo_file.h"

namespace mirabo::tools {
namespace {

using xbase::DbfTable;

std::string EngineReason(int code) {
  return std::string(xbase::DbfErrorText(code)) + " (" + std::to_string(code) + ")";
}

class DbfSource final : public RowSource {
 public:
  DbfSource(std::unique_ptr<DbfTable> table, std::unique_ptr<MemoFile> memo)
      : table_(std::move(table)), memo_(std::move(memo)), count_(table_->RecordCount()) {}

  Result Header(std::vector<std::string>* names, std::string*) override {
    names->clear();
    for (const xbase::DbfField& f : table_->fields()) names->push_back(f.name);
    return Result::kRow;
  }

  Result Next(std::vector<std::string>* values, std::string* error) override {
    while (record_ < count_) {
      const int rc = table_->Read(++record_);
      if (rc == xbase::kWarnDeletedRecord) continue;
      if (xbase::IsDbfError(rc)) {
        *error = "cannot be read: " + EngineReason(rc);
        return Result::kError;
      }
      const std::vector<xbase::DbfField>& fields = table_->fields();
      values->resize(fields.size());
      for (size_t i = 0; i < values->size(); ++i) {
        const xbase::DbfField& f = fields[i];
        if (f.type != 'M') {
          (void)table_->GetText(static_cast<int>(i), &(*values)[i]);
          continue;
        }
        // A memo field holds a block number; its text is in the memo file.
        std::string why;
        const std::string_view stored = table_->record().substr(f.offset, f.width);
        if (!memo_->Text(stored, &(*values)[i], &why)) {
          *error = "field " + f.name + ": " + why;
          return Result::kError;
        }
      }
      return Result::kRow;
    }
    return Result::kEnd;
  }

  int64_t number() const override { return record_; }
  const char* unit() const override { return "record"; }
  std::string Where(const std::string& name) const override {
    return record_ == 0 ? name : name + ": record " + std::to_string(record_);
  }

  bool windows1252() const override { return true; }
  int64_t bytes_read() const override { return Offset(record_); }
  int64_t size() const override { return Offset(count_); }

 private:
  int64_t Offset(int64_t records) const {
    return table_->header().header_length + records * table_->header().record_length;
  }

  std::unique_ptr<DbfTable> table_;
  std::unique_ptr<MemoFile> memo_;  // when the table has memo fields
  int64_t count_;
  int64_t record_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> OpenDbfSource(const std::string& path, std::string* error) {
  std::unique_ptr<DbfTable> table;
  xbase::DbfAccess access;
  access.read_only = true;
  if (const int rc = DbfTable::Open(path, access, &table)) {
    *error = "cannot be opened as an xBase table: " + EngineReason(rc);
    return nullptr;
  }
  std::unique_ptr<MemoFile> memo;
  for (const xbase::DbfField& f : table->fields()) {
    if (f.type != 'M' || memo) continue;
    std::string why;
    memo = MemoFile::Open(path, &why);
    if (!memo) {
      *error = "field " + f.name + ": " + why;
      return nullptr;
    }
  }
  return std::make_unique<DbfSource>(std::move(table), std::move(memo));
}

}  // namespace mirabo::tools
