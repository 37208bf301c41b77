#include "storage/text/ascii_driver.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "storage/text/line_file.h"
#include "storage/text/oem_charset.h"

namespace mirabo::text {
namespace {

bool StringsOnly(const FileDecl& decl) {
  return std::all_of(decl.fields.begin(), decl.fields.end(),
                     [](const FieldDecl& f) { return f.type == FieldType::kString; });
}

class AsciiFile final : public DriverFile {
 public:
  explicit AsciiFile(File& file) : file_(file), decl_(file.decl()) {}

  int Open(uint8_t access_mode) override;
  int Create() override;
  int Close() override { return lines_.Close(); }
  int Flush() override { return lines_.Flush(); }
  std::string Name() override { return std::string(Clip(decl_.ExternalName())); }
  int Add() override;
  int Option(std::string_view text, std::string* answer) override;

  int64_t current() const { return lines_.current(); }

 private:
  File& file_;
  const FileDecl& decl_;
  LineFile lines_;
  std::string line_;  // the record being written, reused from add to add
  bool clip_ = true;
  int tab_ = 8;
};

int AsciiFile::Create() {
  if (!decl_.create) return kNoCreateAttribute;
  if (!StringsOnly(decl_)) return kUnsupportedDataType;
  return LineFile::Create(Name());
}

int AsciiFile::Open(uint8_t access_mode) {
  if (!StringsOnly(decl_)) return kUnsupportedDataType;
  if (int rc = lines_.Open(Name(), access_mode, decl_.record_size)) return rc;
  clip_ = true;
  tab_ = 8;
  return kNoError;
}

int AsciiFile::Add() {
  const std::string_view record = file_.record_bytes();
  if (decl_.oem) {
    OemFromAnsi(record, &line_);
  } else {
    line_.assign(record);
  }
  if (clip_) line_.resize(Clip(line_).size());
  return lines_.WriteLine(line_);
}

int AsciiFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  int value = 0;
  if (opt.name == "CLIP") {
    OnOffOption(opt, &clip_, answer);
  } else if (opt.name == "TAB") {
    if (opt.is_query()) {
      *answer = std::to_string(tab_);
    } else if (ParseInt(*opt.value, &value)) {
      tab_ = value;
    }
  } else if (!lines_.Option(opt, answer)) {
    return kUnsupportedFunction;
  }
  return kNoError;
}

}  // namespace

void RegisterAsciiDriver() { RegisterDriverOnce<AsciiFile>("ASCII"); }

int64_t CurrentRecordPosition(File& file) {
  auto* ascii = dynamic_cast<AsciiFile*>(file.driver_file());
  return ascii ? ascii->current() : -1;
}

}  // namespace mirabo::text
