// Benchmark data: folders of data files built from the sample generator at a
// given size, made on first use and kept under the build folder (never in git).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mirabo::bench {

// The folder holding FEATURES.KVX and its lookup files with `features`
// features (one supplier per thousand features, so a supplier has about a
// thousand).  Builds it when missing.
std::string DataFolder(int64_t features);

// The folder holding the generated CSV files for `features` features.
std::string CsvFolder(int64_t features);

// Peak resident memory of this process so far, in KiB.
int64_t PeakMemoryKiB();

// Peak resident memory of `work` run in a child process of its own, in KiB;
// -1 when the child did not end normally.
int64_t ChildPeakKiB(const std::function<void()>& work);

// Whether the command line asks for the memory report (`--memory`) rather
// than the benchmarks.
bool WantsMemoryReport(int argc, char** argv);

// The main of a benchmark program: the data folders go under
// $MIRABO_BENCH_DATA (default ./bench-data, made absolute), and `--memory`
// runs `memory_report` (when given) instead of the benchmarks.
int BenchMain(int argc, char** argv, int (*memory_report)() = nullptr);

}  // namespace mirabo::bench
