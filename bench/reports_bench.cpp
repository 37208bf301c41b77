// Report runs and Publish's all-records mode as the program runs them: the
// procedures on the window model, timers firing every 10 ms on the real
// clock, the real fonts, on the generator's 1,000,000 features (one supplier
// per thousand features; $MIRABO_BENCH_FEATURES sets another number).
//
//   reports_bench            wall time from the pick (or the menu) to the
//                            preview's first page drawn, and the longest
//                            timer event; Publish of one supplier's features;
//                            a search of all four fields to its preview (or,
//                            finding nothing, to its end), through the search
//                            index (indexed:1) and reading every feature
//                            (indexed:0)
//   reports_bench --memory   peak memory of a report of about 1,000 records
//                            and of one of about 200,000 (page images on disk)
//
// Each timed case runs twice: "budget" is the program (a timer event takes
// at least its batch, then more while under 8 ms); "fixed" holds every event
// to its batch (25 records, 10 rows), as the loops were paced before.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <tuple>

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/data/globals.h"
#include "app/data/outcome.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "app/reports/search_features.h"
#include "app/reports/search_report.h"
#include "app/shell/procedures.h"
#include "bench/bench_data.h"
#include "bench/headless_program.h"
#include "bench/qt_bench_main.h"
#include "report/qt/page_renderer.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The program on the headless window model with the real clock.
struct Program : HeadlessProgram<ui::SteadyClock> {
  explicit Program(int64_t features) : HeadlessProgram(features) {
    fs::create_directories(dir + "/pages");
    app::ReportSettings settings;
    settings.pages = {dir + "/pages", "RPG"};
    app::SetReportSettings(settings);
    // A run's pages, known once its output is done with them.
    app::SetOutcomeObserver([this](const app::Outcome& o) { pages = static_cast<int>(o.written); });
  }

  // Every timer event takes exactly its batch, as before the time budget.
  void FixedBatches(bool on) {
    if (on) {
      scheduler->SetWorkClock([this] { return fake_us += 10000; });
    } else {
      scheduler->SetWorkClock(nullptr);
    }
  }

  // Runs the threads as the program's event loop does: the ready ones at
  // once, timer events when they fall due.  Notes the longest event.
  bool RunUntil(const std::function<bool()>& done, double limit_ms = 600000) {
    const auto start = Clock::now();
    scheduler->RunReady();
    longest_event_ms = std::max(longest_event_ms, MsSince(start));
    while (!done()) {
      const int64_t due = scheduler->NextTimerDue();
      if (due < 0 || MsSince(start) > limit_ms) return false;
      const int64_t wait = due - clock.NowMs();
      if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
      const auto t = Clock::now();
      scheduler->Tick();
      longest_event_ms = std::max(longest_event_ms, MsSince(t));
      ++events;
    }
    return true;
  }

  ui::Window* Top(ui::ThreadId id) { return scheduler->TopWindow(id); }
  bool Previewing(ui::ThreadId id) {
    return scheduler->Alive(id) && Top(id) && Top(id)->def().name == app::PreviewWindowDef().name;
  }
  // The preview's first page drawn at screen size, as its grid cell shows it.
  void DrawFirstPage(ui::ThreadId id) {
    const ui::Control* cell = Top(id)->Find(app::kPreviewCellImageBase + 1);
    report::PageImage page;
    if (!cell || !report::ReadPageFile(cell->icon, &page).ok()) return;
    QImage image(816, 1056, QImage::Format_RGB32);
    QPainter painter(&image);
    report::qt::PaintPage(painter, page, QRectF(0, 0, 816, 1056));
  }
  void LeavePreview(ui::ThreadId id) {
    Top(id)->Post(ui::EVENT_Accepted, app::kPreviewMenuExit);
    RunUntil([&] { return !scheduler->Alive(id); });
  }

  int64_t fake_us = 0;
  double longest_event_ms = 0;
  int events = 0;
  int pages = 0;
};

// The features of the data the benchmarks run on: $MIRABO_BENCH_FEATURES,
// else 1,000,000.
int64_t Features() {
  const char* env = std::getenv("MIRABO_BENCH_FEATURES");
  return env ? std::atoll(env) : 1'000'000;
}

Program& Get() {
  static Program program(Features());
  return program;
}

void Report(benchmark::State& state, Program& p, double total_ms) {
  state.SetIterationTime(total_ms / 1000);
  state.counters["longest_event_ms"] = p.longest_event_ms;
  state.counters["timer_events"] = p.events;
}

