#include "app/browse/html_export.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "app/browse/browse.h"
#include "app/data/data_snapshot.h"
#include "app/data/globals.h"
#include "app/data/outcome.h"
#include "app/data/output_check.h"
#include "app/data/standard_message.h"
#include "runtime/access.h"
#include "runtime/current_folder.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/output_file.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/timer_batch.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

PageSettings g_page_settings;

using ui::ControlDef;
using ui::ControlKind;

constexpr int kPublishBatch = 10;  // rows an event at least, in all-records mode

ui::WindowDef BuildHtmlWindow() {
  ui::WindowDef d;
  d.name = "$HTMLPROPWINDOW";
  d.title = "Generate an HTML document";
  d.width = 317;
  d.height = 35;
  d.flags = ui::kModal;
  d.help = "publishing.html";
  ControlDef progress{
      .kind = ControlKind::kString, .id = kHtmlProgress, .at = {36, 18, 116, 10}, .picture = "s30"};
  progress.hidden = true;
  d.controls = {
      {.kind = ControlKind::kPrompt,
       .id = kHtmlPrompt,
       .text = "HTML Name:",
       .at = {36, 4, -1, -1}},
      {.kind = ControlKind::kImage, .id = kHtmlIcon, .at = {4, 6, 25, 22}, .icon = "~KVHTML15.ICO"},
      // The name is held whole: a name cut to a width would write elsewhere.
      {.kind = ControlKind::kEntry,
       .id = kHtmlName,
       .at = {87, 4, 206, 10},
       .picture = "s255",
       .file_name = true},
      {.kind = ControlKind::kButton, .id = kHtmlPick, .text = "...", .at = {297, 2, 13, 13}},
      {.kind = ControlKind::kButton,
       .id = kHtmlDisplayed,
       .text = "&Displayed records only",
       .at = {36, 17, -1, -1}},
      {.kind = ControlKind::kButton,
       .id = kHtmlAll,
       .text = "&All records",
       .at = {131, 17, 83, 14}},
      {.kind = ControlKind::kButton, .id = kHtmlCancel, .text = "&Cancel", .at = {227, 17, 83, 14}},
      progress,
  };
  return d;
}

// Splits a token that is too long for a line.  A line break shows as a
// blank in the browser, so the token breaks at a blank of its own (the break
// takes the blank's place); a stretch with none breaks across an empty
// comment, "<!--" ending one line and "-->" starting the next, which shows
// nothing.  No break falls inside an entity.
void BreakLong(std::string token, size_t width, std::vector<std::string>& lines) {
  constexpr std::string_view kOpen = "<!--", kClose = "-->";
  size_t keep = 0;  // the "-->" that a continued token starts with
  while (token.size() > width) {
    const size_t blank = token.rfind(' ', width);
    if (blank != std::string::npos && blank > keep) {
      lines.push_back(token.substr(0, blank));
      token.erase(0, blank + 1);
      keep = 0;
      continue;
    }
    size_t cut = width - kOpen.size();
    const size_t amp = token.rfind('&', cut - 1);
    if (amp != std::string::npos && amp > keep && token.find(';', amp) >= cut) cut = amp;
    lines.push_back(token.substr(0, cut) + std::string(kOpen));
    token = std::string(kClose) + token.substr(cut);
    keep = kClose.size();
  }
  lines.push_back(token);
}

// The error state now, as the stop box words it.
std::string ErrorDescriptionNow() {
  const ErrorState& e = CurrentError();
  if (e.code == kFileSystemError) return std::string(Clip(e.fs_text)) + " (" + e.fs_code + ")";
  return ErrorText(e.code);
}

