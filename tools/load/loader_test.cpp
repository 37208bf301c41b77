#include "tools/load/loader.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "tests/testing/locking_process.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr char kSuppliers[] =
    "SUPPLIER,REFERENCE\n"
    "Brennock Systems,1\n"
    "\"Bright & Sons \"\"Micro\"\", Ltd\",2\n"
    "Müller Datentechnik,3\n";

constexpr char kFeatures[] =
    "PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n"
    "Quillon Write Pro,1,12,1,S,4,2.1,\"Fast, small\"\n"
    "alpha draw,2,13,3,S,4,,\n"
    "ALPHA DRAW,2,14,30000,S,4,1.0,dangling supplier\n";

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    native::RegisterNativeDriver();
    fs::create_directory(data_);
  }

  std::string Csv(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    WriteFile(path, text);
    return path;
  }

  LoadResult Run(std::vector<std::string> files, bool replace = false) {
    LoadOptions o;
    o.data_dir = data_;
    o.replace = replace;
    return Load(files, o);
  }

  int64_t Count(const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2((data_ + "/" + table + ".KVX").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM UNNAMED", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      n = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
  }

  TempDir dir_;
  std::string data_ = dir_.File("data");
};

TEST_F(LoaderTest, LoadsTablesThatTheDriverReadsBack) {
  const LoadResult r = Run({Csv("SUPPLIER.csv", kSuppliers), Csv("features.csv", kFeatures)});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.tables.size(), 2u);
  EXPECT_EQ(r.tables[0].table, "SUPPLIER");
  EXPECT_EQ(r.tables[0].rows, 3);
  EXPECT_EQ(r.tables[1].records, 3);

  testing::ScopedChdir in(data_);
  File sup(app::DataFileDecl(app::DataFile::kSupplier));
  ASSERT_EQ(sup.Open(kOpenShared), kNoError);
  sup.Field(app::SUP::REFERENCE).SetNumber(3);
  ASSERT_EQ(sup.GetByKey(app::SUP::SUPPLIER_REF), kNoError);
  EXPECT_EQ(Clip(sup.Field(app::SUP::SUPPLIER).Bytes()), "M\xFCller Datentechnik")
      << "text is held as Windows-1252";
  sup.Field(app::SUP::REFERENCE).SetNumber(2);
  ASSERT_EQ(sup.GetByKey(app::SUP::SUPPLIER_REF), kNoError);
  EXPECT_EQ(Clip(sup.Field(app::SUP::SUPPLIER).Bytes()), "Bright & Sons \"Micro\", Ltd");

  File fea(app::DataFileDecl(app::DataFile::kFeatures));
  ASSERT_EQ(fea.Open(kOpenShared), kNoError);
  ASSERT_EQ(fea.SetKeyStart(app::FEA::FEATPROD), kNoError);
  ASSERT_EQ(fea.Next(), kNoError);
  EXPECT_EQ(Clip(fea.Field(app::FEA::PRODUCT).Bytes()), "alpha draw");
  EXPECT_EQ(fea.Field(app::FEA::ISSUE).GetNumber(), 13);
  ASSERT_EQ(fea.Next(), kNoError);
  EXPECT_EQ(Clip(fea.Field(app::FEA::PRODUCT).Bytes()), "ALPHA DRAW");
}

TEST_F(LoaderTest, AddsToWhatTheFilesHoldUnlessAskedToReplace) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}).ok);
  const LoadResult again = Run({Csv("SUPPLIER.csv", "SUPPLIER,REFERENCE\nNew One,9\n")});
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.tables[0].records, 4);
  EXPECT_EQ(Count("SUPPLIER"), 4);
  const LoadResult replaced =
      Run({Csv("SUPPLIER.csv", "REFERENCE,SUPPLIER\n1,Only\n")}, /*replace=*/true);
  ASSERT_TRUE(replaced.ok) << replaced.error;
  EXPECT_EQ(Count("SUPPLIER"), 1);
  // A reference that is already stored is refused when adding.
  const LoadResult dup = Run({Csv("SUPPLIER.csv", "SUPPLIER,REFERENCE\nAgain,1\n")});
  EXPECT_FALSE(dup.ok);
  EXPECT_NE(dup.error.find("Creates Duplicate Key (40)"), std::string::npos) << dup.error;
}

