// What the batch commands' tests share: the bundled sample loaded once per
// suite into a folder of its own, and each test run from an empty output
// folder (the current directory) with a configuration folder of its own.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testing/temp_dir.h"
#include "tools/load/loader.h"

namespace mirabo::tools {

class SampleDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new testing::TempDir;
    std::vector<std::string> files;
    for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
      files.push_back(Sample(t));
    }
    LoadOptions o;
    o.data_dir = data_->path();
    const LoadResult r = Load(files, o);
    ASSERT_TRUE(r.ok) << r.error;
  }
  static void TearDownTestSuite() {
    delete data_;
    data_ = nullptr;
  }
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    chdir_ = std::make_unique<testing::ScopedChdir>(out_.path());
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  // The bundled sample's CSV file of `table`.
  static std::string Sample(const char* table) {
    return std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + table + ".csv";
  }
  // The folder the sample is loaded into.
  static std::string Data() { return data_->path(); }

  static inline testing::TempDir* data_ = nullptr;
  testing::TempDir config_, out_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
};

}  // namespace mirabo::tools