// The page's writer: one line per record of the line driver, into a
// temporary file beside the page's name, which becomes the page only once
// it is whole.  The first failure ends the writing: a page with a line
// missing is no page.
class HtmlWriter {
 public:
  // Checks the target and creates the temporary file; false (failure()
  // says why) when it cannot.
  bool Begin(const std::string& target) {
    Abandon();
    file_.reset();
    target_ = target;
    failure_.clear();
    reason_.clear();
    const OutputTarget there = InspectOutput(target);
    existed_ = there == OutputTarget::kExisting;
    if (there == OutputTarget::kFolder || there == OutputTarget::kDataFile) {
      failure_ = RefusalText(there);
      return false;
    }
    if (const IoStatus s = OutputFile::Begin(target, &output_); !s.ok()) {
      failure_ = IoStatusText(s);
      return false;
    }
    utf8_ = g_page_settings.utf8;
    decl_ = utf8_ ? Utf8HtmlFileDecl() : HtmlFileDecl();
    decl_.name_from = nullptr;
    decl_.name = output_->path();
    file_ = std::make_unique<File>(decl_);
    // The page is a temporary file until it is whole, and its close is
    // checked: lines may go to it a buffer at a time.
    if (file_->Create() != kNoError || file_->Open(kOpenExclusive) != kNoError ||
        file_->Option("WRITEBUFFER=65536") != kNoError) {
      Failed(ErrorDescriptionNow());
      Abandon();
      return false;
    }
    return true;
  }
  const std::string& target() const { return target_; }
  [[nodiscard]] bool Line(const std::string& text) {
    if (!failure_.empty()) return false;
    file_->Field(0).SetString(utf8_ ? Utf8FromCp1252(text) : text);
    if (file_->Add() != kNoError) Failed(ErrorDescriptionNow());
    return failure_.empty();
  }
  // Closes the page and makes it the target; false (failure() says why)
  // when a write, the close or the rename failed.
  [[nodiscard]] bool Commit() {
    if (failure_.empty() && file_->Close() != kNoError) Failed(ErrorDescriptionNow());
    if (!failure_.empty()) {
      Abandon();
      return false;
    }
    if (const IoStatus s = output_->Commit(); !s.ok()) {
      failure_ = IoStatusText(s);
      return false;
    }
    return true;
  }
  // What a message names after the stop box's text: the file and the
  // system's reason, when it gave one.
  std::string detail() const { return reason_.empty() ? target_ : target_ + ": " + reason_; }
  // Why the page could not be written, in the stop box's words.
  const std::string& failure() const { return failure_; }
  // Drops the page; a file that was there stays as it was.
  void Abandon() {
    if (file_ && file_->is_open()) (void)file_->Close();
    if (output_) output_->Abandon();
  }
  bool existed() const { return existed_; }

 private:
  std::string target_;
  FileDecl decl_;
  std::unique_ptr<File> file_;
  std::unique_ptr<OutputFile> output_;
  void Failed(std::string text) {
    failure_ = std::move(text);
    reason_ = SystemReason();
  }

  bool existed_ = false;
  bool utf8_ = false;  // lines converted from the program's Windows-1252
  std::string failure_;
  std::string reason_;  // the system's words for failure_, if any
};

// The text of a cell as the browse shows it; a number is formatted into
// `scratch`.
std::string_view CellText(const ValueRef& v, std::string* scratch) {
  static const Picture kNumber = Picture::Compile("n10");
  if (!v.numeric()) return Clip(v.Bytes());
  *scratch = kNumber.Format(v.GetNumber());
  return Clip(*scratch);
}

// The entity that stands for `c` in a page, or null when `c` stands for
// itself.
const char* EntityOf(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return nullptr;
  }
}

// Whether any of the eight bytes in `w` is one EntityOf replaces: a byte
// equal to c leaves a zero byte in w ^ (c in every byte), and
// (v - 0x01..01) & ~v & 0x80..80 is non-zero exactly when v has a zero byte.
bool AnyEntity(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
  auto zero_byte = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  return (zero_byte(w ^ (kOnes * '&')) | zero_byte(w ^ (kOnes * '<')) |
          zero_byte(w ^ (kOnes * '>')) | zero_byte(w ^ (kOnes * '"'))) != 0;
}

