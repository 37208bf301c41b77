// A percentage on standard error while a batch command runs on a terminal;
// nothing when standard error is a file or a pipe (a scheduled run's log).
#pragma once

#include <unistd.h>

#include <cstdio>

namespace mirabo::tools {

class Progress {
 public:
  explicit Progress(const char* command) : command_(command), tty_(isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (shown_ >= 0) std::fputc('\n', stderr);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Show(int percent) {
    if (!tty_ || percent == shown_) return;
    shown_ = percent;
    std::fprintf(stderr, "\rmirabo %s: %3d%%", command_, percent);
    std::fflush(stderr);
  }

 private:
  const char* command_;
  bool tty_;
  int shown_ = -1;
};

}  // namespace mirabo::tools
