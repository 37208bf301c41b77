#include "runtime/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "runtime/error.h"
#include "runtime/run_folder.h"

namespace mirabo {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes a rename in `folder` durable.  Best effort: a file system that
// cannot sync a folder has already made the rename as durable as it can.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

}  // namespace

PathKind InspectPath(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return PathKind::kNothing;
  if (S_ISLNK(st.st_mode)) return PathKind::kLink;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return PathKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string IoStatusText(const IoStatus& s) {
  if (s.os_error() != 0) return std::strerror(s.os_error());
  return ErrorText(s.code());
}

IoStatus OutputFile::OpenForWriting(std::unique_ptr<FileHandle>* file) const {
  OpenOptions o;
  o.write = true;
  o.truncate = true;
  return CurrentFileSystem().Open(path_, o, file);
}

IoStatus OutputFile::Begin(const std::string& target, std::unique_ptr<OutputFile>* out) {
  out->reset();
  const std::string folder = FolderOf(target);
  const std::string stem = (folder == "/" ? "" : folder) + "/." + NameOf(target) + ".";
  std::random_device seed;
  std::mt19937_64 pick(seed());
  FileSystem& fs = CurrentFileSystem();
  IoStatus last;
  // A name that is taken is tried again with another; any other failure is
  // the folder's and is final.
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(pick()));
    const std::string path = stem + suffix + ".tmp";
    OpenOptions o;
    o.write = true;
    o.create = true;
    o.exclusive = true;
    std::unique_ptr<FileHandle> file;
    last = fs.Open(path, o, &file);
    if (last.ok()) {
      const IoStatus closed = file->Close();
      if (!closed.ok()) {
        (void)fs.Remove(path);
        return closed;
      }
      out->reset(new OutputFile(target, path));
      NoteTemporaryFile(path);
      return IoStatus::Ok();
    }
    if (last.os_error() != EEXIST) return last;
  }
  return last;
}

OutputFile::~OutputFile() { Abandon(); }

IoStatus OutputFile::Commit() {
  if (done_) return IoStatus::Code(kFileNotOpen);
  FileSystem& fs = CurrentFileSystem();
  std::unique_ptr<FileHandle> file;
  OpenOptions o;
  o.write = true;
  IoStatus s = fs.Open(path_, o, &file);
  if (s.ok()) s = file->Sync();
  if (file) {
    const IoStatus closed = file->Close();
    if (s.ok()) s = closed;
  }
  if (s.ok()) {
    struct stat old {};
    if (stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      (void)chmod(path_.c_str(), old.st_mode & 07777);
    }
    s = fs.Rename(path_, target_);
  }
  if (!s.ok()) {
    Abandon();
    return s;
  }
  done_ = true;
  ForgetTemporaryFile(path_);
  SyncFolder(FolderOf(target_));
  return IoStatus::Ok();
}

void OutputFile::Abandon() {
  if (done_) return;
  done_ = true;
  (void)CurrentFileSystem().Remove(path_);
  ForgetTemporaryFile(path_);
}

}  // namespace mirabo
