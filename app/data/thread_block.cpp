#include "app/data/thread_block.h"

#include "ui/scheduler.h"

namespace mirabo::app {

ThreadBlock::ThreadBlock() = default;
ThreadBlock::~ThreadBlock() = default;

File& ThreadBlock::Data(DataFile file) {
  auto& slot = files_[static_cast<int>(file)];
  if (!slot) slot = std::make_unique<File>(DataFileDecl(file));
  return *slot;
}

namespace {
std::function<ThreadBlock&()>& Finder() {
  static std::function<ThreadBlock&()> finder;
  return finder;
}
}  // namespace

ThreadBlock& CurrentThread() {
  if (Finder()) return Finder()();
  static ThreadBlock process_block;
  return process_block;
}

void SetThreadBlockFinder(std::function<ThreadBlock&()> finder) { Finder() = std::move(finder); }

void UseSchedulerThreadBlocks() {
  ui::Scheduler::Get().SetThreadDataFactory(
      [] { return std::static_pointer_cast<void>(std::make_shared<ThreadBlock>()); });
  SetThreadBlockFinder([]() -> ThreadBlock& {
    static ThreadBlock outside;  // code running outside any procedure thread
    if (!ui::Scheduler::Installed()) return outside;
    void* data = ui::Scheduler::Get().CurrentThreadData();
    return data ? *static_cast<ThreadBlock*>(data) : outside;
  });
}

}  // namespace mirabo::app
