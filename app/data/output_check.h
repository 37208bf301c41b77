// What is at the name an output will write, checked before anything is
// written: nothing, a file the user must agree to replace (a symbolic link
// counts as one, dangling or not), or something no output may replace.
#pragma once

#include <string>

namespace mirabo::app {

enum class OutputTarget {
  kNew,       // nothing there
  kExisting,  // a file or a link: replaced only when the user says so
  kFolder,    // never replaced
  kDataFile,  // one of the data files in use (by device and inode): never
};
OutputTarget InspectOutput(const std::string& path);

// Why an output may not go to a target of that kind ("is a folder"); empty
// for kNew and kExisting.
std::string RefusalText(OutputTarget target);

}  // namespace mirabo::app
