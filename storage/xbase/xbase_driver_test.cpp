#include "storage/xbase/xbase_driver.h"

#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/driver_alert.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "runtime/file_decl.h"
#include "runtime/text.h"
#include "storage/xbase/dbf_test_util.h"
#include "storage/xbase/xbase_field_map.h"

namespace mirabo::xbase {
namespace {

using testing::Bytes;
using testing::Le16;
using testing::Le32;
using B = FileDeclBuilder;

std::string g_name;  // the variable the test declarations take their name from

// The xBase copy of ISSUES as the export declares it.
const FileDecl& Issues() {
  static const FileDecl decl = B("ISS1", "ISS1", "XBASE")
                                   .NameFrom([] { return g_name; })
                                   .Create()
                                   .Real("ISSUE_NUMB", "ISSUE_NUMB=N(3.0)")
                                   .String("ISSUE_NAME", 14)
                                   .String("COMMENTS", 91)
                                   .Build();
  return decl;
}

std::string Cwd() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}

class XbaseDriverTest : public ::testing::Test {
 protected:
  XbaseDriverTest() {
    RegisterXbaseDriver();
    fs_.AddFolder(Cwd());
    g_name = "ISSUES";
    SetDriverAlertSink([this](const DriverAlert& a) { alerts_.push_back(a); });
  }
  ~XbaseDriverTest() override { SetDriverAlertSink(nullptr); }

  std::string Path(const std::string& name) { return Cwd() + "/" + name; }
  std::string Disk(const std::string& name = "ISSUES.DBF") { return Bytes(fs_, Path(name)); }
  bool OnDisk(const std::string& name) {
    std::string ignored;
    return fs_.GetContents(Path(name), &ignored);
  }

  // Creates and opens the ISSUES copy as the export does.
  void CreateAndOpen(File& f, uint8_t mode = kOpenExclusive) {
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(mode), kNoError);
    ASSERT_EQ(f.PostOpen(), kNoError);
  }
  int AppendIssue(File& f, double number, const std::string& name,
                  const std::string& comments = "") {
    f.Field(0).SetNumber(number);
    f.Field(1).SetString(name);
    f.Field(2).SetString(comments);
    return f.Append();
  }

  MemoryFileSystem fs_;
  FaultyFileSystem faulty_{fs_};
  ScopedFileSystemForTests use_{faulty_};
  testing::ScopedTestDate date_;
  std::vector<DriverAlert> alerts_;
};

TEST_F(XbaseDriverTest, RegistersAsXbase) {
  ASSERT_NE(FindDriver("XBASE"), nullptr);
  EXPECT_EQ(FindDriver("XBASE")->Register(), "XBASE");
}

TEST_F(XbaseDriverTest, IssuesCopyHasTheDeclaredFieldsAndRecords) {
  File f(Issues());
  CreateAndOpen(f);
  ASSERT_EQ(AppendIssue(f, 12, "May 1996", "first"), kNoError);
  ASSERT_EQ(AppendIssue(f, 7, "June 1996"), kNoError);
  ASSERT_EQ(f.Close(), kNoError);

  const std::string b = Disk();
  EXPECT_EQ(Le16(b, 8), 32u * 3 + 33);
  EXPECT_EQ(Le16(b, 10), 109u);
  EXPECT_EQ(Le32(b, 4), 2u);
  const std::string descriptors[] = {b.substr(32, 32), b.substr(64, 32), b.substr(96, 32)};
  EXPECT_EQ(descriptors[0].substr(0, 11), std::string("ISSUE_NUMB\0", 11));
  EXPECT_EQ(descriptors[0][11], 'N');
  EXPECT_EQ(descriptors[0][16], 3);
  EXPECT_EQ(descriptors[0][17], 0);
  EXPECT_EQ(descriptors[1].substr(0, 11), std::string("ISSUE_NAME\0", 11));
  EXPECT_EQ(descriptors[1][11], 'C');
  EXPECT_EQ(descriptors[1][16], 14);
  EXPECT_EQ(descriptors[2].substr(0, 11), std::string("COMMENTS\0\0\0", 11));
  EXPECT_EQ(descriptors[2][16], 91);
  EXPECT_EQ(b.substr(129, 19), "  12May 1996      f");
  EXPECT_EQ(b.substr(129 + 109, 18), "   7June 1996     ");
  EXPECT_EQ(b.size(), 129u + 2 * 109 + 1);
}

