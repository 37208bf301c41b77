// The window layer's cost: one event round trip (post, resume the waiting
// procedure, handle the event) on the headless scheduler.
#include <benchmark/benchmark.h>

#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::ui {
namespace {

const WindowDef& Def() {
  static const WindowDef d = [] {
    WindowDef w;
    w.name = "BENCH$WINDOW";
    w.controls = {{.kind = ControlKind::kButton, .id = 1}};
    return w;
  }();
  return d;
}

Proc Handler(int64_t* handled) {
  Window w(Def());
  w.Open();
  while (Event e = co_await w.Accept()) {
    if (e.code == EVENT_Accepted) ++*handled;
  }
  w.Close();
}

void BM_EventRoundTrip(benchmark::State& state) {
  HeadlessBackend backend;
  VirtualClock clock;
  Scheduler s(backend, clock);
  int64_t handled = 0;
  const ThreadId id = s.Start(Handler(&handled));
  s.RunReady();
  Window* w = s.TopWindow(id);
  for (auto _ : state) {
    w->Post(EVENT_Accepted, 1);
    s.RunReady();
  }
  if (handled != static_cast<int64_t>(state.iterations())) state.SkipWithError("events lost");
}
BENCHMARK(BM_EventRoundTrip);

}  // namespace
}  // namespace mirabo::ui

BENCHMARK_MAIN();
