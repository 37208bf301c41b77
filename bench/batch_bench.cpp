// The batch commands on 1,000,000 features, each in a process of its own as
// a user's scheduled job runs it: wall time, rows per second where it
// applies, and the peak memory of the process.  Three of them run beside the
// tool a user would run instead (a peer), on the same data:
//
//   BM_Batch/publish-features   all records of the Features browse, product order
//   BM_Batch/peer-sqlite3-html  the sqlite3 shell's -html of the same join, same order
//   BM_Batch/load               the five CSV files into new data files
//   BM_Batch/peer-sqlite3-load  .import of the same files, the same keys and text indexes
//   BM_Batch/search-e-pdf       "e" over all four fields to PDF, Letter (nearly every feature)
//   BM_Batch/peer-reportlab     a reportlab script printing the same rows
//   BM_Batch/export-dbf         FEATURES as an xBase table
//   BM_Batch/export-txt         FEATURES as comma-delimited text
//   BM_Batch/report-supplier    features-by-supplier for one supplier (~1,000 features) to PDF
//   BM_Batch/search-word        one word over all four fields to PDF
//
// Run with --benchmark_enable_random_interleaving=true so that a job and its
// peer meet the same load of the machine; compare the medians.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "tools/commands.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kFeatures = 1'000'000;

// A job is a command of the program (args after --data DIR --force, OUT/
// naming the output folder) or a peer's shell command (`peer`, with DATA, CSV,
// OUT and PEERS standing for the folders).
struct Job {
  const char* name;
  const char* command;
  std::vector<std::string> args;
  int64_t rows;  // rows the job handles, 0: none to count
  const char* peer = nullptr;
};

constexpr char kPeerHtml[] =
    "cd DATA && sqlite3 -html FEATURES.KVX \"ATTACH 'SUPPLIER.KVX' AS s; "
    "ATTACH 'REVIEW.KVX' AS r; ATTACH 'CATEGORY.KVX' AS c; "
    "SELECT f.PRODUCT, r.REVIEW, f.ISSUE, s.SUPPLIER, f.HS, c.CATEGORY, f.V, f.COMMENTS "
    "FROM main.UNNAMED f LEFT JOIN r.UNNAMED r ON r.REFERENCE = f.REVIEW "
    "LEFT JOIN s.UNNAMED s ON s.REFERENCE = f.SUPPLIER "
    "LEFT JOIN c.UNNAMED c ON c.REFERENCE = f.CATEGORY "
    "ORDER BY f.\\\"KEY\\$PRODUCT\\$NC\\\";\" > OUT/peer.htm";
constexpr char kPeerLoad[] =
    "rm -f OUT/peer.db && cd CSV && sqlite3 OUT/peer.db < PEERS/load.sql";
// The system's Python, where Debian's python3-reportlab is.
constexpr char kPeerReport[] = "/usr/bin/python3 PEERS/report_rows.py DATA OUT/peer.pdf e";

const std::vector<Job>& Jobs() {
  static const std::vector<Job> jobs = {
      {"publish-features", "publish", {"features", "OUT/features.htm"}, kFeatures},
      {"peer-sqlite3-html", nullptr, {}, kFeatures, kPeerHtml},
      {"load",
       "load",
       {"--replace", "CSV/FEATURES.csv", "CSV/SUPPLIER.csv", "CSV/REVIEW.csv",
        "CSV/CATEGORY.csv", "CSV/ISSUES.csv"},
       kFeatures},
      {"peer-sqlite3-load", nullptr, {}, kFeatures, kPeerLoad},
      {"search-e-pdf",
       "search",
       {"e", "--in", "product,review,category,supplier", "--paper", "letter", "--pdf",
        "OUT/search-e.pdf"},
       0},
      {"peer-reportlab", nullptr, {}, 0, kPeerReport},
      {"export-dbf", "export", {"features", "dbf", "OUT/features.dbf"}, kFeatures},
      {"export-txt", "export", {"features", "txt", "OUT/features.txt"}, kFeatures},
      {"report-supplier",
       "report",
       {"features-by-supplier", "--value", "5", "--pdf", "OUT/supplier.pdf"},
       0},
      {"search-word",
       "search",
       {"Modem", "--in", "product,review,category,supplier", "--pdf", "OUT/search.pdf"},
       0},
  };
  return jobs;
}

// `text` with each of the folders' words replaced.
std::string Expand(std::string text, const std::vector<std::pair<std::string, std::string>>& words) {
  for (const auto& [word, folder] : words) {
    for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += folder.size()) {
      text.replace(at, word.size(), folder);
    }
  }
  return text;
}

void BM_Batch(benchmark::State& state) {
  const Job& job = Jobs().at(state.range(0));
  state.SetLabel(job.name);
  const std::string data = DataFolder(kFeatures);
  const std::string out = data + "/batch-out";
  fs::create_directories(out);
  // The load builds new data files of its own each time.
  const std::string loaded = out + "/loaded";
  const std::vector<std::pair<std::string, std::string>> words = {
      {"OUT", out}, {"DATA", data}, {"CSV", CsvFolder(kFeatures)}, {"PEERS", MIRABO_BENCH_PEERS}};
  std::vector<std::string> args = {"--data", job.command && std::string(job.command) == "load"
                                                 ? loaded
                                                 : data};
  if (job.command && std::string(job.command) != "load") args.push_back("--force");
  for (const std::string& a : job.args) args.push_back(Expand(a, words));
  const std::string peer = job.peer ? Expand(job.peer, words) : "";
  int64_t peak = 0;
  for (auto _ : state) {
    if (job.command && std::string(job.command) == "load") {
      fs::remove_all(loaded);
      fs::create_directories(loaded);
    }
    const auto start = std::chrono::steady_clock::now();
    peak = ChildPeakKiB([&] {
      if (job.peer) _exit(std::system(peer.c_str()) == 0 ? 0 : 1);
      std::vector<std::string> line = {job.command};
      line.insert(line.end(), args.begin(), args.end());
      if (tools::RunSubcommand(line) != 0) _exit(1);
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (peak < 0) state.SkipWithError("the command failed");
  }
  state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
  if (job.rows > 0) {
    state.counters["rows_per_s"] = benchmark::Counter(
        static_cast<double>(job.rows) * state.iterations(), benchmark::Counter::kIsRate);
  }
}
BENCHMARK(BM_Batch)
    ->DenseRange(0, 9)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2);

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) { return mirabo::bench::BenchMain(argc, argv); }
