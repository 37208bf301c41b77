#include <memory>
#include <string>

#include "runtime/file_system.h"
#include "runtime/memory_file_system.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {

int FuzzDbfTable(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.SetContents("T.DBF", std::string(reinterpret_cast<const char*>(data), size));
  ScopedFileSystemForTests use(fs);
  xbase::DbfAccess access;
  access.read_only = true;
  std::unique_ptr<xbase::DbfTable> table;
  if (xbase::DbfTable::Open("T.DBF", access, &table) != 0 || !table) return 0;
  // A header may promise many more records than the file holds: each read of
  // one that is missing fails on its own, so the reads stop after a few.
  const int64_t count = table->RecordCount();
  int failures = 0;
  for (int64_t n = 1; n <= count && failures < 8; ++n) {
    const int rc = table->Read(n);
    if (rc != 0 && rc != xbase::kWarnDeletedRecord) {
      ++failures;
      continue;
    }
    for (int f = 0; f < static_cast<int>(table->fields().size()); ++f) {
      std::string text;
      double number;
      char logical;
      uint32_t block;
      (void)table->GetText(f, &text);
      (void)table->GetNumber(f, &number);
      (void)table->GetLogical(f, &logical);
      (void)table->GetDate(f, &text);
      (void)table->GetMemo(f, &block);
    }
  }
  (void)table->Close();
  return 0;
}

}  // namespace mirabo::fuzz
