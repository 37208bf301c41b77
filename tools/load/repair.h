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

// What mending gives a data file: its keys rebuilt when they are damaged,
// or its substring indexes (what the search asks) built when it has none,
// as in a file made before them or by another program.
enum class Mend { kKeys, kTextIndexes };

// Checks the five data files in `data_dir` and mends those that need it
// (`rebuilt` names them).  Stops at the first file it cannot open or mend.
RepairResult MendDataFiles(const std::string& data_dir, Mend mend);

}  // namespace mirabo::tools
