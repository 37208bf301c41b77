// File, Load Data...: the loader, run from the window.
//
// The user picks CSV files or xBase tables named after their tables (several
// at once) and says whether they replace the tables or add to them.  The load
// runs as a program of its own, the loader of the command line
// (`PROGRAM load --progress --data FOLDER [--replace] FILE...`), so the
// windows answer while it works and whatever happens to it, every data file
// is as it was or wholly loaded.  A progress window shows how far it has read
// and Cancel ends it (the loader rolls back).  A message ends it: the rows
// loaded, or the loader's own account of what it refused (file, line, field).
//
// Windows already open read the new data as they next read.
#pragma once

#include <string>

#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

// The program run as the loader; the running program sets itself.  Empty:
// File, Load Data says it is not available.
void SetLoaderProgram(std::string path);

enum LoadDataControl : int {
  kLoadProgress = 1,
  kLoadStatus = 2,
  kLoadPercent = 3,
  kLoadCancel = 4,
};
const ui::WindowDef& LoadDataWindowDef();

ui::Proc LoadData();

// Registers LoadData by name, for the frame's File, Load Data.
void RegisterLoadData();

}  // namespace mirabo::app
