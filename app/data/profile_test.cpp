#include "app/data/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testing/temp_dir.h"

namespace mirabo::app {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// Sets an environment variable for the object's life (or unsets it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Every test gets a configuration folder of its own.
class ProfileTest : public ::testing::Test {
 protected:
  testing::TempDir config_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path().c_str()};
  const std::string folder_ = config_.File("mirabo");
  const std::string ini_ = folder_ + "/KOLVAN.INI";

  void Given(const std::string& text) {
    std::filesystem::create_directories(folder_);
    WriteFile(ini_, text);
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder_)) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }
};

TEST_F(ProfileTest, BareNamesLiveInTheUserConfigurationFolder) {
  EXPECT_EQ(ProfilePath("KOLVAN.INI"), ini_);
  EXPECT_EQ(ProfilePath("/etc/other.ini"), "/etc/other.ini") << "a path is taken as it stands";
  EXPECT_EQ(ProfilePath("sub/x.ini"), "sub/x.ini");
  {
    ScopedEnv empty("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(ProfilePath("KOLVAN.INI"), "/home/someone/.config/mirabo/KOLVAN.INI");
  }
  {
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/other");
    EXPECT_EQ(ProfilePath("KOLVAN.INI"), "/home/other/.config/mirabo/KOLVAN.INI");
  }
}

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsAsEmpty) {
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "") << "no file, no folder";
  Given("[Main]\nXPosit=10\nEmpty=\n[Other]\nWidth=5\n");
  struct Case {
    const char* section;
    const char* key;
  } cases[] = {
      {"Missing", "XPosit"},  // no such section
      {"Main", "Width"},      // the key is in another section only
      {"Main", "Empty"},      // present, no value
      {"Main", ""},          {"", "XPosit"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetProfileString(c.section, c.key, "KOLVAN.INI"), "") << c.section << "/" << c.key;
  }
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "10");
}

TEST_F(ProfileTest, NamesMatchInAnyCaseAndValuesLoseSurroundingBlanks) {
  Given(
      "; saved window positions\n"
      "  [ BrowseFeatures ]  \r\n"
      "  maximize =  Yes \t\r\n"
      "XPOSIT=12\r\n"
      "xposit=99\n"
      "[browsefeatures]\n"
      "Width=300\n");
  EXPECT_EQ(GetProfileString("BROWSEFEATURES", "Maximize", "KOLVAN.INI"), "Yes");
  EXPECT_EQ(GetProfileString("BrowseFEATURES", "XPosit", "KOLVAN.INI"), "12")
      << "the first entry of a key counts";
  EXPECT_EQ(GetProfileString("BrowseFEATURES", "Width", "KOLVAN.INI"), "")
      << "only the first section of a name counts";
}

TEST_F(ProfileTest, GarbageLinesAreSkippedAndKeptByWrites) {
  const std::string huge_line = "XPosit=" + std::string(100000, '7');
  const std::string junk = std::string("\x01\xff\xfe=\0\x80XPosit=5", 14);
  const std::string text =
      "\x7f\x45LF\x02\x01\n"
      "[Main]\n"
      "no equals sign here\n"
      "[unclosed\n"
      "=no key\n" +
      huge_line + "\n" + junk +
      "\n"
      "Width=40\n"
      "YPosit=3\n";
  Given(text);
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "")
      << "a runaway line or one with NUL bytes is nobody's entry";
  EXPECT_EQ(GetProfileString("Main", "Width", "KOLVAN.INI"), "40");
  EXPECT_EQ(GetProfileString("Main", "", "KOLVAN.INI"), "");

  ASSERT_TRUE(WriteProfileString("Main", "XPosit", "8", "KOLVAN.INI"));
  EXPECT_EQ(ReadFile(ini_), text + "XPosit=8\n") << "every unreadable line is kept byte for byte";
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "8");
}

