#include "app/startup.h"

#include "app/about.h"
#include "app/browses.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/frame.h"
#include "app/html_export.h"
#include "app/procedures.h"
#include "storage/native/native_driver.h"
#include "storage/text/ascii_driver.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace mirabo::app {

void RegisterAll() {
  native::RegisterNativeDriver();
  text::RegisterAsciiDriver();
  RegisterProcedure("AboutQRT", AboutQRT);
  RegisterBrowses();
}

void StartUp(ui::Scheduler& scheduler) {
  RegisterAll();
  ResetGlobals();
  UseSchedulerThreadBlocks();
  HtmlPropertyWindowDef();  // the Publish window exists from the start, unseen
  (void)scheduler;
}

ui::Proc Program() {
  co_await Main();
  ui::Scheduler& s = ui::Scheduler::Get();
  const ui::ThreadId self = s.Current();
  // Procedures whose windows are still open pass through their exit steps.
  for (int round = 0; round < 200 && s.thread_count() > 1; ++round) {
    for (ui::ThreadId id = 1; id <= ui::kMaxThreads; ++id) {
      if (id != self && s.Alive(id)) s.PostToThread(id, {ui::EVENT_CloseWindow});
    }
    co_await ui::Yield();
  }
  s.Exit(0);
}

}  // namespace mirabo::app
