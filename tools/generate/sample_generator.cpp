#include "tools/generate/sample_generator.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tools/generate/csv_writer.h"
#include "tools/generate/split_mix.h"
#include "tools/generate/vocabulary.h"

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

std::string NumberText(int64_t n) {
  std::string text;
  AppendNumber(text, n);
  return text;
}

// `base` followed by `suffix`, cutting `base` short when the pair would not fit in `width`.
// Only used with the ASCII word lists (tools/generate/vocabulary.h), so bytes equal characters.
std::string FitWithSuffix(std::string_view base, std::string_view suffix, size_t width) {
  std::string text(base.substr(0, std::min(base.size(), width - suffix.size())));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  text += suffix;
  return text;
}

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

// A lookup table: its names in a shuffled order, each with its reference.
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

}  // namespace

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
  std::string error = WriteNamedTable(
      tables.suppliers, [](const Supplier& s) -> std::string_view { return s.name; }, "SUPPLIER",
      order_rng, path("SUPPLIER.csv"));
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

}  // namespace mirabo::tools
