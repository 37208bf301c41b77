// The line text driver, registered as "ASCII": a declared file is a plain text
// file with one record per line and no header or trailer.
//
// Records.  The declaration may hold only strings; a record is written as the
// record buffer's bytes (converted to code page 437 when the file is declared
// OEM), without trailing blanks while CLIP is on, as one line of the shared
// line file (storage/text/line_file.h): nothing buffered, a failed write the
// failure of its own add and never half a line in the file, a trailing 0x1A
// replaced by the first add after an open.
//
// Names.  The declared name is used as it stands, without trailing blanks; no
// extension is added.
//
// Options, reset at every open: those of the line file ("ENDOFRECORD",
// "QUICKSCAN", "FILEBUFFERS"), and "CLIP" (ON; "ON" and "OFF" set it, other
// values change nothing, a query answers "ON" or "OFF") and "TAB=n" (8,
// negative allowed, a malformed number changes nothing; a query answers it in
// decimal).  TAB only matters to reading.
//
// Errors.  2 file missing, 3 folder missing or path invalid, 5 a sharing
// conflict, an add to a file opened for reading only, or a failed or short
// write, 54 create without the create attribute, 79 a declaration with a
// field that is not a string, 80 reading (not supported) or an unknown option;
// other system failures at open, create, flush and close as their runtime codes.
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
