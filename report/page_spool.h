// A spool: one file holding every page image of a report run, written page
// after page.  A page's entry in the PageImageList names the spool and the
// page's place in it, "<spool file>@<offset>+<length>", and ReadPageFile and
// ReadPageSize take such a name as they take a page file's: a run of
// thousands of pages costs one file, not one file a page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/page_image.h"
#include "report/status.h"
#include "runtime/file_system.h"

namespace mirabo::report {

class PageSpool {
 public:
  PageSpool() = default;
  ~PageSpool() { Remove(); }
  PageSpool(const PageSpool&) = delete;
  PageSpool& operator=(const PageSpool&) = delete;

  // Writes `page` after the pages before it, the spool made at the first in
  // `folder` (or "/tmp" when a name there would pass kPageNameLimit) with
  // `prefix`, through the runtime's current file system.  `*name` receives
  // the page's entry.  On failure (kWriteFailed, the message says which step
  // and the system's reason) the pages before it are still there.
  Status Append(const PageImage& page, const std::string& folder, const std::string& prefix,
                std::string* name);

  // Closes the spool and removes its file: every page it held is gone.
  void Remove();

  bool empty() const { return file_ == nullptr; }

 private:
  std::unique_ptr<FileHandle> file_;
  std::string path_;
  int64_t end_ = 0;
};

// A page's place in a spool, from its entry; false for a page file's name.
struct SpooledPage {
  std::string path;
  int64_t offset = 0;
  int64_t length = 0;
};
bool ParseSpooledPage(std::string_view name, SpooledPage* page);

// The entries of every page in the spool `path`, in the order written (each
// page image's header gives its length); kDamaged when one does not fit.
Status ListSpooledPages(const std::string& path, std::vector<std::string>* names);

}  // namespace mirabo::report
