// Native store benchmarks: each driver figure beside raw SQLite doing the same
// work through its C API on the same file.
//
//   storage_bench                 timings (Google Benchmark)
//   storage_bench --memory        peak memory of a full read and of a load,
//                                 10,000 against 1,000,000 features
//
// Data is generated on first use under $MIRABO_BENCH_DATA (default
// ./bench-data).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "app/data/declarations.h"
#include "app/data/globals.h"
#include "bench/bench_data.h"
#include "runtime/access.h"
#include "runtime/bindings.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/view.h"
#include "storage/native/native_driver.h"
#include "tools/load/csv_reader.h"
#include "tools/load/loader.h"

namespace mirabo::bench {
namespace {

using app::DataFile;
namespace FEA = app::FEA;
constexpr int64_t kLarge = 1'000'000;
constexpr int64_t kSmall = 10'000;
constexpr int kPage = 20;

// One open FEATURES file per size, with random stored positions per key.
struct Fixture {
  std::string dir;
  std::unique_ptr<File> features;
  std::map<int, std::vector<std::string>> positions;  // key -> positions
  std::vector<int64_t> rowids;
  sqlite3* raw = nullptr;
};

Fixture& Get(int64_t size) {
  static std::map<int64_t, Fixture> fixtures;
  Fixture& f = fixtures[size];
  if (f.features) return f;
  native::RegisterNativeDriver();
  f.dir = DataFolder(size);
  std::filesystem::current_path(f.dir);
  f.features = std::make_unique<File>(app::DataFileDecl(DataFile::kFeatures));
  if (f.features->Open(kOpenShared) != kNoError) std::abort();
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<int64_t> pick(1, size);
  for (int i = 0; i < 2000; ++i) f.rowids.push_back(pick(rng));
  for (int key = 0; key < 5; ++key) {
    for (int64_t rowid : f.rowids) {
      std::string file_pos(4, '\0');
      for (int b = 0; b < 4; ++b) file_pos[b] = static_cast<char>((rowid >> (8 * b)) & 0xFF);
      if (f.features->GetByPosition(kRecordOrder, file_pos) != kNoError) std::abort();
      std::string pos;
      (void)f.features->Position(key, &pos);
      f.positions[key].push_back(pos);
    }
  }
  sqlite3_open_v2((f.dir + "/FEATURES.KVX").c_str(), &f.raw, SQLITE_OPEN_READONLY, nullptr);
  return f;
}

const char* kIndexColumn[] = {"\"KEY$PRODUCT$NC\"", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUE"};
const char* kIndexName[] = {"FEATPROD", "FEATSUPP", "FEATREV", "FEATCAT", "FEATISS"};
constexpr char kColumns[] = "rowid, PRODUCT, REVIEW, ISSUE, SUPPLIER, HS, CATEGORY, V, COMMENTS";

void Percentiles(benchmark::State& state, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double u : us) sum += u;
  state.counters["mean_us"] = us.empty() ? 0 : sum / us.size();
  state.counters["p99_us"] = us.empty() ? 0 : us[us.size() * 99 / 100];
}

// A page of 20 records read next (range(1) = 1) or previous from a stored key
// position, at random positions.
void BM_PageFromPosition(benchmark::State& state) {
  Fixture& f = Get(kLarge);
  const int key = static_cast<int>(state.range(0));
  const bool forward = state.range(1) != 0;
  const auto& positions = f.positions[key];
  std::vector<double> us;
  size_t i = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    (void)f.features->ResetToPosition(key, positions[i++ % positions.size()]);
    for (int r = 0; r < kPage; ++r) {
      if ((forward ? f.features->Next() : f.features->Previous()) != kNoError) break;
    }
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  Percentiles(state, us);
  state.SetLabel(std::string("driver ") + kIndexName[key] + (forward ? " next" : " previous"));
}

// The same pages through SQLite directly: the equal-key run by record number,
// then the higher keys, each an index search.
void BM_RawPageFromPosition(benchmark::State& state) {
  Fixture& f = Get(kLarge);
  const int key = static_cast<int>(state.range(0));
  const bool forward = state.range(1) != 0;
  const std::string col = kIndexColumn[key];
  const char* dir = forward ? "ASC" : "DESC";
  const std::string same = std::string("SELECT ") + kColumns + " FROM UNNAMED WHERE " + col +
                           " = ?1 AND rowid " + (forward ? ">=" : "<=") + " ?2 ORDER BY rowid " +
                           dir + " LIMIT 20";
  const std::string next = std::string("SELECT ") + kColumns + " FROM UNNAMED WHERE " + col +
                           (forward ? " > ?1" : " < ?1") + " ORDER BY " + col + " " + dir +
                           ", rowid " + dir + " LIMIT ?2";
  sqlite3_stmt *a = nullptr, *b = nullptr;
  sqlite3_prepare_v2(f.raw, same.c_str(), -1, &a, nullptr);
  sqlite3_prepare_v2(f.raw, next.c_str(), -1, &b, nullptr);
  // The raw reads bind the key values the driver's positions hold.
  std::vector<std::pair<sqlite3_value*, int64_t>> starts;
  sqlite3_stmt* q = nullptr;
  const std::string lookup = "SELECT " + col + " FROM UNNAMED WHERE rowid = ?";
  sqlite3_prepare_v2(f.raw, lookup.c_str(), -1, &q, nullptr);
  for (int64_t rowid : f.rowids) {
    sqlite3_bind_int64(q, 1, rowid);
    sqlite3_step(q);
    starts.emplace_back(sqlite3_value_dup(sqlite3_column_value(q, 0)), rowid);
    sqlite3_reset(q);
  }
  sqlite3_finalize(q);
  auto touch = [](sqlite3_stmt* s) {
    for (int c = 0; c < 9; ++c) benchmark::DoNotOptimize(sqlite3_column_text(s, c));
  };
  std::vector<double> us;
  size_t i = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto& [value, rowid] = starts[i++ % starts.size()];
    sqlite3_bind_value(a, 1, value);
    sqlite3_bind_int64(a, 2, rowid);
    int got = 0;
    while (sqlite3_step(a) == SQLITE_ROW) {
      touch(a);
      ++got;
    }
    sqlite3_reset(a);
    if (got < kPage) {
      sqlite3_bind_value(b, 1, value);
      sqlite3_bind_int(b, 2, kPage - got);
      while (sqlite3_step(b) == SQLITE_ROW) touch(b);
      sqlite3_reset(b);
    }
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  Percentiles(state, us);
  state.SetLabel(std::string("raw ") + kIndexName[key] + (forward ? " next" : " previous"));
  for (auto& s : starts) sqlite3_value_free(s.first);
  sqlite3_finalize(a);
  sqlite3_finalize(b);
}

void KeysAndDirections(benchmark::internal::Benchmark* b) {
  for (int key = 0; key < 5; ++key) {
    for (int fwd : {1, 0}) b->Args({key, fwd});
  }
}
BENCHMARK(BM_PageFromPosition)->Apply(KeysAndDirections)->Iterations(2000);
BENCHMARK(BM_RawPageFromPosition)->Apply(KeysAndDirections)->Iterations(2000);

void BM_FullRead(benchmark::State& state) {
  Fixture& f = Get(kLarge);
  int64_t n = 0;
  for (auto _ : state) {
    (void)f.features->SetKeyStart(FEA::FEATPROD);
    while (f.features->Next() == kNoError) ++n;
  }
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullRead)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RawFullRead(benchmark::State& state) {
  Fixture& f = Get(kLarge);
  sqlite3_stmt* s = nullptr;
  const std::string sql =
      std::string("SELECT ") + kColumns +
      " FROM UNNAMED INDEXED BY \"UNNAMED$FEATPROD\" ORDER BY \"KEY$PRODUCT$NC\", rowid";
  sqlite3_prepare_v2(f.raw, sql.c_str(), -1, &s, nullptr);
  int64_t n = 0;
  for (auto _ : state) {
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int c = 0; c < 9; ++c) benchmark::DoNotOptimize(sqlite3_column_text(s, c));
      ++n;
    }
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawFullRead)->Unit(benchmark::kMillisecond)->Iterations(2);

// One supplier's features (about a thousand) through a view whose filter is
// "FEA:SUPPLIER = GLO:supplier", on a small and a large file.
void BM_SupplierRange(benchmark::State& state) {
  Fixture& f = Get(state.range(0));
  Bindings bindings;
  bindings.BindRecord(*f.features);
  app::BindGlobals(bindings);
  app::GLO::supplier.value = 5;
  View view(*f.features);
  (void)view.SetFilter("FEA:SUPPLIER = GLO:supplier", bindings);
  int64_t rows = 0;
  for (auto _ : state) {
    view.Close();
    (void)view.SetOrder(FEA::FEATSUPP);
    (void)view.Open();
    rows = 0;
    while (view.Next() == kNoError) ++rows;
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_SupplierRange)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// Building the data files from the CSV files, against SQLite inserting the
// same rows and then creating the same indexes.
void BM_Load(benchmark::State& state) {
  const std::string csv = CsvFolder(state.range(0));
  const std::string dir = "bench-data/load-" + std::to_string(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
    tools::LoadOptions o;
    o.data_dir = dir;
    const tools::LoadResult r = tools::Load({csv + "/FEATURES.csv"}, o);
    if (!r.ok) state.SkipWithError(r.error.c_str());
  }
}

void BM_RawLoad(benchmark::State& state) {
  const std::string csv = CsvFolder(state.range(0));
  const std::string path = "bench-data/rawload-" + std::to_string(state.range(0)) + ".db";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(
        db,
        "CREATE TABLE UNNAMED (PRODUCT TEXT NOT NULL, REVIEW INTEGER NOT NULL, ISSUE REAL "
        "NOT NULL, SUPPLIER INTEGER NOT NULL, HS TEXT NOT NULL, CATEGORY INTEGER NOT NULL, "
        "V TEXT NOT NULL, COMMENTS TEXT NOT NULL, \"KEY$PRODUCT$NC\" BLOB NOT NULL);"
        "BEGIN",
        nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO UNNAMED VALUES (?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr);
    tools::CsvReader reader;
    std::string why;
    reader.Open(csv + "/FEATURES.csv", &why);
    std::vector<std::string> fields;
    reader.Next(&fields, &why);  // header
    while (reader.Next(&fields, &why) == tools::CsvReader::Result::kRecord) {
      const int order[] = {0, 1, 2, 3, 4, 5, 6, 7};
      for (int c : order) {
        if (c == 1 || c == 3 || c == 5) {
          sqlite3_bind_int64(ins, c + 1, std::atoll(fields[c].c_str()));
        } else if (c == 2) {
          sqlite3_bind_double(ins, c + 1, std::atof(fields[c].c_str()));
        } else {
          sqlite3_bind_text(ins, c + 1, fields[c].data(), static_cast<int>(fields[c].size()),
                            SQLITE_TRANSIENT);
        }
      }
      std::string upper = fields[0];
      for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      sqlite3_bind_blob(ins, 9, upper.data(), static_cast<int>(upper.size()), SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(
        db,
        "CREATE INDEX a ON UNNAMED(\"KEY$PRODUCT$NC\"); CREATE INDEX b ON UNNAMED(SUPPLIER);"
        "CREATE INDEX c ON UNNAMED(REVIEW); CREATE INDEX d ON UNNAMED(CATEGORY);"
        "CREATE INDEX e ON UNNAMED(ISSUE); COMMIT",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_Load)->Arg(kLarge)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_RawLoad)->Arg(kLarge)->Unit(benchmark::kSecond)->Iterations(1);

int MemoryReport() {
  native::RegisterNativeDriver();
  std::printf("%-28s %12s %12s\n", "operation", "10,000", "1,000,000");
  const std::string small_dir = DataFolder(kSmall), large_dir = DataFolder(kLarge);
  auto full_read = [](const std::string& dir) {
    return ChildPeakKiB([dir] {
      std::filesystem::current_path(dir);
      File f(app::DataFileDecl(DataFile::kFeatures));
      (void)f.Open(kOpenShared);
      (void)f.SetKeyStart(FEA::FEATPROD);
      int64_t n = 0;
      while (f.Next() == kNoError) ++n;
    });
  };
  std::printf("%-28s %9lld KiB %9lld KiB\n", "full read, FEA:FEATPROD",
              static_cast<long long>(full_read(small_dir)),
              static_cast<long long>(full_read(large_dir)));
  auto load = [](int64_t n) {
    const std::string csv = CsvFolder(n);
    return ChildPeakKiB([csv, n] {
      const std::string dir = "bench-data/memload-" + std::to_string(n);
      std::filesystem::remove_all(dir);
      tools::LoadOptions o;
      o.data_dir = dir;
      tools::Load({csv + "/FEATURES.csv"}, o);
    });
  };
  std::printf("%-28s %9lld KiB %9lld KiB\n", "load FEATURES.csv",
              static_cast<long long>(load(kSmall)), static_cast<long long>(load(kLarge)));
  return 0;
}

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) {
  return mirabo::bench::BenchMain(argc, argv, mirabo::bench::MemoryReport);
}
