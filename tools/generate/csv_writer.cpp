#include "tools/generate/csv_writer.h"

#include <cerrno>
#include <cstring>

namespace mirabo::tools {
namespace {

// Reads errno, so it must come straight after the call that failed.
std::string CannotWrite(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

void AppendCsvField(std::string& out, std::string_view value) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                         value.front() == '\t' || value.back() == '\t'));
  if (!quote) {
    out.append(value);
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

CsvWriter::CsvWriter() { buffer_.reserve(kFlushSize + 4096); }

CsvWriter::~CsvWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

std::string CsvWriter::Open(const std::string& path) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return CannotWrite(path);
  return {};
}

void CsvWriter::Row(std::initializer_list<std::string_view> fields) {
  for (std::string_view field : fields) Text(field);
  EndRow();
}

std::string CsvWriter::Close() {
  Flush();
  if (std::fclose(file_) != 0 && error_.empty()) {
    error_ = CannotWrite(path_);
  }
  file_ = nullptr;
  return error_;
}

void CsvWriter::Flush() {
  if (error_.empty() && !buffer_.empty() &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    error_ = CannotWrite(path_);
  }
  buffer_.clear();
}

}  // namespace mirabo::tools
