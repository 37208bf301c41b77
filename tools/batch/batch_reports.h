// How the printing batch commands (`report`, `search`) send their pages: the
// report procedure runs on the headless window model and its finished pages
// go to a PDF file, PNG files or a printer instead of the preview.  This
// needs the Qt page renderer; a build without the window system refuses.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/task.h"

namespace mirabo::tools {

// The paper of a PDF: the user's locale's (LC_PAPER), or one named.
enum class PaperChoice { kLocale, kA4, kLetter };

// Where a printing command sends its pages.
struct PageOutput {
  PaperChoice paper = PaperChoice::kLocale;
  std::optional<std::string> pdf;      // a PDF file (absolute)
  bool pdf_to_stdout = false;          // which goes to standard output when written
  std::optional<std::string> png;      // a folder for page-0001.png ... (absolute)
  bool print = false;                  // to the default printer, or:
  std::optional<std::string> printer;  // a named one
  bool force = false;                  // replace existing files
};

// The name of page `page` (from 1) in a --png folder: "page-0001.png"; and
// the names of that form a folder holds, sorted.
std::string PagePictureName(size_t page);
std::vector<std::string> PagePictures(const std::string& folder);

// Runs `procedure` (made once the session has started, after `setup` has set
// the globals it reads) and writes its pages to `out`.  Status: 0 written, 2
// a failure (said on standard error), 3 nothing to print (no record).  The
// data folder is current.
int PrintPages(const char* command, const std::function<void()>& setup,
               const std::function<ui::Proc()>& procedure, const PageOutput& out);

}  // namespace mirabo::tools
