// Saving a report's pages as a PDF file from layers that draw nothing.  The
// renderer (report/qt) installs its writer, so the window's "Save as PDF"
// and the batch --pdf write the same file; without a renderer the save fails
// with a clear status rather than writing something else.
#pragma once

#include <string>

#include "report/page_image.h"
#include "report/status.h"

namespace mirabo::report {

// Writes `pages` to `path` (the user's own bytes) as one PDF document titled
// `title` (Windows-1252), replacing `path` only once the new file is whole.
using PdfWriter = Status (*)(const PageImageList& pages, const std::string& path,
                             const std::string& title);

// Installs the writer SavePagesAsPdf uses.  Safe to call more than once.
void SetPdfWriter(PdfWriter writer);

// Writes with the installed writer.  May run on any thread, one save at a
// time per set of pages.
Status SavePagesAsPdf(const PageImageList& pages, const std::string& path,
                      const std::string& title);

}  // namespace mirabo::report
