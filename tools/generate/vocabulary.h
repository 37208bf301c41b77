// What the sample's rows are made of: invented word lists that the generator
// combines into names, products and comments, and the fixed edge-case rows
// that it spreads through the tables.  Every name here is invented.  Lists
// that are "ordered from most to least common" are drawn with falling
// weights, so their order is part of the output.
#pragma once

#include <cstdint>
#include <iterator>

namespace mirabo::tools {

// ---------------------------------------------------------------------------------------------
// Word lists.

inline constexpr const char* kBrands[] = {
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

inline constexpr const char* kCompanySuffixes[] = {
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
inline constexpr const char* kRegions[] = {"UK",    "Europe",   "Direct",   "Trading",
                                           "Group", "Holdings", "Services", "Sales"};

// Ordered from most to least common: the review kind is drawn with a falling weight.
inline constexpr const char* kReviewKinds[] = {
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
inline constexpr CategoryInfo kCategoryInfos[] = {
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
inline constexpr const char* kCategoryQualifiers[] = {
    "Budget", "Portable", "Professional", "Colour", "Network", "Business", "Home", "Entry-level"};

inline constexpr const char* kEditions[] = {
    "",        "",          "",         "",        " Pro",          " Plus",
    " Deluxe", " Lite",     " Gold",    " Junior", " Professional", " SE",
    " 32",     " Personal", " Network", " Express"};
inline constexpr int kModelNumbers[] = {100,  120,  200,  240,  250,  300,  340,  400,  420,  486,
                                        500,  540,  600,  640,  800,  1000, 1200, 1440, 2000, 2400,
                                        2880, 3000, 4000, 4200, 5000, 6000, 8000, 9600};
inline constexpr const char* kModelLetters[] = {"X", "S", "i", "e", "+", "L"};
inline constexpr const char* kHardwareRevisions[] = {"Rev A",  "Rev B", "Rev C", "Rev D",  "Mk II",
                                                     "Mk III", "v1.1",  "v2.0",  "Issue 3"};
inline constexpr const char* kBookTopics[] = {
    "DOS",        "Spreadsheet", "Database", "Networking", "Programming", "Desktop Publishing",
    "Multimedia", "PC Upgrade",  "Internet", "Accounts"};
inline constexpr const char* kEditionsOfBooks[] = {"2nd Ed.", "3rd Ed.", "Revised", "1996 Ed."};
inline constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};

inline constexpr const char* kVerdicts[] = {
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

inline constexpr EdgeSupplier kEdgeSuppliers[] = {
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
inline constexpr int kEdgeSupplierCount = static_cast<int>(std::size(kEdgeSuppliers));

// Stands for a reference that has no row in its table.
inline constexpr int kDangling = -1;

struct EdgeFeature {
  const char* product;
  int supplier;  // index into kEdgeSuppliers, or kDangling
  int review;    // index into kReviewKinds, or kDangling
  int category;  // index into kCategoryInfos, or kDangling
  const char* hs;
  const char* version;
  const char* comment;
};

inline constexpr EdgeFeature kEdgeFeatures[] = {
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
inline constexpr int kEdgeFeatureCount = static_cast<int>(std::size(kEdgeFeatures));

inline constexpr const char* kLongIssueComment =  // exactly the full width (91)
    "Bumper issue: 64-page buyers guide, cover disk with 12 utilities and a \"DIY upgrade\" poster";

}  // namespace mirabo::tools
