// Every seed of every fuzz target, and every input that once made a reader
// fail, replayed through the reader on each test run.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fuzz/fuzz_targets.h"

namespace mirabo::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(const std::string& kind, const std::string& target) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(MIRABO_FUZZ_DIR) / kind / target;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class ReplayTest : public ::testing::TestWithParam<NamedTarget> {};

TEST_P(ReplayTest, EverySeedAndEveryOldFindingIsReadWithoutFailing) {
  const NamedTarget& t = GetParam();
  const std::vector<fs::path> seeds = Inputs("corpus", t.name);
  EXPECT_FALSE(seeds.empty()) << "a target starts from real files";
  std::vector<fs::path> all = seeds;
  const std::vector<fs::path> found = Inputs("regressions", t.name);
  all.insert(all.end(), found.begin(), found.end());
  for (const fs::path& p : all) {
    SCOPED_TRACE(p.string());
    std::ifstream in(p, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(t.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Readers, ReplayTest, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<NamedTarget>& i) {
                           std::string name = i.param.name;
                           name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                           return name;
                         });

}  // namespace
}  // namespace mirabo::fuzz
