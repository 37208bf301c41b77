#include "storage/text/ascii_driver.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/memory_file_system.h"
#include "storage/text/oem_charset.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::text {
namespace {

// The HTML page's declaration: one STRING(255) LINE, create attribute.
FileDecl HtmlDecl(const std::string& path) {
  return FileDeclBuilder("HTML", "", "ASCII").Name(path).Create().String("LINE", 255).Build();
}

class AsciiDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterAsciiDriver(); }

  // Creates `path` (unless `existing` gives its bytes), opens it exclusively,
  // applies `options`, adds one record per line and closes it.
  void Write(const FileDecl& decl, const std::vector<std::string>& options,
             const std::vector<std::string>& lines, const std::string* existing = nullptr) {
    File f(decl);
    if (existing) {
      memory_.SetContents(decl.name, *existing);
    } else {
      ASSERT_EQ(f.Create(), kNoError);
    }
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    for (const std::string& o : options) ASSERT_EQ(f.Option(o), kNoError) << o;
    for (const std::string& line : lines) {
      f.Field("LINE").SetString(line);
      ASSERT_EQ(f.Add(), kNoError) << line;
    }
    ASSERT_EQ(f.Close(), kNoError);
  }

  std::string Stored(const std::string& path) {
    std::string bytes;
    return memory_.GetContents(path, &bytes) ? bytes : "<missing>";
  }

  MemoryFileSystem memory_;
  ScopedFileSystemForTests use_memory_{memory_};
};

TEST_F(AsciiDriverTest, RegistersAsAscii) {
  const FileDriver* driver = FindDriver("ASCII");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->Register(), "ASCII");
}

TEST_F(AsciiDriverTest, AddWritesOneLinePerRecord) {
  const std::string pad(252, ' ');
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::vector<std::string> lines;
    std::string expected;
  };
  const Case cases[] = {
      {"trailing blanks clipped", {}, {"abc" + pad}, "abc\r\n"},
      {"blank record is an empty line", {}, {std::string(255, ' ')}, "\r\n"},
      {"leading blanks kept", {}, {"  <TR>"}, "  <TR>\r\n"},
      {"lines in order", {}, {"<HTML>", "", "</HTML>"}, "<HTML>\r\n\r\n</HTML>\r\n"},
      {"CLIP off writes the whole record", {"CLIP=OFF"}, {"abc"}, "abc" + pad + "\r\n"},
      {"CLIP other value changes nothing", {"CLIP=OFF", "CLIP=MAYBE"}, {"a"}, "a" + pad + "  \r\n"},
      {"option text blanks and case", {" clip = off ", "Clip=On"}, {"a"}, "a\r\n"},
      {"line feed only", {"ENDOFRECORD=1,10"}, {"a", "b"}, "a\nb\n"},
      {"three end bytes", {"endofrecord = 3, 13,13,10"}, {"a"}, "a\r\r\n"},
      {"no end bytes", {"ENDOFRECORD=0"}, {"a", "b"}, "ab"},
      {"count must match the bytes", {"ENDOFRECORD=2,10"}, {"a"}, "a\r\n"},
      {"bytes must fit a byte", {"ENDOFRECORD=1,256"}, {"a"}, "a\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(HtmlDecl("page.htm"), c.options, c.lines);
    EXPECT_EQ(Stored("page.htm"), c.expected);
  }
}

