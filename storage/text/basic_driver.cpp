#include "storage/text/basic_driver.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "runtime/value.h"
#include "storage/text/line_file.h"
#include "storage/text/oem_charset.h"

namespace mirabo::text {
namespace {

constexpr char kDefaultQuote = '"';
constexpr char kDefaultDelimiter = ',';
// Lines are written a buffer at a time (storage/text/line_file.h).
constexpr size_t kWriteBuffer = 16384;

class BasicFile final : public DriverFile {
 public:
  explicit BasicFile(File& file) : file_(file), decl_(file.decl()) { ResetOptions(); }

  int Open(uint8_t access_mode) override;
  int Create() override;
  int Close() override { return lines_.Close(); }
  int Flush() override { return lines_.Flush(); }
  std::string Name() override { return std::string(Clip(decl_.ExternalName())); }
  int Add() override;
  int PostOpen() override { return lines_.is_open() ? kNoError : kFileNotOpen; }
  int Option(std::string_view text, std::string* answer) override;

 private:
  void ResetOptions();
  // Marks the bytes that make a string value need a closer look.
  void MarkSpecialBytes();
  // Appends the text of a string value to line_.
  void AppendString(std::string_view value);
  // Appends the text of a number to line_.
  void AppendNumber(const ValueRef& v);
  int CodeOption(const OptionText& opt, std::string* answer, bool delimiter);
  // A line of the field names, quoted as values are.
  int WriteHeader();

  File& file_;
  const FileDecl& decl_;
  LineFile lines_{kWriteBuffer};
  std::string line_;   // the line being built, reused from add to add
  std::string value_;  // one string value being built
  std::string oem_;    // an OEM file's record, converted

  bool always_quote_ = true;
  bool utf8_ = false;  // values written as UTF-8, not as the record's Windows-1252
  char quote_ = kDefaultQuote;
  std::string delimiter_;
  // The quote, the delimiter's first byte and the line breaks: a value
  // without them is copied as it stands.  With a blank among the quote and
  // the delimiter every value takes the long way, since its trailing blanks
  // count before they go.
  std::array<bool, 256> special_{};
  bool blanks_special_ = false;
};

void BasicFile::ResetOptions() {
  always_quote_ = true;
  utf8_ = false;
  quote_ = kDefaultQuote;
  delimiter_.assign(1, kDefaultDelimiter);
  MarkSpecialBytes();
}

void BasicFile::MarkSpecialBytes() {
  special_.fill(false);
  for (char c : {quote_, '\r', '\n'}) special_[static_cast<unsigned char>(c)] = true;
  if (!delimiter_.empty()) special_[static_cast<unsigned char>(delimiter_[0])] = true;
  blanks_special_ = quote_ == ' ' || delimiter_.find(' ') != std::string::npos;
}

int BasicFile::Create() {
  if (!decl_.create) return kNoCreateAttribute;
  return LineFile::Create(Name());
}

int BasicFile::Open(uint8_t access_mode) {
  if (int rc = lines_.Open(Name(), access_mode, decl_.record_size)) return rc;
  ResetOptions();
  return kNoError;
}

void BasicFile::AppendString(std::string_view value) {
  if (!blanks_special_) {
    // Trailing blanks hold nothing special: drop them first, and copy a
    // value without special bytes in one piece.
    value = Clip(value);
    size_t i = 0;
    while (i < value.size() && !special_[static_cast<unsigned char>(value[i])]) ++i;
    if (i == value.size()) {
      if (always_quote_) line_.push_back(quote_);
      line_.append(value);
      if (always_quote_) line_.push_back(quote_);
      return;
    }
  }
  value_.clear();
  bool quoted = always_quote_;
  const size_t delimiter = delimiter_.size();
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == quote_) {
      value_.push_back(c);
      value_.push_back(c);
      quoted = true;
    } else if (delimiter > 0 && c == delimiter_[0] &&
               value.compare(i, delimiter, delimiter_) == 0) {
      value_.append(delimiter_);
      i += delimiter - 1;
      quoted = true;
    } else {
      // A line break inside a value would end its record for any reader.
      if (c == '\r' || c == '\n') quoted = true;
      value_.push_back(c);
    }
  }
  value_.resize(Clip(value_).size());
  if (quoted) line_.push_back(quote_);
  line_.append(value_);
  if (quoted) line_.push_back(quote_);
}

void BasicFile::AppendNumber(const ValueRef& v) {
  const double d = v.GetNumber();
  if (v.type == FieldType::kReal) {
    line_.append(NumberText(d));
  } else {
    line_.append(std::to_string(static_cast<long long>(d)));
  }
}

int BasicFile::Add() {
  std::string_view record = file_.record_bytes();
  if (decl_.oem) {
    OemFromAnsi(record, &oem_);
    record = oem_;
  }
  line_.clear();
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    const FieldDecl& f = decl_.fields[i];
    if (i > 0) line_.append(delimiter_);
    if (f.type == FieldType::kString) {
      AppendString(record.substr(f.offset, f.size));
    } else {
      AppendNumber(file_.Field(static_cast<int>(i)));
    }
  }
  if (utf8_) line_ = Utf8FromCp1252(line_);
  return lines_.WriteLine(line_);
}

int BasicFile::WriteHeader() {
  line_.clear();
  for (size_t i = 0; i < decl_.fields.size(); ++i) {
    if (i > 0) line_.append(delimiter_);
    AppendString(decl_.fields[i].ColumnName());
  }
  return lines_.WriteLine(line_);
}

int BasicFile::CodeOption(const OptionText& opt, std::string* answer, bool delimiter) {
  int code = 0;
  if (opt.is_query()) {
    if (!delimiter) {
      *answer = std::to_string(static_cast<unsigned char>(quote_));
    } else if (delimiter_.size() == 1) {
      *answer = std::to_string(static_cast<unsigned char>(delimiter_[0]));
    }
  } else if (ParseInt(*opt.value, &code) && code >= 0 && code <= 255) {
    if (delimiter) {
      delimiter_.assign(1, static_cast<char>(code));
    } else {
      quote_ = static_cast<char>(code);
    }
    MarkSpecialBytes();
  }
  return kNoError;
}

int BasicFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  if (opt.name == "ALWAYSQUOTE") {
    OnOffOption(opt, &always_quote_, answer);
  } else if (opt.name == "UTF8") {
    OnOffOption(opt, &utf8_, answer);
  } else if (opt.name == "HEADER") {
    // Writes the field names as the first line now: the file was just
    // opened and nothing is in it yet.
    if (opt.is_query()) return kNoError;
    if (!lines_.is_open()) return kFileNotOpen;
    return WriteHeader();
  } else if (opt.name == "QUOTE") {
    return CodeOption(opt, answer, false);
  } else if (opt.name == "COMMA") {
    return CodeOption(opt, answer, true);
  } else if (opt.name == "FIELDDELIMITER") {
    if (opt.is_query()) {
      *answer = delimiter_;
    } else if (ParseByteList(*opt.value, &delimiter_)) {
      MarkSpecialBytes();
    }
  } else if (!lines_.Option(opt, answer)) {
    return kUnsupportedFunction;
  }
  return kNoError;
}

}  // namespace

void RegisterBasicDriver() { RegisterDriverOnce<BasicFile>("BASIC"); }

}  // namespace mirabo::text
