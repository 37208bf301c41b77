#include "runtime/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "runtime/access.h"
#include "runtime/error.h"

namespace mirabo {

IoStatus IoStatus::FromErrno(int err) { return IoStatus(ErrorFromErrno(err), err); }

int IoStatus::Report() const {
  if (code_ == kFileSystemError) {
    return SetFileSystemError(os_error_, std::strerror(os_error_));
  }
  return SetError(code_);
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

// Two opens of one file conflict when either wants what the other denies.
bool Conflicts(const OpenOptions& a, const OpenOptions& b) {
  return (a.read && b.deny_read) || (a.write && b.deny_write) || (b.read && a.deny_read) ||
         (b.write && a.deny_write);
}

IoStatus SharingViolation() { return IoStatus::Code(kAccessDenied, EAGAIN); }
IoStatus NotOpen() { return IoStatus::Code(kFileNotOpen, EBADF); }
IoStatus WrongAccess() { return IoStatus::Code(kAccessDenied, EBADF); }

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
    if (fd_ < 0) return NotOpen();
    struct stat st {};
    if (fstat(fd_, &st) != 0) return IoStatus::FromErrno(errno);
    *size = st.st_size;
    return IoStatus::Ok();
  }

  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    out->clear();
    if (fd_ < 0) return NotOpen();
    if (!options_.read) return WrongAccess();
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
      status = NotOpen();
    } else if (!options_.write) {
      status = WrongAccess();
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
    if (fd_ < 0) return NotOpen();
    if (!options_.write) return WrongAccess();
    return ftruncate(fd_, size) == 0 ? IoStatus::Ok() : IoStatus::FromErrno(errno);
  }

  IoStatus Sync() override {
    if (fd_ < 0) return NotOpen();
    return fsync(fd_) == 0 ? IoStatus::Ok() : IoStatus::FromErrno(errno);
  }

  IoStatus Lock(int64_t offset, int64_t length) override {
    return SetLock(options_.write ? F_WRLCK : F_RDLCK, offset, length);
  }
  IoStatus Unlock(int64_t offset, int64_t length) override {
    return SetLock(F_UNLCK, offset, length);
  }

  IoStatus Close() override {
    if (fd_ < 0) return NotOpen();
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
    if (fd_ < 0) return NotOpen();
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
      return SharingViolation();
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

// ---------------------------------------------------------------------------
// Memory.

struct MemoryFileSystem::Node {
  struct Range {
    const void* owner;  // the handle holding the lock
    int64_t offset;
    int64_t length;
  };
  std::string data;
  std::vector<const OpenOptions*> opens;  // options of the handles still open
  std::vector<Range> locks;
};

class MemoryFileSystem::Handle final : public FileHandle {
 public:
  Handle(std::shared_ptr<Node> node, const OpenOptions& o) : node_(std::move(node)), options_(o) {
    node_->opens.push_back(&options_);
  }
  ~Handle() override { Release(); }

  IoStatus Size(int64_t* size) override {
    if (!node_) return NotOpen();
    *size = static_cast<int64_t>(node_->data.size());
    return IoStatus::Ok();
  }

  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    out->clear();
    if (!node_) return NotOpen();
    if (!options_.read) return WrongAccess();
    if (offset < 0) return IoStatus::FromErrno(EINVAL);
    const std::string& data = node_->data;
    if (static_cast<size_t>(offset) < data.size()) *out = data.substr(offset, n);
    return IoStatus::Ok();
  }

  IoStatus WriteAt(int64_t offset, std::string_view bytes, size_t* written) override {
    if (written) *written = 0;
    if (!node_) return NotOpen();
    if (!options_.write) return WrongAccess();
    if (offset < 0) return IoStatus::FromErrno(EINVAL);
    std::string& data = node_->data;
    const size_t end = static_cast<size_t>(offset) + bytes.size();
    if (data.size() < end) data.resize(end, '\0');
    std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
    if (written) *written = bytes.size();
    return IoStatus::Ok();
  }

  IoStatus Truncate(int64_t size) override {
    if (!node_) return NotOpen();
    if (!options_.write) return WrongAccess();
    if (size < 0) return IoStatus::FromErrno(EINVAL);
    node_->data.resize(static_cast<size_t>(size), '\0');
    return IoStatus::Ok();
  }

  IoStatus Sync() override { return node_ ? IoStatus::Ok() : NotOpen(); }

  IoStatus Lock(int64_t offset, int64_t length) override {
    if (!node_) return NotOpen();
    for (const Node::Range& r : node_->locks) {
      const bool overlaps = r.offset < offset + length && offset < r.offset + r.length;
      // Two shared locks do not exclude each other.
      const bool both_shared =
          !options_.write && !static_cast<const Handle*>(r.owner)->options_.write;
      if (r.owner != this && overlaps && !both_shared) {
        return IoStatus::Code(kFileIsAlreadyLocked, EAGAIN);
      }
    }
    node_->locks.push_back({this, offset, length});
    return IoStatus::Ok();
  }

  IoStatus Unlock(int64_t offset, int64_t length) override {
    if (!node_) return NotOpen();
    std::erase_if(node_->locks, [&](const Node::Range& r) {
      return r.owner == this && r.offset >= offset && r.offset + r.length <= offset + length;
    });
    return IoStatus::Ok();
  }

  IoStatus Close() override {
    if (!node_) return NotOpen();
    Release();
    return IoStatus::Ok();
  }

 private:
  void Release() {
    if (!node_) return;
    std::erase(node_->opens, &options_);
    std::erase_if(node_->locks, [this](const Node::Range& r) { return r.owner == this; });
    node_.reset();
  }

  std::shared_ptr<Node> node_;
  OpenOptions options_;
};

