#include "tools/load/row_source.h"

#include <filesystem>

#include "runtime/text.h"
#include "tools/load/csv_reader.h"
#include "tools/load/dbf_source.h"

namespace mirabo::tools {
namespace {

class CsvSource final : public RowSource {
 public:
  bool Open(const std::string& path, std::string* error) { return reader_.Open(path, error); }

  Result Header(std::vector<std::string>* names, std::string* error) override {
    if (reader_.Next(names, error) != CsvReader::Result::kRecord) {
      if (error->empty()) *error = "no header row";
      return Result::kError;
    }
    return Result::kRow;
  }

  Result Next(std::vector<std::string>* values, std::string* error) override {
    for (;;) {
      switch (reader_.Next(values, error)) {
        case CsvReader::Result::kEnd:
          return Result::kEnd;
        case CsvReader::Result::kError:
          return Result::kError;
        case CsvReader::Result::kRecord:
          if (values->size() == 1 && (*values)[0].empty()) continue;  // a blank line
          return Result::kRow;
      }
    }
  }

  int64_t number() const override { return std::max<int64_t>(reader_.line(), 1); }
  const char* unit() const override { return "line"; }
  std::string Where(const std::string& name) const override {
    return name + ":" + std::to_string(number());
  }

  bool windows1252() const override { return false; }
  int64_t bytes_read() const override { return reader_.bytes_read(); }
  int64_t size() const override { return reader_.size(); }

 private:
  CsvReader reader_;
};

}  // namespace

std::unique_ptr<RowSource> OpenRowSource(const std::string& path, std::string* error) {
  if (ToUpper1252(std::filesystem::path(path).extension().string()) == ".DBF") {
    return OpenDbfSource(path, error);
  }
  auto csv = std::make_unique<CsvSource>();
  if (!csv->Open(path, error)) return nullptr;
  return csv;
}

}  // namespace mirabo::tools
