// The mirabo executable: the batch subcommands, and (without one) the browser.
#include <iostream>
#include <string>
#include <vector>

#include "tools/commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int rc = mirabo::tools::RunSubcommand(args);
  if (rc >= 0) return rc;
  std::cerr << mirabo::tools::Usage();
  return 2;
}
