// The file system that tests run drivers over instead of the disk.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/file_system.h"

namespace mirabo {

// Files held in memory, with the sharing, locks and failure codes that
// runtime/file_system.h states for every file system; a test sets up and
// reads the bytes directly.  A path is a file name, or folders and a name
// joined by '/'; a file can only be created in a folder that was added (the top
// level always exists).  Handles must not outlive the file system.
class MemoryFileSystem : public FileSystem {
 public:
  IoStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<FileHandle>* file) override;
  IoStatus Remove(const std::string& path) override;
  IoStatus Rename(const std::string& from, const std::string& to) override;

  // Adds the folder and the folders it lies in.
  void AddFolder(const std::string& path);
  // Creates or replaces a file with `bytes`.
  void SetContents(const std::string& path, std::string bytes);
  // The file's bytes; false when there is no such file.
  bool GetContents(const std::string& path, std::string* bytes) const;
  // Handles open on `path` and not yet closed.
  int OpenCount(const std::string& path) const;

 private:
  struct Node;
  class Handle;
  bool FolderExists(const std::string& path) const;

  std::map<std::string, std::shared_ptr<Node>> files_;
  std::vector<std::string> folders_;
};

}  // namespace mirabo
