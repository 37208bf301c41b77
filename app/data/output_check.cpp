#include "app/data/output_check.h"

#include "app/data/declarations.h"
#include "runtime/file.h"
#include "runtime/output_file.h"

namespace mirabo::app {

OutputTarget InspectOutput(const std::string& path) {
  switch (InspectPath(path)) {
    case PathKind::kNothing:
      return OutputTarget::kNew;
    case PathKind::kFolder:
      return OutputTarget::kFolder;
    default:
      break;
  }
  // Compared by the file itself: another spelling of a data file's name, or
  // a link to it, is still the data file.
  for (DataFile f : kAllDataFiles) {
    File data(DataFileDecl(f));
    if (SameFile(path, data.Name())) return OutputTarget::kDataFile;
  }
  return OutputTarget::kExisting;
}

std::string RefusalText(OutputTarget target) {
  switch (target) {
    case OutputTarget::kFolder:
      return "is a folder";
    case OutputTarget::kDataFile:
      return "is one of the data files in use";
    default:
      return {};
  }
}

}  // namespace mirabo::app
