// The line text driver, registered as "ASCII": a declared file is a plain text
// file with one record per line and no header or trailer.
//
// Records.  The declaration may hold only strings; a record is written as the
// record buffer's bytes (converted to code page 437 when the file is declared
// OEM), without trailing blanks while CLIP is on, followed by the
// end-of-record bytes.  The driver buffers nothing: each add hands its line
// to the file system before it returns, so a failed write is the failure of
// the add that caused it.  The
// first add after an open that finds the file ending in 0x1A writes its line
// over that byte.
//
// Names.  The declared name is used as it stands, without trailing blanks; no
// extension is added.
//
// Options, reset at every open.  "CLIP" (ON), "QUICKSCAN" (ON when the open
// shares nothing: 0x10, 0x20, 0x30): a query answers "ON" or "OFF", "ON" and
// "OFF" set them, other values change nothing.  "ENDOFRECORD=n,b1,..,bn"
// (2,13,10): a query answers the bytes themselves.  "TAB=n" (8, negative
// allowed) and "FILEBUFFERS=n" (buffers of 512 bytes; until set 1024 bytes
// for an open that shares nothing, else 512, and at least twice the record):
// queries answer the number in decimal (a default buffer raised to twice the
// record counts as whole buffers, rounded up).  A malformed number, or
// FILEBUFFERS below 1, changes nothing.
// The read buffer and TAB only matter to reading.
//
// Errors.  2 file missing, 3 folder missing or path invalid, 5 a sharing
// conflict, an add to a file opened for reading only, or a failed or short
// write, 54 create without the create attribute, 79 a declaration with a
// field that is not a string, 80 reading (not supported) or an unknown option;
// other system failures at open, create and close as their runtime codes.
#pragma once

#include <cstdint>

namespace mirabo {
class File;

namespace text {

// Registers the driver with the runtime (safe to call more than once).
void RegisterAsciiDriver();

// For tests and diagnostics: the offset of the first byte of the line that the
// last add to the open "ASCII" `file` wrote; -1 before its first add.
int64_t CurrentRecordPosition(File& file);

}  // namespace text
}  // namespace mirabo
