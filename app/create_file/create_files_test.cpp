#include "app/create_file/create_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/create_file/file_copy.h"
#include "app/data/profile.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file_system.h"
#include "runtime/picture.h"
#include "tests/testing/data_files.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/procedure_test.h"
#include "tests/testing/temp_dir.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using testing::ReadFile;
using testing::WriteTable;

// The features in the order of FEA:FEATISS: issue 12 (two, in record order),
// 72, then 1996.  "Orphan" points at no review, supplier or category.
const std::vector<std::vector<std::string>> kFeatures = {
    {"Quillon Write", "1", "72", "1", "S", "1", "2.1", "Fast"},
    {"Zip Drive 7\" floppy", "2", "12", "2", "H", "2", "", ""},
    {"Orphan", "9", "12", "99", "H", "9", "1", "no lookups"},
    {"Big issue", "1", "1996", "3", "S", "1", "", std::string(207, 'c')},
};

const char kFeaturesText[] =
    "\"Zip Drive 7\"\" floppy\",\"First Look\",\"  12\",\"Bright & Sons, \"\"Micro\"\"\",\"H\","
    "\"Printers\",\"\",\"\"\r\n"
    "\"Orphan\",\"\",\"  12\",\"\",\"H\",\"\",\"1\",\"no lookups\"\r\n"
    "\"Quillon Write\",\"Group Test\",\"  72\",\"Brennock Systems\",\"S\",\"Modems\",\"2.1\","
    "\"Fast\"\r\n"
    "\"Big issue\",\"Group Test\",\"1996\",\"Caf\xE9 Tallowmere\",\"S\",\"Modems\",\"\",\"";

class CreateFilesTest : public testing::ProcedureTest {
 protected:
  void SetUp() override {
    WriteTable(DataFile::kSupplier, {{"Brennock Systems", "1"},
                                     {"Bright & Sons, \"Micro\"", "2"},
                                     {"Caf\xE9 Tallowmere", "3"}});
    WriteTable(DataFile::kReview, {{"Group Test", "1"}, {"First Look", "2"}});
    WriteTable(DataFile::kCategory, {{"Printers", "2"}, {"Modems", "1"}});
    WriteTable(DataFile::kIssues, {{"72", "December 1996", "Last, \"best\""},
                                   {"12", "May 1996", "Christmas special"},
                                   {"3", "March 1991", ""}});
    WriteTable(DataFile::kFeatures, kFeatures);
  }
  void TearDown() override { SetFileSystemForTests(nullptr); }

  ui::ThreadId OpenWindow(CopyPacing pacing = {}) { return Open(CreateFiles(pacing)); }

  // Chooses a source and a type as the radios do.
  void Choose(ui::ThreadId id, const std::string& source, const std::string& type) {
    Win(id).SetValue(kCreateSourceGroup, source);
    Post(id, ui::EVENT_Accepted, kCreateSourceGroup);
    Win(id).SetValue(kCreateTypeGroup, type);
    Post(id, ui::EVENT_Accepted, kCreateTypeGroup);
  }
  void SetName(ui::ThreadId id, const std::string& name) {
    Win(id).SetValue(kCreateName, name);
    Post(id, ui::EVENT_Accepted, kCreateName);
  }
  // Lets a copy that gives way run on to its end.
  void RunCopy() {
    for (int i = 0; i < 100000 && scheduler_.NextTimerDue() >= 0; ++i) scheduler_.Advance(1);
  }
  // "Start File Copy", run to its end; the last message shown.
  std::string Start(ui::ThreadId id) {
    const size_t shown = backend_.messages.size();
    Post(id, ui::EVENT_Accepted, kCreateStart);
    RunCopy();
    return backend_.messages.size() > shown ? backend_.messages.back().request.text : "<none>";
  }
  // Copies `source` as `type` into `file` of the data folder.
  std::string Copy(const std::string& source, const std::string& type, const std::string& file) {
    const ui::ThreadId id = OpenWindow();
    Choose(id, source, type);
    SetName(id, data_.File(file));
    const std::string message = Start(id);
    Post(id, ui::EVENT_Accepted, kCreateCancel);
    return message;
  }
  ThreadBlock& Block(ui::ThreadId id) {
    return *static_cast<ThreadBlock*>(scheduler_.ThreadData(id));
  }
};

