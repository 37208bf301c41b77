// The one way procedures open a data file, and the use counting through which
// the procedures of one thread share their instance of each data file.
//
// GCC 12 mishandles non-trivial temporaries inside a co_await expression, so
// callers build the file list as a named object first:
//
//   const std::vector<DataFile> files = {DataFile::kSupplier};
//   co_await OpenDataFiles(files);
//   ...
//   CloseDataFiles(files);
#pragma once

#include <vector>

#include "app/data/declarations.h"
#include "runtime/file.h"
#include "ui/task.h"

namespace mirabo::app {

// How OpenCheckedFile treats what it meets.  The window waits ten seconds for
// a lock and offers to rebuild damaged keys; a batch command waits as its
// --wait says and never changes a data file: damaged keys are reported, not
// rebuilt.
struct OpenCheckSettings {
  int lock_wait_seconds = 10;
  bool may_repair = true;
};
// Installs `settings` for every open from now on; returns the ones replaced.
OpenCheckSettings SetOpenCheckSettings(OpenCheckSettings settings);

// Opens `file` read-only, shared with others (0x40), creating it when it is
// missing, retrying with the driver's recovery (between events, telling the
// lock-wait observer whose lock it waits for) when another process holds it
// locked, and offering a key rebuild when its keys are damaged.
// Returns only with the file open; every failure it cannot repair shows its
// standard message and halts the program.  `file` must outlive the task.
ui::Proc OpenCheckedFile(File& file);

// For each file in turn: when this thread's use count is 0, opens the
// thread's instance through OpenCheckedFile; then counts one more user.
ui::Proc OpenDataFiles(std::vector<DataFile> files);

// For each file: counts one user less and closes the thread's instance when
// none is left.
void CloseDataFiles(const std::vector<DataFile>& files);

}  // namespace mirabo::app
