#include "tests/testing/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace mirabo::testing {
namespace {

namespace fs = std::filesystem;

bool Executable(const fs::path& p) { return ::access(p.c_str(), X_OK) == 0; }

// A port number nobody listens on now (the socket file's name carries it).
int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = 0;
  if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  if (s >= 0) ::close(s);
  return port > 0 ? port : 54329;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string PrivateServer::ProgramFolder() {
  if (const char* path = std::getenv("PATH")) {
    std::stringstream dirs(path);
    for (std::string d; std::getline(dirs, d, ':');) {
      if (!d.empty() && Executable(fs::path(d) / "initdb") && Executable(fs::path(d) / "pg_ctl")) {
        return fs::canonical(fs::path(d) / "pg_ctl").parent_path().string();
      }
    }
  }
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    if (Executable(e.path() / "bin" / "initdb")) found.push_back(e.path() / "bin");
  }
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    return std::atoi(a.parent_path().filename().c_str()) <
           std::atoi(b.parent_path().filename().c_str());
  });
  return found.empty() ? std::string() : found.back().string();
}

int RunProgram(const std::vector<std::string>& argv, const std::string& log, bool as_server) {
  std::vector<std::string> args;
  if (as_server && ::geteuid() == 0) args = {"runuser", "-u", "postgres", "--"};
  args.insert(args.end(), argv.begin(), argv.end());
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
    }
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, 0);
    std::vector<char*> c;
    for (std::string& a : args) c.push_back(a.data());
    c.push_back(nullptr);
    ::execvp(c[0], c.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PrivateServer::Start(bool durable, std::string* error) {
  programs_ = ProgramFolder();
  if (programs_.empty()) {
    *error = "the PostgreSQL server programs (initdb, pg_ctl) are not installed";
    return false;
  }
  // Short, so the socket's path stays within the system's limit.
  std::string tmpl = "/tmp/mirabo-pg-XXXXXX";
  if (!::mkdtemp(tmpl.data())) {
    *error = "cannot make a folder for the server";
    return false;
  }
  folder_ = tmpl;
  ::chmod(folder_.c_str(), 0755);
  if (::geteuid() == 0) {
    // The server runs as postgres and writes its cluster and socket here.
    const passwd* pw = ::getpwnam("postgres");
    if (!pw) {
      *error = "running as root, but there is no postgres user to run the server as";
      Stop();
      return false;
    }
    if (::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      *error = "cannot give the server's folder to the postgres user";
      Stop();
      return false;
    }
  }
  const std::string log = folder_ + "/setup.log";
  const std::string data = folder_ + "/data";
  if (RunProgram({programs_ + "/initdb", "-D", data, "-U", "mirabo", "--auth=trust", "-E", "UTF8",
                  "--locale=C", "--no-sync"},
                 "/dev/null", true) != 0) {
    *error = "initdb failed in " + folder_;
    Stop();
    return false;
  }
  port_ = FreePort();
  std::string settings = "-k " + folder_ + " -p " + std::to_string(port_) +
                         " -c listen_addresses='' -c max_connections=150";
  if (!durable) settings += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
  if (RunProgram({programs_ + "/pg_ctl", "-D", data, "-l", folder_ + "/server.log", "-w", "-t",
                  "60", "-o", settings, "start"},
                 "/dev/null", true) != 0) {
    *error = "the server did not start: " + ReadAll(folder_ + "/server.log");
    Stop();
    return false;
  }
  return true;
}

void PrivateServer::Stop() {
  if (folder_.empty()) return;
  if (fs::exists(folder_ + "/data/postmaster.pid")) {
    (void)RunProgram(
        {programs_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"},
        "/dev/null", true);
  }
  std::error_code ec;
  fs::remove_all(folder_, ec);
  folder_.clear();
}

std::string PrivateServer::Uri(const std::string& db) const {
  return "postgresql:///" + db + "?host=" + folder_ + "&port=" + std::to_string(port_) +
         "&user=mirabo";
}

bool RunSql(const std::string& uri, const std::string& sql,
            std::vector<std::vector<std::string>>* rows, std::string* error) {
  PGconn* c = PQconnectdb(uri.c_str());
  if (PQstatus(c) != CONNECTION_OK) {
    if (error) *error = PQerrorMessage(c);
    PQfinish(c);
    return false;
  }
  PGresult* r = PQexec(c, sql.c_str());
  const ExecStatusType st = PQresultStatus(r);
  const bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
  if (!ok && error) *error = PQresultErrorMessage(r);
  if (ok && rows) {
    rows->clear();
    for (int i = 0; i < PQntuples(r); ++i) {
      std::vector<std::string> row;
      for (int j = 0; j < PQnfields(r); ++j) row.emplace_back(PQgetvalue(r, i, j));
      rows->push_back(std::move(row));
    }
  }
  PQclear(r);
  PQfinish(c);
  return ok;
}

namespace {

// Where the ctest fixture's server is, or a server of this process's own.
struct TestServer {
  std::string base_uri_db_marker;  // the URI of database "@@DB@@"
  std::string skip;
  std::string error;
  PrivateServer own;
};

TestServer& Server() {
  static TestServer* server = [] {
    auto* s = new TestServer;
#ifdef MIRABO_TEST_SERVER_DIR
    const std::string dir = MIRABO_TEST_SERVER_DIR;
    if (fs::exists(dir + "/missing")) {
      s->skip = ReadAll(dir + "/missing");
      return s;
    }
    const std::string address = ReadAll(dir + "/address");
    if (!address.empty()) {
      std::string probe = address;
      probe.replace(probe.find("@@DB@@"), 6, "postgres");
      if (RunSql(probe, "SELECT 1")) {
        s->base_uri_db_marker = address;
        return s;
      }
    }
#endif
    if (PrivateServer::ProgramFolder().empty()) {
      s->skip =
          "server tests skipped: the PostgreSQL server programs (initdb, pg_ctl) are not "
          "installed; scripts/setup installs the postgresql package";
      return s;
    }
    std::string why;
    if (!s->own.Start(false, &why)) {
      s->error = "the tests' PostgreSQL server could not be started: " + why;
      return s;
    }
    s->base_uri_db_marker = s->own.Uri("@@DB@@");
    std::atexit([] { Server().own.Stop(); });
    return s;
  }();
  return *server;
}

}  // namespace

TestDatabase NewTestDatabase() {
  TestServer& s = Server();
  TestDatabase out;
  out.skip = s.skip;
  out.error = s.error;
  if (s.base_uri_db_marker.empty()) return out;
  static int serial = 0;
  const std::string name = "t" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
  std::string admin = s.base_uri_db_marker;
  admin.replace(admin.find("@@DB@@"), 6, "postgres");
  std::string why;
  if (!RunSql(admin, "CREATE DATABASE " + name, nullptr, &why)) {
    out.error = "cannot create a test database: " + why;
    return out;
  }
  out.uri = s.base_uri_db_marker;
  out.uri.replace(out.uri.find("@@DB@@"), 6, name);
  return out;
}

HoldingSession::HoldingSession(const std::string& uri, const std::string& sql) {
  conn_ = PQconnectdb(uri.c_str());
  if (PQstatus(conn_) != CONNECTION_OK) {
    error_ = PQerrorMessage(conn_);
    return;
  }
  PGresult* r = PQexec(conn_, sql.c_str());
  holding_ = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
  if (!holding_) error_ = PQresultErrorMessage(r);
  PQclear(r);
}

void HoldingSession::Release() {
  if (!conn_) return;
  PQfinish(conn_);  // ends its transaction, and with it every lock
  conn_ = nullptr;
  holding_ = false;
}

}  // namespace mirabo::testing
