// Report definitions as data: what a report prints, where, and in what font.
// A report is a definition plus the list of variables that its variable
// controls show; the engine (report/report.h) composes pages from it.
//
// Units are thousandths of an inch throughout.  The page header and footer
// bands sit where `at` puts them on the page (from the page's top-left
// corner); the detail band is stacked into the detail area, one below the
// other, and is drawn `offset_x` to the right of and `offset_y` below its
// place (a negative offset_x moves it to the left).  Controls are placed from
// their band's top-left corner.  A text control whose width or height is
// kSizedToText takes the size its text needs in its font.
//
// Example (a one-column listing):
//
//   ReportDef d{.name = "PRINTCAT:CATEGORY$REPORT", .title = "CATEGORY Table",
//               .detail_area = {1000, 1540, 6000, 7458}};
//   d.header = {.at = {1000, 1000, 6000, 542},
//               .controls = {Text("CATEGORY Table", {0, 20, 6000, 220}, ...)}};
//   d.detail = {.at = {0, 0, 6000, 281},
//               .controls = {Variable("s31", {50, 50, 5900, 170})}};
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirabo::report {

constexpr int kSizedToText = -1;

// RGB colours, 0xRRGGBB; kNoColour draws nothing.
using Colour = uint32_t;
constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kLightGrey = 0xC0C0C0;
constexpr Colour kNoColour = 0xFF000000;

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A font.  In a control, an empty face and a size of 0 take the report's.
struct Font {
  std::string face;
  int size = 0;  // points
  bool bold = false;
  friend bool operator==(const Font&, const Font&) = default;
};

// kDefault is left for text and strings, right for numbers.
enum class Justify : uint8_t { kDefault, kLeft, kCentre, kRight };

enum class ItemKind : uint8_t {
  kText,        // fixed text
  kVariable,    // the next variable of the list, formatted by `picture`
  kPageNumber,  // the page counter, formatted by `picture`
  kBox,         // a rectangle with an outline and a fill
  kLine,        // from (x, y) to (x + w, y + h): w 0 is vertical, h 0 horizontal
};

struct ReportControl {
  ItemKind kind = ItemKind::kText;
  Rect at;
  std::string text;     // kText
  std::string picture;  // kVariable, kPageNumber
  Justify justify = Justify::kDefault;
  Font font;
  bool transparent = false;  // text: opaque text clears its box to white first
  Colour outline = kBlack;   // box outline, line colour, text colour
  Colour fill = kNoColour;   // box fill
};

struct Band {
  Rect at;  // header, footer: place on the page; detail: w and h only
  int offset_x = 0, offset_y = 0;
  std::vector<ReportControl> controls;
};

// Letter paper unless a definition says otherwise.
constexpr int kLetterWidth = 8500;
constexpr int kLetterHeight = 11000;

struct ReportDef {
  std::string name;   // "PRINTFEA:FEATSUPP$REPORT"
  std::string title;  // the print job's name
  Rect detail_area;
  Font font{"Arial", 10, false};
  int page_width = kLetterWidth, page_height = kLetterHeight;
  Band header, detail, footer;
};

// Small builders for the tables of report layouts.
ReportControl Text(std::string text, Rect at, Justify justify = Justify::kDefault);
ReportControl Variable(std::string picture, Rect at, Justify justify = Justify::kDefault);
ReportControl PageNumber(std::string picture, Rect at);
// The page number `page` as a kPageNumber control with `picture` prints it:
// always whole, a pattern too narrow for it ("pPage <<<#p" from page
// 10,000) taking the digit places it needs before its first.
std::string PageNumberText(const std::string& picture, int page);
ReportControl Box(Rect at, Colour outline, Colour fill);
ReportControl Line(Rect at);

// How many kVariable controls the definition has: the length of the
// variable list it binds (header, then detail, then footer, each in order).
int VariableCount(const ReportDef& def);

}  // namespace mirabo::report
