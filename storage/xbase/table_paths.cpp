#include "storage/xbase/table_paths.h"

#include <memory>

#include "runtime/error.h"
#include "runtime/file_system.h"

namespace mirabo::xbase {

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(":\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string WithoutFolder(const std::string& path) { return path.substr(FolderOf(path).size()); }

std::string WithExtension(const std::string& path, const char* ext) {
  const size_t name = FolderOf(path).size();
  const size_t dot = path.rfind('.');
  return (dot == std::string::npos || dot < name ? path : path.substr(0, dot)) + ext;
}

bool FileExists(const std::string& path) {
  std::unique_ptr<FileHandle> probe;
  const IoStatus s = CurrentFileSystem().Open(path, OpenOptions{}, &probe);
  if (probe) (void)probe->Close();
  return s.code() != kFileNotFound && s.code() != kPathNotFound;
}

}  // namespace mirabo::xbase
