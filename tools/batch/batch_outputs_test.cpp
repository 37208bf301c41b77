// Every output of the batch commands is complete or says it is not: each
// promise broken for real, with the installed program's binary where the
// failure must come from the system (a file-size limit stands for a full
// disk), in this process where a read must fail half-way.
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/error.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/temp_dir.h"
#include "tools/batch/batch_commands.h"
#include "tools/load/loader.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct Said {
  int status;
  std::string said;
};

class BatchOutputsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new TempDir;
    std::vector<std::string> files;
    for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
      files.push_back(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t + ".csv");
    }
    LoadOptions o;
    o.data_dir = data_->path();
    ASSERT_TRUE(Load(files, o).ok);
  }
  static void TearDownTestSuite() { delete data_; }
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    chdir_ = std::make_unique<testing::ScopedChdir>(out_.path());
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  // The program itself, under a limit on the size of any file it writes
  // (SIGXFSZ ignored, so a write past it fails as on a full disk).
  Said Program(const std::vector<std::string>& args, long max_file_bytes = 0) {
    std::string command = "trap '' XFSZ; ";
    if (max_file_bytes > 0) command += "ulimit -f " + std::to_string(max_file_bytes / 512) + "; ";
    command += "exec '" + std::string(MIRABO_BINARY) + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string said;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) said.append(buffer, n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
  }
  Said InProcess(const std::string& command, std::vector<std::string> args) {
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    const int status = RunBatchCommand(command, args);
    std::cerr.rdbuf(old);
    return {status, err.str()};
  }
  // Names in the output folder that a run left besides the outputs.
  std::vector<std::string> Temporary() {
    std::vector<std::string> left;
    for (const std::string& name : testing::FilesIn(out_.path())) {
      if (name[0] == '.') left.push_back(name);
    }
    return left;
  }

  static std::string Data() { return data_->path(); }

  static TempDir* data_;
  TempDir config_, out_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
};

TempDir* BatchOutputsTest::data_ = nullptr;

// One row a kind of output: with its file there already, a write that fails
// half-way (the disk full) leaves it byte for byte, exits 2, names the file
// and the system's reason, and leaves no temporary file.
TEST_F(BatchOutputsTest, AFullDiskKeepsTheFileThatWasThere) {
  struct Case {
    std::vector<std::string> args;
    const char* file;  // in the output folder
  };
  const Case cases[] = {
      {{"export", "features", "txt", "out.txt"}, "out.txt"},
      {{"export", "features", "dbf", "out.dbf"}, "out.dbf"},
      {{"publish", "features", "out.htm"}, "out.htm"},
      {{"report", "supplier-table", "--pdf", "out.pdf"}, "out.pdf"},
      {{"search", "a", "--in", "product,supplier", "--pdf", "out.pdf"}, "out.pdf"},
  };
  const std::string too_large = std::strerror(EFBIG);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.file);
    WriteFile(out_.File(c.file), "the file that was there");
    std::vector<std::string> args = {c.args[0], "--data", Data(), "--force"};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const Said r = Program(args, 16 * 1024);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find(out_.File(c.file)), std::string::npos) << r.said;
    EXPECT_NE(r.said.find(too_large), std::string::npos) << r.said;
    EXPECT_EQ(ReadFile(out_.File(c.file)), "the file that was there");
    EXPECT_EQ(Temporary(), std::vector<std::string>());
  }
  // A PNG page as large as the limit is not left cut short.
  fs::create_directory(out_.File("pages"));
  const Said r = Program({"report", "--data", Data(), "review-table", "--png", "pages"}, 8 * 1024);
  EXPECT_EQ(r.status, kBatchFailed) << r.said;
  EXPECT_NE(r.said.find(too_large), std::string::npos) << r.said;
  EXPECT_EQ(testing::FilesIn(out_.File("pages")), std::vector<std::string>());
}

// A read that fails half-way: the output is not written and the one that
// was there stays.
TEST_F(BatchOutputsTest, AReadFailingHalfWayKeepsTheFileThatWasThere) {
  const std::vector<std::string> cases[] = {
      {"export", "features", "txt", "out.txt"},
      {"export", "features", "dbf", "out.dbf"},
      {"publish", "features", "out.htm"},
  };
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[0] + " " + c.back());
    WriteFile(out_.File(c.back()), "the file that was there");
    testing::ScopedFaultyDriver native("KARVINEX");
    native.Fail(testing::ScopedFaultyDriver::Op::kNext, 200, kAccessDenied);
    std::vector<std::string> args = {"--data", Data(), "--force"};
    args.insert(args.end(), c.begin() + 1, c.end());
    const Said r = InProcess(c[0], args);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find("Access Denied"), std::string::npos) << r.said;
    EXPECT_EQ(ReadFile(out_.File(c.back())), "the file that was there");
    EXPECT_EQ(Temporary(), std::vector<std::string>());
  }
}

