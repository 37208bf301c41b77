// A report's pages as a PDF file, written by the report layer itself: the
// window's "Save as PDF" and the batch --pdf write the same file, with or
// without a window system.
//
// Each page becomes a content stream of text, lines and rectangles, set in
// the standard PDF faces (Helvetica, Times, Courier) at the widths the
// composing metrics gave, so every text run sits exactly where composition
// put it: right-aligned numbers end at their box's edge in every viewer.
// Text keeps its Windows-1252 bytes (the PDF's WinAnsi encoding is the same
// set), and a run wider than its box is clipped to it as on screen.
#pragma once

#include <string>

#include "report/font_metrics.h"
#include "report/page_image.h"
#include "report/status.h"

namespace mirabo::report {

// A sheet of paper, in thousandths of an inch.
struct Paper {
  int width = 0;
  int height = 0;
  friend bool operator==(const Paper&, const Paper&) = default;
};
constexpr Paper kA4 = {8268, 11693};
constexpr Paper kLetter = {8500, 11000};

// The paper of the user's locale (LC_PAPER, as the system's printing
// defaults take it): Letter where the locale's sheet is nearer Letter, else A4.
Paper LocalePaper();

// Writes `pages` to `path` (the user's own bytes) as one PDF document titled
// `title` (Windows-1252), one sheet of `paper` a page, each page drawn at its
// own size from the sheet's top-left corner; `metrics` gives the faces'
// widths and must be the metrics the pages were composed with.  The file is
// written beside `path` and takes its name only once whole and on disk: a
// page that cannot be read or a write that fails (a full disk) leaves
// whatever was at `path` as it was, and the status names the file and the
// reason.  May run on any thread.
Status WritePdf(const PageImageList& pages, const std::string& path, const std::string& title,
                Paper paper, FontMetrics& metrics);

// WritePdf at the locale's paper with the report metrics in use
// (ReportFontMetrics).
Status SavePagesAsPdf(const PageImageList& pages, const std::string& path,
                      const std::string& title);

}  // namespace mirabo::report
