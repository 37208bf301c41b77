// The xBase file driver, registered as "XBASE": a declared file is one xBase
// table (storage/xbase/dbf_table.h) whose fields come from the declaration
// (storage/xbase/xbase_field_map.h).
//
// Names.  The declared name (trailing blanks removed) is completed to a full
// path in the current folder; a name without extension gets ".DBF", a name
// ending in "." is used without it and without extension.  A declared name of
// more than 143 characters is refused with 45.
//
// Access.  The open's access code decides: low bits 0 read only, else read
// and write; sharing 0x40 shared and write-through with automatic header and
// record locks (none when read only); 0x00 or 0x10 while BUFFERS is 0
// exclusive write-through; any other exclusive and buffered (so the export's
// 0x22 writes a block at a time and at close).
//
// Records.  Append and Add convert every declared field into the table's
// record (strings as text, OEM files converted to code page 437; REAL into N
// fixed-point; BYTE 1 and 0 into L "T" and "F"; LONG into M "%10lu"); a
// value the table refuses stops the operation with 90 ("-233", "bad data")
// and nothing is added.  Next and Previous read in record order (after
// SetKeyStart(kRecordOrder): from the first or from the last record),
// skipping deleted records unless IGNORESTATUS is on, and convert back.
//
// Empty closes the table and creates it anew with the same fields.  An
// Empty that cannot create or reopen the table returns that failure and
// leaves the file open without a table: every later operation answers 37
// (Close too, which ends the file's open).
//
// Options, kept from when they are set for the life of the file instance:
// "BUFFERS" (0), "EXTERRORS" (OFF), "IGNORESTATUS" (OFF) answer their value
// to a query; "DELETED" answers "ON" or "OFF" for the current record and
// needs IGNORESTATUS on, else 33; "RECOVER" recalls every record.
//
// Errors.  Engine results are translated by the engine's table
// (storage/xbase/dbf_error.h): warnings become 0; an error whose runtime code
// is 90 also records the engine's code and text as the file-system error.
// With EXTERRORS on, each engine error also raises the stop box "File %s,
// xBase Error (%d): %s" (runtime/driver_alert.h).  Create needs the create
// attribute (54); a declaration the table cannot be built from is 75, and so
// is an M-field count that differs from the declared memos (after the box
// "You have a field of type LONG with no matching memo"); a creation that the
// file system refuses gives that failure's own code.  Keys are not kept:
// a declaration with keys creates no table (38 after the box about two key
// files with one name, else 80) and opens with 46.
#pragma once

namespace mirabo::xbase {

// Registers the driver with the runtime (safe to call more than once).
void RegisterXbaseDriver();

}  // namespace mirabo::xbase
