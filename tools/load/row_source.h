// Where the loader takes its rows from: a file that names its fields once and
// then gives one row of text values per record.  A CSV file names them in
// its first line; an xBase table in its field descriptors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirabo::tools {

class RowSource {
 public:
  virtual ~RowSource() = default;

  enum class Result { kRow, kEnd, kError };

  // The field names, in the order the rows give their values.  Called once,
  // before the first Next.
  virtual Result Header(std::vector<std::string>* names, std::string* error) = 0;
  // The next row; kError describes what could not be read in *error.
  virtual Result Next(std::vector<std::string>* values, std::string* error) = 0;

  // The line (CSV) or record number (xBase) of the row read last, and which
  // of the two it is ("line", "record").
  virtual int64_t number() const = 0;
  virtual const char* unit() const = 0;
  // `name` followed by the place of the row read last, for messages:
  // "FEATURES.csv:12" for a line, "FEATURES.dbf: record 12" for a record.
  virtual std::string Where(const std::string& name) const = 0;

  // The values are Windows-1252 already (else they are as the file holds them).
  virtual bool windows1252() const = 0;

  // For progress: bytes read so far and the file's size.
  virtual int64_t bytes_read() const = 0;
  virtual int64_t size() const = 0;
};

// Opens `path` by its extension: ".dbf" (in any case) as an xBase table,
// anything else as CSV.  Null with the reason in *error when it cannot.
std::unique_ptr<RowSource> OpenRowSource(const std::string& path, std::string* error);

}  // namespace mirabo::tools