// Appends `text` escaped.  A page is mostly text without entities, which
// is passed over eight bytes at a time.
void AppendEscaped(std::string_view text, std::string* out) {
  const char* p = text.data();
  const char* const end = p + text.size();
  const char* from = p;
  while (p < end) {
    for (uint64_t w; end - p >= 8; p += 8) {
      std::memcpy(&w, p, 8);
      if (AnyEntity(w)) break;
    }
    for (const char* stop = std::min(end, p + 8); p < stop; ++p) {
      if (const char* entity = EntityOf(*p)) {
        out->append(from, p);
        out->append(entity);
        from = p + 1;
      }
    }
  }
  out->append(from, end);
}

// Gives each line of the row of `cells` to `line`, in order, until it says
// false.  Most rows fit one line: those are made in `row`, which keeps its
// capacity from row to row, so a page of a million rows does not allocate
// a line for each.
template <typename LineSink>
bool ForEachRowLine(const std::vector<std::string_view>& cells, size_t width, std::string& row,
                    LineSink&& line) {
  row.assign("<TR> <TD>");
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) row += "</TD> <TD>";
    AppendEscaped(cells[i], &row);
  }
  row += "</TD> </TR>";
  if (row.size() <= width) return line(row);

  std::vector<std::string> lines;
  std::string joined;
  // Tokens join the line while it has room; one that does not fit starts a
  // new line, and one longer than a line is broken (BreakLong).
  auto add = [&](std::string_view t) {
    if (joined.size() + t.size() <= width) {
      joined += t;
      return;
    }
    if (!joined.empty()) lines.push_back(std::move(joined));
    joined.clear();
    if (t.size() <= width) {
      joined = t;
    } else {
      std::vector<std::string> parts;
      BreakLong(std::string(t), width, parts);
      joined = std::move(parts.back());
      parts.pop_back();
      for (std::string& p : parts) lines.push_back(std::move(p));
    }
  };
  add("<TR> <TD>");
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) add("</TD> <TD>");
    add(HtmlEscape(cells[i]));
  }
  add("</TD> </TR>");
  if (!joined.empty()) lines.push_back(std::move(joined));
  for (const std::string& l : lines) {
    if (!line(l)) return false;
  }
  return true;
}

// The browse's current record as the lines of a table row.  The cells'
// values are found once, for as long as the browse's files stay open.
class RowWriter {
 public:
  explicit RowWriter(Browse& b) {
    for (const BrowseField& f : b.design().columns) fields_.push_back(b.file(f.file).Field(f.field));
    cells_.resize(fields_.size());
    numbers_.resize(fields_.size());
  }
  // Writes the current record's row; false when a line could not be written.
  template <typename Writer>
  bool Write(Writer& writer) {
    for (size_t i = 0; i < fields_.size(); ++i) cells_[i] = CellText(fields_[i], &numbers_[i]);
    return ForEachRowLine(cells_, kLineWidth, row_,
                          [&](const std::string& line) { return writer.Line(line); });
  }

 private:
  static constexpr size_t kLineWidth = 255;
  std::vector<ValueRef> fields_;
  std::vector<std::string_view> cells_;
  std::vector<std::string> numbers_;  // the text of numeric cells
  std::string row_;
};

}  // namespace

const ui::WindowDef& HtmlPropertyWindowDef() {
  static const ui::WindowDef def = BuildHtmlWindow();
  return def;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(text, &out);
  return out;
}

std::vector<std::string> HtmlRowLines(const std::vector<std::string>& cells, size_t width) {
  std::vector<std::string> lines;
  std::string row;
  const std::vector<std::string_view> views(cells.begin(), cells.end());
  ForEachRowLine(views, width, row, [&](const std::string& line) {
    lines.push_back(line);
    return true;
  });
  return lines;
}

PageSettings SetPageSettings(PageSettings settings) {
  return std::exchange(g_page_settings, settings);
}

std::string PageTargetPath(const std::string& name) {
  FileDecl decl = HtmlFileDecl();
  decl.name_from = nullptr;
  decl.name = name;
  return File(decl).Name();
}

