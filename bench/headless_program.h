// The program on the headless window model, for the benchmarks that drive
// its procedures.  Header-only: the benchmarks that use it link the
// application themselves.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/startup.h"
#include "bench/bench_data.h"
#include "ui/headless.h"
#include "ui/scheduler.h"

namespace mirabo::bench {

// Makes the data folder of `features` features the current directory, with a
// configuration folder of its own, registers every procedure and sets up the
// scheduler on `ClockType`: a ui::VirtualClock that the benchmark advances,
// or ui::SteadyClock for timers that fire on the real clock.  One at a time:
// the scheduler is the process's.
template <typename ClockType>
struct HeadlessProgram {
  explicit HeadlessProgram(int64_t features) : dir(DataFolder(features)) {
    std::filesystem::current_path(dir);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    app::RegisterAll();
    app::ResetGlobals();
    scheduler = std::make_unique<ui::Scheduler>(backend, clock);
    app::UseSchedulerThreadBlocks();
  }

  std::string dir;
  ui::HeadlessBackend backend;
  ClockType clock;
  std::unique_ptr<ui::Scheduler> scheduler;  // last, so that it goes first
};

}  // namespace mirabo::bench
