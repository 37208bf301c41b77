// The one page design every report of the program shares: a header band
// with the centred bold title and a grey column-head box holding its heads
// and column lines; a detail band with the fields, its column lines and a
// rule under each record; the page number in the footer.  A report is the
// numbers of this design (a Layout) plus what it reads.
#pragma once

#include <string>
#include <vector>

#include "app/reports/report_runner.h"
#include "report/report_def.h"

namespace mirabo::app {

inline ReportField Fea(int field) { return {DataFile::kFeatures, field}; }
inline ReportField Sup(int field) { return {DataFile::kSupplier, field}; }
inline ReportField Rev(int field) { return {DataFile::kReview, field}; }
inline ReportField Cat(int field) { return {DataFile::kCategory, field}; }
inline ReportField Iss(int field) { return {DataFile::kIssues, field}; }

// One column of a layout: its head in the header's grey box and the field
// it prints in the detail band.
struct Column {
  const char* head;
  report::Rect head_at;
  ReportField field;
  const char* picture;
  report::Rect field_at;
  report::Justify justify = report::Justify::kDefault;
};

struct Layout {
  report::Rect detail_area;
  report::Rect header;
  const char* title = nullptr;  // fixed text; null: ReportTitle, in `title_picture`
  std::string title_picture;
  report::Rect title_at;
  report::Rect head_box;
  std::vector<report::Rect> head_lines;
  std::vector<Column> columns;  // in the order their fields are bound
  int detail_width = 0, detail_height = 0;
  int offset_x = 0, offset_y = 0;  // the detail band's shift from its place
  std::vector<report::Rect> detail_lines;
  report::Rect rule;
};

// The definition "<procedure>$REPORT" of `layout`; `job` names its print job.
report::ReportDef BuildLayout(const std::string& procedure, const std::string& job,
                              const Layout& layout);

// The variables the layout's variable controls show, in their order:
// ReportTitle first when the title is not fixed text.
std::vector<ReportField> Variables(const Layout& layout);

}  // namespace mirabo::app