TEST_F(XbaseDriverTest, ANumberTooWideFailsTheAppendWith90AndBadData) {
  File f(Issues());
  CreateAndOpen(f);
  ASSERT_EQ(AppendIssue(f, 999, "fits"), kNoError);
  EXPECT_EQ(AppendIssue(f, 1234, "too wide"), kFileSystemError);
  EXPECT_EQ(CurrentError().code, kFileSystemError);
  EXPECT_EQ(CurrentError().fs_code, "-233");
  EXPECT_EQ(CurrentError().fs_text, "bad data");
  ASSERT_EQ(AppendIssue(f, 5, "after"), kNoError);
  EXPECT_EQ(CurrentError().code, kNoError) << "the failure is forgotten";
  int64_t count = 0;
  ASSERT_EQ(f.Records(&count), kNoError);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Le32(Disk(), 4), 2u);
  EXPECT_TRUE(alerts_.empty()) << "EXTERRORS is off";
}

TEST_F(XbaseDriverTest, AMissingTargetIs2AndAFreshTableHoldsNoRecords) {
  File f(Issues());
  EXPECT_EQ(f.Open(kOpenExclusive), kFileNotFound);
  CreateAndOpen(f);
  int64_t count = -1;
  ASSERT_EQ(f.Records(&count), kNoError);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Disk().size(), 129u + 1);
  EXPECT_EQ(Disk().back(), 0x1A);
  EXPECT_EQ(f.Close(), kNoError);
}

TEST_F(XbaseDriverTest, NamesGetTheExtensionAndAFullPath) {
  fs_.AddFolder(Cwd() + "/out");
  const std::pair<std::string, std::string> cases[] = {
      {"EXPORT", "EXPORT.DBF"},     {"EXPORT.", "EXPORT"}, {"Issues.dbf", "Issues.dbf"},
      {"out/copy", "out/copy.DBF"}, {"out/v1.5/x", ""},    {"EXPORT   ", "EXPORT.DBF"},
  };
  fs_.AddFolder(Cwd() + "/out/v1.5");
  for (const auto& [name, file] : cases) {
    SCOPED_TRACE(name);
    g_name = name;
    File f(Issues());
    const std::string expected = file.empty() ? Path("out/v1.5/x.DBF") : Path(file);
    EXPECT_EQ(f.Name(), expected);
    ASSERT_EQ(f.Create(), kNoError);
    EXPECT_TRUE(OnDisk(expected.substr(Cwd().size() + 1)));
  }
  g_name = std::string(143, 'A');
  EXPECT_EQ(File(Issues()).Open(kOpenExclusive), kFileNotFound);
  g_name += "A";
  EXPECT_EQ(File(Issues()).Create(), kInvalidFilename);
  EXPECT_EQ(File(Issues()).Open(kOpenExclusive), kInvalidFilename);
}

