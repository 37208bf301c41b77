// The batch commands on 1,000,000 features, each in a process of its own as
// a user's scheduled job runs it: wall time, rows per second where it
// applies, and the peak memory of the process.
//
//   BM_Batch/publish-features   all records of the Features browse, product order
//   BM_Batch/export-dbf         FEATURES as an xBase table
//   BM_Batch/export-txt         FEATURES as comma-delimited text
//   BM_Batch/report-supplier    features-by-supplier for one supplier (~1,000 features) to PDF
//   BM_Batch/search-word        one word over all four fields to PDF
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "tools/batch/batch_commands.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kFeatures = 1'000'000;

struct Job {
  const char* name;
  const char* command;
  std::vector<std::string> args;  // after --data DIR --force
  int64_t rows;                   // rows the job handles, 0: none to count
};

const std::vector<Job>& Jobs() {
  static const std::vector<Job> jobs = {
      {"publish-features", "publish", {"features", "OUT/features.htm"}, kFeatures},
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

void BM_Batch(benchmark::State& state) {
  const Job& job = Jobs().at(state.range(0));
  state.SetLabel(job.name);
  const std::string data = DataFolder(kFeatures);
  const std::string out = data + "/batch-out";
  fs::create_directories(out);
  std::vector<std::string> args = {"--data", data, "--force"};
  for (const std::string& a : job.args) {
    args.push_back(a.compare(0, 4, "OUT/") == 0 ? out + a.substr(3) : a);
  }
  int64_t peak = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    peak = ChildPeakKiB([&] {
      if (tools::RunBatchCommand(job.command, args) != 0) _exit(1);
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
    ->DenseRange(0, 4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2);

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) { return mirabo::bench::BenchMain(argc, argv); }
