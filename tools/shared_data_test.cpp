#include "tools/shared_data.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/testing/temp_dir.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;

// The build tree lays the sample data out beside the binaries as an install
// does, so the program finds it without the source tree.
TEST(SharedDataTest, TheSampleDataIsFoundBesideTheBinary) {
  const std::string shared = SharedDataFolder();
  ASSERT_FALSE(shared.empty());
  const std::vector<std::string> files = SampleFiles(shared);
  ASSERT_EQ(files.size(), 5u);
  for (const std::string& f : files) EXPECT_TRUE(fs::is_regular_file(f)) << f;
  EXPECT_EQ(std::string(Version()).find('.') != std::string::npos, true) << Version();
}

TEST(SharedDataTest, TheDesktopFolderFollowsXdgDataHome) {
  testing::TempDir dir;
  setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(UserDataFolder(), dir.File("mirabo"));
  setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
  setenv("HOME", dir.path().c_str(), 1);
  EXPECT_EQ(UserDataFolder(), dir.File(".local/share/mirabo"));
  unsetenv("XDG_DATA_HOME");
}

// The sample data is offered once, and only to a folder without data files.
TEST(SharedDataTest, TheSampleIsOfferedOnceToAFolderWithoutData) {
  testing::TempDir dir;
  EXPECT_TRUE(OfferSampleOnce(dir.path()));
  EXPECT_FALSE(OfferSampleOnce(dir.path())) << "asked already";
  testing::TempDir with_data;
  testing::WriteFile(with_data.File("FEATURES.KVX"), "x");
  EXPECT_FALSE(OfferSampleOnce(with_data.path()));
  EXPECT_FALSE(OfferSampleOnce(dir.File("missing/folder"))) << "no answer can be kept there";
}

}  // namespace
}  // namespace mirabo::tools
