// What the end-to-end tests share: the offscreen application, the bundled
// sample data loaded into a folder, and a PDF read back the way a reader
// sees it.  Header-only; the tests that use it link Qt and the loader, and
// define MIRABO_SOURCE_DIR.
#pragma once

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/load/loader.h"

namespace mirabo::testing {

// The process's application on the offscreen platform, made on first use.
inline QApplication& OffscreenApplication() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "e2e_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Loads data/sample into `dir`; the loader's error, empty when it loaded.
inline std::string LoadSampleData(const std::string& dir) {
  std::vector<std::string> csv;
  for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    csv.push_back(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t + ".csv");
  }
  tools::LoadOptions o;
  o.data_dir = dir;
  const tools::LoadResult r = tools::Load(csv, o);
  return r.ok ? std::string() : r.error;
}

// The text pdftotext reads from the PDF at `path`; with `layout`, each line
// of the page keeps its columns together.
inline std::string PdfText(const std::string& path, bool layout = false) {
  std::string out;
  const std::string command =
      std::string("pdftotext ") + (layout ? "-layout '" : "'") + path + "' - 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {};
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace mirabo::testing
