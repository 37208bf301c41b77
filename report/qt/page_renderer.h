// Draws page images with QPainter, at any scale, on any paint device: preview
// cells and zoomed pages, printers, PDF files and PNG pictures all go through
// PaintPage.  Text is drawn in its run's box with its alignment, clipped to
// the box; "Arial" is Liberation Sans (the same metrics), "MS Sans Serif" the
// desktop's font.
#pragma once

#include <QFont>
#include <QRectF>
#include <string>

#include "report/font_metrics.h"
#include "report/page_image.h"
#include "report/status.h"

class QPainter;

namespace mirabo::report::qt {

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

// The Qt font for a report font, sized in points.
QFont ReportFont(const Font& font);

// Draws `page` scaled to fill `target` (device coordinates of `painter`):
// a white page, then its items in order.
void PaintPage(QPainter& painter, const PageImage& page, const QRectF& target);

// A page that could not be read: blank, framed, with `message` on it.
void PaintUnreadablePage(QPainter& painter, const QRectF& target, const std::string& message);

// Measures with the real fonts, at a thousand dots an inch, so composition
// sizes controls exactly as the renderer will draw them.  Needs a
// QGuiApplication.
class QtFontMetrics final : public FontMetrics {
 public:
  int TextWidth(const Font& font, std::string_view text) override;
  int LineHeight(const Font& font) override;
};

// Writes the pages to a PDF file at `path`, one PDF page a page, with fonts
// embedded once; the document's title is `title`.  The file is written
// beside `path` and takes its name only once whole and on disk: a page that
// cannot be read or a write that fails (a full disk) leaves whatever was at
// `path` as it was, and the status names the file and the reason.
// Each page is drawn at its own size from the sheet's top-left corner.
Status WritePdf(const PageImageList& pages, const std::string& path, const std::string& title,
                Paper paper = LocalePaper());

// Renders one page file to a PNG picture at `dpi` dots per inch, replacing
// `path` as WritePdf does.
Status WritePng(const std::string& page, const std::string& path, int dpi);

// Makes page files drawable by name in image controls and printable by the
// window layer's print jobs (ui/qt/image_painter.h) (app::RegisterPageImageKind
// makes them measurable); report runs then compose with the real
// fonts (report::SetReportFontMetrics), and report::SavePagesAsPdf writes
// with WritePdf at the locale's paper.  Safe to call more than once.
void RegisterPageImagePainter();

}  // namespace mirabo::report::qt
