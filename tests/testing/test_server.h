// A private PostgreSQL server for the tests and benchmarks of the server
// driver: a cluster made with initdb in a temporary folder, listening on a
// Unix socket in that folder only (on a free port number, no TCP), run as
// the `postgres` user when the process runs as root (initdb refuses root),
// and stopped, its folder removed, at the end.
//
// Under ctest one server serves every test: the fixture programs
// `test_server start|stop DIR` start it before the first test that needs it
// and stop it after the last (tests/CMakeLists.txt); DIR/address tells the
// tests where it is.  A test binary run by hand starts a server of its own.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

namespace mirabo::testing {

class PrivateServer {
 public:
  PrivateServer() = default;
  ~PrivateServer() { Stop(); }
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  // The folder of the server's programs (initdb, pg_ctl): the PATH's, else
  // the newest /usr/lib/postgresql/*/bin.  Empty when they are not installed.
  static std::string ProgramFolder();

  // Makes and starts the cluster.  `durable` keeps the server's syncs (for
  // benchmarks); tests run without them.  False with the reason.
  bool Start(bool durable, std::string* error);
  void Stop();
  bool running() const { return !folder_.empty(); }

  // The connection URI of database `db` (socket folder and port as parameters).
  std::string Uri(const std::string& db) const;
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string programs_;
  int port_ = 0;
};

// Runs `argv` (as the `postgres` user when this process is root and `as_server`)
// and waits; its output goes to `log`.  The exit status, -1 when it did not run.
int RunProgram(const std::vector<std::string>& argv, const std::string& log, bool as_server);

// What a test needs to use the server.
struct TestDatabase {
  std::string uri;    // a database of its own, empty when none
  std::string skip;   // why the server tests cannot run here (the package is missing)
  std::string error;  // a server that should be there but failed
};

// A new empty database on the tests' server.
TestDatabase NewTestDatabase();

// Runs `sql` in a session of its own; the rows of its last statement as
// text.  False with libpq's words in `error`.
bool RunSql(const std::string& uri, const std::string& sql,
            std::vector<std::vector<std::string>>* rows = nullptr, std::string* error = nullptr);

// Another program's session that stays open: it runs `sql` ("BEGIN; LOCK
// TABLE ...") and holds what it took until Release().
class HoldingSession {
 public:
  HoldingSession(const std::string& uri, const std::string& sql);
  ~HoldingSession() { Release(); }
  HoldingSession(const HoldingSession&) = delete;
  HoldingSession& operator=(const HoldingSession&) = delete;
  bool holding() const { return holding_; }
  const std::string& error() const { return error_; }
  void Release();

 private:
  PGconn* conn_ = nullptr;
  bool holding_ = false;
  std::string error_;
};

}  // namespace mirabo::testing