TEST_F(XbaseDriverTest, FieldMapFollowsDescriptorsAndDeclaredTypes) {
  struct Case {
    const char* what;
    FieldType type;
    int size;
    std::string external;
    std::string picture;
    NewField expected;  // name empty: error 75
  };
  const Case cases[] = {
      {"string", FieldType::kString, 14, "", "", {"F", 'C', 14, 0}},
      {"real", FieldType::kReal, 8, "", "", {"F", 'N', 9, 2}},
      {"byte", FieldType::kByte, 1, "", "", {"F", 'L', 1, 0}},
      {"long", FieldType::kLong, 4, "", "", {"F", 'M', 10, 0}},
      {"short", FieldType::kShort, 2, "", "", {}},
      {"date picture", FieldType::kString, 10, "", "@D12", {"F", 'D', 8, 0}},
      {"number picture", FieldType::kString, 7, "", "@n7.2", {"F", 'N', 7, 2}},
      {"number picture too wide", FieldType::kString, 6, "", "@n7.2", {}},
      {"N(3.0)", FieldType::kReal, 8, "ISSUE_NUMB=N(3.0)", "", {"ISSUE_NUMB", 'N', 3, 0}},
      {"N(4,1)", FieldType::kReal, 8, "X=N(4,1)", "", {"X", 'N', 4, 1}},
      {"N(12)", FieldType::kReal, 8, "X=n(12)", "", {"X", 'N', 12, 0}},
      {"N(20)", FieldType::kReal, 8, "X=N(20)", "", {"X", 'N', 20, 0}},
      {"N(21)", FieldType::kReal, 8, "X=N(21)", "", {}},
      {"N(5.4)", FieldType::kReal, 8, "X=N(5.4)", "", {}},
      {"N(0005)", FieldType::kReal, 8, "X=N(0005)", "", {}},
      {"N5", FieldType::kReal, 8, "X=N5", "", {}},
      {"N(5.)", FieldType::kReal, 8, "X=N(5.)", "", {}},
      {"=C", FieldType::kReal, 8, "X=C", "", {"X", 'C', 8, 0}},
      {"=D", FieldType::kString, 8, "X=D", "", {"X", 'D', 8, 0}},
      {"=L", FieldType::kByte, 1, "X=L", "", {"X", 'L', 1, 0}},
      {"=M", FieldType::kLong, 4, "X=M", "", {"X", 'M', 10, 0}},
      {"=Q", FieldType::kString, 8, "X=Q", "", {}},
      {"prefix in the external name", FieldType::kString, 3, "AB:CD", "", {"CD", 'C', 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const FileDecl decl =
        B("T", "T", "XBASE").Field("F", c.type, c.size, c.external).Picture(c.picture).Build();
    std::vector<MappedField> map;
    const int rc = BuildFieldMap(decl, &map);
    if (c.expected.name.empty()) {
      EXPECT_EQ(rc, kInvalidFieldTypeDescriptor);
      continue;
    }
    ASSERT_EQ(rc, kNoError);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map[0].new_field.name, c.expected.name);
    EXPECT_EQ(map[0].new_field.type, c.expected.type);
    EXPECT_EQ(map[0].new_field.width, c.expected.width);
    EXPECT_EQ(map[0].new_field.decimals, c.expected.decimals);
  }
}

// One append with each access mode: buffered tables show it on disk only
// after the close.
TEST_F(XbaseDriverTest, AccessModesChooseReadOnlySharedWriteThroughOrBuffered) {
  struct Case {
    uint8_t mode;
    const char* buffers;
    int append;
    uint32_t on_disk_before_close;
  };
  const Case cases[] = {
      {kReadOnly | kDenyNone, nullptr, kAccessDenied, 0},
      {kReadOnly | kDenyWrite, nullptr, kAccessDenied, 0},
      {kReadWrite | kDenyNone, nullptr, kNoError, 1},
      {kReadWrite | kShareAny, nullptr, kNoError, 1},
      {kReadWrite | kDenyAll, nullptr, kNoError, 1},
      {kReadWrite | kDenyAll, "BUFFERS=5", kNoError, 0},
      {kReadWrite | kDenyWrite, nullptr, kNoError, 0},
      {kWriteOnly | kDenyRead, nullptr, kNoError, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    File f(Issues());
    ASSERT_EQ(f.Create(), kNoError);
    if (c.buffers) {
      ASSERT_EQ(f.Option(c.buffers), kNoError);
    }
    ASSERT_EQ(f.Open(c.mode), kNoError);
    EXPECT_EQ(AppendIssue(f, 1, "one"), c.append);
    EXPECT_EQ(Le32(Disk(), 4), c.on_disk_before_close);
    ASSERT_EQ(f.Close(), kNoError);
    EXPECT_EQ(Le32(Disk(), 4), c.append == kNoError ? 1u : 0u);
  }
}

TEST_F(XbaseDriverTest, SharedOpensWorkSideBySide) {
  File a(Issues()), b(Issues());
  ASSERT_EQ(a.Create(), kNoError);
  ASSERT_EQ(a.Open(kReadWrite | kDenyNone), kNoError);
  ASSERT_EQ(b.Open(kReadWrite | kDenyNone), kNoError);
  ASSERT_EQ(AppendIssue(a, 1, "from a"), kNoError);
  ASSERT_EQ(AppendIssue(b, 2, "from b"), kNoError);
  ASSERT_EQ(a.Lock(), kNoError);
  EXPECT_EQ(b.Lock(), kFileIsAlreadyLocked);
  EXPECT_EQ(AppendIssue(b, 3, "refused"), kFileIsAlreadyLocked);
  ASSERT_EQ(a.Unlock(), kNoError);
  ASSERT_EQ(b.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(b.Next(), kNoError);
  ASSERT_EQ(b.Next(), kNoError);
  EXPECT_EQ(b.Field(1).GetString().substr(0, 6), "from b");
  File exclusive(Issues());
  EXPECT_EQ(exclusive.Open(kOpenExclusive), kAccessDenied);
}

TEST_F(XbaseDriverTest, ReadingSkipsDeletedRecordsUnlessIgnoreStatusIsOn) {
  File f(Issues());
  CreateAndOpen(f, kReadWrite | kDenyAll);
  for (int i = 1; i <= 4; ++i) ASSERT_EQ(AppendIssue(f, i, "issue " + std::to_string(i)), kNoError);
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Delete(), kNoError);  // issue 2
  std::string answer;
  EXPECT_EQ(f.Option("DELETED", &answer), kRecordNotAvailable);

  std::vector<double> seen;
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  while (f.Next() == kNoError) seen.push_back(f.Field(0).GetNumber());
  EXPECT_EQ(seen, (std::vector<double>{1, 3, 4}));
  EXPECT_EQ(CurrentError().code, kRecordNotAvailable);
  seen.clear();
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  while (f.Previous() == kNoError) seen.push_back(f.Field(0).GetNumber());
  EXPECT_EQ(seen, (std::vector<double>{4, 3, 1}));

  ASSERT_EQ(f.Option("ignorestatus = on"), kNoError);
  ASSERT_EQ(f.Option("IGNORESTATUS", &answer), kNoError);
  EXPECT_EQ(answer, "ON");
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Option("DELETED", &answer), kNoError);
  EXPECT_EQ(answer, "OFF");
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(f.Field(1).GetString(), Fit("issue 2", 14));
  ASSERT_EQ(f.Option("DELETED", &answer), kNoError);
  EXPECT_EQ(answer, "ON");

  ASSERT_EQ(f.Option("RECOVER"), kNoError);
  ASSERT_EQ(f.Option("IGNORESTATUS=OFF"), kNoError);
  int n = 0;
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  while (f.Next() == kNoError) ++n;
  EXPECT_EQ(n, 4) << "every record recalled";

  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Delete(), kNoError);
  ASSERT_EQ(f.Pack(), kNoError);
  int64_t count = 0;
  ASSERT_EQ(f.Records(&count), kNoError);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(f.Empty(), kNoError);
  ASSERT_EQ(f.Records(&count), kNoError);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Disk().size(), 130u);
}

