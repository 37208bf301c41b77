#include <string>
#include <vector>

#include "runtime/file_system.h"
#include "runtime/memory_file_system.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tools/load/csv_reader.h"

namespace mirabo::fuzz {

int FuzzCsvReader(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.SetContents("in.csv", std::string(reinterpret_cast<const char*>(data), size));
  ScopedFileSystemForTests use(fs);
  tools::CsvReader reader;
  std::string error;
  if (!reader.Open("in.csv", &error)) return 0;
  std::vector<std::string> fields;
  int64_t last_line = 0;
  for (;;) {
    const auto r = reader.Next(&fields, &error);
    if (r != tools::CsvReader::Result::kRecord) break;
    // Lines only move forwards, and a record never holds more bytes than the file.
    if (reader.line() < last_line) __builtin_trap();
    last_line = reader.line();
    size_t bytes = 0;
    for (const std::string& f : fields) bytes += f.size();
    if (bytes > size) __builtin_trap();
  }
  return 0;
}

}  // namespace mirabo::fuzz
