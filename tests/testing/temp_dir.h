// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes away; optionally made the current directory.
#pragma once

#include <string>
#include <vector>

namespace mirabo::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes `dir` the current directory for the object's life.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();

 private:
  std::string previous_;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The names in `dir` (hidden ones too), sorted: what a run left behind.
std::vector<std::string> FilesIn(const std::string& dir);

}  // namespace mirabo::testing