TEST_F(AsciiDriverTest, FirstAddReplacesATrailingEndOfFileByte) {
  struct Case {
    std::string existing;
    std::vector<std::string> options;
    std::vector<std::string> lines;
    std::string expected;
  };
  const Case cases[] = {
      {"old\r\n\x1A", {}, {"new"}, "old\r\nnew\r\n"},
      {"\x1A", {}, {"a", "b"}, "a\r\nb\r\n"},
      {"old\r\n", {}, {"new"}, "old\r\nnew\r\n"},
      {"a\x1A\r\n", {}, {"b"}, "a\x1A\r\nb\r\n"},
      // Only the first add looks: a 0x1A the driver wrote itself stays.
      {"",
       {"ENDOFRECORD=0"},
       {"a\x1A", "b"},
       "a\x1A"
       "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.existing));
    Write(HtmlDecl("page.htm"), c.options, c.lines, &c.existing);
    EXPECT_EQ(Stored("page.htm"), c.expected);
  }
}

TEST_F(AsciiDriverTest, CurrentRecordIsTheFirstByteOfTheLastLine) {
  memory_.SetContents("page.htm", "12345\x1A");
  const FileDecl decl = HtmlDecl("page.htm");
  File f(decl);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  EXPECT_EQ(CurrentRecordPosition(f), -1);
  f.Field("LINE").SetString("ab");
  ASSERT_EQ(f.Add(), kNoError);
  EXPECT_EQ(CurrentRecordPosition(f), 5);
  ASSERT_EQ(f.Add(), kNoError);
  EXPECT_EQ(CurrentRecordPosition(f), 9);
}

TEST_F(AsciiDriverTest, OptionDefaultsFollowTheSharingAndTheRecordSize) {
  struct Case {
    uint8_t mode;
    int record;
    const char* quickscan;
    const char* filebuffers;
  };
  const Case cases[] = {
      {kOpenExclusive, 255, "ON", "2"},          {kReadOnly | kDenyAll, 255, "ON", "2"},
      {kReadOnly | kDenyRead, 255, "ON", "2"},   {kOpenShared, 255, "OFF", "1"},
      {kReadWrite | kShareAny, 255, "OFF", "1"}, {kOpenShared, 300, "OFF", "2"},
      {kOpenExclusive, 1100, "ON", "5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << int{c.mode} << ", record " << c.record);
    memory_.SetContents("t.txt", "");
    const FileDecl decl =
        FileDeclBuilder("T", "", "ASCII").Name("t.txt").String("LINE", c.record).Build();
    File f(decl);
    ASSERT_EQ(f.Open(c.mode), kNoError);
    std::string answer;
    const std::pair<const char*, std::string> expected[] = {{"QUICKSCAN", c.quickscan},
                                                            {"FILEBUFFERS", c.filebuffers},
                                                            {"CLIP", "ON"},
                                                            {"ENDOFRECORD", "\r\n"},
                                                            {"TAB", "8"}};
    for (const auto& [name, value] : expected) {
      ASSERT_EQ(f.Option(name, &answer), kNoError);
      EXPECT_EQ(answer, value) << name;
    }
  }
}

TEST_F(AsciiDriverTest, OptionSettingsAndTheirQueries) {
  struct Case {
    std::vector<std::string> settings;
    const char* query;
    std::string answer;
  };
  const Case cases[] = {
      {{"CLIP=OFF"}, "CLIP", "OFF"},
      {{"QUICKSCAN=OFF"}, "quick scan", "OFF"},
      {{"QUICKSCAN=OFF", "quickscan=on"}, "QUICKSCAN", "ON"},
      {{"QUICKSCAN=OFF", "QUICKSCAN=YES"}, "QUICKSCAN", "OFF"},
      {{"ENDOFRECORD=1,10"}, "ENDOFRECORD", "\n"},
      {{"ENDOFRECORD=0"}, "ENDOFRECORD", ""},
      {{"ENDOFRECORD=x"}, "ENDOFRECORD", "\r\n"},
      {{"TAB=-4"}, "TAB", "-4"},
      {{"tab = 12"}, "TAB", "12"},
      {{"TAB=4X"}, "TAB", "8"},
      {{"FILEBUFFERS=4"}, "FILEBUFFERS", "4"},
      {{"FILEBUFFERS=0"}, "FILEBUFFERS", "2"},
      {{"FILEBUFFERS=-1"}, "FILEBUFFERS", "2"},
      {{}, "WRITEBUFFER", "0"},
      {{"WRITEBUFFER=65536"}, "WRITEBUFFER", "65536"},
      {{"WRITEBUFFER=65536", "WRITEBUFFER=-1"}, "WRITEBUFFER", "65536"},
  };
  memory_.SetContents("page.htm", "");
  const FileDecl decl = HtmlDecl("page.htm");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings.empty() ? c.query : c.settings.back());
    File f(decl);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    std::string answer = "stale";
    for (const std::string& s : c.settings) {
      ASSERT_EQ(f.Option(s, &answer), kNoError);
      EXPECT_EQ(answer, "") << "a setting answers nothing";
    }
    ASSERT_EQ(f.Option(c.query, &answer), kNoError);
    EXPECT_EQ(answer, c.answer);
  }
}

