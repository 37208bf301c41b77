// Golden files: what a test produces compared with the file checked in
// beside the test.  MIRABO_UPDATE_GOLDEN=1 in the environment writes the
// files instead (then read the diff before committing it).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace mirabo::testing {

inline void ExpectGolden(const std::string& path, const std::string& actual) {
  if (std::getenv("MIRABO_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "no golden file " << path;
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(actual, expected.str()) << "differs from " << path;
}

}  // namespace mirabo::testing