TEST_F(XbaseDriverTest, OptionsAnswerTheirValues) {
  File f(Issues());
  std::string answer;
  const std::pair<const char*, const char*> settings[] = {
      {"EXTERRORS=on", "ON"},
      {"EXTERRORS=yes", "ON"},
      {"EXTERRORS = off", "OFF"},
      {"EXTERRORS=0", "ON"},
  };
  for (auto [setting, value] : settings) {
    ASSERT_EQ(f.Option(setting), kNoError);
    ASSERT_EQ(f.Option("EXTERRORS", &answer), kNoError);
    EXPECT_EQ(answer, value) << setting;
  }
  ASSERT_EQ(f.Option("BUFFERS", &answer), kNoError);
  EXPECT_EQ(answer, "0");
  ASSERT_EQ(f.Option("BUFFERS=12"), kNoError);
  ASSERT_EQ(f.Option("BUFFERS", &answer), kNoError);
  EXPECT_EQ(answer, "12");
  EXPECT_EQ(f.Option("IGNORESTATUS", &answer), kNoError);
  EXPECT_EQ(answer, "OFF");
  EXPECT_EQ(f.Option("NOSUCHOPTION"), kUnsupportedFunction);
  EXPECT_EQ(f.Option("RECOVER"), kFileNotOpen);
}

