#include "tools/generate/sample_generator.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <system_error>

namespace mirabo::tools {
namespace {

// Column widths of the magazine index, in Windows-1252 characters.
constexpr size_t kSupplierWidth = 36;
constexpr size_t kReviewWidth = 19;
constexpr size_t kCategoryWidth = 31;

constexpr int kMaxReference = 32767;  // references are 16-bit signed in the index
constexpr int kMaxIssues = 999;
constexpr int kFirstYear = 1991;

// Each table draws from its own stream, so that (for example) asking for more features leaves
// the supplier list unchanged, and switching edge cases off leaves the ordinary rows unchanged.
enum Stream : uint64_t {
  kSupplierStream = 1,
  kOrderStream,
  kIssueStream,
  kFeatureStream,
  kEdgeStream,
};

// A fixed, tiny generator: the standard distributions produce different sequences on different
// standard libraries, and the sample files must be byte-identical everywhere.
class SplitMix64 {
 public:
  SplitMix64(uint64_t seed, Stream stream)
      : state_(seed ^ (static_cast<uint64_t>(stream) * 0xD1B54A32D192ED03ull)) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); the modulo bias is negligible for the small ranges used here.
  uint64_t Below(uint64_t n) { return Next() % n; }
  bool Percent(uint64_t p) { return Below(100) < p; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

void AppendNumber(std::string& out, int64_t n) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, n);
  out.append(digits, result.ptr);
}

std::string NumberText(int64_t n) {
  std::string text;
  AppendNumber(text, n);
  return text;
}

// `base` followed by `suffix`, cutting `base` short when the pair would not fit in `width`.
// Only used with the ASCII word lists below, so bytes equal characters.
std::string FitWithSuffix(std::string_view base, std::string_view suffix, size_t width) {
  std::string text(base.substr(0, std::min(base.size(), width - suffix.size())));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  text += suffix;
  return text;
}

// ---------------------------------------------------------------------------------------------
// Word lists. Every name here is invented.

constexpr const char* kBrands[] = {
    "Brennock",   "Tallowmere", "Quillon",     "Velmora",     "Corvane",     "Draxley",
    "Fenwright",  "Glimmerton", "Kestrelle",   "Lumbrook",    "Marrowick",   "Nettlecombe",
    "Orrindale",  "Quenby",     "Rookhaven",   "Thistlewick", "Umberlane",   "Vantorel",
    "Wexcombe",   "Yarrowby",   "Zelwyn",      "Ambervale",   "Dunmorrow",   "Eldercrest",
    "Fairhollow", "Greywater",  "Hexmoor",     "Ivorline",    "Jasperfield", "Kilnworth",
    "Moorvale",   "Oakhaven",   "Quarrington", "Ravelstone",  "Tamberlin",   "Ulvercroft",
    "Vexford",    "Wrenfold",   "Zandrel",     "Brackwater",  "Cindermoor",  "Everleigh",
    "Frostwick",  "Gallowmere", "Halvercombe", "Inchbrook",   "Jorvane",     "Kelvaren",
    "Lorrimere",  "Mirrowell",  "Norrandel",   "Osterfeld",   "Pennibrook",  "Quorvale",
    "Redwhistle", "Sallowfen",  "Torvenna",    "Underhame",   "Vyrnwick",    "Welkinby",
    "Yestermoor", "Zorabel",    "Ashlowen",    "Cobbledene",  "Dravenholt",  "Emberwick",
    "Fallowmere", "Gorsedene",  "Hollinvale",  "Ironquill",   "Kettlewynd",  "Larkspire",
    "Mossgrove",  "Nimbrel",    "Ottervane",   "Quintrell",   "Rushfennel",  "Stonewhit",
    "Tawnybrook", "Brindlecot",
};

constexpr const char* kCompanySuffixes[] = {
    "Systems",
    "Data",
    "Softworks",
    "Software",
    "Peripherals Ltd",
    "Computing",
    "Electronics",
    "Technology",
    "Micro",
    "Microsystems",
    "Computers Ltd",
    "Data Products",
    "Software House",
    "Research",
    "Digital",
    "Distribution",
    "Imaging",
    "Networks",
    "Interactive",
    "Publishing",
    "Labs",
    "Computer Supplies",
    "Devices plc",
    "Design",
    "Developments Ltd",
};

// Appended once every brand/suffix pair has been used, so that names stay distinct for longer.
constexpr const char* kRegions[] = {"UK",    "Europe",   "Direct",   "Trading",
                                    "Group", "Holdings", "Services", "Sales"};

// Ordered from most to least common: the review kind is drawn with a falling weight.
constexpr const char* kReviewKinds[] = {
    "Group Test",       "First Look",          "Full Review",     "Short Review",
    "Benchmark",        "Buyers Guide",        "Long-term Test",  "Preview",
    "Round-up",         "Head-to-Head & Tips", "Hands On",        "News Item",
    "Upgrade Review",   "Best Buy Award",      "Reader Report",   "Tutorial",
    "Lab Report",       "Budget Choice",       "Editor's Choice", "Workshop",
    "Shareware Corner", "Cover Disk Review",
};

enum class Kind { kSoftware, kHardware, kMixed, kOther };

struct CategoryInfo {
  const char* name;
  Kind kind;
  const char* nouns[3];
};

// Ordered from most to least common, like the review kinds.
constexpr CategoryInfo kCategoryInfos[] = {
    {"Word Processors", Kind::kSoftware, {"Write", "Word", "Text"}},
    {"Laser Printers", Kind::kHardware, {"Laser", "LaserPage", "Page Printer"}},
    {"Spreadsheets", Kind::kSoftware, {"Calc", "Sheet", "Grid"}},
    {"Modems", Kind::kHardware, {"Modem", "Fax Modem", "DataLink"}},
    {"Databases", Kind::kSoftware, {"Base", "File", "Query"}},
    {"Hard Disks", Kind::kHardware, {"Drive", "Disk", "Fixed Disk"}},
    {"Graphics Cards", Kind::kHardware, {"VGA", "Graphics", "Vision"}},
    {"Desktop Publishing", Kind::kSoftware, {"Page", "Publisher", "Layout"}},
    {"Utilities", Kind::kSoftware, {"Tools", "Toolkit", "Rescue"}},
    {"Desktop PCs", Kind::kHardware, {"PC", "Station", "Desk"}},
    {"Monitors", Kind::kHardware, {"Monitor", "Display", "View"}},
    {"Accounts Software", Kind::kSoftware, {"Accounts", "Books", "Ledger"}},
    {"Games", Kind::kSoftware, {"Quest", "Racer", "Chess"}},
    {"Notebooks", Kind::kHardware, {"Notebook", "Portable", "Traveller"}},
    {"Drawing Packages", Kind::kSoftware, {"Draw", "Sketch", "Vector"}},
    {"Sound Cards", Kind::kHardware, {"Sound", "Audio", "Wave"}},
    {"Communications Software", Kind::kSoftware, {"Comms", "Term", "Link"}},
    {"Inkjet Printers", Kind::kHardware, {"Jet", "InkPrint", "Inkwriter"}},
    {"Scanners", Kind::kHardware, {"Scan", "Scanner", "Image"}},
    {"Printers, Plotters & Scanners", Kind::kHardware, {"Printer", "Plotter", "Scanner"}},
    {"Programming Languages", Kind::kSoftware, {"Pascal", "Basic", "C Compiler"}},
    {"Anti-Virus Software", Kind::kSoftware, {"Guard", "Shield", "Scan"}},
    {"CD-ROM Drives", Kind::kHardware, {"CD", "CD-ROM", "Disc"}},
    {"Integrated Packages", Kind::kSoftware, {"Suite", "Desk", "All-in-One"}},
    {"Dot Matrix Printers", Kind::kHardware, {"Matrix", "DotPrint", "Dot"}},
    {"Paint Programs", Kind::kSoftware, {"Paint", "Brush", "Palette"}},
    {"Network Software", Kind::kSoftware, {"Net", "Share", "Connect"}},
    {"Tape Streamers", Kind::kHardware, {"Tape", "Streamer", "Backup"}},
    {"Presentation Graphics", Kind::kSoftware, {"Present", "Slides", "Show"}},
    {"Communications & Networking Kit", Kind::kMixed, {"Link", "Hub", "NetKit"}},
    {"Mice & Trackballs", Kind::kHardware, {"Mouse", "Trackball", "Pointer"}},
    {"Educational Software", Kind::kSoftware, {"Tutor", "Learn", "Maths"}},
    {"Memory Upgrades", Kind::kHardware, {"SIMM", "RAM", "Memory"}},
    {"Personal Finance", Kind::kSoftware, {"Finance", "Budget", "Cheque"}},
    {"CAD Software", Kind::kSoftware, {"CAD", "Draft", "Design"}},
    {"Multimedia Kits", Kind::kMixed, {"Multimedia Kit", "Media Pack", "Studio"}},
    {"Keyboards", Kind::kHardware, {"Keyboard", "Keys", "Type"}},
    {"Operating Systems", Kind::kSoftware, {"OS", "Shell", "DOS"}},
    {"Network Cards", Kind::kHardware, {"NetCard", "Adapter", "Ethernet"}},
    {"Books", Kind::kOther, {"Guide", "Handbook", "Companion"}},
    {"Font Packages", Kind::kSoftware, {"Fonts", "Type", "Typeface"}},
    {"Music Software", Kind::kSoftware, {"Sequencer", "Score", "Tracker"}},
    {"Graphics Tablets", Kind::kMixed, {"Tablet", "Pad", "Digitiser"}},
    {"Backup Software", Kind::kSoftware, {"Backup", "Archive", "Safe"}},
    {"Training Courses", Kind::kOther, {"Course", "Training", "Seminar"}},
    {"Uninterruptible Power Supplies", Kind::kHardware, {"UPS", "Power", "Guardian"}},
    {"Motherboards", Kind::kHardware, {"Board", "Mainboard", "Motherboard"}},
    {"Project Management", Kind::kSoftware, {"Project", "Schedule", "Planner"}},
    {"Voice Recognition", Kind::kMixed, {"Voice", "Dictate", "Speak"}},
    {"Palmtop Computers", Kind::kHardware, {"Palmtop", "Pocket", "Organiser"}},
    {"Plotters", Kind::kHardware, {"Plotter", "Pen Plotter", "Draft"}},
    {"Video Capture Cards", Kind::kMixed, {"Capture", "Video", "Frame"}},
    {"Removable Drives", Kind::kHardware, {"Cartridge", "Removable", "Swap"}},
    {"Statistics Packages", Kind::kSoftware, {"Stats", "Analyst", "Survey"}},
    {"Email Software", Kind::kSoftware, {"Mail", "Post", "Courier"}},
    {"Web Browsers", Kind::kSoftware, {"Web", "Browser", "Surf"}},
    {"Support Services", Kind::kOther, {"Support", "Care", "Helpline"}},
    {"Joysticks", Kind::kHardware, {"Stick", "Joystick", "Flight"}},
    {"Multimedia Authoring", Kind::kSoftware, {"Author", "Studio", "Media"}},
    {"Personal Organisers", Kind::kSoftware, {"Diary", "Planner", "Organiser"}},
};

// Prefixes for categories beyond the base list ("Budget Modems", "Portable Hard Disks").
constexpr const char* kCategoryQualifiers[] = {
    "Budget", "Portable", "Professional", "Colour", "Network", "Business", "Home", "Entry-level"};

constexpr const char* kEditions[] = {
    "",        "",          "",         "",        " Pro",          " Plus",
    " Deluxe", " Lite",     " Gold",    " Junior", " Professional", " SE",
    " 32",     " Personal", " Network", " Express"};
constexpr int kModelNumbers[] = {100,  120,  200,  240,  250,  300,  340,  400,  420,  486,
                                 500,  540,  600,  640,  800,  1000, 1200, 1440, 2000, 2400,
                                 2880, 3000, 4000, 4200, 5000, 6000, 8000, 9600};
constexpr const char* kModelLetters[] = {"X", "S", "i", "e", "+", "L"};
constexpr const char* kHardwareRevisions[] = {"Rev A",  "Rev B", "Rev C", "Rev D",  "Mk II",
                                              "Mk III", "v1.1",  "v2.0",  "Issue 3"};
constexpr const char* kBookTopics[] = {
    "DOS",        "Spreadsheet", "Database", "Networking", "Programming", "Desktop Publishing",
    "Multimedia", "PC Upgrade",  "Internet", "Accounts"};
constexpr const char* kEditionsOfBooks[] = {"2nd Ed.", "3rd Ed.", "Revised", "1996 Ed."};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

constexpr const char* kVerdicts[] = {
    "Editor's Choice.",
    "Best Buy.",
    "Recommended.",
    "Good value for money.",
    "Fast and reliable.",
    "Slow on large files.",
    "Disappointing performance.",
    "Excellent documentation.",
    "Thin manual, but easy to use.",
    "Requires a 386 or better.",
    "Bundled with a free mouse mat.",
    "Price includes one year on-site warranty.",
    "Upgrades from earlier versions are discounted.",
    "Shareware: try before you buy.",
    "Also available for networks, at extra cost.",
    "Reads and writes \"industry standard\" file formats.",
    "UK version reviewed; US pricing differs.",
};

// ---------------------------------------------------------------------------------------------
// Edge-case rows.

struct EdgeSupplier {
  const char* name;
  const char* brand;
};

constexpr EdgeSupplier kEdgeSuppliers[] = {
    {"Bright & Sons \"Micro\", Ltd", "Bright"},
    {"Pixel <Plus> Graphics & Co", "Pixel"},
    {"Zentrix data", "Zentrix"},
    {"ZENTRIX DATA", "ZENTRIX"},
    {"Dovecote Trading", "Dovecote"},
    {"Dovecote Trading", "Dovecote"},
    {"M\u00fcller Datentechnik", "M\u00fcller"},
    {"Caf\u00e9 Noirette Software", "Caf\u00e9"},
    {"S\u00f8ndergaard Elektronik ApS", "S\u00f8ndergaard"},
    {"Gro\u00dfmann Rechnertechnik GmbH", "Gro\u00dfmann"},
    {"Featherstonehaugh Computing Services", "Featherstonehaugh"},  // exactly the full width
};
constexpr int kEdgeSupplierCount = static_cast<int>(std::size(kEdgeSuppliers));

// Stands for a reference that has no row in its table.
constexpr int kDangling = -1;

struct EdgeFeature {
  const char* product;
  int supplier;  // index into kEdgeSuppliers, or kDangling
  int review;    // index into kReviewKinds, or kDangling
  int category;  // index into kCategoryInfos, or kDangling
  const char* hs;
  const char* version;
  const char* comment;
};

constexpr EdgeFeature kEdgeFeatures[] = {
    // The only product name of exactly the full width (86), with the longest possible comment.
    {"Bright Write Deluxe Edition with Spelling Checker, Thesaurus, Mail Merge & Macro Tools", 0, 2,
     0, "S", "4.0",
     "The most complete word processor we have tested, with spelling checker, thesaurus, mail "
     "merge, macros, \"live\" print preview and import filters for seven rival formats; slow to "
     "load from floppy, but worth it."},
    {"Pixel Paint <Beta>", 1, 7, 25, "S", "0.9b",
     "Pre-release copy; features may change before launch."},
    {"alpha draw", 2, 1, 14, "S", "1.0", ""},
    {"ALPHA DRAW", 3, 1, 14, "S", "1.0",
     "Same program as \"alpha draw\", sold under a different label."},
    {"Bright \"Micro\" Tools, Vol. 2 & 3", 0, 0, 8, "S", "2.0",
     "Reviewer's pick, \"best in test\", but pricey."},
    {"Dovecote Ledger", 4, 2, 11, "S", "1.0", "First of two companies trading under this name."},
    {"Dovecote Ledger", 5, 3, 11, "S", "2.0",
     "Not the same company as the other Dovecote Trading."},
    {"M\u00fcller B\u00fcro-Faktura 2", 6, 2, 11, "S", "2.0",
     "German-language package; English manual available, at extra cost."},
    {"Caf\u00e9 Menu Planner", 7, 3, 4, "S", "1.1",
     "Recipe costing for the small caf\u00e9 or restaurant."},
    {"S\u00f8ndergaard Lydkort 16", 8, 0, 15, "H", "",
     "Danish import; priced in \u20ac as well as pounds."},
    {"Gro\u00dfmann Rechenmeister", 9, 4, 2, "S", "3.0", ""},
    {"Featherstonehaugh Draughtsman\u2122 2", 10, 2, 34, "S", "1.0 Beta 3 (UK)",
     "Product names & prices <subject to change>."},
    // References with no matching row, as left behind when rows are deleted from the index.
    {"Wexcombe Calc 3", kDangling, 0, 2, "S", "3.0", "Supplier has since ceased trading."},
    {"Bright Modem BR-2880", 0, kDangling, 3, "H", "", "Review type missing from the index."},
    {"Pixel Audio PI-1600", 1, 1, kDangling, "H", "Rev A", ""},
    {"Hexmoor Scan HE-400", kDangling, kDangling, kDangling, "H", "", ""},
};
constexpr int kEdgeFeatureCount = static_cast<int>(std::size(kEdgeFeatures));

constexpr const char* kLongIssueComment =  // exactly the full width (91)
    "Bumper issue: 64-page buyers guide, cover disk with 12 utilities and a \"DIY upgrade\" poster";

// ---------------------------------------------------------------------------------------------
// Buffered CSV output.

class CsvWriter {
 public:
  CsvWriter() { buffer_.reserve(kFlushSize + 4096); }
  ~CsvWriter() {
    if (file_ != nullptr) std::fclose(file_);
  }
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  std::string Open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return "cannot write " + path + ": " + std::strerror(errno);
    return {};
  }