// Every bad row names its file, line and field, and no data file changes:
// neither the one that held data before nor the one the load created.
TEST_F(LoaderTest, ABadRowChangesNoDataFile) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}).ok);
  const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
  struct Case {
    const char* features;
    const char* expect;
  } cases[] = {
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nok,1,1,1,S,1,,\nbad,x,1,1,S,1,,\n",
       "FEATURES.csv:3: field REVIEW: 'x' is not a number"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nok,1,1,1,S,1,,\nbad,1.5,1,1,S,1,,\n",
       "FEATURES.csv:3: field REVIEW: '1.5' is not a whole number"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nbad,1,1,40000,S,1,,\n",
       "FEATURES.csv:2: field SUPPLIER: '40000' is outside -32768 to 32767"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nok,1,1,1,HARDW,1,,\n",
       "FEATURES.csv:2: field HS: text longer than 4 characters"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nok,1,1,1,S,1\n",
       "FEATURES.csv:2: 6 fields where the header has 8"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n\"open,1,1,1,S,1,,\n",
       "FEATURES.csv:2: a quoted field is not closed"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\nΩmega,1,1,1,S,1,,\n",
       "FEATURES.csv:2: field PRODUCT: character at byte 1"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n\"tab\there\",1,1,1,S,1,,\n",
       "FEATURES.csv:2: field PRODUCT: control character"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V\nok,1,1,1,S,1,\n",
       "FEATURES.csv:1: column COMMENTS is missing"},
      {"PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS,PRICE\n",
       "FEATURES.csv:1: column PRICE is not a field of FEATURES"},
  };
  for (const Case& c : cases) {
    // The good supplier file goes first, so its rows were added before the
    // features failed.
    const LoadResult r = Run(
        {Csv("SUPPLIER.csv", "SUPPLIER,REFERENCE\nLater,8\n"), Csv("FEATURES.csv", c.features)});
    EXPECT_FALSE(r.ok) << c.features;
    EXPECT_NE(r.error.find(c.expect), std::string::npos) << r.error;
    EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == before) << c.expect;
    EXPECT_FALSE(fs::exists(data_ + "/FEATURES.KVX")) << c.expect;
  }
}

// Every refusal names the real cause, shows what it quotes safely, and
// changes no data file.
TEST_F(LoaderTest, RefusalsNameTheirCause) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}).ok);
  const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
  fs::create_directory(dir_.File("REVIEW.csv"));
  WriteFile(dir_.File("plain"), "x");
  const std::string huge(2 << 20, 'N');
  // Each case's input files: a name with the contents to write, or a path
  // (contents null) to use as it is.
  struct Input {
    std::string name;
    const char* contents;
  };
  const std::string long_header = "SUPPLIER,REFERENCE," + huge + "\n";
  struct Case {
    std::vector<Input> files;
    std::string data_dir;  // empty: the test's data folder
    const char* expect;
  } cases[] = {
      {{{"PRICES.csv", "A\n1\n"}}, "", "PRICES.csv: not named after a table"},
      {{{"SUPPLIER.csv", kSuppliers}, {dir_.File("SUPPLIER.csv"), nullptr}}, "", "is named twice"},
      {{{dir_.File("CATEGORY.csv"), nullptr}},
       "",
       "CATEGORY.csv: cannot be read: No such file or directory"},
      {{{dir_.File("REVIEW.csv"), nullptr}}, "", "REVIEW.csv: is a folder, not a CSV file"},
      {{{"ISSUES.csv", "ISSUE_NUMB,ISSUE_NAME,COMMENTS\n"}},
       dir_.File("plain/folder"),
       "plain/folder: cannot create the data folder: Not a directory"},
      {{{"ISSUES.csv", "ISSUE_NUMB,ISSUE_NAME,COMMENTS\n"}},
       dir_.File("plain"),
       "plain: is a file, not a folder for the data files"},
      {{{"SUPPLIER.csv", "SUPPLIER,REFERENCE,\x1b[31mRED\x1b[0m\n"}},
       "",
       "SUPPLIER.csv:1: column \\x1B[31mRED\\x1B[0m is not a field of SUPPLIER"},
      {{{"SUPPLIER.csv", long_header.c_str()}},
       "",
       "SUPPLIER.csv:1: column NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN... is not a field"},
      {{{"SUPPLIER.csv", "SUPPLIER,REFERENCE\nA,\"1\t2\"\n"}},
       "",
       "SUPPLIER.csv:2: field REFERENCE: control character"},
      {{{"SUPPLIER.csv", "SUPPLIER,REFERENCE\nA,7\nB,8\nC,7\n"}},
       "",
       "SUPPLIER.csv:4: field REFERENCE: 7 repeats line 2: Creates Duplicate Key (40)"},
      {{{"SUPPLIER.csv", "SUPPLIER,REFERENCE\nAgain,2\n"}},
       "",
       "SUPPLIER.csv:2: field REFERENCE: 2 is already in SUPPLIER.KVX: Creates Duplicate Key (40)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> files;
    for (const Input& in : c.files)
      files.push_back(in.contents ? Csv(in.name, in.contents) : in.name);
    LoadOptions o;
    o.data_dir = c.data_dir.empty() ? data_ : c.data_dir;
    const LoadResult r = Load(files, o);
    EXPECT_FALSE(r.ok) << c.expect;
    EXPECT_NE(r.error.find(c.expect), std::string::npos) << r.error.substr(0, 300);
    EXPECT_LT(r.error.size(), 400u) << "a message stays readable";
    EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == before) << c.expect;
  }
}

