#include "app/reports/search_report.h"

#include <array>

#include "app/data/declarations.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/reports/report_layout.h"
#include "app/reports/search_candidates.h"
#include "runtime/text.h"

namespace mirabo::app {
namespace {

constexpr char kProcedure[] = "SEARCHRUN";
constexpr char kTitlePrefix[] = "Search Features by String.. ";
constexpr int kTitleLength = 50;

// The page: the Features reports' design with every name the search looks
// in, and the issue number with two decimals.
Layout SearchLayout() {
  using report::Justify;
  constexpr int kSized = report::kSizedToText;
  Layout l;
  l.detail_area = {479, 1750, 7010, 7250};
  l.header = {490, 1052, 7000, 656};
  l.title_picture = "s50";
  l.title_at = {0, 21, 6969, 219};
  l.head_box = {0, 208, 6979, 458};
  l.head_lines = {{3125, 260, 0, 460}, {4635, 260, 0, 460}};
  // The column heads take the size of their text.
  auto at = [](int x, int y) { return report::Rect{x, y, kSized, kSized}; };
  l.columns = {
      {"PRODUCT", at(50, 310), Fea(FEA::PRODUCT), "s86", {52, 52, 2969, 208}},
      {"REVIEW", at(3229, 313), Rev(REV::REVIEW), "s19", {3177, 52, 1406, 208}},
      {"SUPPLIER", at(4792, 313), Sup(SUP::SUPPLIER), "s36", {4740, 52, 2188, 208}},
      {"HARD/SOFTWARE", at(3229, 469), Fea(FEA::HS), "s4", {3177, 260, 323, 167}},
      {"CATEGORY", at(52, 479), Cat(CAT::CATEGORY), "s31", {52, 260, 2365, 167}},
      {"VERSION", at(4792, 469), Fea(FEA::V), "s15", {4740, 260, 1125, 167}},
      {"ISSUE NO.",
       at(6198, 469),
       Fea(FEA::ISSUE),
       "n10.2",
       {5990, 260, 833, 156},
       Justify::kCentre},
  };
  l.detail_width = 7010;
  l.detail_height = 469;
  l.detail_lines = {{3125, 0, 0, 460}, {4635, 0, 0, 460}};
  l.rule = {10, 469, 6938, 0};
  return l;
}

// Upper case of every Windows-1252 byte, made once.
const std::array<unsigned char, 256>& UpperTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = ToUpper1252(static_cast<unsigned char>(c));
    return t;
  }();
  return table;
}

// The copy a run keeps, its needle made once.
struct SearchRun {
  std::string needle;  // the text without trailing blanks, upper-cased
  bool product, review, category, supplier;

  Verdict Check() const {
    ThreadBlock& block = CurrentThread();
    auto in = [&](bool chosen, DataFile file, int field) {
      return chosen && ContainsUpper1252(block.Data(file).Field(field).Bytes(), needle);
    };
    const bool matched = in(product, DataFile::kFeatures, FEA::PRODUCT) ||
                         in(review, DataFile::kReview, REV::REVIEW) ||
                         in(category, DataFile::kCategory, CAT::CATEGORY) ||
                         in(supplier, DataFile::kSupplier, SUP::SUPPLIER);
    return matched ? Verdict::kPrint : Verdict::kSkip;
  }
};

}  // namespace

SearchCriteria CurrentSearchCriteria() {
  SearchCriteria c;
  c.text = SearchText.value;
  c.product = SearchInProduct.value != 0;
  c.review = SearchInReview.value != 0;
  c.category = SearchInCategory.value != 0;
  c.supplier = SearchInSupplier.value != 0;
  return c;
}

bool ContainsUpper1252(std::string_view field, std::string_view upper_needle) {
  if (upper_needle.empty()) return true;
  if (upper_needle.size() > field.size()) return false;
  const std::array<unsigned char, 256>& upper = UpperTable();
  const size_t last = field.size() - upper_needle.size();
  const auto first = static_cast<unsigned char>(upper_needle[0]);
  for (size_t i = 0; i <= last; ++i) {
    if (upper[static_cast<unsigned char>(field[i])] != first) continue;
    size_t k = 1;
    while (k < upper_needle.size() && upper[static_cast<unsigned char>(field[i + k])] ==
                                          static_cast<unsigned char>(upper_needle[k])) {
      ++k;
    }
    if (k == upper_needle.size()) return true;
  }
  return false;
}

ReportPlan SearchReportPlan(const SearchCriteria& criteria) {
  const std::string text(Clip(criteria.text));
  const SearchRun run{ToUpper1252(text), criteria.product, criteria.review, criteria.category,
                      criteria.supplier};
  const Layout layout = SearchLayout();
  ReportPlan s;
  s.procedure = kProcedure;
  s.file = DataFile::kFeatures;
  s.key = FEA::FEATISS;
  s.files = {DataFile::kCategory, DataFile::kFeatures, DataFile::kReview, DataFile::kSupplier};
  // The supplier, review kind and category of every record, read before it
  // is tested; a missing one is blank and matches nothing.
  s.joins = {kRelations[0], kRelations[1], kRelations[2]};
  s.file_word = "FEATURES";
  s.title_length = kTitleLength;
  s.title = [text] { return kTitlePrefix + text; };
  s.check = [run] { return run.Check(); };
  // The indexes name the features worth testing; without them every feature
  // is tested, with the same answer.
  const SearchFields fields{run.product, run.review, run.category, run.supplier};
  s.candidates = [needle = run.needle, fields](std::vector<int64_t>* records) {
    return GatherSearchCandidates(needle, fields, records);
  };
  s.layout = BuildLayout(kProcedure, "Search Features", layout);
  s.variables = Variables(layout);
  return s;
}

ui::Proc SEARCHRUN() { co_await RunReport(SearchReportPlan(CurrentSearchCriteria())); }

}  // namespace mirabo::app
