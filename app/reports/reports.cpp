#include "app/reports/reports.h"

#include <array>
#include <string>
#include <vector>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/reports/report_layout.h"
#include "app/shell/procedures.h"
#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/text.h"

namespace mirabo::app {
namespace {

using report::Justify;
using report::Rect;
constexpr int kSized = report::kSizedToText;

// "FEATURES by Supplier " and the name of the supplier whose reference the
// global holds.  When the name cannot be read the title has none: the record
// buffer may still hold a name from an earlier read, and a report must not
// carry another supplier's name.
std::function<std::string()> LookupTitle(const char* prefix, DataFile table, ShortVar& global) {
  const Relation& r = *RelationTo(table);
  return [prefix, &r, &global] {
    File& f = CurrentThread().Data(r.lookup);
    f.Field(r.lookup_field).SetNumber(global.value);
    std::string title = prefix;
    if (f.GetByKey(r.lookup_key) == kNoError) title += Clip(f.Field(r.name_field).Bytes());
    return title;
  };
}

// "FEATURES by Issue " and the issue number in picture n10, its leading
// blanks removed: "FEATURES by Issue 1,234".
std::string IssueTitle() {
  return "FEATURES by Issue " + std::string(Clip(TrimLeft(FormatPicture("n10", GLO::Issue.value))));
}

// What the four Features reports differ in: their selection, and where the
// heading box, the heading's and the detail's dividing lines and the
// detail's columns sit (thousandths of an inch).
struct FeaturesReport {
  const char* procedure;
  const char* job;  // "FEATURES by Supplier"
  int key;
  const char* filter;
  int title_length;
  std::function<std::string()> title;
  int head_box_x = 0;
  std::array<int, 2> head_line_x;
  int head_line_y;
  std::array<int, 2> detail_line_x;
  int detail_line_y = 0;
  int offset_x = 0, offset_y = 0;
  std::vector<Column> columns;
};

ReportPlan Plan(const FeaturesReport& r) {
  Layout l;
  l.detail_area = {490, 1740, 7000, 7260};
  l.header = {490, 1052, 7000, 667};
  l.title_picture = "s" + std::to_string(r.title_length);
  l.title_at = {0, 21, 6969, 219};
  l.head_box = {r.head_box_x, 260, 6979, 458};
  for (int x : r.head_line_x) l.head_lines.push_back({x, r.head_line_y, 0, 460});
  l.columns = r.columns;
  l.detail_width = 7010;
  l.detail_height = 469;
  l.offset_x = r.offset_x;
  l.offset_y = r.offset_y;
  for (int x : r.detail_line_x) l.detail_lines.push_back({x, r.detail_line_y, 0, 460});
  l.rule = {10, 469, 6938, 0};

  ReportPlan s;
  s.procedure = r.procedure;
  s.file = DataFile::kFeatures;
  s.key = r.key;
  s.filter = r.filter;
  s.files = {DataFile::kCategory, DataFile::kFeatures, DataFile::kReview, DataFile::kSupplier};
  // Every record's supplier, review kind and category, also the report's own.
  s.joins = {kRelations[0], kRelations[1], kRelations[2]};
  s.file_word = "FEATURES";
  s.estimate = 500;
  s.title_length = r.title_length;
  s.title = r.title;
  s.layout = BuildLayout(r.procedure, r.job, l);
  s.variables = Variables(l);
  return s;
}

// A lookup table listed whole, in the order of its main key.
struct TableListing {
  const char* procedure;
  DataFile file;
  int key;
  const char* word;  // the file word of message 35
  Layout layout;
};

ReportPlan Plan(const TableListing& r) {
  ReportPlan s;
  s.procedure = r.procedure;
  s.file = r.file;
  s.key = r.key;
  s.files = {r.file};
  s.file_word = r.word;
  s.layout = BuildLayout(r.procedure, r.layout.title, r.layout);
  s.variables = Variables(r.layout);
  return s;
}

// The category, review and supplier listings share one layout.
Layout OneColumn(const char* title, const char* head, ReportField field, const char* picture) {
  Layout l;
  l.detail_area = {1000, 1540, 6000, 7458};
  l.header = {1000, 1000, 6000, 542};
  l.title = title;
  l.title_at = {0, 20, 6000, 220};
  l.head_box = {0, 260, 6000, 280};
  l.columns = {{head, {50, 310, 5900, 170}, field, picture, {50, 50, 5900, 170}}};
  l.detail_width = 6000;
  l.detail_height = 281;
  l.rule = {50, 280, 5900, 0};
  return l;
}

Layout IssueListing() {
  Layout l;
  l.detail_area = {302, 1552, 7333, 7448};
  l.header = {313, 1021, 7302, 521};
  l.title = "ISSUES Table Print";
  l.title_at = {0, 21, 6979, 219};
  l.head_box = {21, 281, 7281, 281};
  l.head_lines = {{813, 260, 0, 280}, {1948, 271, 0, 280}};
  l.columns = {
      {"ISSUE",
       {52, 313, 583, 177},
       Iss(ISS::ISSUE_NUMB),
       "n10",
       {63, 52, 771, 167},
       Justify::kLeft},
      {"ISSUE NAME", {854, 323, 917, 167}, Iss(ISS::ISSUE_NAME), "s14", {896, 52, 1052, 167}},
      {"COMMENTS", {3167, 323, 1900, 170}, Iss(ISS::COMMENTS), "s91", {1990, 52, 5313, 167}},
  };
  l.detail_width = 7323;
  l.detail_height = 313;
  l.offset_x = -10;
  l.offset_y = 10;
  l.detail_lines = {{844, 21, 0, 280}, {1969, 10, 0, 280}};
  l.rule = {83, 302, 7240, 0};
  return l;
}

// In the order of ReportId.
std::vector<ReportPlan> BuildPlans() {
  const Column product = {"PRODUCT", {50, 310, 1400, 170}, Fea(FEA::PRODUCT), "s86", {}};
  auto with = [](Column c, Rect field_at) {
    c.field_at = field_at;
    return c;
  };
  std::vector<ReportPlan> plans;
  plans.push_back(Plan(FeaturesReport{
      .procedure = "PRINTFEA:FEATSUPP",
      .job = "FEATURES by Supplier",
      .key = FEA::FEATSUPP,
      .filter = "FEA:SUPPLIER = GLO:supplier",
      .title_length = 60,
      .title = LookupTitle("FEATURES by Supplier ", DataFile::kSupplier, GLO::supplier),
      .head_box_x = 10,
      .head_line_x = {3385, 5000},
      .head_line_y = 271,
      .detail_line_x = {3385, 5000},
      .detail_line_y = 10,
      .columns = {
          with(product, {52, 52, 3281, 167}),
          {"REVIEW", {3448, 323, 1400, 170}, Rev(REV::REVIEW), "s19", {3448, 52, 1400, 170}},
          {"ISSUE",
           {5083, 302, kSized, kSized},
           Fea(FEA::ISSUE),
           "n10",
           {5042, 31, 667, 208},
           Justify::kLeft},
          {"HARD/SOFTWARE", {3438, 479, 1400, 170}, Fea(FEA::HS), "s4", {3458, 208, 323, 167}},
          {"CATEGORY", {52, 479, 1400, 170}, Cat(CAT::CATEGORY), "s31", {42, 229, 2365, 167}},
          {"VERSION", {5083, 490, 781, 167}, Fea(FEA::V), "s15", {5052, 229, 1125, 167}}}}));
  plans.push_back(Plan(FeaturesReport{
      .procedure = "PRINTFEA:FEATREV",
      .job = "FEATURES by Review",
      .key = FEA::FEATREV,
      .filter = "FEA:REVIEW = GLO:review",
      .title_length = 45,
      .title = LookupTitle("FEATURES by Review ", DataFile::kReview, GLO::review),
      .head_box_x = 10,
      .head_line_x = {3229, 4583},
      .head_line_y = 260,
      .detail_line_x = {3229, 4583},
      .columns = {
          with(product, {52, 52, 3125, 156}),
          {"SUPPLIER", {4635, 313, 833, 167}, Sup(SUP::SUPPLIER), "s36", {4635, 52, 2292, 156}},
          {"ISSUE",
           {3281, 313, kSized, kSized},
           Fea(FEA::ISSUE),
           "n10",
           {3281, 52, kSized, kSized},
           Justify::kLeft},
          {"HARD/SOFTWARE", {3281, 469, 1250, 156}, Fea(FEA::HS), "s4", {3281, 260, 323, 167}},
          {"CATEGORY", {52, 479, 1400, 170}, Cat(CAT::CATEGORY), "s31", {52, 260, 2365, 167}},
          {"VERSION", {4635, 469, 781, 167}, Fea(FEA::V), "s15", {4635, 260, 1125, 167}}}}));
  plans.push_back(Plan(FeaturesReport{
      .procedure = "PRINTFEA:FEATCAT",
      .job = "FEATURES by Category",
      .key = FEA::FEATCAT,
      .filter = "FEA:CATEGORY = GLO:category",
      .title_length = 55,
      .title = LookupTitle("FEATURES by Category ", DataFile::kCategory, GLO::category),
      .head_box_x = 10,
      .head_line_x = {3281, 4844},
      .head_line_y = 260,
      .detail_line_x = {3281, 4844},
      .columns = {
          with(product, {52, 52, 3125, 156}),
          {"REVIEW", {3333, 313, 1400, 170}, Rev(REV::REVIEW), "s19", {3333, 52, 1458, 156}},
          {"SUPPLIER", {4896, 313, 833, 167}, Sup(SUP::SUPPLIER), "s36", {4896, 52, 2031, 156}},
          {"HARD/SOFTWARE", {3333, 469, 1400, 170}, Fea(FEA::HS), "s4", {3333, 208, 323, 167}},
          {"VERSION", {4896, 469, 781, 167}, Fea(FEA::V), "s15", {4896, 260, 1125, 167}}}}));
  plans.push_back(Plan(FeaturesReport{
      .procedure = "PRINTFEA:FEATISS",
      .job = "FEATURES by Issue",
      .key = FEA::FEATISS,
      .filter = "FEA:ISSUE = GLO:Issue",
      .title_length = 30,
      .title = IssueTitle,
      .head_line_x = {3281, 4740},
      .head_line_y = 260,
      .detail_line_x = {3281, 4792},
      .offset_x = -21,
      .offset_y = 10,
      .columns = {
          with(product, {52, 52, 3177, 208}),
          {"REVIEW", {3333, 313, 1400, 170}, Rev(REV::REVIEW), "s19", {3333, 52, 1406, 208}},
          {"SUPPLIER", {4792, 313, 833, 167}, Sup(SUP::SUPPLIER), "s36", {4844, 52, 2135, 208}},
          {"HARD/SOFTWARE", {3333, 469, 1400, 170}, Fea(FEA::HS), "s4", {3333, 260, 323, 167}},
          {"CATEGORY", {52, 479, 1400, 170}, Cat(CAT::CATEGORY), "s31", {42, 229, 2365, 167}},
          {"VERSION", {4792, 469, 781, 167}, Fea(FEA::V), "s15", {4844, 260, 1125, 167}}}}));
  plans.push_back(Plan(TableListing{.procedure = "PRINTISS:ISSUE",
                                    .file = DataFile::kIssues,
                                    .key = ISS::ISSUE,
                                    .word = "ISSUES",
                                    .layout = IssueListing()}));
  // The category, review and supplier listings: one column of names.
  struct NameListing {
    const char* procedure;
    DataFile file;
    int key;
    const char* word;
    const char* title;
    ReportField name;
    const char* picture;
  };
  const NameListing names[] = {
      {.procedure = "PRINTCAT:CATEGORY",
       .file = DataFile::kCategory,
       .key = CAT::KEY_CATEGORY,
       .word = "CATEGORY",
       .title = "CATEGORY Table",
       .name = Cat(CAT::CATEGORY),
       .picture = "s31"},
      {.procedure = "PRINTREV:REVIEW",
       .file = DataFile::kReview,
       .key = REV::KEY_REVIEW,
       .word = "REVIEW",
       .title = "REVIEW Table",
       .name = Rev(REV::REVIEW),
       .picture = "s19"},
      {.procedure = "PRINTSUP:SUPPLIER",
       .file = DataFile::kSupplier,
       .key = SUP::KEY_SUPPLIER,
       .word = "SUPPLIER",
       .title = "SUPPLIER Table",
       .name = Sup(SUP::SUPPLIER),
       .picture = "s36"},
  };
  for (const NameListing& n : names) {
    plans.push_back(Plan(TableListing{.procedure = n.procedure,
                                      .file = n.file,
                                      .key = n.key,
                                      .word = n.word,
                                      .layout = OneColumn(n.title, n.word, n.name, n.picture)}));
  }
  return plans;
}

}  // namespace

const ReportPlan& ReportPlanOf(ReportId id) {
  static const std::vector<ReportPlan> plans = BuildPlans();
  return plans.at(static_cast<size_t>(id));
}

ui::Proc PrintReport(ReportId id) { co_await RunReport(ReportPlanOf(id)); }

void RegisterReports() {
  for (ReportId id : kAllReports) {
    RegisterProcedure(ReportPlanOf(id).procedure, [id] { return PrintReport(id); });
  }
}

}  // namespace mirabo::app
