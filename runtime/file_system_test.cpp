#include "runtime/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/memory_file_system.h"
#include "tests/testing/temp_dir.h"

namespace mirabo {
namespace {

using testing::TempDir;

OpenOptions ReadOnly() { return OpenOptions{}; }
OpenOptions ReadWrite(bool create = false, bool truncate = false) {
  OpenOptions o;
  o.write = true;
  o.create = create;
  o.truncate = truncate;
  return o;
}

// Reads the whole file through a fresh read-only handle.
std::string Contents(FileSystem& fs, const std::string& path) {
  std::unique_ptr<FileHandle> f;
  if (!fs.Open(path, ReadOnly(), &f).ok()) return "<unreadable>";
  int64_t size = 0;
  std::string bytes;
  EXPECT_TRUE(f->Size(&size).ok());
  EXPECT_TRUE(f->ReadAt(0, static_cast<size_t>(size), &bytes).ok());
  EXPECT_TRUE(f->Close().ok());
  return bytes;
}

// The behaviour every file system shares, run over the disk and over memory.
enum class Kind { kPosix, kMemory };

class FileSystemContractTest : public ::testing::TestWithParam<Kind> {
 protected:
  FileSystem& fs() { return GetParam() == Kind::kPosix ? FileSystem::Default() : memory_; }
  std::string Path(const std::string& name) {
    if (GetParam() == Kind::kPosix) return dir_.File(name);
    memory_.AddFolder("mem");
    return "mem/" + name;
  }

  TempDir dir_;
  MemoryFileSystem memory_;
};

TEST_P(FileSystemContractTest, WritesReadsAndTruncatesAtOffsets) {
  const std::string path = Path("a.txt");
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(path, ReadWrite(/*create=*/true), &f).ok());
  size_t written = 99;
  ASSERT_TRUE(f->WriteAt(0, "hello world", &written).ok());
  EXPECT_EQ(written, 11u);
  ASSERT_TRUE(f->WriteAt(6, "there", &written).ok());
  ASSERT_TRUE(f->Append("!").ok());

  int64_t size = 0;
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(size, 12);
  std::string bytes;
  ASSERT_TRUE(f->ReadAt(size - 1, 1, &bytes).ok());
  EXPECT_EQ(bytes, "!");
  ASSERT_TRUE(f->ReadAt(6, 100, &bytes).ok());
  EXPECT_EQ(bytes, "there!") << "a read past the end gives what there is";
  ASSERT_TRUE(f->ReadAt(50, 4, &bytes).ok());
  EXPECT_EQ(bytes, "");

  ASSERT_TRUE(f->Truncate(5).ok());
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_EQ(Contents(fs(), path), "hello");
}

TEST_P(FileSystemContractTest, TruncatingOpenEmptiesAndPlainOpenKeeps) {
  const std::string path = Path("b.txt");
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "old").ok());
  ASSERT_TRUE(f->Close().ok());

  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_EQ(Contents(fs(), path), "old");

  ASSERT_TRUE(fs().Open(path, ReadWrite(true, /*truncate=*/true), &f).ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_EQ(Contents(fs(), path), "");
}

TEST_P(FileSystemContractTest, OpenFailuresGiveRuntimeCodes) {
  struct Case {
    const char* what;
    std::string path;
    OpenOptions options;
    int code;
  };
  const Case cases[] = {
      {"missing file", Path("none.txt"), ReadOnly(), kFileNotFound},
      {"missing file, writing", Path("none.txt"), ReadWrite(), kFileNotFound},
      {"missing folder", Path("nodir/x.txt"), ReadOnly(), kPathNotFound},
      {"create in missing folder", Path("nodir/x.txt"), ReadWrite(true, true), kPathNotFound},
      {"empty path", "", ReadWrite(true), kPathNotFound},
  };
  for (const Case& c : cases) {
    std::unique_ptr<FileHandle> f;
    const IoStatus s = fs().Open(c.path, c.options, &f);
    EXPECT_EQ(s.code(), c.code) << c.what;
    EXPECT_EQ(f, nullptr) << c.what;
  }
}