namespace {

// The page's first lines: false when one could not be written.
bool WriteHead(HtmlWriter& writer, const BrowseDesign& design) {
  // The page says its encoding, or a browser told otherwise by its server
  // (most say UTF-8) shows every accent wrong.
  const std::string head[] = {
      "<HTML>",
      "",
      std::string("<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                  "charset=") +
          (g_page_settings.utf8 ? "utf-8" : "windows-1252") +
          "\"><TITLE>Features Database</TITLE></HEAD>",
      "",
      "<BODY>",
      "",
      design.html_heading,
      "<HR>",
      "<TABLE BORDER=1>",
      design.html_header};
  bool ok = true;
  for (const std::string& line : head) ok = ok && writer.Line(line);
  return ok;
}

// How a page ends.  Whole: its closing lines, then it takes its name.  A
// page that cannot be written shows the runtime's stop box and is dropped.
ui::Task<Outcome> FinishPage(HtmlWriter& writer, int64_t rows) {
  bool written = true;
  for (const char* line : {"", "</TABLE>", "", "</BODY>", "</HTML>"}) {
    written = writer.Line(line) && written;
  }
  if (written && writer.Commit()) co_return Outcome::Complete(rows);
  writer.Abandon();
  const std::string text = writer.failure();
  const Outcome failed = Outcome::Failed(text);
  NotifyOutcome(failed);  // the stop box may end the program
  co_await ui::StopBox(text, writer.detail());
  co_return failed;
}

}  // namespace

ui::Proc PublishHtml(Browse& browse) {
  const BrowseDesign& design = browse.design();
  browse.FetchHighlighted();
  HTMLName = CurrentFolder().value_or(".") + "/" + design.html_name;

  ui::Window w(HtmlPropertyWindowDef());
  w.Open();
  w.SetValue(kHtmlName, HTMLName);
  int64_t written = 0;
  int icon = 15;
  bool started = false;  // the header is written and the page not yet ended
  HtmlWriter writer;
  std::string target;     // the page's name, taken when it is begun
  DataSnapshot snapshot;  // the state of the data every record is read from
  // A window closed before a page was begun wrote nothing.
  Outcome outcome = Outcome::Cancelled();

  auto progress = [&](const std::string& text) {
    HTMLProgressText.Assign(text);
    w.SetText(kHtmlProgress, text);  // shown whole, also past 30 characters
  };
  // Stops the writing with `why` shown: the page is dropped.
  auto fail = [&](const std::string& why) {
    writer.Abandon();
    started = false;
    outcome = Outcome::Failed(why);
    w.SetTimer(0);
    w.Post(ui::EVENT_CloseWindow);
  };

  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_Accepted && e.control == kHtmlName) {
      HTMLName = w.Value(kHtmlName);
      continue;
    }
    const bool header =
        e.code == ui::EVENT_Accepted && (e.control == kHtmlDisplayed || e.control == kHtmlAll);
    if (e.code == ui::EVENT_Accepted && e.control == kHtmlPick) {
      ui::FileDialogRequest request;
      request.title = "Enter the name of your HTML File";
      request.file = HTMLName;
      request.filter = "HTML Files|*.HTM|All Files|*.*";
      request.save = true;
      const std::optional<std::string> chosen = co_await ui::FileDialog(request);
      if (chosen) {
        HTMLName = *chosen;
        w.SetValue(kHtmlName, HTMLName);
      }
      continue;
    }
    if (header) {
      HTMLName = w.Value(kHtmlName).empty() ? HTMLName : w.Value(kHtmlName);
      w.Hide(kHtmlPick);
      w.Hide(kHtmlDisplayed);
      w.Hide(kHtmlAll);
      w.Unhide(kHtmlCancel);
      w.Unhide(kHtmlProgress);
      progress("Building Header");
      // The run keeps its own copy of the name.
      target = PageTargetPath(HTMLName);
      if (!writer.Begin(target)) {
        fail(writer.target() + ": " + writer.failure());
        NotifyOutcome(outcome);  // the stop box may end the program
        co_await ui::StopBox(writer.failure(), writer.target());
        continue;
      }
      started = true;
      if (!WriteHead(writer, design)) {
        outcome = co_await FinishPage(writer, 0);
        started = false;
        w.Post(ui::EVENT_CloseWindow);
        continue;
      }
    }
    bool end = false;
    if (e.code == ui::EVENT_Accepted && e.control == kHtmlDisplayed && started) {
      RowWriter row(browse);
      for (const Browse::Entry& entry : browse.page()) {
        // The values now in the file, not the page's copies.
        if (browse.view().Reget(entry.position) != kNoError) break;
        if (!row.Write(writer)) break;
        ++written;
      }
      end = true;
      w.Post(ui::EVENT_CloseWindow);
    } else if (e.code == ui::EVENT_Accepted && e.control == kHtmlAll && started) {
      icon = 1;
      snapshot.Take(design.files);
      browse.ResetView();
      // One pass: each supplier's, review kind's and category's name is
      // read once; the browse reads them afresh again afterwards.
      browse.view().KeepLookupRows();
      w.SetTimer(1);
    } else if (e.code == ui::EVENT_Timer && started) {
      // Between events other processes may have written the files: a page
      // is one state of the data, so it starts again when they did.
      bool again = snapshot.Changed();
      // At least ten rows an event, more while the event is short of its
      // time budget (ui/timer_batch.h): a large browse goes at disk speed.
      ui::TimerBatch batch(kPublishBatch);
      RowWriter row(browse);
      bool ok = true;
      while (!again && ok && batch.More()) {
        const int rc = browse.view().Next();
        if (rc == kRecordNotAvailable) {
          again = snapshot.Changed();
          if (!again) {
            end = true;
            w.SetTimer(0);
            w.Post(ui::EVENT_CloseWindow);
          }
          break;
        }
        if (rc != kNoError) {
          // A page without the rows that could not be read is no page.
          const std::string label = DataFileDecl(design.primary).label;
          const std::string none;
          const ErrorState read_error = CurrentError();
          fail("Reading " + label + " failed after record " + std::to_string(written) + ": " +
               ErrorDescription());
          RestoreError(read_error);  // the message describes the read, not the clean-up
          co_await StandardMessage(35, label, none);
          break;
        }
        ++written;
        ok = row.Write(writer);
      }
      if (!ok) end = true;  // FinishPage finds the failure and says so
      if (again && started) {
        writer.Abandon();
        if (!snapshot.Restart()) {
          fail(DataSnapshot::kKeptChanging);
          ui::MessageRequest m{"The HTML page could not be written: " +
                                   std::string(DataSnapshot::kKeptChanging) + ".",
                               "Publish", ui::Icon::kExclamation};
          m.detail = target;
          co_await ui::Message(m);
          continue;
        }
        if (!writer.Begin(target) || !WriteHead(writer, design)) {
          end = true;  // FinishPage finds the failure and says so
        } else {
          written = 0;
          browse.ResetView();
          browse.view().KeepLookupRows(false);
          browse.view().KeepLookupRows();
        }
      }
      progress("Processing. Record Read: " + std::to_string(written));
      icon = icon + 1 == 16 ? 1 : icon + 1;
      w.SetIcon(kHtmlIcon, "~KVHTML" + FormatPicture("N02", icon) + ".ICO");
    } else if (e.code == ui::EVENT_Accepted && e.control == kHtmlCancel) {
      w.SetTimer(0);
      w.Post(ui::EVENT_CloseWindow);
      if (started) {
        // A page that was begun is finished, even before its first batch:
        // a page without its closing tags is a broken page.  It does not
        // take the place of a page that was there.
        started = false;
        if (writer.existed()) {
          writer.Abandon();
        } else {
          (void)co_await FinishPage(writer, written);
        }
        outcome = Outcome::Cancelled();
      }
    }
    if (end && started) {
      started = false;
      w.SetTimer(0);
      outcome = co_await FinishPage(writer, written);
    }
  }
  // Closed from its close box half-way: as Cancel.
  if (started) {
    if (writer.existed()) {
      writer.Abandon();
    } else {
      (void)co_await FinishPage(writer, written);
    }
    outcome = Outcome::Cancelled();
  }
  browse.view().KeepLookupRows(false);
  w.Close();
  NotifyOutcome(outcome);
}

}  // namespace mirabo::app
