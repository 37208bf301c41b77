#include "runtime/lock_wait.h"

#include <fstream>
#include <utility>

namespace mirabo {
namespace {

LockWaitObserver& Observer() {
  static auto* observer = new LockWaitObserver;
  return *observer;
}

}  // namespace

LockWaitObserver SetLockWaitObserver(LockWaitObserver observer) {
  return std::exchange(Observer(), std::move(observer));
}

bool ObserveLockWait(const LockWait& wait) {
  const LockWaitObserver& observer = Observer();
  return observer ? observer(wait) : true;
}

std::string ProcessName(int pid) {
  if (pid <= 0) return {};
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

std::string LockSentence(const std::string& file, int holder) {
  std::string who = "another program";
  if (holder > 0) {
    const std::string name = ProcessName(holder);
    who = (name.empty() ? "process " : name + " (process ") + std::to_string(holder) +
          (name.empty() ? "" : ")");
  }
  const size_t slash = file.rfind('/');
  return (slash == std::string::npos ? file : file.substr(slash + 1)) + " is locked by " + who;
}

}  // namespace mirabo