// Times a report from `go` (which sets it going on the thread that `ready`
// prepared, or on one of its own, and returns that thread) to its preview's
// first page drawn.  `ready` is not timed.
void TimeToFirstPage(benchmark::State& state, const std::function<ui::ThreadId()>& ready,
                     const std::function<ui::ThreadId(ui::ThreadId)>& go) {
  Program& p = Get();
  p.FixedBatches(state.range(0) == 1);
  for (auto _ : state) {
    p.longest_event_ms = 0;
    p.events = 0;
    const ui::ThreadId prepared = ready();
    const auto start = Clock::now();
    const ui::ThreadId id = go(prepared);
    if (!p.RunUntil([&] { return p.Previewing(id); })) state.SkipWithError("no preview");
    p.DrawFirstPage(id);
    Report(state, p, MsSince(start));
    p.LeavePreview(id);
    state.counters["pages"] = p.pages;
  }
}

// Features by Supplier: from the pick of the first supplier in its lookup.
void BM_FeaturesBySupplierFromThePick(benchmark::State& state) {
  Program& p = Get();
  TimeToFirstPage(
      state,
      [&p] {
        app::ReportAfterSelect.value = 100;
        const ui::ThreadId lookup = p.scheduler->Start(app::BrowseSupplier());
        p.scheduler->RunReady();
        return lookup;
      },
      [&p](ui::ThreadId lookup) {
        p.Top(lookup)->Post(ui::EVENT_Accepted, app::kBrowseSelect);
        return lookup;
      });
}

// The supplier listing (1,000 suppliers), from the menu.
void BM_SupplierListing(benchmark::State& state) {
  Program& p = Get();
  const app::ProcedureFactory listing = app::FindProcedure("PRINTSUP:SUPPLIER");
  TimeToFirstPage(
      state, [] { return ui::ThreadId{0}; },
      [&](ui::ThreadId) { return p.scheduler->Start(listing()); });
}

#define REAL_TIME_RUNS \
  ArgName("fixed")->Arg(0)->Arg(1)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_FeaturesBySupplierFromThePick)->REAL_TIME_RUNS;
BENCHMARK(BM_SupplierListing)->REAL_TIME_RUNS;

// Publish, all records, of the Features browse in Supplier order: one
// supplier's features (about 1,000 rows) written as an HTML page.
void BM_PublishOneSuppliersFeatures(benchmark::State& state) {
  Program& p = Get();
  p.FixedBatches(state.range(0) == 1);
  app::GLO::supplier.value = 5;
  const ui::ThreadId id = p.scheduler->Start(app::BrowseFEATURES());
  p.scheduler->RunReady();
  p.Top(id)->SetChoice(app::kBrowseSheet, 2);
  p.Top(id)->Post(ui::EVENT_NewSelection, app::kBrowseSheet);
  p.scheduler->RunReady();
  const std::string page = fs::absolute("bench-publish.htm").string();
  for (auto _ : state) {
    p.longest_event_ms = 0;
    p.events = 0;
    p.Top(id)->Post(ui::EVENT_Accepted, app::kBrowsePublish);
    p.scheduler->RunReady();
    p.Top(id)->SetValue(app::kHtmlName, page);
    const auto start = Clock::now();
    p.Top(id)->Post(ui::EVENT_Accepted, app::kHtmlAll);
    if (!p.RunUntil([&] { return p.Top(id)->def().name != app::HtmlPropertyWindowDef().name; })) {
      state.SkipWithError("not finished");
    }
    Report(state, p, MsSince(start));
    state.counters["html_KB"] = static_cast<double>(fs::file_size(page)) / 1024;
  }
  p.Top(id)->Post(ui::EVENT_CloseWindow);
  p.RunUntil([&] { return !p.scheduler->Alive(id); });
}
BENCHMARK(BM_PublishOneSuppliersFeatures)->REAL_TIME_RUNS;

// A search of all four fields: from its start to the preview's first page
// drawn, or, when nothing matches, to the run's end (the search window ready
// again).  `indexed:0` runs it as on data files without the search index,
// reading every feature.
ui::Proc SearchThread(app::ReportPlan plan) { co_await app::RunReport(std::move(plan)); }

