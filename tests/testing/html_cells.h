// What a browser shows in the cells of a page: the page parsed by Python's
// html.parser (entities resolved, comments dropped) with white space
// collapsed as a browser lays text out.  Tests compare these with the
// values, so a line break that would show as a blank is caught.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tests/testing/temp_dir.h"

namespace mirabo::testing {

// Collapses runs of white space to one blank and trims the ends.
inline std::string CollapseWhiteSpace(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
    if (!space) {
      out.push_back(c);
    } else if (!out.empty() && out.back() != ' ') {
      out.push_back(' ');
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The text of every TD cell of `page` (Windows-1252 bytes), in order, as
// UTF-8; one entry "<python failed>" when the parser could not run.
inline std::vector<std::string> ShownCells(const std::string& page) {
  TempDir dir;
  WriteFile(dir.File("page.htm"), page);
  WriteFile(dir.File("cells.py"), R"(import sys, html.parser
class Cells(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.cell = None
    def handle_starttag(self, tag, attrs):
        if tag == 'td': self.cell = ''
    def handle_endtag(self, tag):
        if tag == 'td' and self.cell is not None:
            sys.stdout.buffer.write(self.cell.encode('utf-8') + b'\0')
            self.cell = None
    def handle_data(self, data):
        if self.cell is not None: self.cell += data
Cells().feed(open(sys.argv[1], encoding='cp1252').read())
)");
  const std::string command = "python3 " + dir.File("cells.py") + " " + dir.File("page.htm");
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return {"<python failed>"};
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  if (pclose(p) != 0) return {"<python failed>"};
  std::vector<std::string> cells;
  size_t start = 0;
  for (size_t end; (end = out.find('\0', start)) != std::string::npos; start = end + 1) {
    cells.push_back(CollapseWhiteSpace(out.substr(start, end - start)));
  }
  return cells;
}

}  // namespace mirabo::testing