  void Text(std::string_view value) {
    Separator();
    AppendCsvField(buffer_, value);
  }
  void Number(int64_t value) {
    Separator();
    AppendNumber(buffer_, value);
  }
  void Row(std::initializer_list<std::string_view> fields) {
    for (std::string_view field : fields) Text(field);
    EndRow();
  }
  void EndRow() {
    buffer_ += '\n';
    row_started_ = false;
    if (buffer_.size() >= kFlushSize) Flush();
  }
  bool failed() const { return !error_.empty(); }

  std::string Close() {
    Flush();
    if (std::fclose(file_) != 0 && error_.empty()) {
      error_ = "cannot write " + path_ + ": " + std::strerror(errno);
    }
    file_ = nullptr;
    return error_;
  }

 private:
  static constexpr size_t kFlushSize = size_t{1} << 20;

  void Separator() {
    if (row_started_) buffer_ += ',';
    row_started_ = true;
  }
  void Flush() {
    if (error_.empty() && !buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      error_ = "cannot write " + path_ + ": " + std::strerror(errno);
    }
    buffer_.clear();
  }

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string buffer_;
  std::string error_;
  bool row_started_ = false;
};

// ---------------------------------------------------------------------------------------------
// Lookup tables. They grow with suppliers, reviews and categories (at most 32767 rows each), never
// with the feature count.

