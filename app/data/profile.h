// Private profile files: the sectioned "key=value" text files that keep the
// window positions between runs (KOLVAN.INI).  Our own small layer with the
// semantics the window-position code relies on:
//
//   [BrowseFEATURES]
//   Maximize=No
//   XPosit=12
//
// - Reading never fails: a missing file, section or key, or a line that is
//   not a well-formed entry, reads as an empty value.
// - Section and key names match regardless of ASCII case; the first matching
//   section and the first matching key in it count.
// - Every write is one read-modify-replace of the whole file: the new text
//   goes to a temporary file in the same folder, is flushed to disk and then
//   renamed over the old one, so a reader (or a crash) sees the file either
//   wholly before or wholly after the update.  Writers of this process and of
//   other processes are serialised by a lock on the folder, so no update is
//   lost between two concurrent read-modify-replace cycles.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mirabo::app {

// Where a profile file lives.  A bare name goes to the per-user configuration
// folder, $XDG_CONFIG_HOME/mirabo/<file> when XDG_CONFIG_HOME is set and not
// empty, else $HOME/.config/mirabo/<file>; a name holding a '/' is used as it
// stands.
std::string ProfilePath(std::string_view file);

// The value of `key` in `section` of `file`, without surrounding blanks; empty
// when there is none.  Lines longer than kMaxProfileLine or holding NUL bytes
// are passed over.
std::string GetProfileString(std::string_view section, std::string_view key, std::string_view file);

// Sets `key` in `section` of `file` to `value`: replaces the key's first entry
// in the first matching section, or adds the key at the end of that section,
// or adds the section with the key at the end of the file.  Every other line
// (other sections and keys, comments, blank lines, lines we do not
// understand) is kept byte for byte.  Creates the file and its folder when
// missing.  Returns false, leaving the file as it was, when the names or the
// value cannot be stored (an empty name, a line break or NUL anywhere, ']' in
// the section, '=' in the key) or when the file cannot be read or replaced.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view file);

// The whole-number value of a profile text: optional blanks, an optional sign,
// decimal digits, optional blanks.  Anything else (empty, letters, a decimal
// point, digits followed by junk) and anything beyond +-kMaxProfileInt is 0,
// the value the callers treat as "nothing stored".
int ProfileInt(std::string_view text);

// The integer value of `key` in `section` of `file`, by ProfileInt.
int GetProfileInt(std::string_view section, std::string_view key, std::string_view file);

inline constexpr int kMaxProfileInt = 1'000'000;
inline constexpr std::size_t kMaxProfileLine = 4096;

}  // namespace mirabo::app
