// The batch command line: `mirabo load ...`, `mirabo generate ...`.
#pragma once

#include <string>
#include <vector>

namespace mirabo::tools {

// `mirabo load [--data DIR] [--replace] [--cp1252] FILE.csv...`; `args`
// excludes the program name and the word "load".  Returns the exit code:
// 0 loaded, 1 refused (nothing changed), 2 usage error.
int RunLoadCommand(const std::vector<std::string>& args);

// Runs a subcommand when args[0] names one; returns -1 when it does not.
int RunSubcommand(const std::vector<std::string>& args);

// The usage text of every subcommand.
std::string Usage();

}  // namespace mirabo::tools