// The name of the first supplier in name order: about a thousand features'
// at a thousand features a supplier, a few more where longer names begin
// with it.
std::string FirstSupplierName() {
  File suppliers(app::DataFileDecl(app::DataFile::kSupplier));
  if (suppliers.Open(kOpenShared) != kNoError ||
      suppliers.SetKeyStart(app::SUP::KEY_SUPPLIER) != kNoError || suppliers.Next() != kNoError) {
    return "";
  }
  return std::string(Clip(suppliers.Field(app::SUP::SUPPLIER).Bytes()));
}

void BM_SearchAllFourFields(benchmark::State& state, const char* text) {
  Program& p = Get();
  p.FixedBatches(false);
  app::SearchCriteria criteria;
  criteria.text = text ? text : FirstSupplierName();
  if (criteria.text.empty()) {
    state.SkipWithError("no supplier to search for");
    return;
  }
  criteria.product = criteria.review = criteria.category = criteria.supplier = true;
  for (auto _ : state) {
    app::ReportPlan plan = app::SearchReportPlan(criteria);
    if (state.range(0) == 0) plan.candidates = nullptr;
    p.longest_event_ms = 0;
    p.events = 0;
    const auto start = Clock::now();
    const ui::ThreadId id = p.scheduler->Start(SearchThread(std::move(plan)));
    if (!p.RunUntil([&] { return p.Previewing(id) || !p.scheduler->Alive(id); })) {
      state.SkipWithError("no end");
    }
    const bool found = p.Previewing(id);
    if (found) p.DrawFirstPage(id);
    const double ms = MsSince(start);
    Report(state, p, ms);
    if (found) p.LeavePreview(id);
    state.counters["pages"] = found ? p.pages : 0;
  }
}
// A supplier's whole name; a supplier's first word (also in the names of
// many products), a category's word, and a text no feature holds.
#define SEARCH_RUNS \
  ArgName("indexed")->Arg(1)->Arg(0)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(BM_SearchAllFourFields, supplier, nullptr)->SEARCH_RUNS;
BENCHMARK_CAPTURE(BM_SearchAllFourFields, kettlewynd, "Kettlewynd")->SEARCH_RUNS;
BENCHMARK_CAPTURE(BM_SearchAllFourFields, modem, "Modem")->SEARCH_RUNS;
BENCHMARK_CAPTURE(BM_SearchAllFourFields, nothing, "Zeppelin")->SEARCH_RUNS;

// Peak memory of one report run in a process of its own: Features by
// Supplier (about 1,000 records) and Features by Review of the most common
// review kind (a fifth of the table).
int MemoryReport(int argc, char** argv) {
  struct Run {
    int pages = -1;
    double seconds = 0, longest_event_ms = 0;
  };
  auto peak = [&](int report, int16_t value, Run* run) {
    // The child hands its figures back in memory that it shares with this
    // process; they stay unset when it fails.
    void* shared =
        mmap(nullptr, sizeof(Run), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return -1LL;
    Run* done = new (shared) Run{};
    const int64_t kib = ChildPeakKiB([&] {
      QApplication app(argc, argv);
      report::qt::RegisterPageImagePainter();
      Program p(1'000'000);
      app::GLO::supplier.value = value;
      app::GLO::review.value = value;
      const char* name = report == 0 ? "PRINTFEA:FEATSUPP" : "PRINTFEA:FEATREV";
      const auto start = Clock::now();
      const ui::ThreadId id = p.scheduler->Start(app::FindProcedure(name)());
      if (!p.RunUntil([&] { return p.Previewing(id); })) _exit(1);
      p.DrawFirstPage(id);
      const Run timed{0, MsSince(start) / 1000, p.longest_event_ms};
      p.LeavePreview(id);
      *done = Run{p.pages, timed.seconds, timed.longest_event_ms};
    });
    *run = *done;
    munmap(shared, sizeof(Run));
    return static_cast<long long>(kib);
  };
  DataFolder(1'000'000);  // made before, not in a measured process
  Run small_run, large_run;
  const long long small = peak(0, 5, &small_run);
  const long long large = peak(1, 1, &large_run);
  std::printf("%-40s %8s %12s %10s %16s\n", "report", "pages", "peak", "seconds", "longest event");
  for (const auto& [what, run, kib] :
       {std::tuple{"Features by Supplier (one supplier)", small_run, small},
        std::tuple{"Features by Review (the commonest kind)", large_run, large}}) {
    std::printf("%-40s %8d %8lld KiB %10.2f %13.2f ms\n", what, run.pages, kib, run.seconds,
                run.longest_event_ms);
  }
  return 0;
}

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) {
  return mirabo::bench::QtBenchMain(argc, argv, mirabo::bench::MemoryReport);
}
