// The bundled sample data (data/sample) for the end-to-end tests.
// Header-only; the tests that use it link the loader and define
// MIRABO_SOURCE_DIR.
#pragma once

#include <string>
#include <vector>

#include "tools/load/loader.h"

namespace mirabo::testing {

// Loads data/sample into `dir`; the loader's error, empty when it loaded.
inline std::string LoadSampleData(const std::string& dir) {
  std::vector<std::string> csv;
  for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    csv.push_back(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t + ".csv");
  }
  tools::LoadOptions o;
  o.data_dir = dir;
  const tools::LoadResult r = tools::Load(csv, o);
  return r.ok ? std::string() : r.error;
}

}  // namespace mirabo::testing