TEST_F(AsciiDriverTest, EveryOpenStartsFromTheDefaults) {
  const FileDecl decl = HtmlDecl("page.htm");
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(f.Option("CLIP=OFF"), kNoError);
  ASSERT_EQ(f.Option("TAB=3"), kNoError);
  ASSERT_EQ(f.Option("WRITEBUFFER=512"), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  std::string answer;
  ASSERT_EQ(f.Option("CLIP", &answer), kNoError);
  EXPECT_EQ(answer, "ON");
  ASSERT_EQ(f.Option("TAB", &answer), kNoError);
  EXPECT_EQ(answer, "8");
  ASSERT_EQ(f.Option("WRITEBUFFER", &answer), kNoError);
  EXPECT_EQ(answer, "0");
  EXPECT_EQ(f.Option("UNKNOWN", &answer), kUnsupportedFunction);
}

TEST_F(AsciiDriverTest, CreateEmptiesAnExistingFileAndLeavesItClosed) {
  memory_.SetContents("page.htm", "old page");
  const FileDecl decl = HtmlDecl("page.htm");
  File f(decl);
  EXPECT_EQ(f.Create(), kNoError);
  EXPECT_EQ(Stored("page.htm"), "");
  EXPECT_EQ(memory_.OpenCount("page.htm"), 0);
  EXPECT_FALSE(f.is_open());
}

TEST_F(AsciiDriverTest, CreateAndOpenFailuresGiveTheirCodes) {
  FileDecl no_create = HtmlDecl("page.htm");
  no_create.create = false;
  File plain(no_create);
  EXPECT_EQ(plain.Create(), kNoCreateAttribute);
  plain.Name();  // attaches the driver, which checks the attribute on its own too
  ASSERT_NE(plain.driver_file(), nullptr);
  EXPECT_EQ(plain.driver_file()->Create(), kNoCreateAttribute);

  const FileDecl bad_path = HtmlDecl("nodir/page.htm");
  File lost(bad_path);
  EXPECT_EQ(lost.Create(), kPathNotFound);
  EXPECT_EQ(ErrorText(CurrentError().code), "Path Not Found");
  EXPECT_EQ(lost.Open(kOpenExclusive), kPathNotFound);

  const FileDecl missing = HtmlDecl("missing.htm");
  File absent(missing);
  EXPECT_EQ(absent.Open(kOpenExclusive), kFileNotFound);
  EXPECT_EQ(ErrorText(CurrentError().code), "File Not Found");

  const FileDecl numbers =
      FileDeclBuilder("N", "", "ASCII").Name("n.txt").Create().Long("COUNT").Build();
  File numeric(numbers);
  EXPECT_EQ(numeric.Create(), kUnsupportedDataType);
  memory_.SetContents("n.txt", "");
  EXPECT_EQ(numeric.Open(kOpenExclusive), kUnsupportedDataType);
}

TEST_F(AsciiDriverTest, CreateOfAFileOpenElsewhereIsASharingViolation) {
  const FileDecl decl = HtmlDecl("page.htm");
  File first(decl), second(decl);
  ASSERT_EQ(first.Create(), kNoError);
  ASSERT_EQ(first.Open(kOpenExclusive), kNoError);
  EXPECT_EQ(second.Create(), kAccessDenied);
  EXPECT_EQ(second.Open(kOpenExclusive), kAccessDenied);
  EXPECT_EQ(second.Open(kOpenShared), kNoError) << "0x22 lets others read";
}

TEST_F(AsciiDriverTest, AddToAFileOpenForReadingOnlyIsAccessDenied) {
  memory_.SetContents("page.htm", "x\r\n");
  const FileDecl decl = HtmlDecl("page.htm");
  File f(decl);
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  EXPECT_EQ(f.Add(), kAccessDenied);
  EXPECT_EQ(CurrentError().code, kAccessDenied);
  EXPECT_EQ(f.Next(), kUnsupportedFunction) << "reading is not supported";
  EXPECT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("page.htm"), "x\r\n");
}

