// Which folder's data files the windows use, and the folders used before.
//
// The data folder is the process's current folder: every window opened from
// now on opens its data files there (windows already open keep theirs until
// they close).  The last kRecentDataFolders folders used are kept in the
// profile (KOLVAN.INI, section "DataFolders", "Folder1" the latest), for the
// frame's File, Recent Data Folders.  Folder names are the user's own bytes.
#pragma once

#include <string>
#include <vector>

#include "ui/task.h"

namespace mirabo::app {

inline constexpr int kRecentDataFolders = 8;

// The folders used before, latest first, at most kRecentDataFolders.
std::vector<std::string> RecentDataFolders();

// Puts `folder` first in the recent folders (taking it out of its old place).
void RememberDataFolder(const std::string& folder);

// Makes `folder` the data folder and remembers it; false, with the system's
// reason, when it cannot be entered (nothing changes then).
bool UseDataFolder(const std::string& folder, std::string* why);

// File, Open Data Folder...: a folder dialog, then the folder is used (a
// message says why one cannot be).  A folder without data files is asked
// about first: its windows would make them empty.
ui::Proc OpenDataFolder();

}  // namespace mirabo::app