TEST_F(XbaseDriverTest, ExtErrorsRaisesTheStopBoxWithTheEngineCode) {
  File f(Issues());
  CreateAndOpen(f);
  ASSERT_EQ(f.Option("EXTERRORS=ON"), kNoError);
  EXPECT_EQ(AppendIssue(f, 1234, "too wide"), kFileSystemError);
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(f.Open(kReadOnly | kDenyWrite), kNoError);
  EXPECT_EQ(AppendIssue(f, 1, "read only"), kAccessDenied);
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(alerts_.size(), 2u);
  EXPECT_EQ(alerts_[0].kind, DriverAlert::Kind::kStop);
  EXPECT_EQ(alerts_[0].text, "File ISSUES.DBF, xBase Error (-233): bad data");
  EXPECT_EQ(alerts_[1].text, "File ISSUES.DBF, xBase Error (-236): Access Denied");
}

TEST_F(XbaseDriverTest, CreateChecksMemosAndKeysAndLeavesNothingBehindOnFailure) {
  const FileDecl no_attribute = B("N", "N", "XBASE").Name("NOATTR").String("A", 3).Build();
  EXPECT_EQ(File(no_attribute).Create(), kNoCreateAttribute);

  const FileDecl long_without_memo =
      B("M", "M", "XBASE").Name("MEMO").Create().String("A", 3).Long("NOTE").Build();
  EXPECT_EQ(File(long_without_memo).Create(), kInvalidFieldTypeDescriptor);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].kind, DriverAlert::Kind::kExclamation);
  EXPECT_EQ(alerts_[0].caption, "xBase Driver");
  EXPECT_EQ(alerts_[0].text, "You have a field of type LONG with no matching memo");
  EXPECT_FALSE(OnDisk("MEMO.DBF"));

  const FileDecl with_memo =
      B("M", "M", "XBASE").Name("MEMO").Create().Memos(1).String("A", 3).Long("NOTE").Build();
  File memo(with_memo);
  ASSERT_EQ(memo.Create(), kNoError);
  EXPECT_EQ(Disk("MEMO.DBF")[0], '\x83');
  EXPECT_EQ(Disk("MEMO.DBT").size(), 512u);
  ASSERT_EQ(memo.Open(kOpenExclusive), kNoError);
  memo.Field(0).SetString("abc");
  memo.Field(1).SetNumber(7);
  ASSERT_EQ(memo.Append(), kNoError);
  ASSERT_EQ(memo.Close(), kNoError);
  EXPECT_EQ(Disk("MEMO.DBF").substr(97, 14), " abc         7");
  ASSERT_TRUE(fs_.Remove(Path("MEMO.DBT")).ok());
  EXPECT_EQ(memo.Open(kOpenExclusive), kMemoFileMissing);

  const FileDecl twin_keys = B("K", "K", "XBASE")
                                 .Name("KEYS")
                                 .Create()
                                 .String("A", 3)
                                 .Key("K1", {"A"}, B::kDup, "c:\\data\\ABCDEFGH1.NDX")
                                 .Key("K2", {"A"}, B::kDup, "abcdefgh2.ndx")
                                 .Build();
  EXPECT_EQ(File(twin_keys).Create(), kInvalidKeyFile);
  EXPECT_EQ(alerts_.back().text,
            "This file has two key files with the same name.\n"
            "Key names must be unique in the first 8 characters");
  EXPECT_FALSE(OnDisk("KEYS.DBF")) << "removed after the failed key";
  const FileDecl one_key = B("K", "K", "XBASE")
                               .Name("KEYS")
                               .Create()
                               .String("A", 3)
                               .Key("K1", {"A"}, B::kDup, "K1")
                               .Build();
  EXPECT_EQ(File(one_key).Create(), kUnsupportedFunction);
  EXPECT_FALSE(OnDisk("KEYS.DBF"));
}