bool MemoryFileSystem::FolderExists(const std::string& path) const {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return true;
  const std::string folder = path.substr(0, slash);
  return folder.empty() || std::find(folders_.begin(), folders_.end(), folder) != folders_.end();
}

IoStatus MemoryFileSystem::Open(const std::string& path, const OpenOptions& o,
                                std::unique_ptr<FileHandle>* file) {
  file->reset();
  if (std::find(folders_.begin(), folders_.end(), path) != folders_.end()) {
    return IoStatus::FromErrno(EISDIR);
  }
  if (path.empty() || !FolderExists(path)) return IoStatus::Code(kPathNotFound, ENOENT);
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (!o.create) return IoStatus::Code(kFileNotFound, ENOENT);
    it = files_.emplace(path, std::make_shared<Node>()).first;
  } else if (o.create && o.exclusive) {
    return IoStatus::FromErrno(EEXIST);
  }
  Node& node = *it->second;
  for (const OpenOptions* other : node.opens) {
    if (Conflicts(*other, o)) return SharingViolation();
  }
  if (o.truncate) node.data.clear();
  *file = std::make_unique<Handle>(it->second, o);
  return IoStatus::Ok();
}

IoStatus MemoryFileSystem::Remove(const std::string& path) {
  if (!FolderExists(path)) return IoStatus::Code(kPathNotFound, ENOENT);
  if (files_.erase(path) == 0) return IoStatus::Code(kFileNotFound, ENOENT);
  return IoStatus::Ok();
}

IoStatus MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  if (!FolderExists(from) || !FolderExists(to)) return IoStatus::Code(kPathNotFound, ENOENT);
  auto it = files_.find(from);
  if (it == files_.end()) return IoStatus::Code(kFileNotFound, ENOENT);
  if (from == to) return IoStatus::Ok();
  std::shared_ptr<Node> node = it->second;
  files_.erase(it);
  files_[to] = std::move(node);
  return IoStatus::Ok();
}

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Its parents come into being with it.
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    folders_.push_back(folder.substr(0, slash));
  }
  folders_.push_back(std::move(folder));
}

void MemoryFileSystem::SetContents(const std::string& path, std::string bytes) {
  auto& node = files_[path];
  if (!node) node = std::make_shared<Node>();
  node->data = std::move(bytes);
}

bool MemoryFileSystem::GetContents(const std::string& path, std::string* bytes) const {
  auto it = files_.find(path);
  if (it == files_.end()) return false;
  *bytes = it->second->data;
  return true;
}

int MemoryFileSystem::OpenCount(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? 0 : static_cast<int>(it->second->opens.size());
}

// ---------------------------------------------------------------------------
// Faults.

class FaultyFileSystem::Handle final : public FileHandle {
 public:
  Handle(FaultyFileSystem& fs, std::unique_ptr<FileHandle> base)
      : fs_(fs), base_(std::move(base)) {}

