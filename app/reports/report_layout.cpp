#include "app/reports/report_layout.h"

namespace mirabo::app {

report::ReportDef BuildLayout(const std::string& procedure, const std::string& job,
                              const Layout& l) {
  using report::Justify;
  report::ReportDef d;
  d.name = procedure + "$REPORT";
  d.title = job;
  d.detail_area = l.detail_area;

  d.header.at = l.header;
  report::ReportControl title =
      l.title ? report::Text(l.title, l.title_at, Justify::kCentre)
              : report::Variable(l.title_picture, l.title_at, Justify::kCentre);
  title.font.bold = true;
  d.header.controls.push_back(title);
  d.header.controls.push_back(report::Box(l.head_box, report::kBlack, report::kLightGrey));
  for (const report::Rect& r : l.head_lines) d.header.controls.push_back(report::Line(r));
  for (const Column& c : l.columns) {
    report::ReportControl head = report::Text(c.head, c.head_at);
    head.transparent = true;  // on the grey box
    d.header.controls.push_back(head);
  }

  d.detail.at = {0, 0, l.detail_width, l.detail_height};
  d.detail.offset_x = l.offset_x;
  d.detail.offset_y = l.offset_y;
  for (const report::Rect& r : l.detail_lines) d.detail.controls.push_back(report::Line(r));
  for (const Column& c : l.columns) {
    d.detail.controls.push_back(report::Variable(c.picture, c.field_at, c.justify));
  }
  d.detail.controls.push_back(report::Line(l.rule));

  d.footer.at = {1000, 9000, 6000, 219};
  report::ReportControl page = report::PageNumber("pPage <<<#p", {5250, 30, 700, 135});
  page.font.size = 8;
  d.footer.controls = {page};
  return d;
}

std::vector<ReportField> Variables(const Layout& l) {
  std::vector<ReportField> v;
  if (!l.title) v.push_back(TitleField());
  for (const Column& c : l.columns) v.push_back(c.field);
  return v;
}

}  // namespace mirabo::app
