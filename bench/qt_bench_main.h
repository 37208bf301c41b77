// The main of a benchmark program that draws with Qt, as BenchMain
// (bench/bench_data.h) is for the others.
#pragma once

namespace mirabo::bench {

// Draws offscreen unless QT_QPA_PLATFORM names a platform.  `--memory` runs
// `memory_report` with the command line instead of the benchmarks: it makes
// the QApplication of each process it measures.  Else the benchmarks run in
// a QApplication that draws page images, as BenchMain runs them.
int QtBenchMain(int argc, char** argv, int (*memory_report)(int argc, char** argv));

}  // namespace mirabo::bench