TEST_F(CreateFilesTest, OpensOnFeaturesAsXbaseInTheCurrentFolder) {
  const ui::ThreadId id = OpenWindow();
  ui::Window& w = Win(id);
  EXPECT_EQ(w.def().name, "CREATEFILES$WINDOW");
  EXPECT_EQ(w.title(), "Create File Copy");
  EXPECT_EQ(w.Value(kCreateSourceGroup), "Features");
  EXPECT_EQ(w.Value(kCreateTypeGroup), "Xbase");
  EXPECT_EQ(w.Value(kCreateName), data_.File("Features.dbf"));
  EXPECT_EQ(w.focus(), kCreateFeatures);
  for (DataFile f : kAllDataFiles) {
    EXPECT_EQ(Block(id).UseCount(f), 1) << DataFileDecl(f).label;
    EXPECT_TRUE(Block(id).Data(f).is_open()) << DataFileDecl(f).label;
  }
  EXPECT_TRUE(Block(id).bindings().Lookup("FEA:ISSUE").valid());
  EXPECT_TRUE(Block(id).bindings().Lookup("ISS:ISSUE_NUMB").valid());

  Post(id, ui::EVENT_Accepted, kCreateCancel);
  EXPECT_FALSE(scheduler_.Alive(id)) << "Cancel closes the window";
  EXPECT_EQ(GetProfileString("CreateFiles", "Maximize", kPositionProfile), "No")
      << "the position is kept in its own section";
}

TEST_F(CreateFilesTest, TheWindowComesBackWhereItWas) {
  ASSERT_TRUE(WriteProfileString("CreateFiles", "XPosit", "40", kPositionProfile));
  ASSERT_TRUE(WriteProfileString("CreateFiles", "YPosit", "25", kPositionProfile));
  const ui::ThreadId id = OpenWindow();
  EXPECT_EQ(Win(id).geometry().x, 40);
  EXPECT_EQ(Win(id).geometry().y, 25);
}

TEST_F(CreateFilesTest, EachChoiceGivesItsDefaultName) {
  struct Case {
    const char* source;
    const char* type;
    const char* file;
  };
  const Case cases[] = {{"Issues", "Text (Delim)", "Issues.txt"},
                        {"Supplier", "Xbase", "Supplier.dbf"},
                        {"Category", "Text (Delim)", "Category.txt"},
                        {"Review", "Xbase", "Review.dbf"},
                        {"Features", "Text (Delim)", "Features.txt"}};
  const ui::ThreadId id = OpenWindow();
  for (const Case& c : cases) {
    Choose(id, c.source, c.type);
    EXPECT_EQ(Win(id).Value(kCreateName), data_.File(c.file));
  }
}

TEST_F(CreateFilesTest, PickAFileOffersTheSaveDialogForTheType) {
  const ui::ThreadId id = OpenWindow();
  backend_.file_answers = {data_.File("chosen.dbf")};
  Post(id, ui::EVENT_Accepted, kCreatePick);
  ASSERT_EQ(backend_.file_dialogs.size(), 1u);
  EXPECT_EQ(backend_.file_dialogs[0].title, "Enter the name of your File");
  EXPECT_EQ(backend_.file_dialogs[0].file, data_.File("Features.dbf"));
  EXPECT_EQ(backend_.file_dialogs[0].filter, "Xbase|*.dbf|All Files|*.*");
  EXPECT_TRUE(backend_.file_dialogs[0].save);
  EXPECT_EQ(Win(id).Value(kCreateName), data_.File("chosen.dbf"));

  // Cancelled, the name stays; an empty name starts from the default.
  Choose(id, "Review", "Text (Delim)");
  SetName(id, "");
  Post(id, ui::EVENT_Accepted, kCreatePick);
  ASSERT_EQ(backend_.file_dialogs.size(), 2u);
  EXPECT_EQ(backend_.file_dialogs[1].file, data_.File("Review.txt"));
  EXPECT_EQ(backend_.file_dialogs[1].filter, "Text|*.txt|All Files|*.*");
  EXPECT_EQ(Win(id).Value(kCreateName), data_.File("Review.txt"));
}

