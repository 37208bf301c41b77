#include "app/data/open_checked_file.h"

#include <string>

#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "ui/dialogs.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

// Message numbers of the file-open check.
constexpr int kMsgInvalidFile = 1;
constexpr int kMsgInvalidKey = 2;
constexpr int kMsgKeyRebuildError = 3;
constexpr int kMsgCreateFailed = 4;
constexpr int kMsgCreatedNotOpened = 5;
constexpr int kMsgAccessError = 30;

// How long a file locked by another process is waited for, and how often the
// open is tried again meanwhile.
constexpr int kRecoverSeconds = 10;
constexpr int64_t kRecoverStepMs = 100;

}  // namespace

ui::Proc OpenCheckedFile(File& file) {
  // Name() leaves the error state alone, so it may be taken at any point; the
  // messages show the driver's full name of the file.
  const std::string name = file.Name();

  int rc = file.Open(kOpenShared);
  if (rc == kFileIsAlreadyLocked) {
    // The lock may be one that a crashed station left behind, which the
    // driver clears on the next open, or a live one that may go soon.  The
    // driver does not wait: the wait is taken here, in short steps on the
    // scheduler's clock, so every window repaints and answers meanwhile.
    (void)file.Option("Recover=" + std::to_string(kRecoverSeconds));
    const int64_t until = ui::Scheduler::Get().clock().NowMs() + kRecoverSeconds * 1000;
    while ((rc = file.Open(kOpenShared)) == kFileIsAlreadyLocked &&
           ui::Scheduler::Get().clock().NowMs() < until) {
      co_await ui::Sleep(kRecoverStepMs);
    }
  }

  switch (rc) {
    case kNoError:
    case kFileAlreadyOpen:
      co_return;
    case kFileNotFound:
      if (file.Create() != kNoError) co_await StandardMessage(kMsgCreateFailed, name);
      if (file.Open(kOpenShared) != kNoError) co_await StandardMessage(kMsgCreatedNotOpened, name);
      co_return;
    case kInvalidRecordDeclaration:
      co_await StandardMessage(kMsgInvalidFile, name);
      co_return;
    case kKeyFileMustBeRebuilt:
      // Answered No, the message halts by itself.
      co_await StandardMessage(kMsgInvalidKey, name);
      if (file.BuildKeys() != kNoError) co_await StandardMessage(kMsgKeyRebuildError, name);
      rc = file.Open(kOpenShared);
      break;
    default:
      break;
  }

  if (rc != kNoError) {
    co_await StandardMessage(kMsgAccessError, name);
    const std::string halt = "Disk Error";
    co_await ui::Halt(halt);
  }
}

ui::Proc OpenDataFiles(std::vector<DataFile> files) {
  for (const DataFile f : files) {
    if (CurrentThread().UseCount(f) == 0) {
      File& file = CurrentThread().Data(f);
      co_await OpenCheckedFile(file);
    }
    ++CurrentThread().UseCount(f);
  }
}

void CloseDataFiles(const std::vector<DataFile>& files) {
  for (const DataFile f : files) {
    int32_t& count = CurrentThread().UseCount(f);
    // A release without a matching open leaves the count at 0 rather than
    // below it, where the next user would never open the file.
    if (count <= 0) continue;
    if (--count == 0) (void)CurrentThread().Data(f).Close();  // read-only: nothing to lose
  }
}

}  // namespace mirabo::app
