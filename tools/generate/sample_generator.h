// Generates a plausible, reproducible magazine index as five CSV files, for demos, tests and
// benchmarks. The same options always give byte-identical files, on any platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/generate/csv_writer.h"  // AppendCsvField, which the files are written with

namespace mirabo::tools {

struct SampleOptions {
  int issues = 72;
  int suppliers = 320;
  int reviews = 16;
  int categories = 44;
  int features = 3200;
  uint64_t seed = 1997;
  // Adds awkward rows that real indexes contain: quoting-hostile names, exact-width text, names
  // differing only in case, duplicate supplier names, accented letters and references with no
  // matching row. Benchmarks switch this off.
  bool edge_cases = true;
};

// Returns an empty string when the options can be generated, else a one-line reason.
std::string ValidateSampleOptions(const SampleOptions& options);

// Writes FEATURES.csv, SUPPLIER.csv, REVIEW.csv, CATEGORY.csv and ISSUES.csv into `dir` (which
// must exist). Features are streamed, so memory does not grow with options.features.
// Returns an empty string on success, else a one-line error text.
std::string WriteSampleData(const SampleOptions& options, const std::string& dir);

// `mirabo generate [--features N] [--suppliers N] [--issues N] [--reviews N] [--categories N]
//                  [--seed S] [--no-edge-cases] DIR`
// `args` excludes the program name and the word "generate". Creates DIR if missing. Prints errors
// to stderr and returns the exit code: 0 ok, 1 usage error, 2 the files could not be written.
int RunGenerateCommand(const std::vector<std::string>& args);

}  // namespace mirabo::tools