// A data file too short to be one, or one that is not a database, is
// explained; --replace rebuilds it, and puts it back if the load fails.
TEST_F(LoaderTest, ADataFileThatIsNoDataFileIsExplainedAndReplacedOnlyWhenAsked) {
  struct Case {
    std::string bytes;
    const char* expect;
  } cases[] = {
      {"", "REVIEW.KVX: is empty (0 bytes), not a data file; --replace builds it anew"},
      {"x", "REVIEW.KVX: is not a data file: it holds only 1 byte; --replace builds it anew"},
      {std::string(4096, 'z'), "REVIEW.KVX: is not a data file, or is damaged"},
  };
  for (const Case& c : cases) {
    WriteFile(data_ + "/REVIEW.KVX", c.bytes);
    const LoadResult r = Run({Csv("REVIEW.csv", "REVIEW,REFERENCE\nBench test,1\n")});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.expect), std::string::npos) << r.error;
    EXPECT_TRUE(ReadFile(data_ + "/REVIEW.KVX") == c.bytes);

    const LoadResult bad = Run({Csv("REVIEW.csv", "REVIEW,REFERENCE\nBench test,x\n")}, true);
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(ReadFile(data_ + "/REVIEW.KVX") == c.bytes)
        << "a failed replace keeps the old file";

    const LoadResult good = Run({Csv("REVIEW.csv", "REVIEW,REFERENCE\nBench test,1\n")}, true);
    ASSERT_TRUE(good.ok) << good.error;
    EXPECT_EQ(Count("REVIEW"), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(data_), fs::directory_iterator()), 1)
        << "nothing but the data file is left";
    fs::remove(data_ + "/REVIEW.KVX");
  }
}

TEST_F(LoaderTest, Windows1252InputIsReadWhenAsked) {
  LoadOptions o;
  o.data_dir = data_;
  o.cp1252 = true;
  const LoadResult r = Load({Csv("REVIEW.csv", "REVIEW,REFERENCE\nCaf\xE9 Test,1\n")}, o);
  ASSERT_TRUE(r.ok) << r.error;
  sqlite3* db = nullptr;
  sqlite3_open((data_ + "/REVIEW.KVX").c_str(), &db);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT REVIEW FROM UNNAMED", -1, &s, nullptr);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "Café Test");
  sqlite3_finalize(s);
  sqlite3_close(db);
}

// A disk that fills up while loading: the load is refused with the system's
// error and the data file is as it was.
TEST_F(LoaderTest, AFullDiskRefusesTheLoadAndKeepsTheFile) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}).ok);
  const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
  std::ostringstream big;
  big << "SUPPLIER,REFERENCE\n";
  for (int i = 10; i < 20000; ++i) big << "Supplier number " << i << " of many," << i << "\n";
  const std::string csv = Csv("SUPPLIER.csv", big.str());

  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = before.size() + 64 * 1024;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    LoadOptions o;
    o.data_dir = data_;
    const LoadResult r = Load({csv}, o);
    WriteFile(dir_.File("child.txt"), r.error);
    // A file-size limit fails the write with EFBIG: the system's disk-full
    // code when SQLite passes the errno on, else its own I/O error.
    const bool disk = r.error.find("Handle Disk Full (339)") != std::string::npos ||
                      r.error.find("disk I/O error") != std::string::npos;
    _exit(r.ok ? 0 : (disk ? 3 : 4));
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3)
      << "refused with the disk-full error, not: " << ReadFile(dir_.File("child.txt"));
  EXPECT_EQ(Count("SUPPLIER"), 3);
  EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == before) << "the data file changed";
  EXPECT_FALSE(fs::exists(data_ + "/SUPPLIER.KVX-journal"));
}

