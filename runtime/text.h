// Fixed-length text and the Windows-1252 character set.
//
// Record buffers, data files and exports hold text as Windows-1252 bytes, one
// byte a character; only the window layer converts to Unicode.  A fixed-length
// STRING(n) is blank-padded on the right and compared without trailing blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mirabo {

// `s` without its trailing blanks.
std::string_view Clip(std::string_view s);

// `s` without its leading blanks (a number formatted right-justified).
std::string_view TrimLeft(std::string_view s);

// `s` cut or blank-padded to exactly `width` bytes.
std::string Fit(std::string_view s, size_t width);

// Compares two fixed-length strings as the runtime does: as if both were
// padded with blanks to the same length.  Returns <0, 0 or >0.
int CompareFixed(std::string_view a, std::string_view b);

// Letter and case tests and conversions of Windows-1252.
bool IsLetter1252(unsigned char c);
bool IsUpper1252(unsigned char c);
bool IsLower1252(unsigned char c);
unsigned char ToUpper1252(unsigned char c);
unsigned char ToLower1252(unsigned char c);
std::string ToUpper1252(std::string_view s);

// Windows-1252 bytes to UTF-8.  The five codes that the set leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number,
// so every byte string survives a round trip.
std::string Utf8FromCp1252(std::string_view bytes);

// `text` enclosed in `quote`, each `quote` inside doubled: an SQL
// identifier with '"', a string literal with '\''.
std::string SqlQuoted(std::string_view text, char quote);

// `text` (UTF-8, the user's own bytes: a path, an argument) as a message may
// show it: control characters and bytes that are not UTF-8 escaped (\t,
// \x1B), cut to `limit` characters with "..." after.
std::string Printable(std::string_view text, size_t limit = 40);

// UTF-8 to Windows-1252.  Returns nullopt when `utf8` is malformed or holds a
// character that Windows-1252 cannot represent; `bad_at`, when given, receives
// the byte offset of the first such character.
std::optional<std::string> Cp1252FromUtf8(std::string_view utf8, size_t* bad_at = nullptr);

}  // namespace mirabo
