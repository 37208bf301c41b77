#include "app/data/open_checked_file.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/lock_wait.h"
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

// How often the open of a file locked by another process is tried again.
constexpr int64_t kRecoverStepMs = 100;

OpenCheckSettings g_settings;

// Who holds `file` locked, as its driver can tell; 0 when it cannot.  The
// error state (the lock that was met) is left as it was, for the message.
int LockHolderOf(File& file) {
  const ErrorState locked = CurrentError();
  std::string answer;
  const int rc = file.Option("LOCKHOLDER", &answer);
  RestoreError(locked);
  return rc == kNoError ? std::atoi(answer.c_str()) : 0;
}

}  // namespace

OpenCheckSettings SetOpenCheckSettings(OpenCheckSettings settings) {
  return std::exchange(g_settings, settings);
}

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
    const int seconds = g_settings.lock_wait_seconds;
    // Rolling back what a writer left half-done changes the file: only a
    // run that may mend the data files does it.
    if (g_settings.may_repair) (void)file.Option("Recover=" + std::to_string(seconds));
    const int64_t started = ui::Scheduler::Get().clock().NowMs();
    for (bool first = true; (rc = file.Open(kOpenShared)) == kFileIsAlreadyLocked; first = false) {
      const int64_t waited = ui::Scheduler::Get().clock().NowMs() - started;
      // The observer hears of the last step too, when the wait gives up.
      if (!ObserveLockWait({name, LockHolderOf(file), waited, first, kRecoverStepMs}) ||
          waited >= int64_t{seconds} * 1000) {
        break;
      }
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
      if (!g_settings.may_repair) {
        // A run that may not change the data files says how to mend them.
        ui::MessageRequest m{
            "The keys of a data file are damaged; this run does not rebuild "
            "them.  Rebuild them with \"mirabo repair\", or load the data "
            "again with \"mirabo load --replace\".",
            "Data File Error", ui::Icon::kExclamation};
        m.detail = name;
        co_await ui::Message(m);
        const std::string halt = "Disk Error";
        co_await ui::Halt(halt);
      }
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