struct Supplier {
  std::string name;
  std::string brand;         // first word, used to name its products
  std::string model_prefix;  // two capitals for hardware model numbers
};

struct Category {
  std::string name;
  const CategoryInfo* info;
};

struct Tables {
  std::vector<Supplier> suppliers;
  std::vector<std::string> reviews;
  std::vector<Category> categories;
  std::vector<uint64_t> review_weights;    // cumulative
  std::vector<uint64_t> category_weights;  // cumulative
  int edge_supplier_refs[kEdgeSupplierCount] = {};
  int dangling_supplier = 0;
  int dangling_review = 0;
  int dangling_category = 0;
};

std::string ModelPrefix(std::string_view brand) {
  std::string prefix;
  for (char c : brand) {
    if (prefix.size() == 2) break;
    if (std::isalpha(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) {
      prefix += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return prefix.size() == 2 ? prefix : "XX";
}

std::vector<Supplier> BuildSuppliers(const SampleOptions& options, Tables& tables) {
  constexpr size_t kBrandCount = std::size(kBrands);
  constexpr size_t kSuffixCount = std::size(kCompanySuffixes);
  SplitMix64 rng(options.seed, kSupplierStream);

  // A seed-dependent brand order, so that different seeds give different supplier lists.
  size_t brand_order[kBrandCount];
  for (size_t i = 0; i < kBrandCount; ++i) brand_order[i] = i;
  for (size_t i = kBrandCount - 1; i > 0; --i) {
    std::swap(brand_order[i], brand_order[rng.Below(i + 1)]);
  }
  const size_t suffix_offset = rng.Below(kSuffixCount);

  const int count =
      options.edge_cases ? std::max(options.suppliers, kEdgeSupplierCount) : options.suppliers;
  std::vector<Supplier> suppliers(static_cast<size_t>(count));
  for (size_t i = 0; i < suppliers.size(); ++i) {
    // Walks every brand/suffix pair once before any repeats: for a fixed brand, consecutive
    // rounds give consecutive suffixes.
    const size_t brand_slot = i % kBrandCount;
    const size_t round = i / kBrandCount;
    const char* brand = kBrands[brand_order[brand_slot]];
    const char* suffix = kCompanySuffixes[(round + brand_slot * 7 + suffix_offset) % kSuffixCount];
    std::string name = std::string(brand) + ' ' + suffix;
    const size_t region_round = round / kSuffixCount;
    if (region_round > 0) {
      const std::string region = kRegions[(region_round - 1) % std::size(kRegions)];
      if (name.size() + 1 + region.size() <= kSupplierWidth) name += ' ' + region;
    }
    suppliers[i] = {std::move(name), brand, ModelPrefix(brand)};
  }

  if (options.edge_cases) {
    for (int k = 0; k < kEdgeSupplierCount; ++k) {
      // Spread over the reference range rather than bunched at the start.
      const size_t index = static_cast<size_t>(k) * suppliers.size() / kEdgeSupplierCount;
      const EdgeSupplier& edge = kEdgeSuppliers[k];
      suppliers[index] = {edge.name, edge.brand, ModelPrefix(edge.brand)};
      tables.edge_supplier_refs[k] = static_cast<int>(index) + 1;
    }
  }
  return suppliers;
}

std::vector<std::string> BuildReviews(int count) {
  constexpr size_t kBase = std::size(kReviewKinds);
  std::vector<std::string> reviews;
  reviews.reserve(static_cast<size_t>(count));
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    if (i < kBase) {
      reviews.emplace_back(kReviewKinds[i]);
    } else {
      reviews.push_back(
          FitWithSuffix(kReviewKinds[i % kBase], " " + NumberText(i / kBase + 1), kReviewWidth));
    }
  }
  return reviews;
}

std::vector<Category> BuildCategories(int count) {
  constexpr size_t kBase = std::size(kCategoryInfos);
  std::vector<Category> categories;
  categories.reserve(static_cast<size_t>(count));
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const CategoryInfo& info = kCategoryInfos[i % kBase];
    const size_t round = i / kBase;
    std::string name = info.name;
    if (round > 0) {
      const std::string qualified =
          round <= std::size(kCategoryQualifiers)
              ? std::string(kCategoryQualifiers[round - 1]) + ' ' + info.name
              : std::string();
      name = !qualified.empty() && qualified.size() <= kCategoryWidth
                 ? qualified
                 : FitWithSuffix(info.name, " " + NumberText(round + 1), kCategoryWidth);
    }
    categories.push_back({std::move(name), &info});
  }
  return categories;
}

// Cumulative weights falling as 1/(rank+1): the first few kinds dominate, as in a real index.
std::vector<uint64_t> SkewedWeights(size_t count) {
  std::vector<uint64_t> cumulative(count);
  uint64_t total = 0;
  for (size_t rank = 0; rank < count; ++rank) {
    total += 1'000'000 / (rank + 1);
    cumulative[rank] = total;
  }
  return cumulative;
}

size_t PickWeighted(const std::vector<uint64_t>& cumulative, SplitMix64& rng) {
  const uint64_t target = rng.Below(cumulative.back());
  return static_cast<size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), target) -
                             cumulative.begin());
}

