#include "bench/bench_data.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "tools/generate/sample_generator.h"
#include "tools/load/loader.h"

namespace mirabo::bench {

namespace fs = std::filesystem;

static std::string Root() {
  const char* env = std::getenv("MIRABO_BENCH_DATA");
  return env ? env : "bench-data";
}

std::string CsvFolder(int64_t features) {
  const std::string dir = Root() + "/csv-" + std::to_string(features);
  if (fs::exists(dir + "/FEATURES.csv")) return dir;
  fs::create_directories(dir);
  tools::SampleOptions o;
  o.features = static_cast<int>(features);
  o.suppliers = static_cast<int>(std::max<int64_t>(10, features / 1000));
  o.edge_cases = false;
  std::fprintf(stderr, "generating %lld features in %s\n", static_cast<long long>(features),
               dir.c_str());
  const std::string error = tools::WriteSampleData(o, dir);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  return dir;
}

std::string DataFolder(int64_t features) {
  const std::string dir = Root() + "/data-" + std::to_string(features);
  if (fs::exists(dir + "/FEATURES.KVX")) return fs::absolute(dir).string();
  const std::string csv = CsvFolder(features);
  tools::LoadOptions o;
  o.data_dir = dir;
  std::vector<std::string> files;
  for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    files.push_back(csv + "/" + t + ".csv");
  }
  std::fprintf(stderr, "loading %s\n", dir.c_str());
  const tools::LoadResult r = tools::Load(files, o);
  if (!r.ok) {
    std::fprintf(stderr, "%s\n", r.error.c_str());
    std::exit(1);
  }
  return fs::absolute(dir).string();
}

int64_t PeakMemoryKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

int64_t ChildPeakKiB(const std::function<void()>& work) {
  const pid_t child = fork();
  if (child == 0) {
    work();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) < 0) return -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

bool WantsMemoryReport(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--memory") == 0) return true;
  }
  return false;
}

int BenchMain(int argc, char** argv, int (*memory_report)()) {
  const std::string root = fs::absolute(Root()).string();
  setenv("MIRABO_BENCH_DATA", root.c_str(), 1);
  if (memory_report && WantsMemoryReport(argc, argv)) return memory_report();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace mirabo::bench
