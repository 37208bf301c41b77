// Where the program finds its data: a folder of data files (FEATURES.KVX
// ...), or a database server named by a libpq connection URI
// (postgresql://user@host/db) holding the same tables in schema mirabo.
//
// The data files are declared with the driver name "KARVINEX"; using a
// server registers the server driver under that name, so every declaration
// and procedure works on the server unchanged.  A URI that carries a
// password is refused: passwords come from ~/.pgpass or PGPASSWORD.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace mirabo {
class FileDriver;
}

namespace mirabo::tools {

// Whether `data` names a server rather than a folder.
bool IsServerLocation(std::string_view data);

// From now on every file declared "KARVINEX" is a table of the server
// `uri` (nothing connects yet).  Empty, or why the URI cannot be used (the
// URI shown without any password).
std::string UseServer(const std::string& uri);

// Puts the native driver back under "KARVINEX" after UseServer; nothing when
// no server is in use.
void StopUsingServer();

// For its life, the files declared "KARVINEX" are those of `data` (the
// server's tables, or the native files); what was registered under the
// name before comes back after.  For a run inside a program that may be
// using another location (the loader).
class DataLocationScope {
 public:
  explicit DataLocationScope(const std::string& data);
  ~DataLocationScope();
  DataLocationScope(const DataLocationScope&) = delete;
  DataLocationScope& operator=(const DataLocationScope&) = delete;
  // Why `data` cannot be used, or empty.
  const std::string& error() const { return error_; }

 private:
  std::shared_ptr<const FileDriver> saved_;
  std::string error_;
};

// With a server in use: whether it can be reached and holds the five
// tables; empty, or the reason ("postgresql://ed@db/index: no table
// mirabo.features; load the data first").
std::string CheckServerTables();

// `data` as messages show it: a URI without its password, a folder as given.
std::string ShownLocation(const std::string& data);

// The data location the profile names for the desktop entry: [Data]
// Location in KOLVAN.INI, or empty when it names none.
std::string ProfileDataLocation();

}  // namespace mirabo::tools
