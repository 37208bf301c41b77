// Page images: a finished report page as a display list (text runs, lines,
// boxes, in drawing order), kept in a temporary file whose name is the page's
// entry in the PageImageList.  The file format is documented field by field
// in docs/formats/page-image.md.
//
// Coordinates are thousandths of an inch from the page's top-left corner.
// Text is Windows-1252, already formatted and trimmed; a text run is drawn in
// its box with its alignment and is clipped to the box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "report/report_def.h"
#include "report/status.h"
#include "runtime/file_system.h"

namespace mirabo::report {

// One entry per finished page, in page order: the page file's name.  The
// report procedure owns the list; the engine appends to it.
using PageImageList = std::vector<std::string>;
constexpr size_t kPageNameLimit = 80;

enum class Align : uint8_t { kLeft = 0, kCentre = 1, kRight = 2 };

struct TextRun {
  Rect box;
  uint16_t font = 0;  // index into PageImage::fonts
  Align align = Align::kLeft;
  bool opaque = false;  // the box is cleared to white before the text
  Colour colour = kBlack;
  std::string text;
  friend bool operator==(const TextRun&, const TextRun&) = default;
};

struct LineItem {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int width = 0;  // pen width; 0 is the thinnest line the device draws
  Colour colour = kBlack;
  friend bool operator==(const LineItem&, const LineItem&) = default;
};

struct BoxItem {
  Rect box;
  int width = 0;  // outline pen width
  Colour outline = kBlack;
  Colour fill = kNoColour;
  friend bool operator==(const BoxItem&, const BoxItem&) = default;
};

using PageItem = std::variant<TextRun, LineItem, BoxItem>;

struct PageImage {
  int width = kLetterWidth, height = kLetterHeight;
  int number = 0;           // the page's number in its report, from 1
  std::vector<Font> fonts;  // faces and sizes resolved: never empty or 0
  std::vector<PageItem> items;

  // The index of `font` in `fonts`, adding it when it is new.
  uint16_t FontIndex(const Font& font);
  friend bool operator==(const PageImage&, const PageImage&) = default;
};

// The file's bytes for `page`, and back.  Decoding refuses (kDamaged) anything
// that is not a whole, unaltered page image of a version it knows.
std::string EncodePageImage(const PageImage& page);
Status DecodePageImage(const std::string& bytes, PageImage* page);

// The page size from the first bytes of an encoded page (the fixed header),
// without reading the rest.
Status DecodePageSize(const std::string& header, int* width, int* height);
constexpr size_t kPageHeaderSize = 32;

// Writes `page` to a new file in `folder` named with `prefix` (three letters)
// and a unique ending, through the runtime's current file system; `*name`
// receives the file's path.  The name is at most kPageNameLimit characters:
// when `folder` is too long for that, the file goes to "/tmp" instead.  On
// failure (kWriteFailed) nothing is left behind, and the message says which
// step failed (the creation, the write or the close) and the system's reason.
Status WritePageFile(const PageImage& page, const std::string& folder, const std::string& prefix,
                     std::string* name);

// Creates a new file for pages in `folder`, named with `prefix` (three
// letters), a unique ending and `extension`, through the runtime's current
// file system, open for writing; kWriteFailed with the system's reason.
Status CreatePageFile(const std::string& folder, const std::string& prefix,
                      const std::string& extension, std::unique_ptr<FileHandle>* file,
                      std::string* name);

// Reads the page file `name`, or the page a spool entry names
// (report/page_spool.h): kMissing when there is none, kDamaged when it is
// there but cannot be opened, read or taken as a page image; the message
// names the file and, for a failed open or read, the system's reason.
Status ReadPageFile(const std::string& name, PageImage* page);
// Reads only the page size.
Status ReadPageSize(const std::string& name, int* width, int* height);

// The system's folder for temporary files: $TMPDIR when set, else /tmp.
std::string TempFolder();

// A readable listing of the display list, one item a line, for golden files
// and for people.
std::string DescribePageImage(const PageImage& page);

}  // namespace mirabo::report
