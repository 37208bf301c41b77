// Buffered CSV output for the sample files: fields are appended to a buffer
// that is written out a megabyte at a time.  Rows end with a bare LF on every
// platform, so the files are byte-identical everywhere.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace mirabo::tools {

// Appends `value` as one CSV field: quoted when it holds a comma, quote, CR or LF or starts or ends
// with a blank, with inner quotes doubled.
void AppendCsvField(std::string& out, std::string_view value);

// Appends `n` in decimal, as CsvWriter::Number writes it.
inline void AppendNumber(std::string& out, int64_t n) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, n);
  out.append(digits, result.ptr);
}

// Writes one CSV file.  After the first failure nothing more is written and
// the failure is kept for Close() to return; failed() tells the caller that
// it may stop early.
class CsvWriter {
 public:
  CsvWriter();
  ~CsvWriter();  // closes the file without reporting, when Close() was not called
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  // Creates or empties `path`.  Returns an empty string on success, else a
  // one-line error text; the other calls need a successful Open().
  std::string Open(const std::string& path);

  // Adds a field to the current row.
  void Text(std::string_view value) {
    Separator();
    AppendCsvField(buffer_, value);
  }
  void Number(int64_t value) {
    Separator();
    AppendNumber(buffer_, value);
  }
  // Ends the current row.
  void EndRow() {
    buffer_ += '\n';
    row_started_ = false;
    if (buffer_.size() >= kFlushSize) Flush();
  }
  // A whole row of text fields.
  void Row(std::initializer_list<std::string_view> fields);

  bool failed() const { return !error_.empty(); }

  // Writes what is buffered and closes the file.  Returns the first failure's
  // text, empty when every byte reached the file.
  std::string Close();

 private:
  static constexpr size_t kFlushSize = size_t{1} << 20;

  void Separator() {
    if (row_started_) buffer_ += ',';
    row_started_ = true;
  }
  void Flush();

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string buffer_;
  std::string error_;
  bool row_started_ = false;
};

}  // namespace mirabo::tools
