// xBase table engine benchmarks: buffered appends of the FEATURES export
// layout (403-byte records) against plain fwrite of the same bytes, and
// reading the table back by record number.
//
//   xbase_bench            writes under $MIRABO_BENCH_DATA (default ./bench-data)
//
// Counters: items_per_second is records per second, bytes_per_second the
// table's bytes.  Writing is timed by the wall clock: both writers end with
// the file synced to disk, and the time a user waits is the measure.  The data is made here, from a
// fixed seed.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"

namespace mirabo::bench {
namespace {

using xbase::DbfTable;
using xbase::NewField;

constexpr int64_t kRecords = 100'000;

// The FEATURES export: PRODUCT, REVIEW, ISSUE N(4,0), SUPPLIER, HS,
// CATEGORY, V, COMMENTS.
std::vector<NewField> FeaturesLayout() {
  return {{"PRODUCT", 'C', 86, 0},  {"REVIEW", 'C', 19, 0},   {"ISSUE", 'N', 4, 0},
          {"SUPPLIER", 'C', 36, 0}, {"HS", 'C', 4, 0},        {"CATEGORY", 'C', 31, 0},
          {"V", 'C', 15, 0},        {"COMMENTS", 'C', 207, 0}};
}

std::string Folder() {
  const char* env = std::getenv("MIRABO_BENCH_DATA");
  const std::string dir = env ? env : "bench-data";
  std::filesystem::create_directories(dir);
  return dir;
}

// Field values for a run of records, the same every run.
struct Rows {
  std::vector<std::string> products, comments;
  std::vector<int> issues;
  Rows() {
    std::mt19937 rng(42);
    for (int i = 0; i < 1000; ++i) {
      products.push_back("Product " + std::to_string(rng() % 100000) + " Pro");
      comments.push_back(std::string(rng() % 200, 'c'));
      issues.push_back(static_cast<int>(rng() % 9999));
    }
  }
};

void FillRecord(DbfTable& t, const Rows& rows, int64_t i) {
  t.BlankRecord();
  (void)t.PutText(0, rows.products[i % 1000]);
  (void)t.PutText(1, "Group test");
  (void)t.PutNumber(2, rows.issues[i % 1000]);
  (void)t.PutText(3, "Brennock Systems");
  (void)t.PutText(4, "S");
  (void)t.PutText(5, "Word processors");
  (void)t.PutText(6, "2.1");
  (void)t.PutText(7, rows.comments[i % 1000]);
}

// Writes the table and returns its bytes' count.
int64_t WriteTable(const std::string& path, const Rows& rows) {
  std::vector<NewField> fields = FeaturesLayout();
  if (DbfTable::Create(path, &fields) != xbase::kDbfOk) std::abort();
  std::unique_ptr<DbfTable> t;
  if (DbfTable::Open(path, {}, &t) != xbase::kDbfOk) std::abort();
  for (int64_t i = 0; i < kRecords; ++i) {
    FillRecord(*t, rows, i);
    if (t->Append() != xbase::kDbfOk) std::abort();
  }
  const int64_t bytes = t->header().header_length + kRecords * t->header().record_length + 1;
  if (t->Close() != xbase::kDbfOk) std::abort();
  return bytes;
}

void BM_BufferedAppend(benchmark::State& state) {
  const Rows rows;
  const std::string path = Folder() + "/append.dbf";
  int64_t bytes = 0;
  for (auto _ : state) bytes = WriteTable(path, rows);
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BufferedAppend)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes through stdio: the table's file copied record by record
// from memory, as fast as the C library writes a file.
void BM_PlainFwrite(benchmark::State& state) {
  const Rows rows;
  const std::string path = Folder() + "/fwrite.dbf";
  WriteTable(path, rows);
  std::string bytes;
  {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) bytes.append(buf, n);
    std::fclose(in);
  }
  const size_t header = 32 * FeaturesLayout().size() + 33, record = 403;
  for (auto _ : state) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, header, out);
    for (int64_t i = 0; i < kRecords; ++i) {
      std::fwrite(bytes.data() + header + i * record, 1, record, out);
    }
    std::fwrite("\x1A", 1, 1, out);
    std::fflush(out);
    fsync(fileno(out));
    std::fclose(out);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_PlainFwrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reading every record by number, in order (one block read per 8 records)
// and at random (a block read per record).
void BM_ReadByNumber(benchmark::State& state) {
  const bool random = state.range(0) != 0;
  const Rows rows;
  const std::string path = Folder() + "/read.dbf";
  WriteTable(path, rows);
  std::vector<int64_t> order(kRecords);
  for (int64_t i = 0; i < kRecords; ++i) order[i] = i + 1;
  if (random) std::shuffle(order.begin(), order.end(), std::mt19937(7));
  xbase::DbfAccess access;
  access.read_only = true;
  std::unique_ptr<DbfTable> t;
  if (DbfTable::Open(path, access, &t) != xbase::kDbfOk) std::abort();
  std::string text;
  for (auto _ : state) {
    for (int64_t n : order) {
      if (t->Read(n) != xbase::kDbfOk) std::abort();
      (void)t->GetText(0, &text);
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * kRecords * 403);
}
BENCHMARK(BM_ReadByNumber)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirabo::bench

BENCHMARK_MAIN();
