// The Features browse through the engine and the window model (no Qt), on a
// 10,000- and a 1,000,000-feature file:
//
//   browse_bench               median times of the browse operations
//   browse_bench --memory      peak memory of a browsing session, both sizes
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/data/globals.h"
#include "bench/bench_data.h"
#include "bench/browse_session.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::bench {
namespace {

using app::kBrowseList;

// One open Features browse per size, on a headless scheduler of its own.
using Session = BrowseSession;

Session& Get(int64_t size) {
  return SessionFor(size, [size] { return std::make_unique<Session>(size); });
}

void BM_OpenFeaturesBrowse(benchmark::State& state) {
  Session& s = Get(state.range(0));
  for (auto _ : state) {
    const ui::ThreadId id = s.scheduler->Start(app::BrowseFEATURES());
    s.scheduler->RunReady();  // first page and key stops
    state.PauseTiming();
    s.scheduler->TopWindow(id)->Post(ui::EVENT_CloseWindow);
    s.scheduler->RunReady();
    state.ResumeTiming();
  }
}

void BM_PageDown(benchmark::State& state) {
  Session& s = Get(state.range(0));
  s.Post(ui::EVENT_ScrollTop);
  int n = 0;
  for (auto _ : state) {
    s.Post(ui::EVENT_PageDown);
    if (++n % 500 == 0) {
      state.PauseTiming();
      s.Post(ui::EVENT_ScrollTop);
      state.ResumeTiming();
    }
  }
}

void BM_ScrollDownPastTheEdge(benchmark::State& state) {
  Session& s = Get(state.range(0));
  s.Post(ui::EVENT_ScrollTop);
  s.Post(ui::EVENT_ScrollBottom);
  s.Post(ui::EVENT_ScrollTop);
  const int rows = s.Win().Find(kBrowseList)->visible_rows;
  for (int i = 1; i < rows; ++i) s.Post(ui::EVENT_ScrollDown);
  for (auto _ : state) s.Post(ui::EVENT_ScrollDown);  // always on the last row
}

void BM_LocateProductPrefix(benchmark::State& state) {
  Session& s = Get(state.range(0));
  const char* prefixes[] = {"M", "Quillon", "Br", "T", "Lum", "Dove"};
  int i = 0;
  for (auto _ : state) {
    s.Win().SetValue(app::kBrowseLocator, prefixes[i++ % 6]);
    s.Post(ui::EVENT_Accepted, app::kBrowseLocator);
  }
}

void BM_ThumbDragTo50(benchmark::State& state) {
  Session& s = Get(state.range(0));
  for (auto _ : state) {
    s.Win().SetThumb(kBrowseList, 50);
    s.Post(ui::EVENT_ScrollDrag);
  }
}

// Switching to the Supplier order for a supplier with about 1,000 features,
// and back, so that each switch is a new order.
void BM_SwitchToSupplierOrder(benchmark::State& state) {
  Session& s = Get(state.range(0));
  app::GLO::supplier.value = 5;
  for (auto _ : state) {
    s.Tab(2);
    state.PauseTiming();
    s.Tab(1);
    state.ResumeTiming();
  }
}

void BM_ScrollUpAtTheFirstRowOfTheRange(benchmark::State& state) {
  Session& s = Get(state.range(0));
  app::GLO::supplier.value = 5;
  s.Tab(2);
  for (auto _ : state) {
    state.PauseTiming();
    s.Post(ui::EVENT_ScrollTop);
    state.ResumeTiming();
    s.Post(ui::EVENT_ScrollUp);  // the start of the range: nothing before it
  }
  s.Tab(1);
}

// Publish, all records: ten rows, the least one timer tick writes (held to
// it by a work clock that is always past the tick's time budget).
void BM_PublishBatchOfTen(benchmark::State& state) {
  Session& s = Get(state.range(0));
  int64_t fake_us = 0;
  s.scheduler->SetWorkClock([&fake_us] { return fake_us += 10000; });
  s.Post(ui::EVENT_Accepted, app::kBrowsePublish);
  ui::Window& html = s.Win();
  html.SetValue(app::kHtmlName, std::filesystem::absolute("bench-publish.htm").string());
  s.Post(ui::EVENT_Accepted, app::kHtmlAll);
  const auto before = std::filesystem::file_size("bench-publish.htm");
  for (auto _ : state) {
    s.scheduler->Advance(10);  // one timer event: ten rows
  }
  const auto bytes = std::filesystem::file_size("bench-publish.htm") - before;
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  s.Post(ui::EVENT_Accepted, app::kHtmlCancel);
  s.scheduler->SetWorkClock(nullptr);
}
BENCHMARK(BM_PublishBatchOfTen)->Arg(1'000'000)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// Medians over five runs of each operation.
#define SIZES                         \
  Arg(10'000)                         \
      ->Arg(1'000'000)                \
      ->Unit(benchmark::kMicrosecond) \
      ->Repetitions(5)                \
      ->ReportAggregatesOnly(true)
BENCHMARK(BM_OpenFeaturesBrowse)->SIZES;
BENCHMARK(BM_PageDown)->SIZES;
BENCHMARK(BM_ScrollDownPastTheEdge)->SIZES;
BENCHMARK(BM_LocateProductPrefix)->SIZES;
BENCHMARK(BM_ThumbDragTo50)->SIZES;
BENCHMARK(BM_SwitchToSupplierOrder)->SIZES;
BENCHMARK(BM_ScrollUpAtTheFirstRowOfTheRange)->SIZES;

int MemoryReport() {
  std::printf("%-34s %12s %12s\n", "browsing session", "10,000", "1,000,000");
  auto peak = [](int64_t size) {
    DataFolder(size);
    return static_cast<long long>(ChildPeakKiB([size] {
      Session s(size);
      for (int i = 0; i < 50; ++i) s.Post(ui::EVENT_PageDown);
      s.Post(ui::EVENT_ScrollBottom);
      s.Win().SetThumb(kBrowseList, 50);
      s.Post(ui::EVENT_ScrollDrag);
      app::GLO::supplier.value = 5;
      s.Tab(2);
      s.Tab(1);
    }));
  };
  const long long small = peak(10'000), large = peak(1'000'000);
  std::printf("%-34s %9lld KiB %9lld KiB\n", "peak resident memory", small, large);
  return 0;
}

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) {
  return mirabo::bench::BenchMain(argc, argv, mirabo::bench::MemoryReport);
}
