#include "runtime/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/access.h"
#include "runtime/error.h"

namespace mirabo {

IoStatus IoStatus::FromErrno(int err) { return IoStatus(ErrorFromErrno(err), err); }

IoStatus IoStatus::NotOpen() { return Code(kFileNotOpen, EBADF); }
IoStatus IoStatus::WrongAccess() { return Code(kAccessDenied, EBADF); }
IoStatus IoStatus::SharingViolation() { return Code(kAccessDenied, EAGAIN); }

int IoStatus::Report() const {
  if (code_ == kFileSystemError) {
    return SetFileSystemError(os_error_, std::strerror(os_error_), os_error_);
  }
  return SetError(code_, os_error_);
}

OpenOptions OpenOptionsForAccess(uint8_t access_mode) {
  OpenOptions o;
  o.read = AccessBits(access_mode) != kWriteOnly;
  o.write = AccessBits(access_mode) != kReadOnly;
  switch (SharingBits(access_mode)) {
    case kDenyAll:
      o.deny_read = o.deny_write = true;
      break;
    case kDenyWrite:
      o.deny_write = true;
      break;
    case kDenyRead:
      o.deny_read = true;
      break;
    default:
      break;
  }
  return o;
}

IoStatus FileHandle::Append(std::string_view data, size_t* written) {
  int64_t size = 0;
  if (IoStatus s = Size(&size); !s.ok()) {
    if (written) *written = 0;
    return s;
  }
  return WriteAt(size, data, written);
}

namespace {

// ---------------------------------------------------------------------------
// POSIX.  Each open advertises its access and its denials as read locks on
// four bytes far past any data, one byte each; an open conflicts when another
// open description holds a lock on a byte that stands for what it wants or
// denies.  The locks are set before they are tested, so of two racing opens at
// least one sees the other.

constexpr off_t kShareBase = 0x7FFFFFFF00000000;
enum ShareByte { kHasRead, kHasWrite, kDeniesRead, kDeniesWrite };

bool HeldByOthers(int fd, ShareByte byte) {
  struct flock l {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  l.l_start = kShareBase + byte;
  l.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &l) != 0) return false;
  return l.l_type != F_UNLCK;
}

bool Advertise(int fd, ShareByte byte) {
  struct flock l {};
  l.l_type = F_RDLCK;
  l.l_whence = SEEK_SET;
  l.l_start = kShareBase + byte;
  l.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// `can_lock`: the descriptor was opened for reading, which read locks need.
bool ClaimSharing(int fd, const OpenOptions& o, bool can_lock) {
  if (can_lock) {
    if ((o.read && !Advertise(fd, kHasRead)) || (o.write && !Advertise(fd, kHasWrite)) ||
        (o.deny_read && !Advertise(fd, kDeniesRead)) ||
        (o.deny_write && !Advertise(fd, kDeniesWrite))) {
      return false;
    }
  }
  return !(
      (o.read && HeldByOthers(fd, kDeniesRead)) || (o.write && HeldByOthers(fd, kDeniesWrite)) ||
      (o.deny_read && HeldByOthers(fd, kHasRead)) || (o.deny_write && HeldByOthers(fd, kHasWrite)));
}

bool FolderOfExists(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return true;
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class PosixHandle final : public FileHandle {
 public:
  PosixHandle(int fd, const OpenOptions& o) : fd_(fd), options_(o) {}
  ~PosixHandle() override {
    if (fd_ >= 0) ::close(fd_);
  }

  IoStatus Size(int64_t* size) override {
    if (fd_ < 0) return IoStatus::NotOpen();
    struct stat st {};
    if (fstat(fd_, &st) != 0) return IoStatus::FromErrno(errno);
    *size = st.st_size;
    return IoStatus::Ok();
  }

  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    out->clear();
    if (fd_ < 0) return IoStatus::NotOpen();
    if (!options_.read) return IoStatus::WrongAccess();
    out->resize(n);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = pread(fd_, out->data() + done, n - done, offset + done);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        const int err = errno;
        out->resize(done);
        return IoStatus::FromErrno(err);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    out->resize(done);
    return IoStatus::Ok();
  }

  IoStatus WriteAt(int64_t offset, std::string_view data, size_t* written) override {
    size_t done = 0;
    IoStatus status;
    if (fd_ < 0) {
      status = IoStatus::NotOpen();
    } else if (!options_.write) {
      status = IoStatus::WrongAccess();
    } else {
      while (done < data.size()) {
        const ssize_t w = pwrite(fd_, data.data() + done, data.size() - done, offset + done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          // A write that takes nothing without an error is a full disk too.
          status = IoStatus::FromErrno(w < 0 ? errno : ENOSPC);
          break;
        }
        done += static_cast<size_t>(w);
      }
    }
    if (written) *written = done;
    return status;
  }

  IoStatus Truncate(int64_t size) override {
    if (fd_ < 0) return IoStatus::NotOpen();
    if (!options_.write) return IoStatus::WrongAccess();
    return ftruncate(fd_, size) == 0 ? IoStatus::Ok() : IoStatus::FromErrno(errno);
  }

  IoStatus Sync() override {
    if (fd_ < 0) return IoStatus::NotOpen();
    return fsync(fd_) == 0 ? IoStatus::Ok() : IoStatus::FromErrno(errno);
  }

  IoStatus Lock(int64_t offset, int64_t length) override {
    return SetLock(options_.write ? F_WRLCK : F_RDLCK, offset, length);
  }
  IoStatus Unlock(int64_t offset, int64_t length) override {
    return SetLock(F_UNLCK, offset, length);
  }

  IoStatus Close() override {
    if (fd_ < 0) return IoStatus::NotOpen();
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is gone whatever close reports; retrying could close
    // another thread's file.
    return ::close(fd) == 0 ? IoStatus::Ok() : IoStatus::FromErrno(errno);
  }

 private:
  // Open-file-description locks, so that two opens in one process exclude
  // each other as two processes do.
  IoStatus SetLock(short type, int64_t offset, int64_t length) {
    if (fd_ < 0) return IoStatus::NotOpen();
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = offset;
    l.l_len = length;
    if (fcntl(fd_, F_OFD_SETLK, &l) == 0) return IoStatus::Ok();
    const int err = errno;
    if (err == EAGAIN || err == EACCES) return IoStatus::Code(kFileIsAlreadyLocked, err);
    return IoStatus::FromErrno(err);
  }

  int fd_;
  OpenOptions options_;
};

class PosixFileSystem final : public FileSystem {
 public:
  IoStatus Open(const std::string& path, const OpenOptions& o,
                std::unique_ptr<FileHandle>* file) override {
    file->reset();
    if (path.empty()) return IoStatus::Code(kPathNotFound, ENOENT);
    const int extra = O_CLOEXEC | (o.create ? O_CREAT : 0) | (o.create && o.exclusive ? O_EXCL : 0);
    // Write-only opens also read when they may, so they can take part in
    // sharing (read locks need a readable descriptor).
    int fd = ::open(path.c_str(), (o.write ? O_RDWR : O_RDONLY) | extra, 0666);
    bool can_lock = true;
    if (fd < 0 && errno == EACCES && o.write && !o.read) {
      fd = ::open(path.c_str(), O_WRONLY | extra, 0666);
      can_lock = false;
    }
    if (fd < 0) {
      const int err = errno;
      if (err == ENOENT && (o.create || !FolderOfExists(path))) {
        return IoStatus::Code(kPathNotFound, err);
      }
      return IoStatus::FromErrno(err);
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return IoStatus::FromErrno(EISDIR);
    }
    if (!ClaimSharing(fd, o, can_lock)) {
      ::close(fd);
      return IoStatus::SharingViolation();
    }
    if (o.truncate && ftruncate(fd, 0) != 0) {
      const int err = errno;
      ::close(fd);
      return IoStatus::FromErrno(err);
    }
    *file = std::make_unique<PosixHandle>(fd, o);
    return IoStatus::Ok();
  }

  IoStatus Remove(const std::string& path) override {
    if (::unlink(path.c_str()) == 0) return IoStatus::Ok();
    const int err = errno;
    if (err == ENOENT && !FolderOfExists(path)) return IoStatus::Code(kPathNotFound, err);
    return IoStatus::FromErrno(err);
  }

  IoStatus Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) == 0) return IoStatus::Ok();
    const int err = errno;
    if (err == ENOENT && (!FolderOfExists(from) || !FolderOfExists(to))) {
      return IoStatus::Code(kPathNotFound, err);
    }
    return IoStatus::FromErrno(err);
  }
};

FileSystem*& Installed() {
  static FileSystem* fs = nullptr;
  return fs;
}

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem fs;
  return fs;
}

FileSystem& CurrentFileSystem() {
  FileSystem* fs = Installed();
  return fs ? *fs : FileSystem::Default();
}

void SetFileSystemForTests(FileSystem* fs) { Installed() = fs; }

}  // namespace mirabo
