#include <memory>
#include <string>

#include "runtime/file_system.h"
#include "runtime/memory_file_system.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {
namespace {

// Every getter on field `f` of the record buffer, whatever its type.
void GetEveryType(const xbase::DbfTable& table, int f) {
  std::string text;
  double number;
  char logical;
  uint32_t block;
  (void)table.GetText(f, &text);
  (void)table.GetNumber(f, &number);
  (void)table.GetLogical(f, &logical);
  (void)table.GetDate(f, &text);
  (void)table.GetMemo(f, &block);
}

}  // namespace

int FuzzDbfTable(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.SetContents("T.DBF", std::string(reinterpret_cast<const char*>(data), size));
  ScopedFileSystemForTests use(fs);
  // Open for writing (buffered), so that the putters and an append run on
  // the widths and offsets the file's descriptors gave.
  std::unique_ptr<xbase::DbfTable> table;
  if (xbase::DbfTable::Open("T.DBF", xbase::DbfAccess{}, &table) != 0 || !table) return 0;
  const int fields = static_cast<int>(table->fields().size());
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
    for (int f = 0; f < fields; ++f) GetEveryType(*table, f);
  }

  // A value of every type put into every field, each read back by every
  // getter: a putter writes only its own field's bytes, whatever its width.
  table->BlankRecord();
  for (int f = 0; f < fields; ++f) {
    (void)table->PutText(f, "Quillon Ferrowick");
    GetEveryType(*table, f);
    (void)table->PutNumber(f, -1234.5678);
    GetEveryType(*table, f);
    (void)table->PutLogical(f, 'T');
    GetEveryType(*table, f);
    (void)table->PutText(f, "20260517");
    GetEveryType(*table, f);
    (void)table->PutMemo(f, 4294967295u);
    GetEveryType(*table, f);
  }
  // The record appended after the last one, read back and rewritten, when
  // the file holds the records its header counts (else the append would
  // write gigabytes beyond the input into memory).
  const int64_t end = int64_t{table->header().header_length} +
                      int64_t{table->header().record_length} * table->header().records;
  if (end <= static_cast<int64_t>(size) + 1) {
    int64_t n = 0;
    if (table->Append(&n) == 0 && table->Read(n) >= 0) {
      for (int f = 0; f < fields; ++f) GetEveryType(*table, f);
      (void)table->PutLogical(fields - 1, 'F');
      (void)table->Update();
    }
  }
  (void)table->Close();
  return 0;
}

}  // namespace mirabo::fuzz
