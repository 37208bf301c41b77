// Where the program finds what it ships beside itself (the sample data), and
// where it keeps a desktop user's data files.
#pragma once

#include <string>
#include <vector>

namespace mirabo::tools {

// The program's version, from the build (CMake's project version).
const char* Version();

// The folder of shared data (it holds "sample/FEATURES.csv" ...): looked for
// beside the running binary first (<prefix>/bin/../share/mirabo, or the build
// tree's share/mirabo), then in the prefix the program was built for.  Empty
// when there is none.
std::string SharedDataFolder();

// The data folder of a user who starts the program from the desktop menu:
// $XDG_DATA_HOME/mirabo, else ~/.local/share/mirabo.  Not created here.
std::string UserDataFolder();

// The sample data's CSV files in `shared` (SharedDataFolder()), or none.
std::vector<std::string> SampleFiles(const std::string& shared);

// Whether a desktop user's data `folder` should be offered the sample data:
// it holds no data files and was never offered them.  Asking counts as the
// offer: a marker file in the folder makes the next call answer false.
bool OfferSampleOnce(const std::string& folder);

}  // namespace mirabo::tools
