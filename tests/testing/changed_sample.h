// Another state of the bundled sample, for runs beside a load: its first
// 2,000 features only, and every supplier's name in other letters (ASCII
// letters change case), so an output tells old data from new at a glance.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include "tests/testing/temp_dir.h"

namespace mirabo::testing {

// Writes the five tables' CSV files into `dir` from the sample's in
// `sample_dir`; their paths.
inline std::vector<std::string> WriteChangedSample(const std::string& sample_dir,
                                                   const TempDir& dir) {
  std::vector<std::string> files;
  for (const std::string t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    std::string text = ReadFile(sample_dir + "/" + t + ".csv");
    if (t == "FEATURES") {
      size_t at = 0;
      for (int line = 0; line <= 2000; ++line) at = text.find('\n', at) + 1;
      text.resize(at);
    }
    if (t == "SUPPLIER") {
      for (size_t i = text.find('\n'); i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalpha(c) && c < 0x80) text[i] = static_cast<char>(c ^ 0x20);
      }
    }
    files.push_back(dir.File(t + ".csv"));
    WriteFile(files.back(), text);
  }
  return files;
}

}  // namespace mirabo::testing