// A reference to a fixed row of the base lists; wraps round when fewer rows were asked for.
int BaseReference(int index, size_t count) {
  return static_cast<int>(static_cast<size_t>(index) % count) + 1;
}

// A reference value that is valid for the column but has no row: a round number when free.
int DanglingReference(size_t count, int preferred) {
  return static_cast<int>(count) < preferred ? preferred : static_cast<int>(count) + 1;
}

Tables BuildTables(const SampleOptions& options) {
  Tables tables;
  tables.suppliers = BuildSuppliers(options, tables);
  tables.reviews = BuildReviews(options.reviews);
  tables.categories = BuildCategories(options.categories);
  tables.review_weights = SkewedWeights(tables.reviews.size());
  tables.category_weights = SkewedWeights(tables.categories.size());
  tables.dangling_supplier = DanglingReference(tables.suppliers.size(), 30000);
  tables.dangling_review = DanglingReference(tables.reviews.size(), 999);
  tables.dangling_category = DanglingReference(tables.categories.size(), 999);
  return tables;
}

// ---------------------------------------------------------------------------------------------
// Table writers.

std::vector<size_t> ShuffledOrder(size_t count, SplitMix64& rng) {
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = i;
  for (size_t i = count; i > 1; --i) std::swap(order[i - 1], order[rng.Below(i)]);
  return order;
}

