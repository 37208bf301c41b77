#include "tools/load/dbf_source.h"

#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"

namespace mirabo::tools {
namespace {

using xbase::DbfTable;

std::string EngineReason(int code) {
  return std::string(xbase::DbfErrorText(code)) + " (" + std::to_string(code) + ")";
}

class DbfSource final : public RowSource {
 public:
  explicit DbfSource(std::unique_ptr<DbfTable> table)
      : table_(std::move(table)), count_(table_->RecordCount()) {}

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
      values->resize(table_->fields().size());
      for (size_t i = 0; i < values->size(); ++i) {
        (void)table_->GetText(static_cast<int>(i), &(*values)[i]);
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
  return std::make_unique<DbfSource>(std::move(table));
}

}  // namespace mirabo::tools
