#include "app/startup.h"

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/create_file/create_files.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/reports/report_preview.h"
#include "app/reports/reports.h"
#include "app/reports/search_features.h"
#include "app/shell/about.h"
#include "app/shell/frame.h"
#include "app/shell/load_data.h"
#include "app/shell/procedures.h"
#include "storage/native/native_driver.h"
#include "storage/text/ascii_driver.h"
#include "storage/text/basic_driver.h"
#include "storage/xbase/xbase_driver.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace mirabo::app {

void RegisterAll() {
  native::RegisterNativeDriver();
  text::RegisterAsciiDriver();
  RegisterPageImageKind();
  text::RegisterBasicDriver();
  xbase::RegisterXbaseDriver();
  RegisterProcedure("AboutQRT", AboutQRT);
  RegisterBrowses();
  RegisterCreateFiles();
  RegisterLoadData();
  RegisterReports();
  RegisterSearch();
}

void StartUp(ui::Scheduler& scheduler) {
  RegisterAll();
  ResetGlobals();
  UseSchedulerThreadBlocks();
  HtmlPropertyWindowDef();  // the Publish window exists from the start, unseen
  (void)scheduler;
}

namespace {

// A window nobody sees, whose timer lets the program wait for procedures
// that are still busy with their user when the frame closes.
const ui::WindowDef& EndingWindowDef() {
  static const ui::WindowDef def = [] {
    ui::WindowDef d;
    d.name = "PROGRAM$ENDING";
    d.flags = ui::kHidden;
    return d;
  }();
  return def;
}

void CloseOtherProcedures(ui::Scheduler& s, ui::ThreadId self) {
  for (ui::ThreadId id = 1; id <= ui::kMaxThreads; ++id) {
    if (id != self && s.Alive(id)) s.PostToThread(id, {ui::EVENT_CloseWindow});
  }
}

}  // namespace

ui::Proc Program() {
  co_await Main();
  ui::Scheduler& s = ui::Scheduler::Get();
  const ui::ThreadId self = s.Current();
  // Procedures whose windows are still open pass through their exit steps
  // (window position saved, files released).  Most close at once; one that
  // waits for its user (a message box) gets five seconds.
  CloseOtherProcedures(s, self);
  for (int round = 0; round < 50 && s.thread_count() > 1; ++round) co_await ui::Yield();
  if (s.thread_count() > 1) {
    ui::Window ending(EndingWindowDef());
    ending.Open();
    ending.SetTimer(10);
    int ticks = 0;
    while (ui::Event e = co_await ending.Accept()) {
      if (e.code != ui::EVENT_Timer) continue;
      if (s.thread_count() <= 1 || ++ticks >= 50) break;
      CloseOtherProcedures(s, self);  // a closed lookup uncovers its caller's window
    }
    ending.Close();
  }
  s.Exit(0);
}

}  // namespace mirabo::app
