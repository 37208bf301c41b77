#include "app/data/data_snapshot.h"

#include "app/data/thread_block.h"
#include "runtime/error.h"

namespace mirabo::app {

void DataSnapshot::Take(const std::vector<DataFile>& files) {
  files_ = files;
  watched_.clear();
  for (DataFile f : files) {
    uint64_t version = 0;
    if (CurrentThread().Data(f).DataVersion(&version) == kNoError) watched_.push_back({f, version});
  }
}

namespace {
std::function<void()>& CheckHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void DataSnapshot::SetCheckHookForTests(std::function<void()> hook) {
  CheckHook() = std::move(hook);
}

bool DataSnapshot::Changed() {
  if (CheckHook()) CheckHook()();
  for (const Watched& w : watched_) {
    uint64_t version = 0;
    // A version that cannot be read is a file that changed under the run.
    if (CurrentThread().Data(w.file).DataVersion(&version) != kNoError || version != w.version) {
      return true;
    }
  }
  return false;
}

bool DataSnapshot::Restart() {
  if (restarts_ >= kMaxRestarts) return false;
  ++restarts_;
  Take(files_);
  return true;
}

}  // namespace mirabo::app
