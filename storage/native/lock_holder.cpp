#include "storage/native/lock_holder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace mirabo::native {
namespace {

// SQLite's locks on a database file: the pending byte at 1 GiB, the reserved
// byte after it and the 510-byte shared range after that.
constexpr off_t kLockRegion = 0x40000000;
constexpr off_t kLockRegionLength = 512;

int Holder(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockRegion;
  fl.l_len = kLockRegionLength;
  if (fcntl(fd, F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return 0;
  return fl.l_pid > 0 ? fl.l_pid : -1;
}

// A descriptor of this process open on the file (dev, ino), or -1.
int OwnDescriptor(dev_t dev, ino_t ino) {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int found = -1;
  while (dirent* e = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || fd == dirfd(dir)) continue;
    struct stat st;
    if (fstat(static_cast<int>(fd), &st) == 0 && st.st_dev == dev && st.st_ino == ino) {
      found = static_cast<int>(fd);
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

int LockHolder(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  const int own = OwnDescriptor(st.st_dev, st.st_ino);
  if (own >= 0) return Holder(own);
  // No descriptor of ours is open on the file, so we hold no lock on it that
  // closing this one could drop.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int holder = Holder(fd);
  close(fd);
  return holder;
}

}  // namespace mirabo::native
