// The native table driver, registered as "KARVINEX": each declared table lives
// in an SQLite database file (FEATURES.KVX ...) that the sqlite3 shell can open.
//
// Names.  The declared name is completed to a full name in the current
// directory, with ".KVX" added when it has no extension.  "DATA\!FEATURES"
// names the table FEATURES inside DATA.KVX; a plain name is the table
// "UNNAMED" of its own file.
//
// Reading.  Next and Previous read in the order of the last positioning: a
// key's start, a key value (Next gives the first record whose key is greater
// than or equal to it, Previous the last one less than or equal), or a stored
// position (the record itself when it still exists, else its neighbour in the
// reading direction).  Each read steps one live prepared statement; only a
// re-positioning or a change of direction binds a new search.  Equal keys come
// in record-number order.
//
// Errors.  2 file missing, 32 locked by another process at open, 33 no further
// record (buffer unchanged), 35 a direct read found nothing, 36 not a data file
// or damaged, 40 duplicate in a unique key, 43 a record held past the hold-wait
// time, 46 a key index missing or damaged (BuildKeys repairs it), 47 the stored
// columns differ from the declaration or the declaration is over the limits.
//
// Options.  "TCF=name" (transaction control file, for all native files),
// "FULLBUILD" (ON: an open also verifies every key index against the table, and
// reports a damaged one as 46), "PNM" (the open file's physical name),
// "RECOVER=n" (the next open waits up to n seconds for another process's lock
// to go, and rolls back what a crashed writer left behind).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mirabo {
class File;
class FileDriver;

namespace native {

constexpr int kMaxRecordSize = 15000;
constexpr int kMaxKeys = 240;
constexpr int kMaxMemos = 255;

// Registers the driver with the runtime (safe to call more than once).
void RegisterNativeDriver();

// The driver itself, for a program that puts it back under its name after
// another driver stood in for it.
std::shared_ptr<const FileDriver> NativeDriver();

// The transaction control file named by the last "TCF=" setting.
std::string TransactionControlFile();

// For tests and diagnostics: every statement the driver prepares for the open
// native `file`, each with SQLite's query plan.
std::vector<std::pair<std::string, std::string>> ExplainQueries(File& file);

// For tests: how many statements the open native `file` has prepared so far.
int PreparedStatements(File& file);

}  // namespace native
}  // namespace mirabo
