// A streaming reader of comma-separated files: fields separated by commas,
// records by LF or CRLF, a field in double quotes may hold commas, quotes
// (doubled) and line ends.  Memory stays flat whatever the file's size.
//
// The file is read through the runtime's file interface
// (runtime/file_system.h), so tests can make a read fail half-way.  A read
// that fails is an error of the record being read, never the end of the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/file_system.h"

namespace mirabo::tools {

class CsvReader {
 public:
  CsvReader() = default;
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Opens `path`; on failure returns false with the system's reason in *error.
  bool Open(const std::string& path, std::string* error);

  enum class Result { kRecord, kEnd, kError };
  // Reads the next record.  kError describes bad quoting or a failed read in
  // *error; the record's first line is line().
  Result Next(std::vector<std::string>* fields, std::string* error);

  // The line on which the last record read began (1-based).
  int64_t line() const { return record_line_; }
  int64_t bytes_read() const { return consumed_; }
  int64_t size() const { return size_; }

 private:
  int Get();  // next byte, or EOF (also when a read failed)
  int Peek();

  std::unique_ptr<FileHandle> file_;
  std::string buffer_;
  size_t at_ = 0;
  int64_t offset_ = 0;  // of the next block to read
  int64_t consumed_ = 0;
  int64_t size_ = 0;
  int64_t line_ = 1;
  int64_t record_line_ = 0;
  std::string read_error_;  // set once a read failed
};

}  // namespace mirabo::tools
