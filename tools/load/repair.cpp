#include "tools/load/repair.h"

#include <filesystem>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/lock_wait.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"

namespace mirabo::tools {

RepairResult RepairKeys(const std::string& data_dir) {
  namespace fs = std::filesystem;
  native::RegisterNativeDriver();
  RepairResult result;
  std::error_code ec;
  const fs::path previous = fs::current_path(ec);
  fs::current_path(data_dir, ec);
  if (ec) {
    result.error = Printable(data_dir, 200) + ": " + ec.message();
    return result;
  }
  for (app::DataFile f : app::kAllDataFiles) {
    File file(app::DataFileDecl(f));
    const std::string name = file.Name();
    if (!fs::is_regular_file(name, ec)) {
      result.error = Printable(name, 200) + ": no such data file";
      break;
    }
    int rc = file.Open(kOpenShared);
    if (rc == kKeyFileMustBeRebuilt) {
      rc = file.BuildKeys();
      if (rc == kNoError) {
        result.rebuilt.push_back(name);
        rc = file.Open(kOpenShared);
      }
    }
    if (rc != kNoError) {
      const ErrorState& e = CurrentError();
      result.error =
          Printable(name, 200) + ": " +
          (rc == kFileIsAlreadyLocked ? LockSentence(name, 0) + "; close it or end its transaction"
                                      : (e.code == kFileSystemError ? e.fs_text : ErrorText(rc)));
      break;
    }
    (void)file.Close();
  }
  result.ok = result.error.empty();
  fs::current_path(previous, ec);
  return result;
}

}  // namespace mirabo::tools
