#include "app/data/thread_block.h"

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

}  // namespace mirabo::app