TEST_F(AsciiDriverTest, OemFileGetsCodePage437AndTheRecordKeepsItsText) {
  FileDecl decl = HtmlDecl("page.htm");
  decl.oem = true;
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  // é ü Ç £ ß nbsp, then À and € that code page 437 lacks.
  f.Field("LINE").SetString("\xE9\xFC\xC7\xA3\xDF\xA0\xC0\x80 A");
  ASSERT_EQ(f.Add(), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("page.htm"),
            "\x82\x81\x80\x9C\xE1\xFF??"
            " A\r\n");
  EXPECT_EQ(f.Field("LINE").GetString().substr(0, 3), "\xE9\xFC\xC7");
}

TEST(OemCharsetTest, HighHalfMapsToDistinctHighCodesOrQuestionMark) {
  std::set<char> seen;
  int mapped = 0;
  for (int c = 0; c < 256; ++c) {
    const char oem = OemFromAnsi(static_cast<char>(c));
    if (c < 0x80) {
      EXPECT_EQ(oem, static_cast<char>(c));
    } else if (oem != '?') {
      ++mapped;
      EXPECT_GE(static_cast<unsigned char>(oem), 0x80) << c;
      EXPECT_TRUE(seen.insert(oem).second) << "two characters share OEM code " << int{oem};
    }
  }
  EXPECT_EQ(mapped, 54);
}

// --- Failures of the disk -------------------------------------------------

class AsciiDriverFaultTest : public AsciiDriverTest {
 protected:
  void SetUp() override {
    AsciiDriverTest::SetUp();
    use_faulty_ = std::make_unique<ScopedFileSystemForTests>(faulty_);
    ASSERT_EQ(f_.Create(), kNoError);
    ASSERT_EQ(f_.Open(kOpenExclusive), kNoError);
  }
  int AddLine(const std::string& line) {
    f_.Field("LINE").SetString(line);
    return f_.Add();
  }

  FaultyFileSystem faulty_{memory_};
  std::unique_ptr<ScopedFileSystemForTests> use_faulty_;
  const FileDecl decl_ = HtmlDecl("page.htm");
  File f_{decl_};
};

TEST_F(AsciiDriverFaultTest, FailedWriteFailsThatAddOnly) {
  faulty_.FailWrite(2);
  EXPECT_EQ(AddLine("one"), kNoError);
  EXPECT_EQ(AddLine("two"), kAccessDenied);
  EXPECT_EQ(CurrentError().code, kAccessDenied);
  EXPECT_EQ(AddLine("three"), kNoError);
  EXPECT_EQ(CurrentError().code, kNoError);
  EXPECT_EQ(f_.Close(), kNoError);
  EXPECT_EQ(Stored("page.htm"), "one\r\nthree\r\n");
}

TEST_F(AsciiDriverFaultTest, BufferedLinesThatCannotBeWrittenFailTheClose) {
  ASSERT_EQ(f_.Option("WRITEBUFFER=4096"), kNoError);
  faulty_.FailWrite(1);
  EXPECT_EQ(AddLine("one"), kNoError);
  EXPECT_EQ(AddLine("two"), kNoError);
  EXPECT_EQ(Stored("page.htm"), "") << "gathered, not yet written";
  EXPECT_EQ(f_.Close(), kAccessDenied);
  EXPECT_EQ(Stored("page.htm"), "") << "nothing of a failed write is kept";
}

TEST_F(AsciiDriverFaultTest, FailedFirstAddLeavesTheEndOfFileByteForTheNext) {
  ASSERT_EQ(f_.Close(), kNoError);
  memory_.SetContents("page.htm", "old\r\n\x1A");
  ASSERT_EQ(f_.Open(kOpenExclusive), kNoError);
  faulty_.FailWrite(1);
  EXPECT_EQ(AddLine("lost"), kAccessDenied);
  EXPECT_EQ(AddLine("new"), kNoError);
  EXPECT_EQ(Stored("page.htm"), "old\r\nnew\r\n");
}

