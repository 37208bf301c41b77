#include "report/report.h"

#include <algorithm>
#include <cassert>

#include "runtime/file_system.h"
#include "runtime/text.h"

namespace mirabo::report {
namespace {

constexpr int kPenWidth = 10;  // lines and box outlines: a hundredth of an inch

bool NumericPicture(const Picture& p) {
  switch (p.kind()) {
    case PictureKind::kNumber:
    case PictureKind::kScientific:
    case PictureKind::kPattern:
    case PictureKind::kDate:
    case PictureKind::kTime:
      return true;
    default:
      return false;
  }
}

}  // namespace

ReportControl Text(std::string text, Rect at, Justify justify) {
  return {.kind = ItemKind::kText, .at = at, .text = std::move(text), .justify = justify};
}

ReportControl Variable(std::string picture, Rect at, Justify justify) {
  return {.kind = ItemKind::kVariable, .at = at, .picture = std::move(picture), .justify = justify};
}

ReportControl PageNumber(std::string picture, Rect at) {
  return {.kind = ItemKind::kPageNumber, .at = at, .picture = std::move(picture)};
}

std::string PageNumberText(const std::string& picture, int page) {
  const Picture compiled = Picture::Compile(picture);
  if (!compiled.valid()) return std::to_string(page);
  if (compiled.kind() != PictureKind::kPattern) return compiled.Format(page);
  const size_t places = static_cast<size_t>(std::count(picture.begin(), picture.end(), '#') +
                                            std::count(picture.begin(), picture.end(), '<'));
  const size_t digits = std::to_string(page < 0 ? -static_cast<int64_t>(page) : page).size();
  if (digits <= places) return compiled.Format(page);
  std::string wider = picture;
  wider.insert(wider.find_first_of("#<"), digits - places, '<');
  return Picture::Compile(wider).Format(page);
}

ReportControl Box(Rect at, Colour outline, Colour fill) {
  return {.kind = ItemKind::kBox, .at = at, .outline = outline, .fill = fill};
}

ReportControl Line(Rect at) { return {.kind = ItemKind::kLine, .at = at}; }

int VariableCount(const ReportDef& def) {
  int n = 0;
  for (const Band* b : {&def.header, &def.detail, &def.footer}) {
    for (const ReportControl& c : b->controls) n += c.kind == ItemKind::kVariable;
  }
  return n;
}

Report::Report(const ReportDef& def, std::vector<ValueRef> variables, FontMetrics& metrics)
    : def_(def), metrics_(metrics) {
  const int wanted = VariableCount(def);
  if (static_cast<int>(variables.size()) != wanted) {
    status_ = Status(StatusCode::kWrongBinding,
                     "The report " + def.name + " shows " + std::to_string(wanted) +
                         " variables but was given " + std::to_string(variables.size()) + ".");
    state_ = State::kFailed;
    return;
  }
  for (const ValueRef& v : variables) {
    if (!v.valid()) {
      status_ = Status(StatusCode::kWrongBinding,
                       "The report " + def.name + " was given a variable that does not exist.");
      state_ = State::kFailed;
      return;
    }
  }
  size_t next = 0;
  header_ = BindBand(def.header, variables, &next);
  detail_ = BindBand(def.detail, variables, &next);
  footer_ = BindBand(def.footer, variables, &next);
}

Report::~Report() { Close(); }

std::vector<Report::Bound> Report::BindBand(const Band& band, std::vector<ValueRef>& variables,
                                            size_t* next) {
  std::vector<Bound> out;
  out.reserve(band.controls.size());
  for (const ReportControl& c : band.controls) {
    Bound b{&c, Picture::Compile(c.picture), {}};
    if (c.kind == ItemKind::kVariable) b.value = variables[(*next)++];
    out.push_back(std::move(b));
  }
  return out;
}

Status Report::Fail(Status s) {
  status_ = s;
  state_ = State::kFailed;
  return s;
}

Status Report::Open(PageImageList* pages, PageFiles files) {
  if (state_ != State::kLoaded) {
    return state_ == State::kFailed ? status_
                                    : Status(StatusCode::kNotOpen, "The report is already open.");
  }
  if (!pages) return Status(StatusCode::kNotOpen, "The report has no list for its pages.");
  pages_ = pages;
  files_ = std::move(files);
  state_ = State::kCollecting;
  return Status::Ok();
}

Font Report::Resolve(const Font& f) const {
  Font r = f;
  if (r.face.empty()) r.face = def_.font.face.empty() ? "Arial" : def_.font.face;
  if (r.size <= 0) r.size = def_.font.size > 0 ? def_.font.size : 10;
  return r;
}

std::string Report::TextOf(const Bound& b) const {
  const ReportControl& c = *b.control;
  std::string text;
  bool number = false;
  if (c.kind == ItemKind::kText) {
    text = c.text;
  } else if (c.kind == ItemKind::kPageNumber) {
    text = PageNumberText(c.picture, page_number_);
    number = true;
  } else if (!b.picture.valid()) {
    // A control whose picture cannot be compiled shows its value as it is.
    text = b.value.GetString();
    number = b.value.numeric();
  } else if (b.value.numeric()) {
    text = b.picture.Format(b.value.GetNumber());
    number = NumericPicture(b.picture);
  } else {
    text = b.picture.FormatString(b.value.Bytes());
    number = NumericPicture(b.picture);
  }
  // Trailing blanks never show; a number's leading blanks are the picture's
  // right alignment, which the control's own justification replaces.
  std::string_view shown = Clip(text);
  if (number || c.justify == Justify::kCentre) shown = TrimLeft(shown);
  return std::string(shown);
}

void Report::DrawControl(const Bound& b, int x, int y) {
  const ReportControl& c = *b.control;
  Rect at{x + c.at.x, y + c.at.y, c.at.w, c.at.h};
  switch (c.kind) {
    case ItemKind::kBox:
      page_.items.emplace_back(BoxItem{at, kPenWidth, c.outline, c.fill});
      return;
    case ItemKind::kLine:
      page_.items.emplace_back(
          LineItem{at.x, at.y, at.x + at.w, at.y + at.h, kPenWidth, c.outline});
      return;
    case ItemKind::kText:
    case ItemKind::kVariable:
    case ItemKind::kPageNumber:
      break;
  }
  const Font font = Resolve(c.font);
  TextRun run;
  run.text = TextOf(b);
  if (at.w == kSizedToText) at.w = metrics_.TextWidth(font, run.text);
  if (at.h == kSizedToText) at.h = metrics_.LineHeight(font);
  run.box = at;
  run.font = page_.FontIndex(font);
  Justify j = c.justify;
  if (j == Justify::kDefault) {
    const bool number = c.kind == ItemKind::kPageNumber ||
                        (c.kind == ItemKind::kVariable &&
                         (b.picture.valid() ? NumericPicture(b.picture) : b.value.numeric()));
    j = number ? Justify::kRight : Justify::kLeft;
  }
  run.align = j == Justify::kRight ? Align::kRight
                                   : (j == Justify::kCentre ? Align::kCentre : Align::kLeft);
  run.opaque = !c.transparent;
  run.colour = c.outline == kNoColour ? kBlack : c.outline;
  page_.items.emplace_back(std::move(run));
}

void Report::DrawBand(const std::vector<Bound>& band, int x, int y) {
  for (const Bound& b : band) DrawControl(b, x, y);
}

void Report::StartPage() {
  ++page_number_;
  page_ = PageImage{};
  page_.width = def_.page_width;
  page_.height = def_.page_height;
  page_.number = page_number_;
  DrawBand(header_, def_.header.at.x, def_.header.at.y);
  cursor_y_ = def_.detail_area.y;
  bands_on_page_ = 0;
  state_ = State::kPageOpen;
}

Status Report::FinishPage() {
  assert(state_ == State::kPageOpen);
  DrawBand(footer_, def_.footer.at.x, def_.footer.at.y);
  std::string name;
  if (Status s = spool_.Append(page_, files_.folder, files_.prefix, &name); !s.ok()) {
    return Fail(s);
  }
  assert(name.size() <= kPageNameLimit);
  pages_->push_back(name);
  state_ = State::kCollecting;
  return Status::Ok();
}

Status Report::PrintDetail() {
  if (state_ == State::kFailed) return status_;
  if (state_ != State::kCollecting && state_ != State::kPageOpen) {
    return Status(StatusCode::kNotOpen, "The report is not open for printing.");
  }
  const int height = def_.detail.at.h;
  const int bottom = def_.detail_area.y + def_.detail_area.h;
  if (state_ == State::kPageOpen && bands_on_page_ > 0 && cursor_y_ + height > bottom) {
    if (Status s = FinishPage(); !s.ok()) return s;
  }
  if (state_ == State::kCollecting) StartPage();
  DrawBand(detail_, def_.detail_area.x + def_.detail.offset_x, cursor_y_ + def_.detail.offset_y);
  cursor_y_ += height;
  ++bands_on_page_;
  return Status::Ok();
}

Status Report::EndReport() {
  if (state_ == State::kFailed) return status_;
  if (state_ == State::kPageOpen) {
    if (Status s = FinishPage(); !s.ok()) return s;
  }
  if (state_ == State::kCollecting) state_ = State::kEnded;
  return state_ == State::kEnded ? Status::Ok()
                                 : Status(StatusCode::kNotOpen, "The report is not open.");
}

std::string Report::job_name() const { return def_.title.empty() ? def_.name : def_.title; }

void Report::Restart() {
  if (state_ == State::kFailed || state_ == State::kClosed) return;
  spool_.Remove();
  page_ = PageImage();
  page_number_ = 0;
  cursor_y_ = 0;
  bands_on_page_ = 0;
  pages_ = nullptr;
  state_ = State::kLoaded;
}

void Report::Close() {
  if (state_ == State::kClosed) return;
  spool_.Remove();
  state_ = State::kClosed;
}

}  // namespace mirabo::report