TEST_F(CreateFilesTest, FeaturesAsTextCarryTheNamesAndTheIssueNumber) {
  EXPECT_EQ(Copy("Features", "Text (Delim)", "f.txt"), "File Generation Complete");
  EXPECT_EQ(ReadFile(data_.File("f.txt")),
            std::string(kFeaturesText) + std::string(207, 'c') + "\"\r\n");
  EXPECT_EQ(CreateFileName, data_.File("f.txt"));
  const ui::MessageRequest& m = backend_.messages.back().request;
  EXPECT_EQ(m.caption, "");
  EXPECT_EQ(m.icon, ui::Icon::kNone);
  EXPECT_EQ(m.buttons, ui::kButtonOk);
}

TEST_F(CreateFilesTest, EveryTableAsXbaseReadsBackInPython) {
  const std::string python = testing::PythonWithDbf();
  if (python.empty()) GTEST_SKIP() << "python3-dbf is not installed";
  struct Case {
    const char* source;
    std::string rows;
  };
  const Case cases[] = {
      {"Features",
       " |Zip Drive 7\" floppy|First Look|12|Bright & Sons, \"Micro\"|H|Printers||\n"
       " |Orphan||12||H||1|no lookups\n"
       " |Quillon Write|Group Test|72|Brennock Systems|S|Modems|2.1|Fast\n"
       " |Big issue|Group Test|1996|Caf\u00e9 Tallowmere|S|Modems||" +
           std::string(207, 'c') + "\n"},
      {"Issues",
       " |3|March 1991|\n"
       " |12|May 1996|Christmas special\n"
       " |72|December 1996|Last, \"best\"\n"},
      {"Supplier", " |Brennock Systems\n |Bright & Sons, \"Micro\"\n |Caf\u00e9 Tallowmere\n"},
      {"Review", " |First Look\n |Group Test\n"},
      {"Category", " |Modems\n |Printers\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const std::string file = std::string(c.source) + ".dbf";
    EXPECT_EQ(Copy(c.source, "Xbase", file), "File Generation Complete");
    EXPECT_EQ(testing::ReadDbfWithPython(python, data_.File(file)), c.rows);
  }
}

TEST_F(CreateFilesTest, TheXbaseIssueColumnsAreWholeNumbersForGdal) {
  if (!testing::HaveOgrinfo()) GTEST_SKIP() << "gdal-bin is not installed";
  ASSERT_EQ(Copy("Features", "Xbase", "f.dbf"), "File Generation Complete");
  ASSERT_EQ(Copy("Issues", "Xbase", "i.dbf"), "File Generation Complete");
  const auto f = testing::RunCommand("ogrinfo -ro -al -so '" + data_.File("f.dbf") + "'");
  const auto i = testing::RunCommand("ogrinfo -ro -al -so '" + data_.File("i.dbf") + "'");
  ASSERT_TRUE(f && i);
  EXPECT_NE(f->find("ISSUE: Integer (4.0)"), std::string::npos) << *f;
  EXPECT_NE(f->find("Feature Count: 4"), std::string::npos) << *f;
  EXPECT_NE(i->find("ISSUE_NUMB: Integer (3.0)"), std::string::npos) << *i;
}

TEST_F(CreateFilesTest, TheLookupTablesAndIssuesAsText) {
  struct Case {
    const char* source;
    std::string text;
  };
  const Case cases[] = {
      {"Issues",
       "\"  3\",\"March 1991\",\"\"\r\n"
       "\" 12\",\"May 1996\",\"Christmas special\"\r\n"
       "\" 72\",\"December 1996\",\"Last, \"\"best\"\"\"\r\n"},
      {"Supplier",
       "\"Brennock Systems\"\r\n\"Bright & Sons, \"\"Micro\"\"\"\r\n\"Caf\xE9 Tallowmere\"\r\n"},
      {"Review", "\"First Look\"\r\n\"Group Test\"\r\n"},
      {"Category", "\"Modems\"\r\n\"Printers\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const std::string file = std::string(c.source) + ".txt";
    EXPECT_EQ(Copy(c.source, "Text (Delim)", file), "File Generation Complete");
    EXPECT_EQ(ReadFile(data_.File(file)), c.text);
  }
}

TEST_F(CreateFilesTest, AnEmptyTableGivesAnEmptyCopy) {
  WriteTable(DataFile::kReview, {});
  EXPECT_EQ(Copy("Review", "Text (Delim)", "r.txt"), "File Generation Complete");
  EXPECT_EQ(ReadFile(data_.File("r.txt")), "");
  EXPECT_EQ(Copy("Review", "Xbase", "r.dbf"), "File Generation Complete");
  const std::string python = testing::PythonWithDbf();
  if (!python.empty()) {
    EXPECT_EQ(testing::ReadDbfWithPython(python, data_.File("r.dbf")), "");
  }
}

// An issue number that its column cannot hold loses its record, in both
// types alike, and the message says so instead of announcing a complete copy.
TEST_F(CreateFilesTest, NumbersTooWideForTheirColumnAreReportedAndTheRestCopied) {
  std::vector<std::vector<std::string>> features = kFeatures;
  features[3][2] = "12345";
  WriteTable(DataFile::kFeatures, features);
  WriteTable(DataFile::kIssues, {{"12", "May 1996", ""}, {"1000", "Far off", ""}});
  struct Case {
    const char* source;
    const char* type;
    const char* file;
    std::string message;
  };
  const std::string features_lost =
      "File Generation Incomplete\n\n1 of 4 records could not be written, the first being "
      "record 4 (Big issue): ISSUE 12345 does not fit its column.";
  const std::string issues_lost =
      "File Generation Incomplete\n\n1 of 2 records could not be written, the first being "
      "record 2 (1000): ISSUE_NUMB 1000 does not fit its column.";
  const Case cases[] = {{"Features", "Text (Delim)", "f.txt", features_lost},
                        {"Features", "Xbase", "f.dbf", features_lost},
                        {"Issues", "Text (Delim)", "i.txt", issues_lost},
                        {"Issues", "Xbase", "i.dbf", issues_lost}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(Copy(c.source, c.type, c.file), c.message);
    EXPECT_EQ(backend_.messages.back().request.icon, ui::Icon::kExclamation);
  }
  EXPECT_EQ(ReadFile(data_.File("f.txt")),
            std::string(kFeaturesText).substr(0, std::string(kFeaturesText).rfind("\"Big")));
  EXPECT_EQ(ReadFile(data_.File("i.txt")), "\" 12\",\"May 1996\",\"\"\r\n");
  const std::string python = testing::PythonWithDbf();
  if (!python.empty()) {
    EXPECT_EQ(testing::ReadDbfWithPython(python, data_.File("i.dbf")), " |12|May 1996|\n");
    const std::string rows = testing::ReadDbfWithPython(python, data_.File("f.dbf"));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 3) << rows;
    EXPECT_EQ(rows.find("Big issue"), std::string::npos) << rows;
  }
}

TEST_F(CreateFilesTest, CancelAtTheOverwriteQuestionLeavesTheFileAsItWas) {
  struct Case {
    const char* type;
    const char* file;
    std::string old;
  };
  // The last is no xBase table at all: it is still asked about.
  const Case cases[] = {{"Text (Delim)", "r.txt", "keep me\r\n"},
                        {"Xbase", "r.dbf", ""},
                        {"Xbase", "notes.dbf", "not a table"}};
  ASSERT_EQ(Copy("Review", "Xbase", "r.dbf"), "File Generation Complete");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.old.empty()) testing::WriteFile(data_.File(c.file), c.old);
    const std::string before = ReadFile(data_.File(c.file));
    const ui::ThreadId id = OpenWindow();
    Choose(id, "Review", c.type);
    SetName(id, data_.File(c.file));
    const size_t shown = backend_.messages.size();
    Post(id, ui::EVENT_Accepted, kCreateStart);  // no answer given: the default
    ASSERT_EQ(backend_.messages.size(), shown + 1);
    const ui::MessageRequest& ask = backend_.messages.back().request;
    EXPECT_EQ(ask.text, "File already exists. Overwrite ?");
    EXPECT_EQ(ask.caption, "");
    EXPECT_EQ(ask.icon, ui::Icon::kInformation);
    EXPECT_EQ(ask.buttons, ui::kButtonOk | ui::kButtonCancel);
    EXPECT_EQ(ask.default_button, ui::kButtonCancel);
    EXPECT_EQ(ReadFile(data_.File(c.file)), before) << "byte for byte";
    EXPECT_EQ(Win(id).Value(kCreateStatus), "") << "no copy began";

    backend_.answers = {ui::kButtonOk};
    EXPECT_EQ(Start(id), "File Generation Complete");
    if (!c.old.empty()) {
      EXPECT_NE(ReadFile(data_.File(c.file)), before);
    }
    Post(id, ui::EVENT_Accepted, kCreateCancel);
  }
}

