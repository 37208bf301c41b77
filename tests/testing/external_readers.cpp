#include "tests/testing/external_readers.h"

#include <cstdio>

namespace mirabo::testing {

std::optional<std::string> RunCommand(const std::string& command) {
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return std::nullopt;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  return pclose(p) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

// The Debian python3-dbf module lives beside the system's Python.
std::string PythonWithDbf() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (RunCommand(std::string(python) + " -c 'import dbf' 2>/dev/null")) return python;
  }
  return {};
}

bool HaveOgrinfo() { return RunCommand("command -v ogrinfo >/dev/null 2>&1").has_value(); }

std::string ReadDbfWithPython(const std::string& python, const std::string& path) {
  const std::string script =
      "import dbf, sys\n"
      "t = dbf.Table(sys.argv[1])\n"
      "t.open(dbf.READ_ONLY)\n"
      "for r in t:\n"
      "    vals = [str(v).rstrip() if not isinstance(v, str) else v.rstrip() for v in r]\n"
      "    print('|'.join(['*' if dbf.is_deleted(r) else ' '] + vals))\n"
      "t.close()\n";
  const auto out = RunCommand(python + " -c \"" + script + "\" '" + path + "' 2>&1 || true");
  return out ? *out : "<python3-dbf failed>";
}

std::optional<CsvRows> ReadCsvWithPython(const std::string& path, char delimiter, char quote) {
  // Values and rows come back between separators no value holds.
  const std::string script =
      "import csv, sys\n"
      "with open(sys.argv[1], newline='', encoding='cp1252') as f:\n"
      "    for row in csv.reader(f, delimiter=sys.argv[2], quotechar=sys.argv[3]):\n"
      "        sys.stdout.buffer.write('\\x1f'.join(row).encode('utf-8') + b'\\x1e')\n";
  const std::string python =
      RunCommand("test -x /usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const auto out = RunCommand(python + " -c \"" + script + "\" '" + path + "' '" +
                              std::string(1, delimiter) + "' '" + std::string(1, quote) + "'");
  if (!out) return std::nullopt;
  CsvRows rows;
  size_t start = 0;
  while (start < out->size()) {
    const size_t end = out->find('\x1e', start);
    if (end == std::string::npos) break;
    std::vector<std::string> row;
    const std::string line = out->substr(start, end - start);
    size_t from = 0;
    while (true) {
      const size_t sep = line.find('\x1f', from);
      row.push_back(line.substr(from, sep - from));
      if (sep == std::string::npos) break;
      from = sep + 1;
    }
    rows.push_back(std::move(row));
    start = end + 1;
  }
  return rows;
}

}  // namespace mirabo::testing
