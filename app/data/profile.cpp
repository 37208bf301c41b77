#include "app/data/profile.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

namespace mirabo::app {
namespace {

// A profile of window positions is a few hundred bytes.  Anything far beyond
// that is not ours: reads look at its start only, and writes leave it alone
// rather than rewrite (and so cut) it.
constexpr std::size_t kMaxProfileFile = 1u << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// One line of a profile: where it sits in the text (with its line break, so
// untouched lines are copied back exactly) and what it means.
struct Line {
  enum Kind { kOther, kBlank, kSection, kEntry };
  std::size_t begin = 0;
  std::size_t end = 0;  // past the line break, if any
  bool has_break = false;
  Kind kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // entries: the value, trimmed
};

Line Classify(std::string_view text, std::size_t begin, std::size_t end, bool has_break) {
  Line line{begin, end, has_break};
  std::string_view s = text.substr(begin, end - begin);
  if (has_break) s.remove_suffix(1);
  if (begin == 0 && s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);  // a UTF-8 mark
  // Binary junk and runaway lines are nobody's entries.
  if (s.size() > kMaxProfileLine || s.find('\0') != std::string_view::npos) return line;
  s = Trim(s);
  if (s.empty()) {
    line.kind = Line::kBlank;
  } else if (s.front() == '[') {
    const std::size_t close = s.find(']');
    if (close == std::string_view::npos) return line;
    line.kind = Line::kSection;
    line.name = Trim(s.substr(1, close - 1));
  } else if (s.front() != ';' && s.front() != '#') {
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) return line;
    line.name = Trim(s.substr(0, eq));
    if (line.name.empty()) return line;
    line.kind = Line::kEntry;
    line.value = Trim(s.substr(eq + 1));
  }
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t nl = text.find('\n', begin);
    const bool has_break = nl != std::string_view::npos;
    const std::size_t end = has_break ? nl + 1 : text.size();
    lines.push_back(Classify(text, begin, end, has_break));
    begin = end;
  }
  return lines;
}

// Where a key of a section is in a profile.  `section` is the index of the
// first matching header (or npos); `entry` the first matching key in that
// section (or npos); `last` the last line of that section that is not blank.
struct Location {
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t section = npos;
  std::size_t entry = npos;
  std::size_t last = npos;
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location at;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    if (at.section == Location::npos) {
      if (l.kind == Line::kSection && SameName(l.name, section)) at.section = at.last = i;
      continue;
    }
    if (l.kind == Line::kSection) break;
    if (l.kind != Line::kBlank) at.last = i;
    if (l.kind == Line::kEntry && at.entry == Location::npos && SameName(l.name, key)) at.entry = i;
  }
  return at;
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Reads at most `limit` bytes; nullopt when the file exists but cannot be
// read.  A missing file is empty.  `*whole` tells whether all of it fit.
std::optional<std::string> ReadProfile(const std::string& path, std::size_t limit, bool* whole,
                                       mode_t* mode) {
  *whole = true;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (mode) *mode = st.st_mode & 07777;
  std::string text;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) {
      text.resize(limit);
      *whole = false;
      break;
    }
  }
  return text;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Creates `dir` and the folders above it that are missing, private to the
// user as configuration folders should be.
bool MakeFolders(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The new text of a profile with `key` of `section` set to `value`.
std::string Updated(std::string_view text, std::string_view section, std::string_view key,
                    std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  // New lines follow the file's own line breaks.
  const std::size_t first_break = text.find('\n');
  const std::string_view eol =
      first_break != std::string_view::npos && first_break > 0 && text[first_break - 1] == '\r'
          ? "\r\n"
          : "\n";
  std::string entry;
  entry.append(key).append("=").append(value);

  const Location at = Find(lines, section, key);
  std::string out;
  if (at.entry != Location::npos) {
    const Line& l = lines[at.entry];
    // The replaced line keeps its own line break.
    const std::string_view old_break =
        l.end - l.begin >= 2 && text[l.end - 2] == '\r' && l.has_break ? "\r\n" : "\n";
    out.append(text.substr(0, l.begin)).append(entry);
    if (l.has_break) out.append(old_break);
    out.append(text.substr(l.end));
  } else if (at.section != Location::npos) {
    const Line& l = lines[at.last];
    out.append(text.substr(0, l.end));
    if (!l.has_break) out.append(eol);
    out.append(entry).append(eol).append(text.substr(l.end));
  } else {
    out.append(text);
    if (!text.empty() && text.back() != '\n') out.append(eol);
    if (!lines.empty() && lines.back().kind != Line::kBlank) out.append(eol);
    out.append("[").append(section).append("]").append(eol).append(entry).append(eol);
  }
  return out;
}

bool Storable(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

std::string ProfilePath(std::string_view file) {
  if (file.find('/') != std::string_view::npos) return std::string(file);
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* user = ::getpwuid(::getuid());
      home = user && user->pw_dir ? user->pw_dir : "";
    }
    base = home;
    base += "/.config";
  }
  base += "/mirabo/";
  base.append(file);
  return base;
}

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view file) {
  bool whole = true;
  const std::optional<std::string> text =
      ReadProfile(ProfilePath(file), kMaxProfileFile, &whole, nullptr);
  if (!text) return {};
  const std::vector<Line> lines = SplitLines(*text);
  const Location at = Find(lines, section, key);
  if (at.entry == Location::npos) return {};
  return std::string(lines[at.entry].value);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view file) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty() || key.empty() || !Storable(section) || !Storable(key) || !Storable(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos) {
    return false;
  }
  std::string path = ProfilePath(file);
  if (path.empty() || path.back() == '/') return false;
  const std::string folder = Folder(path);
  if (!MakeFolders(folder)) return false;

  // The folder's lock makes read-modify-replace one step for every writer.
  Fd lock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (lock.get() < 0) return false;
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }

  // A profile that is a link to a file elsewhere stays a link: the file it
  // points to is the one replaced.
  struct stat lst {};
  if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char target[PATH_MAX];
    if (!::realpath(path.c_str(), target)) return false;
    path = target;
  }
  const std::string target_folder = Folder(path);

  bool whole = true;
  mode_t mode = 0600;  // a new profile is the user's own
  const std::optional<std::string> text = ReadProfile(path, kMaxProfileFile, &whole, &mode);
  if (!text || !whole) return false;
  const std::string updated = Updated(*text, section, key, value);

  const std::size_t slash = path.find_last_of('/');
  std::string temp = target_folder + "/." + path.substr(slash + 1) + ".XXXXXX";
  Fd out(::mkstemp(temp.data()));
  if (out.get() < 0) return false;
  const bool written =
      WriteAll(out.get(), updated) && ::fchmod(out.get(), mode) == 0 && ::fsync(out.get()) == 0;
  out.Reset();
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself lasts only once the folder is on disk too.
  Fd dir(::open(target_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

int ProfileInt(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > kMaxProfileInt) return 0;
  }
  return static_cast<int>(negative ? -value : value);
}

int GetProfileInt(std::string_view section, std::string_view key, std::string_view file) {
  return ProfileInt(GetProfileString(section, key, file));
}

}  // namespace mirabo::app
