#include "bench/qt_bench_main.h"

#include <QApplication>

#include "bench/bench_data.h"
#include "report/qt/page_renderer.h"

namespace mirabo::bench {

int QtBenchMain(int argc, char** argv, int (*memory_report)(int argc, char** argv)) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (WantsMemoryReport(argc, argv)) return memory_report(argc, argv);
  QApplication app(argc, argv);
  report::qt::RegisterPageImagePainter();
  return BenchMain(argc, argv);
}

}  // namespace mirabo::bench
