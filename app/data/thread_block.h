// The per-thread block: what every procedure thread has a copy of, all zero
// when the thread starts.  Procedures reach it through CurrentThread(); the
// window layer decides which block that is by installing a finder.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include "app/data/declarations.h"
#include "runtime/bindings.h"
#include "runtime/file.h"
#include "runtime/value.h"

namespace mirabo::app {

// Request and response codes passed through SharedRequest and SharedResponse.
enum Request : int32_t { ReqInsert = 1, ReqChange = 2, ReqDelete = 3, ReqSelect = 4 };
enum Response : int32_t { RespCompleted = 1, RespCancelled = 2 };

class ThreadBlock {
 public:
  ThreadBlock();
  ~ThreadBlock();
  ThreadBlock(const ThreadBlock&) = delete;
  ThreadBlock& operator=(const ThreadBlock&) = delete;

  LongVar SharedRequest;
  LongVar SharedResponse;
  LongVar SharedNavRequest;

  // This thread's instance of a data file: its record buffer, position and
  // open state.
  File& Data(DataFile file);
  // How many open procedures on this thread use the file.
  int32_t& UseCount(DataFile file) { return use_counts_[static_cast<int>(file)]; }

  // The names this thread's filter expressions see.
  Bindings& bindings() { return bindings_; }

 private:
  std::array<std::unique_ptr<File>, kDataFileCount> files_;
  std::array<int32_t, kDataFileCount> use_counts_{};
  Bindings bindings_;
};

// The block of the thread now running.
ThreadBlock& CurrentThread();

// Installs the function that finds the running thread's block.  Without one,
// a single block serves the whole process.
void SetThreadBlockFinder(std::function<ThreadBlock&()> finder);

// Gives every procedure thread of the installed scheduler a block of its own,
// zeroed, and makes CurrentThread() find it.
void UseSchedulerThreadBlocks();

}  // namespace mirabo::app
