#include "tools/shared_data.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTables[] = {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"};

bool HasSample(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "sample" / "FEATURES.csv", ec);
}

}  // namespace

const char* Version() { return MIRABO_VERSION; }

std::string SharedDataFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path bin = exe.parent_path();
    for (const fs::path& dir : {bin.parent_path() / "share" / "mirabo", bin / "share" / "mirabo"}) {
      if (HasSample(dir)) return dir.lexically_normal().string();
    }
  }
  const fs::path built_for = MIRABO_DATADIR;
  return HasSample(built_for) ? built_for.string() : std::string();
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return (fs::path(xdg) / "mirabo").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "mirabo").string();
}

std::vector<std::string> SampleFiles(const std::string& shared) {
  std::vector<std::string> files;
  if (shared.empty()) return files;
  for (const char* table : kTables) {
    files.push_back((fs::path(shared) / "sample" / (std::string(table) + ".csv")).string());
  }
  return files;
}

bool OfferSampleOnce(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".KVX") return false;
  }
  const fs::path marker = fs::path(folder) / ".sample-offered";
  if (ec || fs::exists(marker, ec)) return false;
  std::FILE* f = std::fopen(marker.c_str(), "w");
  if (!f) return false;  // an answer that cannot be remembered is not asked for
  std::fclose(f);
  return true;
}

}  // namespace mirabo::tools
