#include "app/shell/data_folders.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "app/data/declarations.h"
#include "app/data/profile.h"
#include "app/data/window_position.h"
#include "runtime/current_folder.h"
#include "runtime/file.h"
#include "ui/dialogs.h"

namespace mirabo::app {
namespace {

constexpr char kSection[] = "DataFolders";

std::string KeyOf(int i) { return "Folder" + std::to_string(i + 1); }

// Whether `folder` holds at least one of the data files.
bool HoldsDataFiles(const std::string& folder) {
  std::error_code ec;
  for (DataFile f : kAllDataFiles) {
    if (std::filesystem::exists(std::filesystem::path(folder) / (DataFileDecl(f).label + ".KVX"),
                                ec)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> RecentDataFolders() {
  std::vector<std::string> folders;
  for (int i = 0; i < kRecentDataFolders; ++i) {
    std::string folder = GetProfileString(kSection, KeyOf(i), kPositionProfile);
    if (!folder.empty()) folders.push_back(std::move(folder));
  }
  return folders;
}

void RememberDataFolder(const std::string& folder) {
  std::vector<std::string> folders = RecentDataFolders();
  folders.erase(std::remove(folders.begin(), folders.end(), folder), folders.end());
  folders.insert(folders.begin(), folder);
  folders.resize(std::min<size_t>(folders.size(), kRecentDataFolders));
  for (int i = 0; i < kRecentDataFolders; ++i) {
    const std::string value = i < static_cast<int>(folders.size()) ? folders[i] : std::string();
    (void)WriteProfileString(kSection, KeyOf(i), value, kPositionProfile);
  }
}

bool UseDataFolder(const std::string& folder, std::string* why) {
  if (::chdir(folder.c_str()) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  RememberDataFolder(CurrentFolder().value_or(folder));
  return true;
}

ui::Proc OpenDataFolder() {
  ui::FileDialogRequest request;
  request.title = "Open Data Folder";
  request.file = CurrentFolder().value_or("");
  request.folder = true;
  request.save = false;
  const std::optional<std::string> chosen = co_await ui::FileDialog(request);
  if (!chosen || chosen->empty()) co_return;
  if (!HoldsDataFiles(*chosen)) {
    ui::MessageRequest ask{
        "This folder holds no data files.  Use it anyway?  The windows opened "
        "from now on make them empty; File, Load Data fills them.",
        "Open Data Folder", ui::Icon::kQuestion, ui::kButtonYes | ui::kButtonNo, ui::kButtonNo};
    ask.detail = *chosen;
    if (co_await ui::Message(ask) != ui::kButtonYes) co_return;
  }
  std::string why;
  if (!UseDataFolder(*chosen, &why)) {
    ui::MessageRequest failed{"The folder cannot be used.", "Open Data Folder",
                              ui::Icon::kExclamation};
    failed.detail = *chosen + ": " + why;
    co_await ui::Message(failed);
  }
}

}  // namespace mirabo::app