TEST_P(FileSystemContractTest, HandleRefusesWhatItWasNotOpenedForAndEverythingAfterClose) {
  const std::string path = Path("c.txt");
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "data").ok());
  ASSERT_TRUE(f->Close().ok());

  ASSERT_TRUE(fs().Open(path, ReadOnly(), &f).ok());
  size_t written = 7;
  EXPECT_EQ(f->WriteAt(0, "x", &written).code(), kAccessDenied);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(f->Truncate(0).code(), kAccessDenied);

  ASSERT_TRUE(f->Close().ok());
  std::string bytes;
  int64_t size = 0;
  EXPECT_EQ(f->Close().code(), kFileNotOpen);
  EXPECT_EQ(f->ReadAt(0, 1, &bytes).code(), kFileNotOpen);
  EXPECT_EQ(f->Size(&size).code(), kFileNotOpen);
  EXPECT_EQ(Contents(fs(), path), "data");
}

// Pairs of runtime access codes: whether the second open is refused while the
// first is open.
TEST_P(FileSystemContractTest, SharingFollowsAccessAndDenials) {
  struct Case {
    uint8_t first;
    uint8_t second;
    bool refused;
  };
  const Case cases[] = {
      {kReadOnly | kDenyNone, kReadWrite | kDenyNone, false},
      {kReadOnly | kShareAny, kReadWrite | kShareAny, false},
      {kReadWrite | kDenyAll, kReadOnly | kDenyNone, true},
      {kReadWrite | kDenyWrite, kReadOnly | kDenyNone, false},
      {kReadWrite | kDenyWrite, kWriteOnly | kDenyNone, true},
      {kReadOnly | kDenyRead, kReadOnly | kDenyNone, true},
      {kReadOnly | kDenyRead, kWriteOnly | kDenyNone, false},
      // The later open may not deny what the earlier one already has.
      {kReadWrite | kDenyNone, kReadOnly | kDenyWrite, true},
      {kReadOnly | kDenyNone, kReadOnly | kDenyWrite, false},
      {kOpenExclusive, kOpenExclusive, true},
      {kOpenShared, kOpenShared, false},
  };
  const std::string path = Path("shared.txt");
  {
    std::unique_ptr<FileHandle> f;
    ASSERT_TRUE(fs().Open(path, ReadWrite(true), &f).ok());
  }
  for (const Case& c : cases) {
    std::unique_ptr<FileHandle> first, second;
    ASSERT_TRUE(fs().Open(path, OpenOptionsForAccess(c.first), &first).ok());
    const IoStatus s = fs().Open(path, OpenOptionsForAccess(c.second), &second);
    EXPECT_EQ(s.code(), c.refused ? kAccessDenied : kNoError)
        << std::hex << "0x" << int{c.first} << " then 0x" << int{c.second};
    second.reset();
    first.reset();
    // Both gone: the file is free again.
    ASSERT_TRUE(fs().Open(path, OpenOptionsForAccess(c.second), &second).ok());
  }
}

TEST_P(FileSystemContractTest, RefusedTruncatingOpenLeavesTheContents) {
  const std::string path = Path("keep.txt");
  std::unique_ptr<FileHandle> holder;
  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &holder).ok());
  ASSERT_TRUE(holder->WriteAt(0, "precious").ok());
  ASSERT_TRUE(holder->Close().ok());
  ASSERT_TRUE(fs().Open(path, OpenOptionsForAccess(kOpenExclusive), &holder).ok());

  OpenOptions replace = ReadWrite(true, true);
  replace.deny_read = replace.deny_write = true;
  std::unique_ptr<FileHandle> f;
  EXPECT_EQ(fs().Open(path, replace, &f).code(), kAccessDenied);
  holder.reset();
  EXPECT_EQ(Contents(fs(), path), "precious");
}

TEST_P(FileSystemContractTest, RemoveDeletesTheFile) {
  const std::string path = Path("gone.txt");
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_TRUE(fs().Remove(path).ok());
  EXPECT_EQ(fs().Remove(path).code(), kFileNotFound);
  EXPECT_EQ(fs().Remove(Path("nodir/x")).code(), kPathNotFound);
  EXPECT_EQ(fs().Open(path, ReadOnly(), &f).code(), kFileNotFound);
}

TEST_P(FileSystemContractTest, RenameReplacesTheTargetAndReportsAMissingSource) {
  const std::string from = Path("from.txt");
  const std::string to = Path("to.txt");
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(from, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "new").ok());
  ASSERT_TRUE(f->Close().ok());
  ASSERT_TRUE(fs().Open(to, ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "old contents").ok());
  ASSERT_TRUE(f->Close().ok());

  ASSERT_TRUE(fs().Rename(from, to).ok());
  EXPECT_EQ(Contents(fs(), to), "new");
  EXPECT_EQ(fs().Open(from, ReadOnly(), &f).code(), kFileNotFound);
  EXPECT_EQ(fs().Rename(from, to).code(), kFileNotFound);
}

