// Mending data files that another tool damaged: keys (SQLite indexes) that
// were dropped or no longer match their table are rebuilt from the records.
// The records themselves are never changed; a file that is not a data file,
// or whose records cannot be read, is left to `mirabo load --replace`.
#pragma once

#include <string>
#include <vector>

namespace mirabo::tools {

struct RepairResult {
  bool ok = false;
  std::string error;                 // when not ok: which file and why
  std::vector<std::string> rebuilt;  // the files whose keys were rebuilt
};

// Checks the five data files in `data_dir` and rebuilds the keys of those
// that need it.  Stops at the first file it cannot open or mend.
RepairResult RepairKeys(const std::string& data_dir);

}  // namespace mirabo::tools