TEST_F(CreateFilesTest, ATargetThatCannotBeCreatedSaysSo) {
  for (const char* type : {"Xbase", "Text (Delim)"}) {
    SCOPED_TRACE(type);
    const ui::ThreadId id = OpenWindow();
    Choose(id, "Review", type);
    SetName(id, data_.File("no/such/folder/r.txt"));
    const std::string message = Start(id);
    EXPECT_EQ(message, "Unable to create Data File");
    const ui::MessageRequest& m = backend_.messages.back().request;
    EXPECT_EQ(m.caption, "");
    EXPECT_EQ(m.icon, ui::Icon::kNone);
    EXPECT_EQ(m.buttons, ui::kButtonOk);
    EXPECT_EQ(Win(id).Value(kCreateStatus), "");
    Post(id, ui::EVENT_Accepted, kCreateCancel);
  }
}

// A file name longer than any fixed width is used whole.
TEST_F(CreateFilesTest, ALongNameIsUsedWhole) {
  const std::string file = std::string(90, 'n') + ".txt";
  ASSERT_EQ(Copy("Category", "Text (Delim)", file), "File Generation Complete");
  EXPECT_EQ(ReadFile(data_.File(file)), "\"Modems\"\r\n\"Printers\"\r\n");
}

// With a copy that gives way after every record: the bar and the text follow
// the whole percentage, and the window is redrawn only when it changes.
TEST_F(CreateFilesTest, TheProgressShowsWholePercentagesAndChangesOnlyWithThem) {
  std::vector<std::vector<std::string>> features;
  for (int i = 0; i < 150; ++i) features.push_back(kFeatures[i % 4]);
  WriteTable(DataFile::kFeatures, features);
  const ui::ThreadId id = OpenWindow({.batch_records = 1, .batch_ms = 1 << 30});
  Choose(id, "Features", "Text (Delim)");
  ui::Window& w = Win(id);
  Post(id, ui::EVENT_Accepted, kCreateStart);
  int last = -1;
  uint64_t version = 0;
  for (int copied = 1; copied <= 150; ++copied) {
    ASSERT_EQ(w.Value(kCreateStatus), "Generating File") << "record " << copied;
    const int percent = copied * 100 / 150;
    EXPECT_EQ(w.Value(kCreateProgress), std::to_string(percent));
    EXPECT_EQ(w.Value(kCreatePercent),
              percent == 0 ? "0% Completed" : FormatPicture("N3", percent) + "% Completed");
    if (percent == last) {
      EXPECT_EQ(w.version(), version) << "nothing changed at " << copied;
    }
    last = percent;
    version = w.version();
    scheduler_.Advance(1);
  }
  EXPECT_EQ(backend_.messages.back().request.text, "File Generation Complete");
  EXPECT_EQ(w.Value(kCreateProgress), "0");
  EXPECT_EQ(w.Value(kCreateStatus), "");
  EXPECT_EQ(w.Value(kCreatePercent), "");
}

