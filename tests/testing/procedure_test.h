// A headless program for procedure tests: a temporary data folder as the
// current directory, a private configuration folder for window positions,
// the scheduler on the headless backend and a virtual clock, and every
// procedure registered.  Header-only: the tests that use it link the
// application themselves.
#pragma once

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/startup.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/watchdog.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::testing {

class ProcedureTest : public ::testing::Test {
 protected:
  ProcedureTest() {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    chdir_ = std::make_unique<ScopedChdir>(data_.path());
    app::RegisterAll();
    app::ResetGlobals();
    app::UseSchedulerThreadBlocks();
  }
  ~ProcedureTest() override { unsetenv("XDG_CONFIG_HOME"); }

  // Starts a procedure on a new thread and runs it until it waits.
  ui::ThreadId Open(ui::Proc proc) {
    const ui::ThreadId id = scheduler_.Start(std::move(proc));
    scheduler_.RunReady();
    return id;
  }
  // The window a thread works in now.
  ui::Window& Win(ui::ThreadId id) { return *scheduler_.TopWindow(id); }
  // Posts an event to that window and runs until every thread waits again.
  void Post(ui::ThreadId id, int code, int control, int key = 0) {
    Win(id).Post(code, control, key);
    scheduler_.RunReady();
  }

  // A procedure that never gives way fails the test by name.
  Watchdog watchdog_{std::chrono::seconds(60),
                     ::testing::UnitTest::GetInstance()->current_test_info()->name()};
  TempDir config_, data_;
  std::unique_ptr<ScopedChdir> chdir_;
  ui::HeadlessBackend backend_;
  ui::VirtualClock clock_;
  ui::Scheduler scheduler_{backend_, clock_};
};

}  // namespace mirabo::testing