TEST_F(ProfileTest, FirstWriteCreatesFolderFileSectionAndKey) {
  ASSERT_FALSE(std::filesystem::exists(folder_));
  EXPECT_TRUE(WriteProfileString("Main", "Maximize", "No", "KOLVAN.INI"));
  EXPECT_TRUE(WriteProfileString("Main", "XPosit", "10", "KOLVAN.INI"));
  EXPECT_TRUE(WriteProfileString("AboutQRT", "XPosit", "4", "KOLVAN.INI"));
  EXPECT_EQ(ReadFile(ini_), "[Main]\nMaximize=No\nXPosit=10\n\n[AboutQRT]\nXPosit=4\n");
}

TEST_F(ProfileTest, WritesReplaceOrAddOneKeyAndKeepEverythingElse) {
  struct Case {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"replaces the first entry in any case, in place",
       "; keep me\n[Main]\nxposit = 1 ; old\nYPosit=2\n\n[Other]\nXPosit=3\n", "MAIN", "XPosit",
       "77", "; keep me\n[Main]\nXPosit=77\nYPosit=2\n\n[Other]\nXPosit=3\n"},
      {"adds a key after the last entry of its section, before the blank separator",
       "[Main]\nXPosit=1\n; note\n\n[Other]\nXPosit=3\n", "Main", "Width", "200",
       "[Main]\nXPosit=1\n; note\nWidth=200\n\n[Other]\nXPosit=3\n"},
      {"adds a key to a section that has only its header", "[Main]\n[Other]\nA=1\n", "Main", "B",
       "2", "[Main]\nB=2\n[Other]\nA=1\n"},
      {"adds a section after a last line without a line break", "[Other]\nA=1", "Main", "B", "2",
       "[Other]\nA=1\n\n[Main]\nB=2\n"},
      {"adds a key after a last line without a line break", "[Main]\nA=1", "Main", "B", "2",
       "[Main]\nA=1\nB=2\n"},
      {"keeps the line breaks of a file from another system", "[Main]\r\nA=1\r\n", "Main", "B", "2",
       "[Main]\r\nA=1\r\nB=2\r\n"},
      {"replaces in a file from another system", "[Main]\r\nA=1\r\nB=2\r\n", "Main", "A", "5",
       "[Main]\r\nA=5\r\nB=2\r\n"},
      {"writes an empty value", "[Main]\nA=1\n", "Main", "A", "", "[Main]\nA=\n"},
      {"an empty file gets the section", "", "Main", "A", "1", "[Main]\nA=1\n"},
      {"keys before any section belong to none", "A=1\n", "Main", "A", "2", "A=1\n\n[Main]\nA=2\n"},
  };
  for (const Case& c : cases) {
    Given(c.before);
    EXPECT_TRUE(WriteProfileString(c.section, c.key, c.value, "KOLVAN.INI")) << c.name;
    EXPECT_EQ(ReadFile(ini_), c.after) << c.name;
  }
}

TEST_F(ProfileTest, UnstorableNamesAndValuesAreRefusedAndChangeNothing) {
  const std::string text = "[Main]\nA=1\n";
  struct Case {
    std::string section, key, value;
  } cases[] = {
      {"", "A", "1"},
      {"  ", "A", "1"},
      {"Main", "", "1"},
      {"Main", "A=B", "1"},
      {"Ma]in", "A", "1"},
      {"Main", "A", "two\nlines"},
      {"Main", "A", "cr\r"},
      {"Ma\nin", "A", "1"},
      {"Main", std::string("A\0B", 3), "1"},
      {"Main", "A", std::string("1\0", 2)},
  };
  Given(text);
  for (const Case& c : cases) {
    EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value, "KOLVAN.INI"))
        << c.section << "/" << c.key << "/" << c.value;
  }
  EXPECT_EQ(ReadFile(ini_), text);
}

