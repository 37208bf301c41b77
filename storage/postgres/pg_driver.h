// The server table driver: each declared table is a table of schema `mirabo`
// in one PostgreSQL database, for a team that shares its data files on a
// database server instead of a folder.
//
// Location.  A driver instance serves one server, named by a libpq
// connection URI (postgresql://user@host/db, or ?host=/run/sock&port=5433
// for a socket).  The declared name, without folder and extension and after
// any "\!", lower-cased, names the table: FEATURES is mirabo.features.  All
// the files of one driver instance in this process share one connection, so
// fifty readers make fifty connections, not two hundred and fifty.  The URI
// never carries a password: it comes from ~/.pgpass or PGPASSWORD (libpq
// reads both), and any URI the driver shows has its password removed.
//
// Layout (docs/formats/server-store.md): a column per field under the
// field's name, the record number as column recno (4 bytes), a bytea column
// per string key component holding the same key bytes as the native store
// (storage/keys/key_codec.h), and an index per key over its columns and
// recno, so that keys order exactly as in the native store.
//
// Reading.  As the native driver (storage/native/native_driver.h): Next and
// Previous read in the order of the last positioning, equal keys in record
// order.  Reads fetch a page at a time by keyset (WHERE (key, recno) >
// (last) ORDER BY key, recno LIMIT n), never by offset; each page is one
// statement, so one snapshot of the data.  Pages grow while a run reads on
// and start small again at each positioning.
//
// Opening.  An open reads the server's catalogs only, so it never waits for
// a load.  A file opened for reading refuses writes (5); the sharing bits
// of an access mode lock nothing on the server: writers are kept apart by
// their transactions (one writing transaction at a time, an advisory lock),
// and readers are never kept out.
//
// Writing.  Outside a transaction each Add is one INSERT.  Inside one (all
// the files of the connection share it), adds stream through COPY; a table
// emptied in the transaction, or empty when it begins to fill, is built as a
// new table beside the old one, indexed at the commit and put in the old
// one's place then, so that readers wait at most for the commit itself and
// see the old table or the new one, never part of a load.  Unique keys
// refuse a duplicate at the record that makes it.
//
// Versions.  mirabo.versions holds a number per table that every change
// raises (statement triggers, and the commit of a load): DataVersion.
//
// Errors.  2 no such table, 5 no right to read or write it, 33 no further
// record (buffer unchanged), 35 a direct read found nothing, 40 duplicate in
// a unique key, 43 a table held past the hold-wait time (or the wait ended by
// the lock-wait observer), 46 a key index missing (BuildKeys makes it), 47
// the stored columns differ from the declaration; a server that cannot be
// reached, and anything else the server refuses, 90 with its words.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/file_driver.h"

namespace mirabo {
class File;

namespace postgres {

// Whether `text` is a connection URI (postgresql:// or postgres://) rather
// than a folder.
bool IsConnectionUri(std::string_view text);

// Why `uri` cannot be used, or empty: not a URI libpq reads, or one that
// carries a password.
std::string CheckConnectionUri(std::string_view uri);

// `uri` as messages show it: any password removed.
std::string DisplayUri(std::string_view uri);

// A driver named `name` whose files are the tables of the server `uri`.
// Nothing connects until a file is opened or created.
std::shared_ptr<const FileDriver> ServerDriver(std::string name, std::string uri);

// Begins the transaction that every file of `file`'s server takes part in,
// after any other writing transaction on the server has ended (waited for
// as the lock-wait observer allows; 43 when it gives up).  The file need not
// be open: tables created afterwards are then part of the transaction, so a
// load that fails leaves no new table behind.  Commit or roll back through
// any open file of the server.  80 for a file of another driver.
[[nodiscard]] int BeginServerTransaction(File& file);

// For tests and diagnostics: the statements prepared so far on the
// connection of the open server file `file`; each statement the driver
// reads with, with the server's plan for it.
int PreparedStatements(File& file);
std::vector<std::pair<std::string, std::string>> ExplainQueries(File& file);

}  // namespace postgres
}  // namespace mirabo
