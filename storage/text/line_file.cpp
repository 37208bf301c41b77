#include "storage/text/line_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

#include "runtime/access.h"
#include "runtime/error.h"

namespace mirabo::text {
namespace {

constexpr int kBufferUnit = 512;
constexpr char kEndOfFile = 0x1A;

bool SharesNothing(uint8_t access_mode) {
  const uint8_t sharing = SharingBits(access_mode);
  return sharing == kDenyAll || sharing == kDenyWrite || sharing == kDenyRead;
}

}  // namespace

bool ParseInt(std::string_view text, int* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseByteList(std::string_view text, std::string* bytes) {
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

void OnOffOption(const OptionText& opt, bool* flag, std::string* answer) {
  if (opt.is_query()) {
    *answer = *flag ? "ON" : "OFF";
  } else if (*opt.value == "ON") {
    *flag = true;
  } else if (*opt.value == "OFF") {
    *flag = false;
  }
}

int LineFile::Create(const std::string& name) {
  OpenOptions o;
  o.read = o.write = true;
  o.deny_read = o.deny_write = true;
  o.create = o.truncate = true;
  std::unique_ptr<FileHandle> created;
  if (IoStatus s = CurrentFileSystem().Open(name, o, &created); !s.ok()) return s.Report();
  if (IoStatus s = created->Close(); !s.ok()) return s.Report();
  return kNoError;
}

int LineFile::Open(const std::string& name, uint8_t access_mode, int record_size) {
  const OpenOptions o = OpenOptionsForAccess(access_mode);
  if (IoStatus s = CurrentFileSystem().Open(name, o, &handle_); !s.ok()) return s.Report();
  access_ = access_mode;
  current_ = -1;
  end_ = -1;
  dirty_end_ = 0;
  pending_.clear();
  ResetOptions(access_mode, record_size);
  return kNoError;
}

int LineFile::Close() {
  if (!handle_) return kFileNotOpen;
  const bool written = WritePending() && TrimTail();
  pending_.clear();
  IoStatus s = handle_->Close();
  handle_.reset();
  if (!written) return WriteFailed();
  return s.ok() ? kNoError : s.Report();
}

int LineFile::Flush() {
  if (!handle_) return kFileNotOpen;
  if (!WritePending() || !TrimTail()) return WriteFailed();
  IoStatus s = handle_->Sync();
  return s.ok() ? kNoError : s.Report();
}

int LineFile::WriteFailed() const { return SetError(kAccessDenied, write_error_); }

bool LineFile::TrimTail() {
  if (dirty_end_ == 0 || dirty_end_ <= end_) return true;
  if (!handle_->Truncate(end_).ok()) return false;
  dirty_end_ = 0;
  return true;
}

bool LineFile::Write(std::string_view bytes) {
  size_t written = 0;
  const IoStatus s = handle_->WriteAt(end_, bytes, &written);
  write_error_ = s.os_error();
  if (s.ok()) {
    end_ += static_cast<int64_t>(bytes.size());
    return true;
  }
  // Part of it (and perhaps a 0x1A it went over) is in the file: cut back.
  if (written > 0) {
    dirty_end_ = std::max(dirty_end_, end_ + static_cast<int64_t>(written));
    TrimTail();
  }
  return false;
}

bool LineFile::WritePending() {
  if (pending_.empty()) return true;
  if (!Write(pending_)) return false;
  pending_.clear();
  return true;
}

int LineFile::WriteLine(std::string_view record) {
  if (!handle_) return kFileNotOpen;
  if (!CanWrite(access_)) return kAccessDenied;
  if (end_ < 0) {
    // The file is ours alone while open for writing (others may not write),
    // so its end is asked for once.  A trailing 0x1A is written over.  (A
    // file opened for writing only cannot be read; its last byte stays.)
    int64_t size = 0;
    if (!handle_->Size(&size).ok()) return kAccessDenied;
    std::string last;
    if (size > 0 && handle_->ReadAt(size - 1, 1, &last).ok() && last.size() == 1 &&
        last[0] == kEndOfFile) {
      --size;
    }
    end_ = size;
  }
  line_.assign(record);
  line_ += end_of_record_;
  if (capacity_ == 0) {
    const int64_t at = end_;
    if (!Write(line_)) return WriteFailed();
    current_ = at;
    return kNoError;
  }
  if (pending_.size() + line_.size() > capacity_ && !WritePending()) return WriteFailed();
  current_ = end_ + static_cast<int64_t>(pending_.size());
  pending_ += line_;
  return kNoError;
}

void LineFile::ResetOptions(uint8_t access_mode, int record_size) {
  end_of_record_ = "\r\n";
  quickscan_ = SharesNothing(access_mode);
  buffer_size_ =
      std::max(SharesNothing(access_mode) ? 2 * kBufferUnit : kBufferUnit, 2 * record_size);
  capacity_ = default_capacity_;
}

bool LineFile::Option(const OptionText& opt, std::string* answer) {
  if (opt.name == "QUICKSCAN") {
    OnOffOption(opt, &quickscan_, answer);
    return true;
  }
  if (opt.name == "ENDOFRECORD") {
    if (opt.is_query()) {
      *answer = end_of_record_;
    } else {
      ParseByteList(*opt.value, &end_of_record_);
    }
    return true;
  }
  if (opt.name == "WRITEBUFFER") {
    int value = 0;
    if (opt.is_query()) {
      *answer = std::to_string(capacity_);
    } else if (ParseInt(*opt.value, &value) && value >= 0 && WritePending()) {
      capacity_ = static_cast<size_t>(value);
    }
    return true;
  }
  if (opt.name == "FILEBUFFERS") {
    // Reported in whole buffers: a default raised to twice the record rounds up.
    const int buffers = (buffer_size_ + kBufferUnit - 1) / kBufferUnit;
    int value = 0;
    if (opt.is_query()) {
      *answer = std::to_string(buffers);
    } else if (ParseInt(*opt.value, &value) && value > 0 && value <= INT_MAX / kBufferUnit) {
      buffer_size_ = value * kBufferUnit;
    }
    return true;
  }
  return false;
}

}  // namespace mirabo::text
