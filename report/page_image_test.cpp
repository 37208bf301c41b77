#include "report/page_image.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file_system.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::report {
namespace {

PageImage SamplePage() {
  PageImage p;
  p.number = 3;
  const uint16_t bold = p.FontIndex({"Arial", 10, true});
  const uint16_t small = p.FontIndex({"Arial", 8, false});
  p.items.emplace_back(BoxItem{{500, 1312, 6979, 458}, 10, kBlack, kLightGrey});
  p.items.emplace_back(LineItem{3875, 1323, 3875, 1783, 10, kBlack});
  p.items.emplace_back(
      TextRun{{490, 1073, 6969, 219}, bold, Align::kCentre, true, kBlack, "Caf\xE9 Listing"});
  p.items.emplace_back(
      TextRun{{6250, 9030, 700, 135}, small, Align::kRight, false, 0x336699, "Page    3"});
  return p;
}

TEST(PageImageTest, EncodedPageDecodesToTheSameDisplayList) {
  const PageImage page = SamplePage();
  const std::string bytes = EncodePageImage(page);
  PageImage back;
  ASSERT_TRUE(DecodePageImage(bytes, &back).ok());
  EXPECT_EQ(back, page);
  int w = 0, h = 0;
  ASSERT_TRUE(DecodePageSize(bytes.substr(0, kPageHeaderSize), &w, &h).ok());
  EXPECT_EQ(w, kLetterWidth);
  EXPECT_EQ(h, kLetterHeight);
  EXPECT_EQ(DescribePageImage(back),
            "page 3 size 8500x11000\n"
            "font 0 Arial 10 bold\n"
            "font 1 Arial 8\n"
            "box 500,1312 6979x458 width 10 outline 000000 fill C0C0C0\n"
            "line 3875,1323 to 3875,1783 width 10\n"
            "text 490,1073 6969x219 font 0 centre opaque \"Caf\xE9 Listing\"\n"
            "text 6250,9030 700x135 font 1 right transparent colour 336699 \"Page    3\"\n");
}

TEST(PageImageTest, DamagedBytesAreRefusedAsDamaged) {
  const std::string good = EncodePageImage(SamplePage());
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
  };
  const Case cases[] = {
      {"empty", [] { return std::string(); }},
      {"header cut", [&] { return good.substr(0, 20); }},
      {"other magic", [&] { return "XPGI" + good.substr(4); }},
      {"newer version",
       [&] {
         std::string b = good;
         b[4] = 9;
         return b;
       }},
      {"body cut", [&] { return good.substr(0, good.size() - 3); }},
      {"bytes added", [&] { return good + "xx"; }},
      {"a byte flipped",
       [&] {
         std::string b = good;
         b[60] ^= 0x20;
         return b;
       }},
      {"impossible size",
       [&] {
         std::string b = good;
         b[11] = '\x80';
         return b;
       }},
  };
  for (const Case& c : cases) {
    PageImage p;
    const Status s = DecodePageImage(c.bytes(), &p);
    EXPECT_EQ(s.code(), StatusCode::kDamaged) << c.what;
    EXPECT_FALSE(s.message().empty()) << c.what;
  }
}

// A body whose checksum is right but whose contents lie is refused as well.
TEST(PageImageTest, ConsistentButNonsensicalBodyIsRefused) {
  PageImage p = SamplePage();
  std::get<TextRun>(p.items[2]).font = 7;  // no such font
  PageImage back;
  EXPECT_EQ(DecodePageImage(EncodePageImage(p), &back).code(), StatusCode::kDamaged);
}

class PageFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
};

TEST_F(PageFileTest, PageFileIsNamedWithItsPrefixInTheFolderAndReadsBack) {
  std::string first, second;
  ASSERT_TRUE(WritePageFile(SamplePage(), dir_.path(), "RPG", &first).ok());
  ASSERT_TRUE(WritePageFile(SamplePage(), dir_.path(), "RPG", &second).ok());
  EXPECT_NE(first, second);
  const std::filesystem::path p(first);
  EXPECT_EQ(p.parent_path().string(), dir_.path());
  EXPECT_EQ(p.filename().string().substr(0, 3), "RPG");
  EXPECT_LE(first.size(), kPageNameLimit);
  PageImage back;
  ASSERT_TRUE(ReadPageFile(first, &back).ok());
  EXPECT_EQ(back, SamplePage());
}

TEST_F(PageFileTest, FolderTooLongForTheListGoesToTmp) {
  std::string deep = dir_.path();
  while (deep.size() < 90) deep += "/longer-folder-name";
  std::filesystem::create_directories(deep);
  std::string name;
  ASSERT_TRUE(WritePageFile(SamplePage(), deep, "RPG", &name).ok());
  EXPECT_EQ(name.rfind("/tmp/RPG", 0), 0u) << name;
  EXPECT_LE(name.size(), kPageNameLimit);
  std::filesystem::remove(name);
}