TEST_F(AsciiDriverFaultTest, ShortWriteOnAFullDiskIsAccessDeniedAndLeavesNoHalfLine) {
  faulty_.FillDiskAfter(7);
  EXPECT_EQ(AddLine("abc"), kNoError);
  EXPECT_EQ(AddLine("defg"), kAccessDenied);
  EXPECT_EQ(Stored("page.htm"), "abc\r\n");
  faulty_.Clear();
  EXPECT_EQ(AddLine("hi"), kNoError);
  EXPECT_EQ(Stored("page.htm"), "abc\r\nhi\r\n");
}

TEST_F(AsciiDriverFaultTest, RemainsThatCannotBeCutAreOverwrittenAndCutAtTheClose) {
  faulty_.FillDiskAfter(12);
  faulty_.FailTruncate();
  EXPECT_EQ(AddLine("one"), kNoError);                // 5 bytes
  EXPECT_EQ(AddLine("twotwotwotwo"), kAccessDenied);  // 14 bytes, 7 of them written
  faulty_.Clear();
  EXPECT_EQ(AddLine("3"), kNoError) << "written over the remains";
  EXPECT_EQ(Stored("page.htm"), "one\r\n3\r\ntwot") << "four bytes of the failed line are left";
  EXPECT_EQ(f_.Close(), kNoError);
  EXPECT_EQ(Stored("page.htm"), "one\r\n3\r\n") << "the close cut them";

  // Remains that even the close cannot cut make flush and close fail.
  ASSERT_EQ(f_.Open(kOpenExclusive), kNoError);
  faulty_.FillDiskAfter(3);
  faulty_.FailTruncate();
  EXPECT_EQ(AddLine("four"), kAccessDenied);
  EXPECT_EQ(f_.Flush(), kAccessDenied);
  EXPECT_EQ(f_.Close(), kAccessDenied);
  EXPECT_FALSE(f_.is_open());
}

TEST_F(AsciiDriverFaultTest, FailedCloseIsReportedAndTheFileIsClosed) {
  ASSERT_EQ(AddLine("</HTML>"), kNoError);
  faulty_.FailClose(ENOSPC);
  EXPECT_EQ(f_.Close(), 339);
  EXPECT_EQ(ErrorText(CurrentError().code), "Handle Disk Full");
  EXPECT_FALSE(f_.is_open());
  EXPECT_EQ(memory_.OpenCount("page.htm"), 0);
}

TEST_F(AsciiDriverFaultTest, SystemErrorsWithoutACodeCarryTheirOwnNumberAndText) {
  faulty_.FailClose(EPROTO);
  EXPECT_EQ(f_.Close(), kFileSystemError);
  EXPECT_EQ(CurrentError().fs_code, std::to_string(EPROTO));
  EXPECT_EQ(CurrentError().fs_text, std::strerror(EPROTO));

  faulty_.FailOpen(EBUSY, /*creating_only=*/true);
  EXPECT_EQ(f_.Create(), 332);  // "Sharing Violation" of the system
}

// --- The real disk ---------------------------------------------------------

TEST(AsciiDriverOnDiskTest, WritesThePageUnderThePaddedNameAsGiven) {
  RegisterAsciiDriver();
  testing::TempDir dir;
  const std::string padded = dir.File("page") + std::string(20, ' ');
  const FileDecl decl = FileDeclBuilder("HTML", "", "ASCII")
                            .NameFrom([&] { return padded; })
                            .Create()
                            .String("LINE", 255)
                            .Build();
  File f(decl);
  EXPECT_EQ(f.Name(), dir.File("page"));
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  for (const char* line : {"<HTML>", "</HTML>"}) {
    f.Field("LINE").SetString(line);
    ASSERT_EQ(f.Add(), kNoError);
  }
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(testing::ReadFile(dir.File("page")), "<HTML>\r\n</HTML>\r\n");

  const FileDecl lost = HtmlDecl(dir.File("nodir/page.htm"));
  File g(lost);
  EXPECT_EQ(g.Create(), kPathNotFound);
  EXPECT_EQ(g.Open(kOpenExclusive), kPathNotFound);
}

}  // namespace
}  // namespace mirabo::text
