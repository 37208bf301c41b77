#include "tools/data_location.h"

#include <memory>

#include "app/data/declarations.h"
#include "app/data/profile.h"
#include "app/data/window_position.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_driver.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "storage/postgres/pg_driver.h"

namespace mirabo::tools {
namespace {

constexpr char kDriverName[] = "KARVINEX";

// The driver that was registered before the server took its name.
std::shared_ptr<const FileDriver>& Previous() {
  static auto* previous = new std::shared_ptr<const FileDriver>;
  return *previous;
}

}  // namespace

bool IsServerLocation(std::string_view data) { return postgres::IsConnectionUri(data); }

std::string ShownLocation(const std::string& data) {
  return IsServerLocation(data) ? postgres::DisplayUri(data) : Printable(data, 200);
}

std::string UseServer(const std::string& uri) {
  const std::string why = postgres::CheckConnectionUri(uri);
  if (!why.empty()) return ShownLocation(uri) + ": " + why;
  // Registered once for good, so that a later first registration of the
  // native driver cannot take its name back.
  native::RegisterNativeDriver();
  if (!Previous()) Previous() = RegisteredDriver(kDriverName);
  RegisterDriver(postgres::ServerDriver(kDriverName, uri));
  return {};
}

void StopUsingServer() {
  if (!Previous()) return;
  RegisterDriver(Previous());
  Previous().reset();
}

DataLocationScope::DataLocationScope(const std::string& data) {
  native::RegisterNativeDriver();
  saved_ = RegisteredDriver(kDriverName);
  if (!IsServerLocation(data)) {
    RegisterDriver(native::NativeDriver());
    return;
  }
  const std::string why = postgres::CheckConnectionUri(data);
  if (!why.empty()) {
    error_ = ShownLocation(data) + ": " + why;
    return;
  }
  RegisterDriver(postgres::ServerDriver(kDriverName, data));
}

DataLocationScope::~DataLocationScope() {
  if (saved_) RegisterDriver(saved_);
}

std::string CheckServerTables() {
  for (app::DataFile t : app::kAllDataFiles) {
    File f(app::DataFileDecl(t));
    const int rc = f.Open(kOpenShared);
    if (rc == kNoError) continue;
    const std::string name = f.Name();  // "mirabo.features on postgresql://..."
    const size_t on = name.find(" on ");
    const std::string table = name.substr(0, on);
    const std::string server = on == std::string::npos ? "" : name.substr(on + 4);
    if (rc == kFileNotFound) {
      return server + ": no table " + table + "; load the data first (mirabo load --data " +
             server + " ...)";
    }
    if (rc == kFileSystemError) return CurrentError().fs_text;
    return server + ": " + table + ": " + ErrorText(rc) + " (" + std::to_string(rc) + ")";
  }
  return {};
}

std::string ProfileDataLocation() {
  return app::GetProfileString("Data", "Location", app::kPositionProfile);
}

}  // namespace mirabo::tools