// While a copy gives way the window rests: its controls are disabled, and a
// close asked for meanwhile waits for the end of the copy.
TEST_F(CreateFilesTest, TheWindowTakesNoInputWhileItCopies) {
  const ui::ThreadId id = OpenWindow({.batch_records = 2, .batch_ms = 1 << 30});
  Choose(id, "Features", "Text (Delim)");
  Post(id, ui::EVENT_Accepted, kCreateStart);
  ui::Window& w = Win(id);
  EXPECT_EQ(w.Value(kCreateProgress), "50") << "half-way, giving way";
  for (int c : {kCreateSourceGroup, kCreateTypeGroup, kCreateName, kCreatePick, kCreateStart,
                kCreateCancel}) {
    EXPECT_TRUE(w.Find(c)->disabled) << c;
  }
  w.Post(ui::EVENT_CloseWindow);
  scheduler_.RunReady();
  EXPECT_TRUE(scheduler_.Alive(id));
  EXPECT_EQ(w.Value(kCreateStatus), "Generating File");
  RunCopy();
  EXPECT_EQ(backend_.messages.back().request.text, "File Generation Complete");
  EXPECT_EQ(ReadFile(data_.File("Features.txt")),
            std::string(kFeaturesText) + std::string(207, 'c') + "\"\r\n");
  EXPECT_FALSE(scheduler_.Alive(id)) << "closed once the copy was over";
}

