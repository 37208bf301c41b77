// One state of the data for a long run.
//
// A run that reads the data files over many events (Create File's copy,
// Publish of every record, a report, a search) lets other processes at the
// files between its events, as it must: the browser never keeps a writer
// waiting while its user thinks.  A load that commits meanwhile would leave
// the run writing a mix of the old data and the new.  So a run takes a
// snapshot of the files' versions when it starts, asks Changed() at the start
// of each batch and once more before it keeps its output, and goes back to
// its start when another process committed (Restart) — at most kMaxRestarts
// times, after which it fails with kKeptChanging.  Within one batch the
// files' read locks hold, so a batch reads one state.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/data/declarations.h"

namespace mirabo::app {

class DataSnapshot {
 public:
  static constexpr int kMaxRestarts = 3;
  static constexpr char kKeptChanging[] =
      "the data files kept changing while they were read (another program was loading them)";

  // Notes the versions of `files`, this thread's instances, which are open.
  // A file whose driver cannot tell its version is not watched.
  void Take(const std::vector<DataFile>& files);

  // Whether another process committed a change to one of the files since
  // the snapshot was taken.
  bool Changed();

  // Takes the snapshot afresh for a run that starts again; false when it has
  // started again kMaxRestarts times already.
  bool Restart();

  int restarts() const { return restarts_; }

  // Called at the start of every Changed(): where a test plays the other
  // process, committing between two batches.  Empty restores none.
  static void SetCheckHookForTests(std::function<void()> hook);

 private:
  struct Watched {
    DataFile file;
    uint64_t version;
  };
  std::vector<DataFile> files_;
  std::vector<Watched> watched_;
  int restarts_ = 0;
};

}  // namespace mirabo::app
