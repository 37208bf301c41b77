// The loader: builds the data files from CSV files named after their tables
// (FEATURES.csv, SUPPLIER.csv, ...), each with a header row of field names
// (PRODUCT,REVIEW,ISSUE,...), or from xBase tables named the same way
// (FEATURES.dbf) whose fields carry those names; an xBase table's deleted
// records are left out and its text is taken as Windows-1252.  It writes
// through the native driver, so the files' keys check the data exactly as
// the program reads it.
//
// A load is all or nothing: the first bad row (wrong type, text longer than
// its field, a character Windows-1252 cannot hold, a duplicate in a unique key,
// a wrong number of fields, bad quoting, a failed read) is reported with its
// file, line (a table's record number) and field, and no data file is changed; files the load
// created are removed.  All the files of one load are written in one transaction, so a failure as
// late as the commit (a full disk) changes none of them, and a program reading the folder meanwhile
// sees the old tables or the new.
//
// Another program holding a data file locked (a sqlite3 shell in a
// transaction, a browser committing nothing but reading) is waited for, up to
// `wait_seconds`, and named while the load waits; past that the load is
// refused and nothing changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirabo::tools {

// The data files may also be the tables of a database server
// (tools/data_location.h): data_dir is then its connection URI.  A load is
// one transaction on the server too: COPY into each table, a table it
// replaces built beside the old one and put in its place at the commit, so
// readers see the old tables or the new ones and wait at most for the
// commit; another load writing to the server is waited for as a locked file
// is.  A table missing on the server is made (and gone again when the load
// fails).
struct LoadOptions {
  std::string data_dir = ".";  // where the data files are: a folder, or a server's URI
  bool replace = false;        // empty each named table first; rebuild a file that is no data file
  bool cp1252 = false;         // the CSV text is Windows-1252, not UTF-8
  int wait_seconds = 5;        // for a data file another process holds locked; 0: refuse at once
  // Called now and then while a file loads: file name, bytes read, file size.
  std::function<void(const std::string&, int64_t, int64_t)> progress;
  // Called once for each data file the load waits for, with a sentence that
  // says which file and whose lock.
  std::function<void(const std::string&)> notice;
  // Asked now and then while rows load: true ends the load, refused as
  // cancelled, with nothing changed.
  std::function<bool()> cancelled;
};

struct LoadedTable {
  std::string table;    // "FEATURES"
  int64_t rows = 0;     // rows added from the CSV
  int64_t records = 0;  // records in the data file afterwards
};

struct LoadResult {
  bool ok = false;
  std::string error;  // "FEATURES.csv:12: field PRODUCT: text longer than 86 characters"
  std::vector<LoadedTable> tables;
};

LoadResult Load(const std::vector<std::string>& csv_files, const LoadOptions& options);

}  // namespace mirabo::tools
