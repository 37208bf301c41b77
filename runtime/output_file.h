// An output that replaces its target only once it is complete.
//
// Whatever writes an output (a driver, a PDF writer) writes to a temporary
// file beside the target, in the same folder, named ".<target>.<random>" so
// it never shows among the user's files.  Commit makes the temporary file
// durable and renames it over the target: a reader sees the old file or the
// new one, never a part, and a run that fails or is cancelled leaves the old
// file byte for byte (Abandon, or the destructor, removes the temporary file).
//
// Paths are the user's own bytes (UTF-8 on this platform), never
// Windows-1252.  Creating, syncing, renaming and removing go through
// CurrentFileSystem(), so tests can make each step fail.
#pragma once

#include <memory>
#include <string>

#include "runtime/file_system.h"

namespace mirabo {

// What is at a path, without following a symbolic link: a link counts as
// something there, whatever it points at (replacing it replaces the link).
enum class PathKind { kNothing, kFile, kFolder, kLink, kOther };
PathKind InspectPath(const std::string& path);

// Whether two paths name the same file (the same device and inode), however
// they are spelt; false when either is missing.
bool SameFile(const std::string& a, const std::string& b);

// The system's text for an IoStatus, "No space left on device" for a full
// disk: the words a message about a file gives after its name.
std::string IoStatusText(const IoStatus& s);

class OutputFile {
 public:
  // Creates an empty temporary file beside `target`.  Fails (the folder is
  // missing, not writable, full) with the status of the creation; nothing
  // is left behind.
  static IoStatus Begin(const std::string& target, std::unique_ptr<OutputFile>* out);

  ~OutputFile();  // abandons an output not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Where the writer writes: the temporary file.
  const std::string& path() const { return path_; }
  // Opens the temporary file for writing, through CurrentFileSystem(), for
  // a writer that writes it itself; the caller closes it before Commit.
  IoStatus OpenForWriting(std::unique_ptr<FileHandle>* file) const;
  const std::string& target() const { return target_; }

  // Flushes the temporary file to disk and renames it over the target, then
  // flushes the folder.  On failure the temporary file is removed and the
  // target is as it was.  A file that replaces another takes on its
  // permissions.
  IoStatus Commit();

  // Removes the temporary file; the target is untouched.  Safe to call more
  // than once.
  void Abandon();

 private:
  OutputFile(std::string target, std::string path)
      : target_(std::move(target)), path_(std::move(path)) {}

  std::string target_;
  std::string path_;
  bool done_ = false;
};

}  // namespace mirabo
