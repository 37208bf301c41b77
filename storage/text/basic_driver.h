// The comma-delimited text driver, registered as "BASIC": a declared file is a
// text file with one record per line, the record's fields written one after
// another as text and separated by a delimiter, strings in quotes.  The file
// itself (create, open, close, flush, the lines, ENDOFRECORD, QUICKSCAN and
// FILEBUFFERS) is the line file that it shares with the "ASCII" driver
// (storage/text/line_file.h), buffered: lines go to the file 16 KiB at a
// time, so a write that fails fails the add that found the buffer full, and
// lines that never reach the file make the flush or close fail.
// docs/formats/delimited-text.md describes what it writes.
//
// Records.  A line holds every field of the declaration in order, the
// delimiter between two values and none after the last.  A string value is
// its bytes (converted to code page 437 when the file is declared OEM) with
// each quote character doubled and trailing blanks removed; it is written
// between quote characters while ALWAYSQUOTE is on, or when it holds a quote
// character, the delimiter, a carriage return or a line feed (so that a
// reader keeps it in one value of one record).  A value of blanks only is
// empty.  Numbers are never quoted: integers in decimal, reals as the
// shortest decimal text that reads back as the same number.  A doubled quote
// may make a value longer than its field: every character is written.
//
// Names.  The declared name is used as it stands, without trailing blanks; no
// extension is added.
//
// Options, reset at every open: "ALWAYSQUOTE" (ON; "ON" and "OFF" set it,
// other values change nothing, a query answers "ON" or "OFF"), "QUOTE" (34)
// and "COMMA" (44): a decimal character code, queried in decimal, COMMA only
// while the delimiter is one byte (else the answer is empty);
// "FIELDDELIMITER" (1,44): a count and that many decimal byte codes, queried
// as the bytes themselves.  COMMA and FIELDDELIMITER set the same delimiter.
// A malformed value changes nothing.  Beyond those: "UTF8" (OFF): ON writes
// each line in UTF-8 rather than as the record's Windows-1252 bytes, for
// programs that read UTF-8 unless told otherwise; "HEADER=ON", given to a
// file just opened, writes the field names (without prefix) as its first
// line, quoted as values are.
//
// Operations: create (the create attribute is needed), open, add and append
// (the same), the post-open request (0 for an open file, which it leaves as
// it is), flush, close, options.  Reading is not supported (80).
//
// Errors.  2 file missing, 3 folder missing or path invalid, 5 a sharing
// conflict, an add to a file opened for reading only, or a failed write, 37
// an operation on a file that is not open, 54 create without the create
// attribute, 80 an unknown option; other system failures at open, create,
// flush and close as their runtime codes.
#pragma once

namespace mirabo::text {

// Registers the driver with the runtime (safe to call more than once).
void RegisterBasicDriver();

}  // namespace mirabo::text
