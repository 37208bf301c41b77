// Draws page images with QPainter, at any scale, on any paint device: preview
// cells and zoomed pages, printers and PNG pictures all go through PaintPage
// (PDF files are the report layer's own, report/pdf_output.h).  Text is drawn
// in its run's box with its alignment, clipped to the box; "Arial" is
// Liberation Sans (the same metrics), "MS Sans Serif" the desktop's font.
#pragma once

#include <QFont>
#include <QRectF>
#include <string>

#include "report/font_metrics.h"
#include "report/page_image.h"
#include "report/status.h"

class QPainter;

namespace mirabo::report::qt {

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
  FontShape Shape(const Font& font) override;
};

// Renders one page file to a PNG picture at `dpi` dots per inch.  The
// picture is written beside `path` and takes its name only once whole and on
// disk: a page that cannot be read or a write that fails (a full disk) leaves
// whatever was at `path` as it was, and the status names the file and the
// reason.
Status WritePng(const std::string& page, const std::string& path, int dpi);

// Makes page files drawable by name in image controls and printable by the
// window layer's print jobs (ui/qt/image_painter.h) (app::RegisterPageImageKind
// makes them measurable); report runs then compose with the real
// fonts (report::SetReportFontMetrics), which PDF files then take their
// widths from.  Safe to call more than once.
void RegisterPageImagePainter();

}  // namespace mirabo::report::qt
