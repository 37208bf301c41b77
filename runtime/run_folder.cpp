#include "runtime/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mirabo {
namespace {

// Where the run folders of this user live.
std::string Parent() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return runtime;
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
  return "/tmp";
}

std::string Prefix() { return "mirabo-" + std::to_string(getuid()) + "-"; }

// The folder's path as a signal handler reads it: fixed storage, written once
// before any handler is installed.
char g_folder[4096];

// Removes the files of `path` (one level: the run folder holds no folders)
// and the folder itself, with system calls alone, so that a signal handler
// may call it.
void RemoveFolder(const char* path) {
  const int dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  alignas(8) char buffer[4096];
  for (;;) {
    const long n = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
      unsigned short reclen;
      std::memcpy(&reclen, buffer + at + 16, sizeof reclen);
      const char* name = buffer + at + 19;
      if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) unlinkat(dir, name, 0);
      at += reclen;
    }
  }
  close(dir);
  rmdir(path);
}

// The temporary files being written, in fixed storage a handler can read.
constexpr int kTemporarySlots = 8;
char g_temporary[kTemporarySlots][4096];

void RemoveAtExit() {
  if (g_folder[0]) RemoveFolder(g_folder);
}

void OnSignal(int sig) {
  if (g_folder[0]) RemoveFolder(g_folder);
  for (const char* path : g_temporary) {
    if (path[0]) unlink(path);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

const std::string& RunFolder() {
  static const std::string folder = [] {
    const std::string path = Parent() + "/" + Prefix() + std::to_string(getpid());
    if (path.size() >= sizeof g_folder) return std::string();
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    // A folder of that name that is not ours alone (another user made it to
    // read our pages) is not used.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
      return std::string();
    }
    std::memcpy(g_folder, path.c_str(), path.size() + 1);
    return path;
  }();
  return folder;
}

void RemoveRunFolderAtExit() {
  std::atexit(RemoveAtExit);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller chose to ignore stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
}

void NoteTemporaryFile(const std::string& path) {
  if (path.size() >= sizeof g_temporary[0]) return;
  for (char* slot : g_temporary) {
    if (slot[0]) continue;
    std::memcpy(slot + 1, path.c_str() + 1, path.size());
    slot[0] = path[0];  // the slot counts as taken once it is whole
    return;
  }
}

void ForgetTemporaryFile(const std::string& path) {
  for (char* slot : g_temporary) {
    if (slot[0] && path == slot) slot[0] = '\0';
  }
}

void RemoveStaleRunFolders() {
  const std::string parent = Parent();
  const std::string prefix = Prefix();
  DIR* dir = opendir(parent.c_str());
  if (!dir) return;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || *end != '\0' || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    const std::string path = parent + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) continue;
    RemoveFolder(path.c_str());
  }
  closedir(dir);
}

}  // namespace mirabo