TEST_F(CreateFilesTest, ControlsComeBackAfterTheCopy) {
  const ui::ThreadId id = OpenWindow();
  Choose(id, "Review", "Text (Delim)");
  ASSERT_EQ(Start(id), "File Generation Complete");
  for (int c : {kCreateSourceGroup, kCreateTypeGroup, kCreateName, kCreatePick, kCreateStart,
                kCreateCancel}) {
    EXPECT_FALSE(Win(id).Find(c)->disabled) << c;
  }
}

// --- Failures ---------------------------------------------------------------

class CreateFilesFaultTest : public CreateFilesTest {
 protected:
  void SetUp() override {
    CreateFilesTest::SetUp();
    // 150 features in record order, each with a long comment: the copies
    // write them several blocks (xBase) or buffers (text) at a time.
    std::vector<std::vector<std::string>> features;
    for (int i = 1; i <= kMany; ++i) {
      features.push_back({Product(i), "1", "12", "1", "S", "1", "", std::string(200, 'c')});
    }
    WriteTable(DataFile::kFeatures, features);
    SetFileSystemForTests(&faulty_);
  }
  static std::string Product(int i) {
    const std::string n = std::to_string(i);
    return "Product " + std::string(3 - n.size(), '0') + n;
  }
  // The products that a copy holds, in order, as Python reads them.
  std::vector<std::string> Products(const std::string& file, bool xbase) {
    std::vector<std::string> out;
    if (xbase) {
      const std::string python = testing::PythonWithDbf();
      if (python.empty()) return {"<python3-dbf is not installed>"};
      const std::string rows = testing::ReadDbfWithPython(python, data_.File(file));
      for (size_t at = 0; (at = rows.find("|Product ", at)) != std::string::npos; ++at) {
        out.push_back(rows.substr(at + 1, 11));
      }
    } else if (const auto rows = testing::ReadCsvWithPython(data_.File(file))) {
      for (const auto& row : *rows) {
        EXPECT_EQ(row.size(), 8u) << "a whole record";
        out.push_back(row[0]);
      }
    }
    return out;
  }
  static constexpr int kMany = 150;
  FaultyFileSystem faulty_{FileSystem::Default()};
};

