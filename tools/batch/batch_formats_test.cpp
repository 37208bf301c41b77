// The outputs as the programs people open them with read them, with no
// options given: xBase copies say their code page, pages their charset, text
// copies can be UTF-8 with a header; PDFs take the paper asked for; "-"
// writes to standard output.
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testing/external_readers.h"
#include "tests/testing/temp_dir.h"
#include "tools/batch/batch_commands.h"
#include "tools/batch/sample_data_test.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;

// Reads the products of an output as one program reads it, and compares them
// with the sample's (read as the UTF-8 CSV they are): "same N" or what
// differs.
constexpr char kCompare[] = R"(import sys, csv
kind, path, sample = sys.argv[1], sys.argv[2], sys.argv[3]
with open(sample, newline='', encoding='utf-8') as f:
    want = sorted(r['PRODUCT'].rstrip() for r in csv.DictReader(f))
if kind == 'python3-dbf':
    import dbf
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    got = sorted(r[0].rstrip() for r in t)
elif kind == 'ogrinfo':
    import subprocess
    out = subprocess.run(['ogrinfo', '-ro', '-al', '-q', path], capture_output=True).stdout
    text = out.decode('utf-8')
    got = sorted(l.split(' = ', 1)[1].rstrip() for l in text.splitlines()
                 if l.strip().startswith('PRODUCT (String) = '))
elif kind == 'pandas':
    import pandas
    got = sorted(str(p).rstrip() for p in pandas.read_csv(path, keep_default_na=False)['PRODUCT'])
elif kind == 'csv':
    with open(path, newline='') as f:
        got = sorted(r['PRODUCT'].rstrip() for r in csv.DictReader(f))
elif kind == 'html':
    import html.parser
    class Cells(html.parser.HTMLParser):
        def __init__(self):
            super().__init__(); self.row = None; self.rows = []; self.cell = None
        def handle_starttag(self, tag, a):
            if tag == 'tr': self.row = []
            if tag == 'td': self.cell = ''
        def handle_endtag(self, tag):
            if tag == 'td': self.row.append(self.cell); self.cell = None
            if tag == 'tr': self.rows.append(self.row)
        def handle_data(self, d):
            if self.cell is not None: self.cell += d
    p = Cells()
    raw = open(path, 'rb').read()
    charset = 'utf-8' if b'charset=utf-8' in raw else 'cp1252'
    p.feed(raw.decode(charset))
    got = sorted(r[0].strip() for r in p.rows[1:])
print('same %d' % len(want) if got == want else
      'differ: %s' % [x for x in got if x not in set(want)][:5])
)";

class BatchFormatsTest : public SampleDataTest {
 protected:
  int Command(const std::string& command, std::vector<std::string> args, std::string* said) {
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    args.insert(args.begin(), {"--data", data_->path()});
    const int status = RunBatchCommand(command, args);
    std::cerr.rdbuf(old);
    *said = err.str();
    return status;
  }
};

TEST_F(BatchFormatsTest, OtherProgramsReadEveryCopyWithNoOptions) {
  WriteFile(out_.File("compare.py"), kCompare);
  struct Case {
    const char* reader;
    std::vector<std::string> command;  // its output is the last argument
    const char* module;                // what the reader needs
  };
  const Case cases[] = {
      {"python3-dbf", {"export", "features", "dbf", "f.dbf"}, "dbf"},
      {"ogrinfo", {"export", "features", "dbf", "g.dbf"}, "subprocess"},
      {"pandas",
       {"export", "--encoding", "utf-8", "--header", "features", "txt", "p.txt"},
       "pandas"},
      {"csv", {"export", "--encoding", "utf-8", "--header", "features", "txt", "c.txt"}, "csv"},
      {"html", {"publish", "features", "w.htm"}, "html"},
      {"html", {"publish", "--encoding", "utf-8", "features", "u.htm"}, "html"},
  };
  const std::string python = "/usr/bin/python3";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.reader) + " " + c.command.back());
    if (!RunCommand(python + " -c 'import " + c.module + "' 2>/dev/null") ||
        (std::string(c.reader) == "ogrinfo" && !testing::HaveOgrinfo())) {
      ADD_FAILURE() << c.reader << " is not installed (scripts/setup installs it)";
      continue;
    }
    std::string said;
    std::vector<std::string> args(c.command.begin() + 1, c.command.end());
    ASSERT_EQ(Command(c.command[0], args, &said), kBatchDone) << said;
    const auto verdict =
        RunCommand(python + " '" + out_.File("compare.py") + "' " + c.reader + " '" +
                   out_.File(c.command.back()) + "' '" + Sample("FEATURES") + "' 2>&1");
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->substr(0, 5), "same ") << *verdict;
  }
  // Every xBase copy says its code page beside itself too.
  EXPECT_EQ(ReadFile(out_.File("f.cpg")), "1252");
}

// A PDF on the paper asked for, whatever the pages were composed on; "-"
// sends an output to standard output, byte for byte what the file gets.
TEST_F(BatchFormatsTest, PaperAndStandardOutput) {
  struct Case {
    const char* paper;
    const char* size;  // as pdfinfo says it
  };
  for (const Case& c :
       {Case{"a4", "595 x 842 pts (A4)"}, Case{"letter", "612 x 792 pts (letter)"}}) {
    std::string said;
    ASSERT_EQ(
        Command("report", {"review-table", "--paper", c.paper, "--pdf", "r.pdf", "--force"}, &said),
        kBatchDone)
        << said;
    const auto info = RunCommand("pdfinfo '" + out_.File("r.pdf") + "'");
    ASSERT_TRUE(info.has_value());
    EXPECT_NE(info->find(c.size), std::string::npos) << *info;
  }

  std::string said;
  ASSERT_EQ(Command("export", {"issues", "txt", "issues.txt"}, &said), kBatchDone) << said;
  std::ostringstream out;
  std::streambuf* old = std::cout.rdbuf(out.rdbuf());
  const int status = Command("export", {"issues", "txt", "-"}, &said);
  std::cout.rdbuf(old);
  EXPECT_EQ(status, kBatchDone) << said;
  EXPECT_TRUE(out.str() == ReadFile(out_.File("issues.txt")));
  EXPECT_EQ(testing::FilesIn(out_.path()), (std::vector<std::string>{"issues.txt", "r.pdf"}))
      << "standard output leaves no file";
}

// Each command's --help names its choices and shows an example.
TEST_F(BatchFormatsTest, HelpListsTheChoicesAndAnExample) {
  const std::vector<std::string> cases[] = {
      {"export", "features, issues, supplier, review or category", "--encoding"},
      {"publish", "product (the default), supplier, review, category", "--order"},
      {"report", "features-by-issue", "--paper"},
      {"search", "product, review, category and supplier", "--in"},
  };
  for (const std::vector<std::string>& c : cases) {
    std::ostringstream out;
    std::streambuf* old = std::cout.rdbuf(out.rdbuf());
    EXPECT_EQ(RunBatchCommand(c[0], {"--help"}), kBatchDone);
    std::cout.rdbuf(old);
    for (size_t i = 1; i < c.size(); ++i) {
      EXPECT_NE(out.str().find(c[i]), std::string::npos) << c[0] << ": " << out.str();
    }
    EXPECT_NE(out.str().find("example:\n  mirabo " + c[0]), std::string::npos) << out.str();
  }
}

}  // namespace
}  // namespace mirabo::tools