std::string WriteSuppliers(const Tables& tables, SplitMix64& order_rng, const std::string& path) {
  CsvWriter out;
  if (std::string error = out.Open(path); !error.empty()) return error;
  out.Row({"SUPPLIER", "REFERENCE"});
  for (size_t i : ShuffledOrder(tables.suppliers.size(), order_rng)) {
    out.Text(tables.suppliers[i].name);
    out.Number(static_cast<int64_t>(i) + 1);
    out.EndRow();
  }
  return out.Close();
}

template <typename Rows, typename NameOf>
std::string WriteNamedTable(const Rows& rows, NameOf name_of, const char* name_column,
                            SplitMix64& order_rng, const std::string& path) {
  CsvWriter out;
  if (std::string error = out.Open(path); !error.empty()) return error;
  out.Row({name_column, "REFERENCE"});
  for (size_t i : ShuffledOrder(rows.size(), order_rng)) {
    out.Text(name_of(rows[i]));
    out.Number(static_cast<int64_t>(i) + 1);
    out.EndRow();
  }
  return out.Close();
}

std::string IssueComment(int issue, const SampleOptions& options, SplitMix64& rng) {
  const int month = (issue - 1) % 12;
  const int year = kFirstYear + (issue - 1) / 12;
  if (options.edge_cases && issue == std::min(2, options.issues)) return kLongIssueComment;
  if (issue == 1) return "Launch issue";
  if (month == 11)
    return "Christmas special: " + NumberText(24 + 8 * rng.Below(4)) + " pages of games";
  if (month == 0) return "\"Year in Review\" issue, with index to " + NumberText(year - 1);
  if (!rng.Percent(25)) return {};
  switch (rng.Below(5)) {
    case 0:
      return "Free cover disk: " + NumberText(5 + rng.Below(20)) + " shareware utilities";
    case 1:
      return "Annual buyers guide supplement";
    case 2:
      return "Redesigned issue with new reviews section";
    case 3:
      return "Includes " + NumberText(8 + 4 * rng.Below(6)) + "-page networking supplement";
    default:
      return "Price rise; extra " + NumberText(16 + 8 * rng.Below(4)) + " pages of reviews";
  }
}