// Every way the disk or the data can fail a copy made over a file that was
// there: the copy ends at the failure, the message says what went wrong and
// names the file, the file is as it was byte for byte, and nothing is left
// beside it.  (A value too wide for its column is not such a failure: the
// copy goes on without that record and is kept.)
TEST_F(CreateFilesFaultTest, AFailedCopyLeavesTheFileThatWasThere) {
  using Op = testing::ScopedFaultyDriver::Op;
  struct Case {
    const char* name;
    std::function<void(bool xbase)> arm;  // before the copy starts
    bool while_copying;                   // arm once the copy is under way
    const char* says;
  };
  std::unique_ptr<testing::ScopedFaultyDriver> native;
  const Case cases[] = {
      {"a write failing once", [&](bool xbase) { faulty_.FailWrite(xbase ? 4 : 2); }, false,
       "\nWriting record "},
      {"a full disk", [&](bool) { faulty_.FillDiskAfter(20000); }, false, "\nWriting record "},
      {"a failing flush", [&](bool) { faulty_.FailSync(EIO); }, false,
       "Writing the file to disk failed"},
      {"a failing close", [&](bool) { faulty_.FailClose(EIO); }, true, "Closing the file failed"},
      {"the source failing half-way",
       [&](bool) {
         native = std::make_unique<testing::ScopedFaultyDriver>("KARVINEX");
         native->Fail(Op::kNext, 60, kAccessDenied);
       },
       false, "\nReading FEATURES failed after record 59 of 150: Access Denied (5)."},
      {"a looked-up name failing",
       [&](bool) {
         native = std::make_unique<testing::ScopedFaultyDriver>("KARVINEX");
         native->Fail(Op::kGetByKey, 1, kAccessDenied);
       },
       false, "\nReading REVIEW failed at record 1: Access Denied (5)."},
  };
  for (const Case& c : cases) {
    for (const char* type : {"Text (Delim)", "Xbase"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + type);
      const bool xbase = type[0] == 'X';
      const std::string file = data_.File(xbase ? "kept.dbf" : "kept.txt");
      testing::WriteFile(file, "the file that was there\r\n");
      if (!c.while_copying) c.arm(xbase);
      const ui::ThreadId id = OpenWindow({.batch_records = 1, .batch_ms = 1 << 30});
      Choose(id, "Features", type);
      SetName(id, file);
      backend_.answers = {ui::kButtonOk};  // overwrite
      Post(id, ui::EVENT_Accepted, kCreateStart);
      if (c.while_copying) c.arm(xbase);
      RunCopy();
      faulty_.Clear();
      native.reset();
      const ui::MessageRequest& m = backend_.messages.back().request;
      EXPECT_EQ(m.text.rfind("File Generation Incomplete\n", 0), 0u) << m.text;
      EXPECT_NE(m.text.find(c.says), std::string::npos) << m.text;
      EXPECT_NE(m.text.find("No copy was written; a file that was there is unchanged."),
                std::string::npos)
          << m.text;
      EXPECT_EQ(m.detail, file);
      EXPECT_EQ(ReadFile(file), "the file that was there\r\n");
      const std::vector<std::string> left = testing::FilesIn(data_.path());
      EXPECT_EQ(std::count_if(left.begin(), left.end(),
                              [](const std::string& f) { return f.rfind(".kept", 0) == 0; }),
                0)
          << "no temporary file";
      Post(id, ui::EVENT_Accepted, kCreateCancel);
    }
  }
}

// The same copies whole: they replace the file.
TEST_F(CreateFilesFaultTest, AWholeCopyReplacesTheFileThatWasThere) {
  for (const char* type : {"Text (Delim)", "Xbase"}) {
    SCOPED_TRACE(type);
    const bool xbase = type[0] == 'X';
    const std::string file = xbase ? "kept.dbf" : "kept.txt";
    testing::WriteFile(data_.File(file), "the file that was there\r\n");
    backend_.answers = {ui::kButtonOk};
    EXPECT_EQ(Copy("Features", type, file), "File Generation Complete");
    std::vector<std::string> expected;
    for (int i = 1; i <= kMany; ++i) expected.push_back(Product(i));
    EXPECT_EQ(Products(file, xbase), expected);
  }
}

}  // namespace
}  // namespace mirabo::app
