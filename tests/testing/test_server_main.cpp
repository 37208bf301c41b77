// The ctest fixture around the server tests: `test_server start DIR` starts
// the shared test server and writes DIR/address (the URI of database
// "@@DB@@"); `test_server stop DIR` stops it.  When the server programs are
// not installed, start says so, writes DIR/missing and succeeds: the tests
// then skip with that message.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tests/testing/test_server.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
    std::cerr << "usage: test_server start|stop DIR\n";
    return 2;
  }
  const std::string dir = argv[2];
  std::error_code ec;
  if (std::strcmp(argv[1], "stop") == 0) {
    std::ifstream in(dir + "/folder");
    std::string folder;
    std::getline(in, folder);
    std::ifstream programs_in(dir + "/programs");
    std::string programs;
    std::getline(programs_in, programs);
    if (!folder.empty() && !programs.empty()) {
      mirabo::testing::RunProgram(
          {programs + "/pg_ctl", "-D", folder + "/data", "-m", "immediate", "-w", "stop"},
          "/dev/null", true);
      fs::remove_all(folder, ec);
    }
    fs::remove_all(dir, ec);
    std::cout << "test server stopped\n";
    return 0;
  }
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  if (mirabo::testing::PrivateServer::ProgramFolder().empty()) {
    const std::string why =
        "server tests skipped: the PostgreSQL server programs (initdb, pg_ctl) are not installed; "
        "scripts/setup installs the postgresql package";
    std::ofstream(dir + "/missing") << why;
    std::cout << why << "\n";
    return 0;
  }
  // The server outlives this program on purpose: never destroyed (which
  // would stop it), and held by a static so leak checkers see it is kept.
  static auto* const server = new mirabo::testing::PrivateServer;
  std::string error;
  if (!server->Start(false, &error)) {
    std::cerr << "test_server: " << error << "\n";
    return 1;
  }
  std::ofstream(dir + "/folder") << server->folder() << "\n";
  std::ofstream(dir + "/programs") << mirabo::testing::PrivateServer::ProgramFolder() << "\n";
  std::ofstream(dir + "/address") << server->Uri("@@DB@@");
  std::cout << "test server on " << server->Uri("@@DB@@") << "\n";
  return 0;
}