TEST_F(ProfileTest, WriteReplacesTheFileWholeAndLeavesNoTemporaryFiles) {
  Given("[Main]\nXPosit=1\n");
  chmod(ini_.c_str(), 0640);
  // A reader that opened the file before the update keeps seeing the old text:
  // the update is a new file renamed into place, never a rewrite in place.
  const int reader = open(ini_.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(WriteProfileString("Main", "XPosit", std::to_string(i), "KOLVAN.INI"));
  }
  char buf[64] = {};
  EXPECT_EQ(read(reader, buf, sizeof buf - 1), 16);
  EXPECT_STREQ(buf, "[Main]\nXPosit=1\n");
  close(reader);

  EXPECT_EQ(ReadFile(ini_), "[Main]\nXPosit=19\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"KOLVAN.INI"});
  struct stat st {};
  ASSERT_EQ(stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replacement keeps the file's permissions";
}

TEST_F(ProfileTest, FailuresReturnFalseAndLeaveNoTemporaryFiles) {
  // The configuration folder is taken by a plain file.
  WriteFile(folder_, "not a folder");
  EXPECT_FALSE(WriteProfileString("Main", "A", "1", "KOLVAN.INI"));
  EXPECT_EQ(ReadFile(folder_), "not a folder");
  std::filesystem::remove(folder_);

  // The profile's name is taken by a folder.
  std::filesystem::create_directories(ini_);
  EXPECT_FALSE(WriteProfileString("Main", "A", "1", "KOLVAN.INI"));
  EXPECT_EQ(GetProfileString("Main", "A", "KOLVAN.INI"), "");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"KOLVAN.INI"});
}

TEST_F(ProfileTest, AnOversizedFileIsReadFromItsStartButNeverRewritten) {
  const std::string text = "[Main]\nXPosit=5\n" + std::string(2 << 20, 'x') + "\n";
  Given(text);
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "5");
  EXPECT_FALSE(WriteProfileString("Main", "XPosit", "6", "KOLVAN.INI"))
      << "rewriting only the part we read would cut the file";
  EXPECT_EQ(ReadFile(ini_).size(), text.size());
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"KOLVAN.INI"});
}

TEST_F(ProfileTest, AProfileThatIsALinkStaysALink) {
  const std::string real = config_.File("dotfiles.ini");
  WriteFile(real, "[Main]\nA=1\n");
  std::filesystem::create_directories(folder_);
  std::filesystem::create_symlink(real, ini_);
  ASSERT_TRUE(WriteProfileString("Main", "A", "2", "KOLVAN.INI"));
  EXPECT_TRUE(std::filesystem::is_symlink(ini_));
  EXPECT_EQ(ReadFile(real), "[Main]\nA=2\n");
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoUpdate) {
  // Each write reads, changes and replaces the whole file; without the lock
  // two writers would each drop the other's key.
  constexpr int kWriters = 4, kKeys = 15;
  std::vector<std::thread> writers;
  for (int t = 0; t < kWriters; ++t) {
    writers.emplace_back([t] {
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
        WriteProfileString("Main", key, std::to_string(k), "KOLVAN.INI");
      }
    });
  }
  for (std::thread& w : writers) w.join();
  for (int t = 0; t < kWriters; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
      EXPECT_EQ(GetProfileString("Main", key, "KOLVAN.INI"), std::to_string(k)) << key;
    }
  }
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"KOLVAN.INI"});
}

TEST(ProfileIntTest, PlainWholeNumbersOnlyAndNothingHuge) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {
      {"", 0},
      {"   ", 0},
      {"0", 0},
      {"12", 12},
      {"  12 \t", 12},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},
      {"1000000", 1000000},
      {"-1000000", -1000000},
      {"1000001", 0},
      {"-1000001", 0},
      {"99999999999999999999999", 0},
      {"abc", 0},
      {"12abc", 0},
      {"1 2", 0},
      {"1.5", 0},
      {"0x10", 0},
      {"-", 0},
      {"+-1", 0},
      {"Yes", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileInt(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace mirabo::app