TEST_F(XbaseDriverTest, TypedFieldsConvertBothWays) {
  const FileDecl decl = B("T", "T", "XBASE")
                            .Name("TYPES")
                            .Create()
                            .Memos(1)
                            .Byte("OK")
                            .Real("PRICE")
                            .Long("NOTE")
                            .String("WHEN", 8, "WHEN=D")
                            .String("NAME", 6)
                            .Build();
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field(0).SetNumber(1);
  f.Field(1).SetNumber(-1234.567);
  f.Field(2).SetNumber(42);
  f.Field(3).SetString("20260517");
  f.Field(4).SetString("Caf\xE9");
  ASSERT_EQ(f.Append(), kNoError);
  f.Field(0).SetNumber(2);
  EXPECT_EQ(f.Append(), kFileSystemError) << "a BYTE other than 0 or 1 is no logical";
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Disk("TYPES.DBF").substr(32 * 5 + 33, 35), " T -1234.57        4220260517Caf\xE9  ");

  ASSERT_EQ(f.Open(kReadOnly | kDenyWrite), kNoError);
  f.ClearRecord();
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(f.Field(0).GetNumber(), 'T');
  EXPECT_DOUBLE_EQ(f.Field(1).GetNumber(), -1234.57);
  EXPECT_EQ(f.Field(2).GetNumber(), 42);
  EXPECT_EQ(f.Field(3).GetString(), "20260517");
  EXPECT_EQ(f.Field(4).GetString(), "Caf\xE9  ");
  ASSERT_EQ(f.Close(), kNoError);
}

TEST_F(XbaseDriverTest, OemFilesHoldCodePage437) {
  FileDecl decl = B("O", "O", "XBASE").Name("OEM").Create().String("NAME", 4).Build();
  decl.oem = true;
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field(0).SetString("\xE9t\xE9");  // "été"
  ASSERT_EQ(f.Append(), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Disk("OEM.DBF").substr(66, 4), "\x82t\x82 ");
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(f.Field(0).GetString(), "\xE9t\xE9 ");
}

// --- Faults --------------------------------------------------------------

TEST_F(XbaseDriverTest, ACreationTheDiskRefusesKeepsItsReasonAndLeavesNoFile) {
  File f(Issues());
  faulty_.FailWrite(2);
  EXPECT_EQ(f.Create(), kAccessDenied) << "file write failure, not a bad declaration";
  EXPECT_FALSE(OnDisk("ISSUES.DBF"));
  faulty_.FillDiskAfter(100);
  EXPECT_EQ(f.Create(), kAccessDenied);
  EXPECT_FALSE(OnDisk("ISSUES.DBF"));
  faulty_.Clear();
  const FileDecl bad =
      B("X", "X", "XBASE").Name("BAD").Create().String("A", 3, "A=N(19.17)").Build();
  EXPECT_EQ(File(bad).Create(), kInvalidFieldTypeDescriptor) << "the engine's decimals limit";
}