std::string WriteIssues(const SampleOptions& options, const std::string& path) {
  CsvWriter out;
  if (std::string error = out.Open(path); !error.empty()) return error;
  out.Row({"ISSUE_NUMB", "ISSUE_NAME", "COMMENTS"});
  SplitMix64 rng(options.seed, kIssueStream);
  std::string name;
  for (int issue = 1; issue <= options.issues; ++issue) {
    name = kMonths[(issue - 1) % 12];
    name += ' ';
    AppendNumber(name, kFirstYear + (issue - 1) / 12);
    out.Number(issue);
    out.Text(name);
    out.Text(IssueComment(issue, options, rng));
    out.EndRow();
  }
  return out.Close();
}

const char* HsFor(Kind kind) {
  switch (kind) {
    case Kind::kSoftware:
      return "S";
    case Kind::kHardware:
      return "H";
    case Kind::kMixed:
      return "H/S";
    case Kind::kOther:
      break;
  }
  return "";
}

void MakeHardwareProduct(const Supplier& supplier, const CategoryInfo& info, SplitMix64& rng,
                         std::string& out) {
  out = supplier.brand;
  out += ' ';
  out += rng.Pick(info.nouns);
  out += ' ';
  out += supplier.model_prefix;
  out += '-';
  AppendNumber(out, rng.Pick(kModelNumbers));
  if (rng.Percent(30)) out += rng.Pick(kModelLetters);
}

void MakeSoftwareVersion(SplitMix64& rng, std::string& out) {
  out.clear();
  if (rng.Percent(5)) return;  // not recorded
  AppendNumber(out, 1 + static_cast<int64_t>(rng.Below(6)));
  out += '.';
  AppendNumber(out, static_cast<int64_t>(rng.Below(10)));
  if (rng.Percent(10)) out += static_cast<char>('a' + rng.Below(3));
}

