// The character sets of files declared OEM: records hold Windows-1252 text,
// such files hold code page 437.
#pragma once

#include <string>
#include <string_view>

namespace mirabo::text {

// The code page 437 byte of a Windows-1252 byte.  Bytes below 0x80 are the same
// in both; a character that code page 437 lacks becomes '?'.
char OemFromAnsi(char ansi);

// `ansi` converted byte by byte into `oem` (replacing its contents).
void OemFromAnsi(std::string_view ansi, std::string* oem);

// The Windows-1252 byte of a code page 437 byte: the inverse of OemFromAnsi
// for the characters both sets hold; the others (box drawing, Greek) become '?'.
char AnsiFromOem(char oem);
void AnsiFromOem(std::string_view oem, std::string* ansi);

}  // namespace mirabo::text
