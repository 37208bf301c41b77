// The program's life: the start-up steps, the frame on the first thread, and
// the end when the frame returns.
#pragma once

#include "ui/scheduler.h"
#include "ui/task.h"

namespace mirabo::app {

// Makes every procedure known by name, and the drivers of the data files and
// of the files the program writes known to the runtime.  Safe to call more
// than once.
void RegisterAll();

// The main module's start-up step: globals to their initial values.  Call
// with the scheduler installed, before Program() runs.
void StartUp(ui::Scheduler& scheduler);

// Runs Main; when it returns, asks every procedure still open to close (so
// each saves its window position and releases its files), then ends the
// program with exit code 0.  Start it as the first thread.
ui::Proc Program();

}  // namespace mirabo::app