// Byte-range locks beyond the data: two opens of one file exclude each other
// on overlapping ranges (on disk through fcntl's open-file-description locks,
// which hold between opens of one process too), and a close gives them up.
TEST_P(FileSystemContractTest, LocksExcludeOtherOpensUntilUnlockedOrClosed) {
  const std::string path = Path("locked.dbf");
  std::unique_ptr<FileHandle> a, b;
  ASSERT_TRUE(fs().Open(path, ReadWrite(true), &a).ok());
  ASSERT_TRUE(fs().Open(path, ReadWrite(), &b).ok());
  constexpr int64_t kBase = 1000000000;

  ASSERT_TRUE(a->Lock(kBase, kBase).ok());
  EXPECT_EQ(b->Lock(kBase + 7, 1).code(), kFileIsAlreadyLocked);
  EXPECT_TRUE(a->Lock(kBase + 7, 1).ok()) << "an open does not conflict with itself";
  EXPECT_TRUE(b->Lock(kBase - 10, 10).ok()) << "ranges that do not overlap";

  ASSERT_TRUE(a->Unlock(kBase, kBase).ok());
  EXPECT_TRUE(b->Lock(kBase + 7, 1).ok());
  EXPECT_EQ(a->Lock(kBase, 1).ok(), true);
  EXPECT_EQ(a->Lock(kBase + 7, 1).code(), kFileIsAlreadyLocked);
  ASSERT_TRUE(b->Close().ok());
  EXPECT_TRUE(a->Lock(kBase + 7, 1).ok());
  EXPECT_TRUE(a->Close().ok());
}

TEST_P(FileSystemContractTest, ExclusiveCreateRefusesAnExistingFileAndLeavesIt) {
  const std::string path = Path("once.txt");
  OpenOptions o = ReadWrite(true);
  o.exclusive = true;
  std::unique_ptr<FileHandle> f;
  ASSERT_TRUE(fs().Open(path, o, &f).ok());
  ASSERT_TRUE(f->Append("kept").ok());
  ASSERT_TRUE(f->Close().ok());
  o.truncate = true;
  const IoStatus again = fs().Open(path, o, &f);
  EXPECT_FALSE(again.ok());
  EXPECT_EQ(again.os_error(), EEXIST);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(Contents(fs(), path), "kept");
}

INSTANTIATE_TEST_SUITE_P(AllFileSystems, FileSystemContractTest,
                         ::testing::Values(Kind::kPosix, Kind::kMemory),
                         [](const ::testing::TestParamInfo<Kind>& param_info) {
                           return param_info.param == Kind::kPosix ? "Posix" : "Memory";
                         });

TEST(PosixFileSystemTest, DirectoryIsNoFile) {
  TempDir dir;
  std::unique_ptr<FileHandle> f;
  EXPECT_EQ(FileSystem::Default().Open(dir.path(), ReadOnly(), &f).code(), kAccessDenied);
}

TEST(PosixFileSystemTest, UnreadableFileIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  TempDir dir;
  const std::string path = dir.File("locked.txt");
  testing::WriteFile(path, "x");
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::unique_ptr<FileHandle> f;
  EXPECT_EQ(FileSystem::Default().Open(path, ReadOnly(), &f).code(), kAccessDenied);
}

TEST(MemoryFileSystemTest, CountsOpenHandlesAndKeepsRemovedFilesForThem) {
  MemoryFileSystem fs;
  fs.SetContents("page.htm", "<HTML>");
  std::unique_ptr<FileHandle> a, b;
  ASSERT_TRUE(fs.Open("page.htm", ReadOnly(), &a).ok());
  ASSERT_TRUE(fs.Open("page.htm", ReadOnly(), &b).ok());
  EXPECT_EQ(fs.OpenCount("page.htm"), 2);
  ASSERT_TRUE(a->Close().ok());
  EXPECT_EQ(fs.OpenCount("page.htm"), 1);

  ASSERT_TRUE(fs.Remove("page.htm").ok());
  std::string bytes;
  ASSERT_TRUE(b->ReadAt(0, 6, &bytes).ok());
  EXPECT_EQ(bytes, "<HTML>");
}

