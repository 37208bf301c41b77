#include "tests/testing/locking_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace mirabo::testing {

LockingProcess::LockingProcess(const std::string& path, const std::string& sql) {
  int in[2], out[2];
  if (pipe(in) != 0) return;
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string file = path;
  char shell[] = "sqlite3";
  char* argv[] = {shell, file.data(), nullptr};
  if (posix_spawnp(&pid_, "sqlite3", &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  to_shell_ = in[1];
  // Programs the test starts later must not hold the shell's input open: the
  // shell ends (and lets go) when the last writer closes it.
  fcntl(to_shell_, F_SETFD, FD_CLOEXEC);
  fcntl(out[0], F_SETFD, FD_CLOEXEC);
  if (pid_ > 0) {
    // The shell answers the marker once the statements before it have run.
    const std::string script = sql + ";\nSELECT 'holding';\n";
    if (write(to_shell_, script.data(), script.size()) == static_cast<ssize_t>(script.size())) {
      // Lines before it are what `sql` selected.
      std::string line;
      char c;
      while (!holding_ && read(out[0], &c, 1) == 1) {
        if (c != '\n') {
          line.push_back(c);
          continue;
        }
        holding_ = line == "holding";
        line.clear();
      }
    }
  }
  close(out[0]);
}

LockingProcess::~LockingProcess() { Release(); }

void LockingProcess::Release() {
  if (to_shell_ >= 0) {
    // End of input ends the shell, which rolls back what it holds.
    close(to_shell_);
    to_shell_ = -1;
  }
  if (pid_ > 0) {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  holding_ = false;
}

}  // namespace mirabo::testing