// Nothing is replaced unless --force said so for the very name that will be
// written; a folder, a data file and a link are never taken for new names.
TEST_F(BatchOutputsTest, OnlyForceReplacesAndOnlyWhatItMayReplace) {
  WriteFile(out_.File("out.DBF"), "kept");
  WriteFile(out_.File("name"), "kept");
  fs::create_directory(out_.File("folder"));
  fs::create_symlink(out_.File("nowhere/at/all"), out_.File("dangling.txt"));
  const std::string features = (fs::path(Data()) / "FEATURES.KVX").string();
  const std::string before = ReadFile(features);
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"export", "features", "dbf", "out"}, "out.DBF: exists already (--force replaces it)"},
      {{"export", "review", "dbf", "name."}, "/name: exists already (--force replaces it)"},
      {{"export", "review", "txt", "dangling.txt"}, "dangling.txt: exists already"},
      {{"export", "--force", "review", "txt", "folder"}, "folder: is a folder"},
      {{"export", "--force", "review", "dbf", "folder"}, "folder.DBF"},  // a new name beside it
      {{"export", "--force", "review", "txt", features}, "is one of the data files in use"},
      {{"publish", "--force", "review", features}, "is one of the data files in use"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::vector<std::string> args = {"--data", Data()};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const Said r = InProcess(c.args[0], args);
    if (std::string(c.says) == "folder.DBF") {
      EXPECT_EQ(r.status, kBatchDone) << r.said;
      continue;
    }
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find(c.says), std::string::npos) << r.said;
  }
  EXPECT_EQ(ReadFile(out_.File("out.DBF")), "kept");
  EXPECT_EQ(ReadFile(out_.File("name")), "kept");
  EXPECT_TRUE(fs::is_symlink(out_.File("dangling.txt")));
  EXPECT_TRUE(fs::is_directory(out_.File("folder")));
  EXPECT_EQ(ReadFile(features), before) << "the data file is untouched";

  // --force replaces the existing file of the completed name.
  const Said r = InProcess("export", {"--data", Data(), "--force", "features", "dbf", "out"});
  EXPECT_EQ(r.status, kBatchDone) << r.said;
  EXPECT_NE(r.said.find("out.DBF: exists; replacing it"), std::string::npos) << r.said;
  EXPECT_NE(ReadFile(out_.File("out.DBF")), "kept");
  EXPECT_EQ(r.said.find("Overwrite ?"), std::string::npos) << "no question nobody can answer";
}

// File names are the user's own bytes, whatever the data's character set
// can hold; a name that cannot be created says where and why.
TEST_F(BatchOutputsTest, NamesAreTheUsersOwnBytes) {
  fs::create_directories(out_.File("données"));
  fs::create_directories(out_.File("報告"));
  const std::vector<std::string> cases[] = {
      {"export", "review", "txt", "données/review.txt"},
      {"export", "review", "dbf", "café.dbf"},
      {"export", "review", "txt", "報告/review.txt"},
      {"publish", "review", "naïve.htm"},
  };
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c.back());
    std::vector<std::string> args = {"--data", Data()};
    args.insert(args.end(), c.begin() + 1, c.end());
    const Said r = InProcess(c[0], args);
    EXPECT_EQ(r.status, kBatchDone) << r.said;
    EXPECT_TRUE(fs::is_regular_file(out_.File(c.back()))) << testing::FilesIn(out_.path()).size();
  }
  const Said pdf = Program({"report", "--data", Data(), "review-table", "--pdf", "報告/r.pdf"});
  EXPECT_EQ(pdf.status, kBatchDone) << pdf.said;
  EXPECT_TRUE(fs::is_regular_file(out_.File("報告/r.pdf")));

  const Said r = InProcess("export", {"--data", Data(), "review", "txt", "out/x/review.txt"});
  EXPECT_EQ(r.status, kBatchFailed);
  EXPECT_NE(r.said.find("Unable to create Data File: " + out_.File("out/x/review.txt") +
                        ": No such file or directory"),
            std::string::npos)
      << r.said;
}

}  // namespace
}  // namespace mirabo::tools
