// Create File: FEATURES of 1,000,000 features copied in FEA:FEATISS order, with
// the supplier, review and category names looked up, to an xBase table and to
// a comma-delimited text file, through the procedure itself on the headless
// window model; beside two programs that are not ours doing the same job in
// the same run:
//
//   BM_Ogr2ogrDbf    GDAL's ogr2ogr writing a DBF of the same rows (read
//                    from a CSV of them, with the same column widths)
//   BM_Sqlite3Csv    the sqlite3 shell writing the same joined rows, in the
//                    same order, as CSV
//
//   create_file_bench            records per second (items_per_second)
//   create_file_bench --memory   peak memory of copies of 10,000, 100,000 and 1,000,000
//
// Times are wall-clock: the copy ends with its file flushed to disk, as the
// user waits for it; the peers end when they exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/create_file/create_files.h"
#include "bench/bench_data.h"
#include "bench/headless_program.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kFeatures = 1'000'000;

// The Create File window on a headless scheduler of its own, in the data folder.
struct Session : HeadlessProgram<ui::VirtualClock> {
  explicit Session(int64_t size) : HeadlessProgram(size), features(size) {
    id = scheduler->Start(app::CreateFiles());
    scheduler->RunReady();
  }

  // One copy of FEATURES as `type` into `file`, run to its end; false when it
  // did not end with "File Generation Complete".
  bool Copy(const char* type, const std::string& file) {
    fs::remove(file);
    ui::Window& w = *scheduler->TopWindow(id);
    w.SetValue(app::kCreateSourceGroup, "Features");
    w.SetValue(app::kCreateTypeGroup, type);
    w.SetValue(app::kCreateName, file);
    w.Post(ui::EVENT_Accepted, app::kCreateStart);
    scheduler->RunReady();
    while (scheduler->NextTimerDue() >= 0) scheduler->Advance(1);
    return !backend.messages.empty() &&
           backend.messages.back().request.text == "File Generation Complete";
  }

  int64_t features;
  ui::ThreadId id = 0;
};

Session& Get() {
  static Session session(kFeatures);
  return session;
}

void CopyFeatures(benchmark::State& state, const char* type, const char* file) {
  Session& s = Get();
  const std::string path = s.dir + "/" + file;
  for (auto _ : state) {
    if (!s.Copy(type, path)) state.SkipWithError("the copy did not complete");
  }
  state.SetItemsProcessed(state.iterations() * s.features);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
  fs::remove(path);
}

void BM_CreateFileXbase(benchmark::State& state) { CopyFeatures(state, "Xbase", "bench-copy.dbf"); }
void BM_CreateFileText(benchmark::State& state) {
  CopyFeatures(state, "Text (Delim)", "bench-copy.txt");
}

// The joined rows as the sqlite3 shell writes them: FEA:FEATISS order (issue,
// then record number), names looked up, every value as CSV.
std::string Sqlite3Command(const std::string& dir, bool header, const std::string& out) {
  const std::string sql =
      "ATTACH 'SUPPLIER.KVX' AS s; ATTACH 'REVIEW.KVX' AS r; ATTACH 'CATEGORY.KVX' AS c; "
      "SELECT f.PRODUCT, r.REVIEW, f.ISSUE, s.SUPPLIER, f.HS, c.CATEGORY, f.V, f.COMMENTS "
      "FROM main.UNNAMED f "
      "LEFT JOIN r.UNNAMED r ON r.REFERENCE = f.REVIEW "
      "LEFT JOIN s.UNNAMED s ON s.REFERENCE = f.SUPPLIER "
      "LEFT JOIN c.UNNAMED c ON c.REFERENCE = f.CATEGORY "
      "ORDER BY f.ISSUE, f.rowid;";
  return "cd '" + dir + "' && sqlite3 -csv " + (header ? "-header " : "") + "FEATURES.KVX \"" +
         sql + "\" > '" + out + "'";
}

void BM_Sqlite3Csv(benchmark::State& state) {
  Session& s = Get();
  const std::string out = s.dir + "/bench-sqlite3.csv";
  const std::string command = Sqlite3Command(s.dir, false, out);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sqlite3 failed");
  }
  state.SetItemsProcessed(state.iterations() * s.features);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(out)));
  fs::remove(out);
}

void BM_Ogr2ogrDbf(benchmark::State& state) {
  Session& s = Get();
  // The rows once, as CSV with a header, and their types and widths beside
  // them (the .csvt file), so the DBF has the copy's columns.
  const std::string csv = s.dir + "/bench-ogr.csv";
  if (std::system(Sqlite3Command(s.dir, true, csv).c_str()) != 0) {
    state.SkipWithError("sqlite3 failed");
    return;
  }
  std::ofstream(s.dir + "/bench-ogr.csvt")
      << "String(86),String(19),Integer(4),String(36),String(4),String(31),String(15),"
         "String(207)\n";
  const std::string out = s.dir + "/bench-ogr-out";
  const std::string command =
      "ogr2ogr -q -f 'ESRI Shapefile' -lco ENCODING=UTF-8 '" + out + "' '" + csv + "' 2>/dev/null";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("ogr2ogr failed");
  }
  state.SetItemsProcessed(state.iterations() * s.features);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(fs::file_size(out + "/bench-ogr.dbf")));
  fs::remove_all(out);
  fs::remove(csv);
  fs::remove(s.dir + "/bench-ogr.csvt");
}

#define RUNS Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3)
BENCHMARK(BM_CreateFileXbase)->RUNS;
BENCHMARK(BM_Ogr2ogrDbf)->RUNS;
BENCHMARK(BM_CreateFileText)->RUNS;
BENCHMARK(BM_Sqlite3Csv)->RUNS;

// Peak memory of a process that opens the window and copies FEATURES once in
// each type.
int MemoryReport() {
  std::printf("%-34s %12s %12s %12s\n", "Create File copies", "10,000", "100,000", "1,000,000");
  auto peak = [](int64_t size) {
    DataFolder(size);
    return static_cast<long long>(ChildPeakKiB([size] {
      Session s(size);
      const bool ok = s.Copy("Xbase", s.dir + "/bench-copy.dbf") &&
                      s.Copy("Text (Delim)", s.dir + "/bench-copy.txt");
      fs::remove(s.dir + "/bench-copy.dbf");
      fs::remove(s.dir + "/bench-copy.txt");
      if (!ok) _exit(1);
    }));
  };
  const long long small = peak(10'000), middle = peak(100'000), large = peak(kFeatures);
  std::printf("%-34s %9lld KiB %9lld KiB %9lld KiB\n", "peak resident memory", small, middle,
              large);
  return small < 0 || middle < 0 || large < 0 ? 1 : 0;
}

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) {
  return mirabo::bench::BenchMain(argc, argv, mirabo::bench::MemoryReport);
}
