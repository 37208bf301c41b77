// The batch commands: export, publish, report and search without a window.
// Each runs the same procedure the window runs (tools/batch_session.h), on
// the data files of --data DIR (default: the current folder), so its output
// is exactly what the window writes for the same choice.
//
//   mirabo export  [--data DIR] [--force] TABLE FORMAT OUT
//   mirabo publish [--data DIR] [--force] BROWSE [--order ORDER [--value VALUE]] OUT.htm
//   mirabo report  [--data DIR] [--force] REPORT [--value VALUE] (--pdf OUT.pdf | --png OUTDIR |
//   --print [PRINTER]) mirabo search  [--data DIR] [--force] TEXT [--in FIELDS] (--pdf OUT.pdf |
//   --png OUTDIR | --print [PRINTER])
//
// Exit status: 0 done; 1 bad usage (with the usage line); 2 the data or an
// output could not be read or written (with the file and the error text);
// 3 nothing to print (a report or search that found no record).  A command
// never creates data files: a missing folder or data file is status 2; an
// existing output is refused unless --force.
#pragma once

#include <string>
#include <vector>

namespace mirabo::tools {

enum BatchStatus : int {
  kBatchDone = 0,
  kBatchUsage = 1,
  kBatchFailed = 2,
  kBatchNothing = 3,
};

// Runs `command` ("export", "publish", "report", "search") with its
// arguments; -1 when `command` is none of them.
int RunBatchCommand(const std::string& command, const std::vector<std::string>& args);

// The usage lines of the batch commands, for `mirabo --help`.
std::string BatchUsage();

}  // namespace mirabo::tools