// The commit of a load of two tables fails at the second (a full disk):
// the first, which would have been written had the files been committed one
// by one, is unchanged too.
TEST_F(LoaderTest, ALoadOfSeveralFilesIsOneTransaction) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers), Csv("FEATURES.csv", kFeatures)}).ok);
  const std::string suppliers = ReadFile(data_ + "/SUPPLIER.KVX");
  const std::string features = ReadFile(data_ + "/FEATURES.KVX");
  std::ostringstream big;
  big << "PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n";
  for (int i = 0; i < 20000; ++i) big << "Product number " << i << ",1,12,1,S,4,1.0,a comment\n";
  const std::string sup = Csv("SUPPLIER.csv", "SUPPLIER,REFERENCE\nOne more,77\n");
  const std::string fea = Csv("FEATURES.csv", big.str());

  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = features.size() + 64 * 1024;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    LoadOptions o;
    o.data_dir = data_;
    const LoadResult r = Load({sup, fea}, o);
    WriteFile(dir_.File("child.txt"), r.error);
    _exit(r.ok ? 0 : 3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 3) << "the load fails";
  EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == suppliers) << "SUPPLIER.KVX changed";
  EXPECT_TRUE(ReadFile(data_ + "/FEATURES.KVX") == features) << "FEATURES.KVX changed";
  EXPECT_EQ(std::distance(fs::directory_iterator(data_), fs::directory_iterator()), 2)
      << "no journal is left";
}

// A read that fails half-way through a CSV (a failing stick or share) is not
// its end: the load is refused with the file, line and the system's reason.
TEST_F(LoaderTest, AReadErrorRefusesTheLoad) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}).ok);
  const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
  std::ostringstream big;
  big << "SUPPLIER,REFERENCE\n";
  for (int i = 10; i < 9000; ++i) big << "Supplier number " << i << ",\"" << i << "\"\n";
  const std::string csv = Csv("SUPPLIER.csv", big.str());
  ASSERT_GT(big.str().size(), 2u << 16) << "the file spans several reads";

  FaultyFileSystem faulty(FileSystem::Default());
  ScopedFileSystemForTests use(faulty);
  faulty.FailRead(2);
  const LoadResult r = Run({csv});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("SUPPLIER.csv:"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("cannot read the file after byte 65536: Input/output error"),
            std::string::npos)
      << r.error;
  EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == before);
}

// A sqlite3 shell in a transaction on a data file: the load names the file
// and the shell, waits as long as it was told, then refuses without leaving
// a journal; a lock that goes while the load waits lets it through.
TEST_F(LoaderTest, ALockedDataFileIsWaitedForAndNamed) {
  ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers), Csv("FEATURES.csv", kFeatures)}).ok);
  for (const char* sql : {"BEGIN; SELECT count(*) FROM sqlite_master", "BEGIN EXCLUSIVE"}) {
    const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
    const std::string sup = Csv("SUPPLIER.csv", "SUPPLIER,REFERENCE\nOne more,77\n");
    testing::LockingProcess shell(data_ + "/SUPPLIER.KVX", sql);
    ASSERT_TRUE(shell.holding());
    LoadOptions o;
    o.data_dir = data_;
    o.wait_seconds = 0;
    const LoadResult r = Load({sup}, o);
    EXPECT_FALSE(r.ok) << sql;
    EXPECT_NE(r.error.find("SUPPLIER.KVX is locked by sqlite3 (process " +
                           std::to_string(shell.pid()) + ")"),
              std::string::npos)
        << r.error;
    EXPECT_EQ(std::distance(fs::directory_iterator(data_), fs::directory_iterator()), 2) << sql;
    shell.Release();
    EXPECT_TRUE(ReadFile(data_ + "/SUPPLIER.KVX") == before) << sql;

    testing::LockingProcess again(data_ + "/SUPPLIER.KVX", sql);
    ASSERT_TRUE(again.holding());
    std::vector<std::string> notices;
    o.wait_seconds = 30;
    o.notice = [&](const std::string& text) {
      notices.push_back(text);
      again.Release();
    };
    const LoadResult waited = Load({sup}, o);
    EXPECT_TRUE(waited.ok) << waited.error;
    ASSERT_EQ(notices.size(), 1u) << sql;
    EXPECT_NE(notices[0].find("SUPPLIER.KVX is locked by sqlite3"), std::string::npos);
    EXPECT_NE(notices[0].find("waiting up to 30 seconds"), std::string::npos);
    ASSERT_TRUE(Run({Csv("SUPPLIER.csv", kSuppliers)}, true).ok);
  }
}

TEST_F(LoaderTest, TheShippedSampleDataLoadsWhole) {
  std::vector<std::string> files;
  for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    files.push_back(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t + ".csv");
  }
  const LoadResult r = Run(files);
  ASSERT_TRUE(r.ok) << r.error;
  for (const LoadedTable& t : r.tables) {
    std::ifstream in(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t.table + ".csv");
    int64_t lines = 0;
    std::string line;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(t.records, lines - 1) << t.table;
    EXPECT_EQ(Count(t.table), t.records);
  }
  EXPECT_GE(Count("FEATURES"), 3000);
  EXPECT_GE(Count("SUPPLIER"), 300);
  EXPECT_GE(Count("ISSUES"), 60);
  EXPECT_GE(Count("REVIEW"), 15);
  EXPECT_GE(Count("CATEGORY"), 40);
}

}  // namespace
}  // namespace mirabo::tools