// Fills product, HS and version for one ordinary feature row.
void MakeProduct(const Supplier& supplier, const CategoryInfo& info, SplitMix64& rng,
                 std::string& product, std::string& version, const char*& hs) {
  hs = rng.Percent(1) ? "" : HsFor(info.kind);  // the odd row was indexed without it
  Kind style = info.kind;
  if (style == Kind::kMixed) style = rng.Percent(50) ? Kind::kHardware : Kind::kSoftware;
  switch (style) {
    case Kind::kHardware:
      MakeHardwareProduct(supplier, info, rng, product);
      version.clear();
      if (rng.Percent(35)) version = rng.Pick(kHardwareRevisions);
      break;
    case Kind::kOther:
      product = supplier.brand;
      product += ' ';
      product += rng.Pick(kBookTopics);
      product += ' ';
      product += rng.Pick(info.nouns);
      version.clear();
      if (rng.Percent(20)) version = rng.Pick(kEditionsOfBooks);
      break;
    default:
      product = supplier.brand;
      product += ' ';
      product += rng.Pick(info.nouns);
      product += rng.Pick(kEditions);
      MakeSoftwareVersion(rng, version);
      break;
  }
}

constexpr uint64_t kSentenceKinds = std::size(kVerdicts) + 5;

void AppendSentence(std::string& out, uint64_t kind, SplitMix64& rng, int issues) {
  if (!out.empty()) out += ' ';
  switch (kind) {
    case 0:
      out += "Needs at least ";
      AppendNumber(out, int64_t{2} << rng.Below(4));
      out += " MB of RAM.";
      break;
    case 1:
      out += "Tested against ";
      AppendNumber(out, 3 + static_cast<int64_t>(rng.Below(10)));
      out += " rival products.";
      break;
    case 2:
      out += "See also the follow-up in issue ";
      AppendNumber(out, 1 + static_cast<int64_t>(rng.Below(static_cast<uint64_t>(issues))));
      out += '.';
      break;
    case 3:
      out += "Rated ";
      AppendNumber(out, 3 + static_cast<int64_t>(rng.Below(8)));
      out += " out of 10.";
      break;
    case 4:
      out += "Supplied on ";
      AppendNumber(out, 2 + static_cast<int64_t>(rng.Below(11)));
      out += " floppy disks.";
      break;
    default:
      out += kVerdicts[kind - 5];
      break;
  }
}

void MakeComment(SplitMix64& rng, int issues, std::string& out) {
  out.clear();
  if (rng.Percent(40)) return;
  // At most three sentences of under 60 characters each: always inside the 207-character column.
  // A repeated kind is dropped rather than redrawn, so "Best Buy. Best Buy." never appears.
  const uint64_t sentences = 1 + rng.Below(3);
  uint64_t used[3] = {};
  for (uint64_t i = 0; i < sentences; ++i) {
    used[i] = rng.Below(kSentenceKinds);
    if (std::find(used, used + i, used[i]) == used + i) AppendSentence(out, used[i], rng, issues);
  }
}

void WriteFeatureRow(CsvWriter& out, std::string_view product, int review, int issue, int supplier,
                     std::string_view hs, int category, std::string_view version,
                     std::string_view comment) {
  out.Text(product);
  out.Number(review);
  out.Number(issue);
  out.Number(supplier);
  out.Text(hs);
  out.Number(category);
  out.Text(version);
  out.Text(comment);
  out.EndRow();
}

void WriteEdgeFeature(CsvWriter& out, const Tables& tables, const EdgeFeature& edge, int issue) {
  const int supplier = edge.supplier == kDangling ? tables.dangling_supplier
                                                  : tables.edge_supplier_refs[edge.supplier];
  const int review = edge.review == kDangling ? tables.dangling_review
                                              : BaseReference(edge.review, tables.reviews.size());
  const int category = edge.category == kDangling
                           ? tables.dangling_category
                           : BaseReference(edge.category, tables.categories.size());
  WriteFeatureRow(out, edge.product, review, issue, supplier, edge.hs, category, edge.version,
                  edge.comment);
}

std::string WriteFeatures(const SampleOptions& options, const Tables& tables,
                          const std::string& path) {
  CsvWriter out;
  if (std::string error = out.Open(path); !error.empty()) return error;
  out.Row({"PRODUCT", "REVIEW", "ISSUE", "SUPPLIER", "HS", "CATEGORY", "V", "COMMENTS"});

  SplitMix64 rng(options.seed, kFeatureStream);
  SplitMix64 edge_rng(options.seed, kEdgeStream);
  const int64_t ordinary = options.features;
  const int edges = options.edge_cases ? kEdgeFeatureCount : 0;
  const uint64_t issues = static_cast<uint64_t>(options.issues);
  // Edge rows are spread through the file, so that a reader stopping early still meets some.
  auto edge_position = [&](int k) { return (k + 1) * ordinary / (edges + 1); };
  int next_edge = 0;
  auto write_edges_up_to = [&](int64_t row) {
    while (next_edge < edges && edge_position(next_edge) <= row) {
      const int issue = 1 + static_cast<int>(edge_rng.Below(issues));
      WriteEdgeFeature(out, tables, kEdgeFeatures[next_edge++], issue);
    }
  };

  // Reused for every row, so the loop does not allocate once they have grown.
  std::string product, version, comment;
  const char* hs = "";
  for (int64_t row = 0; row < ordinary && !out.failed(); ++row) {
    write_edges_up_to(row);
    const size_t supplier = rng.Below(tables.suppliers.size());
    const size_t category = PickWeighted(tables.category_weights, rng);
    const size_t review = PickWeighted(tables.review_weights, rng);
    const int issue = 1 + static_cast<int>(rng.Below(issues));
    MakeProduct(tables.suppliers[supplier], *tables.categories[category].info, rng, product,
                version, hs);
    MakeComment(rng, options.issues, comment);
    WriteFeatureRow(out, product, static_cast<int>(review) + 1, issue,
                    static_cast<int>(supplier) + 1, hs, static_cast<int>(category) + 1, version,
                    comment);
  }
  write_edges_up_to(ordinary);
  return out.Close();
}