TEST(MemoryFileSystemTest, FilesOnlyInAddedFolders) {
  MemoryFileSystem fs;
  std::unique_ptr<FileHandle> f;
  EXPECT_EQ(fs.Open("out/a/page.htm", ReadWrite(true), &f).code(), kPathNotFound);
  fs.AddFolder("out/a/");
  EXPECT_TRUE(fs.Open("out/a/page.htm", ReadWrite(true), &f).ok());
  EXPECT_TRUE(fs.Open("out/top.htm", ReadWrite(true), &f).ok()) << "parents come with a folder";
  EXPECT_EQ(fs.Open("out/a", ReadOnly(), &f).code(), kAccessDenied) << "a folder is no file";
}

TEST(IoStatusTest, ReportRecordsFileSystemDetailsOnlyForCode90) {
  const IoStatus odd = IoStatus::FromErrno(EPROTO);
  EXPECT_EQ(odd.code(), kFileSystemError);
  EXPECT_EQ(odd.Report(), kFileSystemError);
  EXPECT_EQ(CurrentError().fs_code, std::to_string(EPROTO));
  EXPECT_EQ(CurrentError().fs_text, std::strerror(EPROTO));

  EXPECT_EQ(IoStatus::FromErrno(ENOSPC).Report(), 339);
  EXPECT_EQ(CurrentError().code, 339);
  EXPECT_TRUE(CurrentError().fs_code.empty());
}

// --- Faults ---------------------------------------------------------------

class FaultyFileSystemTest : public ::testing::Test {
 protected:
  std::unique_ptr<FileHandle> OpenNew(const std::string& path) {
    std::unique_ptr<FileHandle> f;
    EXPECT_TRUE(faulty_.Open(path, ReadWrite(true), &f).ok());
    return f;
  }
  std::string Stored(const std::string& path) {
    std::string bytes;
    return memory_.GetContents(path, &bytes) ? bytes : "<missing>";
  }

  MemoryFileSystem memory_;
  FaultyFileSystem faulty_{memory_};
};

TEST_F(FaultyFileSystemTest, NthWriteFailsAloneAndWritesNothing) {
  auto f = OpenNew("f");
  faulty_.FailWrite(2);
  size_t written = 9;
  EXPECT_TRUE(f->WriteAt(0, "aa", &written).ok());
  const IoStatus s = f->WriteAt(2, "bb", &written);
  EXPECT_EQ(s.code(), ErrorFromErrno(EIO));
  EXPECT_EQ(s.os_error(), EIO);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(f->WriteAt(2, "cc", &written).ok()) << "only the nth write fails";
  EXPECT_EQ(Stored("f"), "aacc");
  EXPECT_EQ(faulty_.writes(), 3);
}

TEST_F(FaultyFileSystemTest, FullDiskWritesWhatFitsThenNothing) {
  auto f = OpenNew("f");
  faulty_.FillDiskAfter(5);
  size_t written = 0;
  EXPECT_TRUE(f->WriteAt(0, "abc", &written).ok());
  const IoStatus s = f->WriteAt(3, "defg", &written);
  EXPECT_EQ(s.code(), 339) << "Handle Disk Full";
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(f->Append("h", &written).code(), 339);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Stored("f"), "abcde");

  faulty_.Clear();
  EXPECT_TRUE(f->Append("h").ok());
}

TEST_F(FaultyFileSystemTest, FailedSyncAndCloseReportTheirErrorAndTheFileCloses) {
  auto f = OpenNew("f");
  ASSERT_TRUE(f->WriteAt(0, "kept").ok());
  faulty_.FailSync(EIO);
  EXPECT_EQ(f->Sync().code(), ErrorFromErrno(EIO));
  faulty_.FailClose(ENOSPC);
  EXPECT_EQ(f->Close().code(), 339);
  EXPECT_EQ(memory_.OpenCount("f"), 0);
  EXPECT_EQ(Stored("f"), "kept");
}

TEST_F(FaultyFileSystemTest, FailOpenHitsOneOpenOnly) {
  std::unique_ptr<FileHandle> f;
  faulty_.FailOpen(EACCES);
  EXPECT_EQ(faulty_.Open("f", ReadWrite(true), &f).code(), kAccessDenied);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(Stored("f"), "<missing>") << "the failed open created nothing";
  ASSERT_TRUE(faulty_.Open("f", ReadWrite(true), &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "x").ok());
  f.reset();

  faulty_.FailOpen(ENOTDIR, /*creating_only=*/true);
  EXPECT_TRUE(faulty_.Open("f", ReadOnly(), &f).ok());
  f.reset();
  EXPECT_EQ(faulty_.Open("f", ReadWrite(true, true), &f).code(), kPathNotFound);
  EXPECT_EQ(Stored("f"), "x");
}

}  // namespace
}  // namespace mirabo