TEST_F(PageFileTest, MissingAndDamagedFilesReadAsErrorsNamingTheFile) {
  PageImage page;
  const std::string missing = dir_.File("RPGNONE.TMP");
  const Status gone = ReadPageFile(missing, &page);
  EXPECT_EQ(gone.code(), StatusCode::kMissing);
  EXPECT_NE(gone.message().find(missing), std::string::npos);

  const std::string junk = dir_.File("RPGJUNK.TMP");
  testing::WriteFile(junk, "this is not a page");
  const Status bad = ReadPageFile(junk, &page);
  EXPECT_EQ(bad.code(), StatusCode::kDamaged);
  EXPECT_NE(bad.message().find(junk), std::string::npos);
  int w = 0, h = 0;
  EXPECT_EQ(ReadPageSize(junk, &w, &h).code(), StatusCode::kDamaged);
}

// A file system whose opens are refused without a reason from the system,
// as a file system of the program's own may refuse them.
class NoReasonFileSystem : public FileSystem {
 public:
  IoStatus Open(const std::string&, const OpenOptions&,
                std::unique_ptr<FileHandle>* file) override {
    file->reset();
    return IoStatus::Code(kAccessDenied);
  }
  IoStatus Remove(const std::string&) override { return IoStatus::Ok(); }
  IoStatus Rename(const std::string&, const std::string&) override { return IoStatus::Ok(); }
};

// Each failure names the step that failed and the system's reason, and
// leaves nothing behind.
TEST_F(PageFileTest, AFailedWriteSaysWhatFailedAndWhyAndLeavesNothingBehind) {
  struct Case {
    const char* what;
    std::function<void(FaultyFileSystem&)> fault;
    std::string says;
  };
  const Case cases[] = {
      {"full disk", [](FaultyFileSystem& f) { f.FillDiskAfter(40); },
       "could not be written (No space left on device)"},
      {"write", [](FaultyFileSystem& f) { f.FailWrite(1, EIO); },
       "could not be written (Input/output error)"},
      {"close", [](FaultyFileSystem& f) { f.FailClose(EIO); },
       "could not be closed (Input/output error)"},
      {"creation", [](FaultyFileSystem& f) { f.FailOpen(EACCES); },
       "could not be created in " + dir_.path() + " (Permission denied)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultyFileSystem faulty(FileSystem::Default());
    ScopedFileSystemForTests use(faulty);
    c.fault(faulty);
    std::string name = "unchanged";
    const Status s = WritePageFile(SamplePage(), dir_.path(), "RPG", &name);
    EXPECT_EQ(s.code(), StatusCode::kWriteFailed);
    EXPECT_NE(s.message().find(c.says), std::string::npos) << s.message();
    EXPECT_EQ(name, "unchanged");
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  }
  NoReasonFileSystem refusing;
  ScopedFileSystemForTests use(refusing);
  std::string name;
  const Status s = WritePageFile(SamplePage(), dir_.path(), "RPG", &name);
  EXPECT_NE(s.message().find("(" + ErrorText(kAccessDenied) + ")"), std::string::npos)
      << s.message();
}

// A page file that is there but cannot be opened or read is not missing.
TEST_F(PageFileTest, AFailedReadSaysWhyAndIsNotTakenForAMissingFile) {
  std::string name;
  ASSERT_TRUE(WritePageFile(SamplePage(), dir_.path(), "RPG", &name).ok());
  struct Case {
    const char* what;
    std::function<void(FaultyFileSystem&)> fault;
    StatusCode code;
    const char* says;
  };
  const Case cases[] = {
      {"open refused", [](FaultyFileSystem& f) { f.FailOpen(EACCES); }, StatusCode::kDamaged,
       "cannot be opened (Permission denied)"},
      {"read", [](FaultyFileSystem& f) { f.FailRead(1, EIO); }, StatusCode::kDamaged,
       "cannot be read (Input/output error)"},
      {"gone", [](FaultyFileSystem& f) { f.FailOpen(ENOENT); }, StatusCode::kMissing, "is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultyFileSystem faulty(FileSystem::Default());
    ScopedFileSystemForTests use(faulty);
    c.fault(faulty);
    PageImage page;
    const Status s = ReadPageFile(name, &page);
    EXPECT_EQ(s.code(), c.code);
    EXPECT_NE(s.message().find(name + " " + c.says), std::string::npos) << s.message();
  }
}

}  // namespace
}  // namespace mirabo::report
