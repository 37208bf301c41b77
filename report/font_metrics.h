// How wide a text is in a font: the one thing page composition needs to
// know about fonts (to size a control to its text).  The program measures
// with the real fonts (report/qt); tests use FixedPitchMetrics, whose answers
// are exact and known in advance, so composition stays free of Qt.
#pragma once

#include <array>
#include <string_view>

#include "report/report_def.h"

namespace mirabo::report {

// A font as a PDF file describes it, in thousandths of the font's size (a
// PDF font's own unit): the advance of each Windows-1252 character, and how
// far the face reaches above and below its baseline.
struct FontShape {
  std::array<int, 256> widths{};
  int ascent = 0;
  int descent = 0;
};

class FontMetrics {
 public:
  virtual ~FontMetrics() = default;
  // The advance width of `text` (Windows-1252) set in `font`, in thousandths
  // of an inch.  `font` is resolved: a face and a size are given.
  virtual int TextWidth(const Font& font, std::string_view text) = 0;
  // The height of one line of `font` (ascent plus descent).
  virtual int LineHeight(const Font& font) = 0;
  // The shape of `font`'s face and weight (its size does not matter), so a
  // PDF file places text where composition measured it.
  virtual FontShape Shape(const Font& font) = 0;
};

// Every character, blank included, is size x 7 wide (size x 8 when bold);
// a line is size x 14 high.  Arial 10 thus gives 70 a character, 140 a line.
class FixedPitchMetrics final : public FontMetrics {
 public:
  int TextWidth(const Font& font, std::string_view text) override {
    return static_cast<int>(text.size()) * font.size * (font.bold ? 8 : 7);
  }
  int LineHeight(const Font& font) override { return font.size * 14; }
  // A point is 1000/72 thousandths of an inch: 7 of them a point is 504
  // thousandths of the size, a line of 14 is 1008, cut 4 to 1 about the
  // baseline.
  FontShape Shape(const Font& font) override {
    FontShape s;
    s.widths.fill(font.bold ? 576 : 504);
    s.ascent = 806;
    s.descent = 202;
    return s;
  }
};

// The metrics that report runs compose with: the real fonts once the program
// has installed them (report::qt::RegisterPageImagePainter does), else
// FixedPitchMetrics, so headless runs compose the same pages everywhere.
FontMetrics& ReportFontMetrics();
// Installs `metrics`, which must live as long as it is installed; null goes
// back to FixedPitchMetrics.
void SetReportFontMetrics(FontMetrics* metrics);

}  // namespace mirabo::report