TEST_F(XbaseDriverTest, FailuresAtCloseAreReportedAndTheFileIsClosedAllTheSame) {
  struct Case {
    const char* what;
    std::function<void(FaultyFileSystem&)> fault;
    int close;
    const char* fs_code;
  };
  const Case cases[] = {
      {"failed write", [](FaultyFileSystem& f) { f.FailWrite(1); }, kAccessDenied, ""},
      {"full disk", [](FaultyFileSystem& f) { f.FillDiskAfter(50); }, kAccessDenied, ""},
      {"failed sync", [](FaultyFileSystem& f) { f.FailSync(); }, kFileSystemError, "-247"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    faulty_.Clear();
    File f(Issues());
    CreateAndOpen(f);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendIssue(f, i, "x"), kNoError);
    c.fault(faulty_);
    EXPECT_EQ(f.Close(), c.close);
    EXPECT_EQ(CurrentError().fs_code, c.fs_code);
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(fs_.OpenCount(Path("ISSUES.DBF")), 0);
    faulty_.Clear();
    const uint32_t count = Le32(Disk(), 4);
    EXPECT_EQ(count, c.close == kFileSystemError ? 3u : 0u)
        << "only a table whose records reached the disk counts them";
  }
  EXPECT_EQ(CurrentError().fs_text, "flush to disk failure");
}

// Empty closes the table and makes it anew; when the new table cannot be
// made or opened the file is left without one, and every operation answers
// 37 instead of reaching for the table.
TEST_F(XbaseDriverTest, AfterAFailedEmptyEveryOperationAnswersFileNotOpen) {
  struct Fault {
    const char* what;
    std::function<void(FaultyFileSystem&)> fault;
  };
  const Fault faults[] = {
      {"creation refused", [](FaultyFileSystem& f) { f.FailOpen(EACCES, true); }},
      {"creation not written", [](FaultyFileSystem& f) { f.FailWrite(1); }},
      {"new table unreadable", [](FaultyFileSystem& f) { f.FailRead(1); }},
  };
  const std::pair<const char*, std::function<int(File&)>> operations[] = {
      {"Records",
       [](File& f) {
         int64_t n = -1;
         return f.Records(&n);
       }},
      {"Next", [](File& f) { return f.Next(); }},
      {"Previous", [](File& f) { return f.Previous(); }},
      {"Append", [this](File& f) { return AppendIssue(f, 2, "after"); }},
      {"Delete", [](File& f) { return f.Delete(); }},
      {"Pack", [](File& f) { return f.Pack(); }},
      {"Lock", [](File& f) { return f.Lock(); }},
      {"Unlock", [](File& f) { return f.Unlock(); }},
      {"Flush", [](File& f) { return f.Flush(); }},
      {"Empty", [](File& f) { return f.Empty(); }},
      {"RECOVER", [](File& f) { return f.Option("RECOVER"); }},
      {"Close", [](File& f) { return f.Close(); }},
  };
  for (const Fault& c : faults) {
    SCOPED_TRACE(c.what);
    faulty_.Clear();
    File f(Issues());
    CreateAndOpen(f);
    ASSERT_EQ(AppendIssue(f, 1, "before"), kNoError);
    ASSERT_EQ(f.Flush(), kNoError);
    c.fault(faulty_);
    EXPECT_NE(f.Empty(), kNoError);
    faulty_.Clear();
    for (const auto& [name, operation] : operations) {
      EXPECT_EQ(operation(f), kFileNotOpen) << name;
    }
    EXPECT_FALSE(f.is_open());
  }
}

}  // namespace
}  // namespace mirabo::xbase
