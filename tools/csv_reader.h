// A streaming reader of comma-separated files: fields separated by commas,
// records by LF or CRLF, a field in double quotes may hold commas, quotes
// (doubled) and line ends.  Memory stays flat whatever the file's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mirabo::tools {

class CsvReader {
 public:
  CsvReader() = default;
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Opens `path`; on failure returns false with the system's reason in *error.
  bool Open(const std::string& path, std::string* error);

  enum class Result { kRecord, kEnd, kError };
  // Reads the next record.  kError describes bad quoting in *error; the
  // record's first line is line().
  Result Next(std::vector<std::string>* fields, std::string* error);

  // The line on which the last record read began (1-based).
  int64_t line() const { return record_line_; }
  int64_t bytes_read() const { return consumed_; }
  int64_t size() const { return size_; }

 private:
  int Get();  // next byte, or EOF
  int Peek();

  std::FILE* file_ = nullptr;
  std::vector<char> buffer_ = std::vector<char>(1 << 16);
  size_t at_ = 0;
  size_t filled_ = 0;
  int64_t consumed_ = 0;
  int64_t size_ = 0;
  int64_t line_ = 1;
  int64_t record_line_ = 0;
};

}  // namespace mirabo::tools