  IoStatus Size(int64_t* size) override { return base_->Size(size); }
  IoStatus ReadAt(int64_t offset, size_t n, std::string* out) override {
    ++fs_.reads_;
    if (fs_.fail_read_at_ != 0 && fs_.reads_ == fs_.fail_read_at_) {
      fs_.fail_read_at_ = 0;
      out->clear();
      return IoStatus::FromErrno(fs_.fail_read_err_);
    }
    return base_->ReadAt(offset, n, out);
  }
  IoStatus Truncate(int64_t size) override {
    if (fs_.fail_truncate_err_ != 0) return IoStatus::FromErrno(fs_.fail_truncate_err_);
    return base_->Truncate(size);
  }
  IoStatus Lock(int64_t offset, int64_t length) override { return base_->Lock(offset, length); }
  IoStatus Unlock(int64_t offset, int64_t length) override { return base_->Unlock(offset, length); }

  IoStatus WriteAt(int64_t offset, std::string_view data, size_t* written) override {
    if (written) *written = 0;
    ++fs_.writes_;
    if (fs_.fail_write_at_ != 0 && fs_.writes_ == fs_.fail_write_at_) {
      fs_.fail_write_at_ = 0;
      return IoStatus::FromErrno(fs_.fail_write_err_);
    }
    if (fs_.disk_left_ < 0 || static_cast<int64_t>(data.size()) <= fs_.disk_left_) {
      size_t done = 0;
      IoStatus s = base_->WriteAt(offset, data, &done);
      if (fs_.disk_left_ >= 0) fs_.disk_left_ -= static_cast<int64_t>(done);
      if (written) *written = done;
      return s;
    }
    const size_t fits = static_cast<size_t>(fs_.disk_left_);
    size_t done = 0;
    if (fits > 0) {
      if (IoStatus s = base_->WriteAt(offset, data.substr(0, fits), &done); !s.ok()) {
        if (written) *written = done;
        return s;
      }
    }
    fs_.disk_left_ -= static_cast<int64_t>(done);
    if (written) *written = done;
    return IoStatus::FromErrno(ENOSPC);
  }

  IoStatus Sync() override {
    IoStatus s = base_->Sync();
    if (s.ok() && fs_.fail_sync_err_ != 0) return IoStatus::FromErrno(fs_.fail_sync_err_);
    return s;
  }

  IoStatus Close() override {
    IoStatus s = base_->Close();
    if (s.ok() && fs_.fail_close_err_ != 0) return IoStatus::FromErrno(fs_.fail_close_err_);
    return s;
  }

 private:
  FaultyFileSystem& fs_;
  std::unique_ptr<FileHandle> base_;
};

IoStatus FaultyFileSystem::Open(const std::string& path, const OpenOptions& options,
                                std::unique_ptr<FileHandle>* file) {
  file->reset();
  if (fail_open_err_ != 0 && (options.create || !fail_open_creating_only_)) {
    const int err = fail_open_err_;
    fail_open_err_ = 0;
    return IoStatus::FromErrno(err);
  }
  std::unique_ptr<FileHandle> base;
  IoStatus s = base_.Open(path, options, &base);
  if (s.ok()) *file = std::make_unique<Handle>(*this, std::move(base));
  return s;
}

void FaultyFileSystem::FailWrite(int nth, int err) {
  fail_write_at_ = writes_ + nth;
  fail_write_err_ = err;
}

void FaultyFileSystem::FailRead(int nth, int err) {
  fail_read_at_ = reads_ + nth;
  fail_read_err_ = err;
}

void FaultyFileSystem::FillDiskAfter(int64_t bytes) { disk_left_ = bytes; }
void FaultyFileSystem::FailClose(int err) { fail_close_err_ = err; }
void FaultyFileSystem::FailSync(int err) { fail_sync_err_ = err; }
void FaultyFileSystem::FailTruncate(int err) { fail_truncate_err_ = err; }

void FaultyFileSystem::FailOpen(int err, bool creating_only) {
  fail_open_err_ = err;
  fail_open_creating_only_ = creating_only;
}

void FaultyFileSystem::Clear() {
  fail_write_at_ = 0;
  fail_read_at_ = 0;
  disk_left_ = -1;
  fail_close_err_ = 0;
  fail_sync_err_ = 0;
  fail_truncate_err_ = 0;
  fail_open_err_ = 0;
}

}  // namespace mirabo