bool ParseWhole(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ParseSeed(const std::string& text, uint64_t& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

constexpr const char* kUsage =
    "usage: mirabo generate [--features N] [--suppliers N] [--issues N] [--reviews N]\n"
    "                       [--categories N] [--seed S] [--no-edge-cases] DIR\n";

}  // namespace

void AppendCsvField(std::string& out, std::string_view value) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                         value.front() == '\t' || value.back() == '\t'));
  if (!quote) {
    out.append(value);
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string ValidateSampleOptions(const SampleOptions& options) {
  // With edge cases one reference value must stay free for the rows that point nowhere.
  const int max_reference = options.edge_cases ? kMaxReference - 1 : kMaxReference;
  auto check = [&](int value, const char* what, int low, int high) -> std::string {
    if (value >= low && value <= high) return {};
    return std::string(what) + " must be between " + NumberText(low) + " and " + NumberText(high) +
           ", not " + NumberText(value);
  };
  for (std::string error : {check(options.issues, "issues", 1, kMaxIssues),
                            check(options.suppliers, "suppliers", 1, max_reference),
                            check(options.reviews, "reviews", 1, max_reference),
                            check(options.categories, "categories", 1, max_reference)}) {
    if (!error.empty()) return error;
  }
  if (options.features < 0)
    return "features must not be negative, not " + NumberText(options.features);
  return {};
}

std::string WriteSampleData(const SampleOptions& options, const std::string& dir) {
  if (std::string error = ValidateSampleOptions(options); !error.empty()) return error;
  const std::filesystem::path base(dir);
  auto path = [&](const char* file) { return (base / file).string(); };

  const Tables tables = BuildTables(options);
  SplitMix64 order_rng(options.seed, kOrderStream);
  std::string error = WriteSuppliers(tables, order_rng, path("SUPPLIER.csv"));
  if (error.empty()) {
    error = WriteNamedTable(
        tables.reviews, [](const std::string& name) -> std::string_view { return name; }, "REVIEW",
        order_rng, path("REVIEW.csv"));
  }
  if (error.empty()) {
    error = WriteNamedTable(
        tables.categories, [](const Category& c) -> std::string_view { return c.name; }, "CATEGORY",
        order_rng, path("CATEGORY.csv"));
  }
  if (error.empty()) error = WriteIssues(options, path("ISSUES.csv"));
  if (error.empty()) error = WriteFeatures(options, tables, path("FEATURES.csv"));
  return error;
}

int RunGenerateCommand(const std::vector<std::string>& args) {
  SampleOptions options;
  std::string dir;
  auto usage_error = [](const std::string& why) {
    std::cerr << "mirabo generate: " << why << "\n" << kUsage;
    return 1;  // bad usage
  };

  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_ended = true;
        continue;
      }
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      }
      if (arg == "--no-edge-cases") {
        options.edge_cases = false;
        continue;
      }
      std::string name = arg;
      std::string value;
      bool has_value = false;
      if (size_t equals = arg.find('='); equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
        has_value = true;
      }
      int* target = name == "--features"     ? &options.features
                    : name == "--suppliers"  ? &options.suppliers
                    : name == "--issues"     ? &options.issues
                    : name == "--reviews"    ? &options.reviews
                    : name == "--categories" ? &options.categories
                                             : nullptr;
      if (target == nullptr && name != "--seed") return usage_error("unknown option " + name);
      if (!has_value) {
        if (i + 1 >= args.size()) return usage_error(name + " needs a value");
        value = args[++i];
      }
      const bool parsed =
          target != nullptr ? ParseWhole(value, *target) : ParseSeed(value, options.seed);
      if (!parsed) return usage_error(name + " expects a whole number, not '" + value + "'");
      continue;
    }
    if (!dir.empty()) return usage_error("only one DIR may be given");
    dir = arg;
  }
  if (dir.empty()) return usage_error("missing DIR");
  if (std::string error = ValidateSampleOptions(options); !error.empty()) {
    return usage_error(error);
  }

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::cerr << "mirabo generate: cannot create " << dir << ": " << ec.message() << "\n";
    return 2;  // could not write
  }
  if (std::string error = WriteSampleData(options, dir); !error.empty()) {
    std::cerr << "mirabo generate: " << error << "\n";
    return 2;  // could not write
  }
  return 0;
}

}  // namespace mirabo::tools
