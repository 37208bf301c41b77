#include "storage/text/ascii_driver.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/file_system.h"
#include "runtime/option_text.h"
#include "runtime/text.h"
#include "storage/text/oem_charset.h"

namespace mirabo::text {
namespace {

constexpr int kBufferUnit = 512;
constexpr char kEndOfFile = 0x1A;

bool SharesNothing(uint8_t access_mode) {
  const uint8_t sharing = SharingBits(access_mode);
  return sharing == kDenyAll || sharing == kDenyWrite || sharing == kDenyRead;
}

bool StringsOnly(const FileDecl& decl) {
  return std::all_of(decl.fields.begin(), decl.fields.end(),
                     [](const FieldDecl& f) { return f.type == FieldType::kString; });
}

// The whole of `text` as a decimal number; false when it is anything else.
bool ParseInt(std::string_view text, int* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && !text.empty();
}

// "n,b1,..,bn": exactly n byte codes.
bool ParseEndOfRecord(std::string_view text, std::string* bytes) {
  std::vector<int> numbers;
  while (true) {
    const size_t comma = text.find(',');
    int n = 0;
    if (!ParseInt(text.substr(0, comma), &n)) return false;
    numbers.push_back(n);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (numbers[0] < 0 || static_cast<size_t>(numbers[0]) != numbers.size() - 1) return false;
  std::string out;
  for (size_t i = 1; i < numbers.size(); ++i) {
    if (numbers[i] < 0 || numbers[i] > 255) return false;
    out.push_back(static_cast<char>(numbers[i]));
  }
  *bytes = std::move(out);
  return true;
}

class AsciiFile final : public DriverFile {
 public:
  explicit AsciiFile(File& file) : file_(file), decl_(file.decl()) { ResetOptions(kReadOnly); }

  int Open(uint8_t access_mode) override;
  int Create() override;
  int Close() override;
  std::string Name() override { return std::string(Clip(decl_.ExternalName())); }
  int Add() override;
  int Option(std::string_view text, std::string* answer) override;

  int64_t current() const { return current_; }

 private:
  void ResetOptions(uint8_t access_mode);
  int OnOffOption(const OptionText& opt, bool* flag, std::string* answer);
  int NumberOption(const OptionText& opt, int* number, std::string* answer);

  File& file_;
  const FileDecl& decl_;
  std::unique_ptr<FileHandle> handle_;
  uint8_t access_ = kReadOnly;
  int64_t current_ = -1;      // first byte of the line the last add wrote
  int64_t end_ = -1;          // the file's end after the last add; -1: ask the system
  bool eof_checked_ = false;  // the first add's look for a trailing 0x1A is done
  std::string line_;          // the line being written, reused from add to add

  bool clip_ = true;
  bool quickscan_ = false;
  std::string end_of_record_;
  int tab_ = 8;
  int buffer_size_ = kBufferUnit;  // bytes
};

void AsciiFile::ResetOptions(uint8_t access_mode) {
  clip_ = true;
  quickscan_ = SharesNothing(access_mode);
  end_of_record_ = "\r\n";
  tab_ = 8;
  buffer_size_ =
      std::max(SharesNothing(access_mode) ? 2 * kBufferUnit : kBufferUnit, 2 * decl_.record_size);
}

int AsciiFile::Create() {
  if (!decl_.create) return kNoCreateAttribute;
  if (!StringsOnly(decl_)) return kUnsupportedDataType;
  OpenOptions o;
  o.read = o.write = true;
  o.deny_read = o.deny_write = true;
  o.create = o.truncate = true;
  std::unique_ptr<FileHandle> created;
  if (IoStatus s = CurrentFileSystem().Open(Name(), o, &created); !s.ok()) return s.Report();
  if (IoStatus s = created->Close(); !s.ok()) return s.Report();
  return kNoError;
}

int AsciiFile::Open(uint8_t access_mode) {
  if (!StringsOnly(decl_)) return kUnsupportedDataType;
  const OpenOptions o = OpenOptionsForAccess(access_mode);
  if (IoStatus s = CurrentFileSystem().Open(Name(), o, &handle_); !s.ok()) return s.Report();
  access_ = access_mode;
  current_ = -1;
  end_ = -1;
  eof_checked_ = false;
  ResetOptions(access_mode);
  return kNoError;
}

int AsciiFile::Close() {
  if (!handle_) return kFileNotOpen;
  // Every add has already written its line; only the close itself can fail.
  IoStatus s = handle_->Close();
  handle_.reset();
  return s.ok() ? kNoError : s.Report();
}

int AsciiFile::Add() {
  if (!handle_) return kFileNotOpen;
  if (!CanWrite(access_)) return kAccessDenied;
  // The file is ours alone while open for writing (others may not write), so
  // its end is known after the first add without asking the system again.
  int64_t position = end_;
  if (position < 0 && !handle_->Size(&position).ok()) return kAccessDenied;
  if (!eof_checked_) {
    // A file opened for writing only cannot be read; its last byte stays.
    std::string last;
    if (position > 0 && handle_->ReadAt(position - 1, 1, &last).ok() && last.size() == 1 &&
        last[0] == kEndOfFile) {
      --position;
    }
  }
  const std::string_view record = file_.record_bytes();
  if (decl_.oem) {
    OemFromAnsi(record, &line_);
  } else {
    line_.assign(record);
  }
  if (clip_) line_.resize(Clip(line_).size());
  line_ += end_of_record_;
  size_t written = 0;
  const IoStatus s = handle_->WriteAt(position, line_, &written);
  // A write that failed before it wrote anything leaves the 0x1A for the
  // next add to replace.
  if (s.ok() || written > 0) eof_checked_ = true;
  if (!s.ok()) {
    end_ = -1;  // what a failed write left is for the system to say
    return kAccessDenied;
  }
  current_ = position;
  end_ = position + static_cast<int64_t>(line_.size());
  return kNoError;
}

int AsciiFile::OnOffOption(const OptionText& opt, bool* flag, std::string* answer) {
  if (opt.is_query()) {
    *answer = *flag ? "ON" : "OFF";
  } else if (*opt.value == "ON") {
    *flag = true;
  } else if (*opt.value == "OFF") {
    *flag = false;
  }
  return kNoError;
}

int AsciiFile::NumberOption(const OptionText& opt, int* number, std::string* answer) {
  int value = 0;
  if (opt.is_query()) {
    *answer = std::to_string(*number);
  } else if (ParseInt(*opt.value, &value)) {
    *number = value;
  }
  return kNoError;
}

int AsciiFile::Option(std::string_view text, std::string* answer) {
  answer->clear();
  const OptionText opt = ParseOption(text);
  if (opt.name == "CLIP") return OnOffOption(opt, &clip_, answer);
  if (opt.name == "QUICKSCAN") return OnOffOption(opt, &quickscan_, answer);
  if (opt.name == "TAB") return NumberOption(opt, &tab_, answer);
  if (opt.name == "ENDOFRECORD") {
    if (opt.is_query()) {
      *answer = end_of_record_;
    } else {
      ParseEndOfRecord(*opt.value, &end_of_record_);
    }
    return kNoError;
  }
  if (opt.name == "FILEBUFFERS") {
    // Reported in whole buffers: a default raised to twice the record rounds up.
    int buffers = (buffer_size_ + kBufferUnit - 1) / kBufferUnit;
    NumberOption(opt, &buffers, answer);
    if (!opt.is_query() && buffers > 0 && buffers <= INT_MAX / kBufferUnit) {
      buffer_size_ = buffers * kBufferUnit;
    }
    return kNoError;
  }
  return kUnsupportedFunction;
}

class AsciiDriver final : public FileDriver {
 public:
  std::string Register() const override { return "ASCII"; }
  std::unique_ptr<DriverFile> Attach(File& file) const override {
    return std::make_unique<AsciiFile>(file);
  }
};

}  // namespace

void RegisterAsciiDriver() {
  static const bool registered = [] {
    RegisterDriver(std::make_shared<AsciiDriver>());
    return true;
  }();
  (void)registered;
}

int64_t CurrentRecordPosition(File& file) {
  auto* ascii = dynamic_cast<AsciiFile*>(file.driver_file());
  return ascii ? ascii->current() : -1;
}

}  // namespace mirabo::text
