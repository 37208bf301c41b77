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

RepairResult MendDataFiles(const std::string& data_dir, Mend mend) {
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
    // Building an index writes the file; rebuilding keys uses a connection
    // of its own.
    int rc = file.Open(mend == Mend::kTextIndexes ? kReadWrite | kDenyNone : kOpenShared);
    if (rc == kKeyFileMustBeRebuilt && mend == Mend::kKeys) {
      rc = file.BuildKeys();
      if (rc == kNoError) {
        result.rebuilt.push_back(name);
        rc = file.Open(kOpenShared);
      }
    }
    std::string present;
    if (rc == kNoError && mend == Mend::kTextIndexes &&
        (rc = file.Option("TEXTINDEX", &present)) == kNoError && present == "OFF") {
      rc = file.Option("TEXTINDEX=ON", &present);
      if (rc == kNoError) result.rebuilt.push_back(name);
    }
    if (rc != kNoError) {
      const ErrorState& e = CurrentError();
      result.error =
          Printable(name, 200) + ": " +
          (rc == kFileIsAlreadyLocked ? LockSentence(name, 0) + "; close it or end its transaction"
           : rc == kKeyFileMustBeRebuilt ? "its keys are damaged; run mirabo repair first"
           : e.code == kFileSystemError  ? e.fs_text
                                         : ErrorText(rc));
      break;
    }
    (void)file.Close();
  }
  result.ok = result.error.empty();
  fs::current_path(previous, ec);
  return result;
}

}  // namespace mirabo::tools
