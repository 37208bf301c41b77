// REPORTPREVIEW and its two dialogs.  One file: the dialogs edit the
// preview's own state, and the grid and zoom layouts share its arithmetic.
#include "app/reports/report_preview.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/data/output_check.h"
#include "app/data/thread_block.h"
#include "report/pdf_output.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/image_source.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using ui::ControlDef;
using ui::ControlKind;

constexpr int kMaxGrid = 10;
constexpr int kGap = 3;
constexpr int kToolbarDepth = 18;  // the window's height includes the toolbar
constexpr char kZoomPopup[] = "-No Zoom|-|-Page Width|-50%|-75%|-100%|-200%|-300%";
constexpr char kHelpPage[] = "reports.html";

// The seven zoom choices, in the order of the Zoom menu and of the pop-up.
enum class Zoom { kNone, kPageWidth, k50, k75, k100, k200, k300 };

struct ZoomChoice {
  Zoom zoom;
  int menu;
  double factor;  // 0: fitted (the grid, or the page's width)
  const char* status;
};

constexpr ZoomChoice kZooms[] = {
    {Zoom::kNone, kPreviewMenuNoZoom, 0, "No Zoom"},
    {Zoom::kPageWidth, kPreviewMenuPageWidth, 0, "Zoom (Page Width)"},
    {Zoom::k50, kPreviewMenu50, 0.5, "Zoom (50%)"},
    {Zoom::k75, kPreviewMenu75, 0.75, "Zoom (75%)"},
    {Zoom::k100, kPreviewMenu100, 1.0, "Zoom (100%)"},
    {Zoom::k200, kPreviewMenu200, 2.0, "Zoom (200%)"},
    {Zoom::k300, kPreviewMenu300, 3.0, "Zoom (300%)"},
};

const ZoomChoice& ChoiceOf(Zoom z) { return kZooms[static_cast<int>(z)]; }

ControlDef Spin(int id, ui::Rect at, const char* picture, const char* tip = "") {
  ControlDef c;
  c.kind = ControlKind::kSpin;
  c.id = id;
  c.at = at;
  c.picture = picture;
  c.help = tip;
  c.low = 1;
  c.high = kMaxGrid;
  return c;
}

ControlDef Prompt(int id, const char* text, ui::Rect at) {
  return {.kind = ControlKind::kPrompt, .id = id, .text = text, .at = at};
}

ControlDef Button(int id, const char* text, ui::Rect at, const char* tip) {
  return {.kind = ControlKind::kButton, .id = id, .text = text, .at = at, .help = tip};
}

ControlDef ToolButton(int id, const char* icon, ui::Rect at, const char* tip) {
  return {.kind = ControlKind::kButton, .id = id, .at = at, .help = tip, .icon = icon};
}

ui::WindowDef BuildPreviewDef() {
  ui::WindowDef d;
  d.name = "REPORTPREVIEW$PREVIEW:WINDOW";
  d.title = "Report Preview";
  d.font = "MS Sans Serif";
  d.font_size = 10;
  d.flags = ui::kMdiChild | ui::kResizable | ui::kMaximizeBox;
  d.help = kHelpPage;
  d.status_zones = {-1, 100, 75};
  d.menus = {
      {"&File",
       kPreviewMenuFile,
       "",
       false,
       {{.text = "&Print", .id = kPreviewMenuPrint, .msg = "Print the report", .key = ui::CtrlP},
        {.text = "Save as &PDF...",
         .id = kPreviewMenuSavePdf,
         .msg = "Save the report as a PDF file"},
        {},
        {.text = "E&xit",
         .id = kPreviewMenuExit,
         .msg = "Exit without printing the report",
         .key = ui::EscKey}}},
      {"&View",
       kPreviewMenuView,
       "",
       false,
       {{"&Next Page(s)", kPreviewMenuNext, "View the next page or pages of the report"},
        {"&Previous Page(s)", kPreviewMenuPrevious,
         "View the previous page or pages of the report"},
        {},
        {"&Jump to a page", kPreviewMenuJump, "Jump to a specific page of the report"},
        {},
        {"&Change Display", kPreviewMenuChangeDisplay, "Change the number of pages displayed"}}},
      {"&Zoom",
       kPreviewMenuZoom,
       "",
       false,
       {{"No &Zoom", kPreviewMenuNoZoom, "", true},
        {},
        {"Page &Width", kPreviewMenuPageWidth, "", true},
        {},
        {"&50 Percent", kPreviewMenu50, "", true},
        {"&75 Percent", kPreviewMenu75, "", true},
        {"&100 Percent", kPreviewMenu100, "", true},
        {"&200 Percent", kPreviewMenu200, "", true},
        {"&300 Percent", kPreviewMenu300, "", true}}},
  };
  d.toolbar = {
      ToolButton(kPreviewPrintButton, "PRINT.ICO", {3, 2, 14, 14}, "Print this report"),
      ToolButton(kPreviewExitButton, "EXIT.ICO", {19, 2, 14, 14},
                 "Exit without printing the report"),
      ToolButton(kPreviewZoomButton, "ZOOM.ICO", {37, 2, 14, 14},
                 "Zoom in on a page of the report"),
      Prompt(kPreviewPagePrompt, "&Page:", {60, 4, -1, -1}),
      Spin(kPreviewPageField, {85, 3, 33, 12}, "n4"),
      Prompt(kPreviewAcrossPrompt, "&Across:", {123, 4, -1, -1}),
      Spin(kPreviewAcrossField, {152, 3, 20, 12}, "N2", "Select the number of thumbnails in a row"),
      Prompt(kPreviewDownPrompt, "&Down:", {177, 4, -1, -1}),
      Spin(kPreviewDownField, {202, 3, 20, 12}, "n2",
           "Select the number of thumbnails in a column"),
  };
  return d;
}

ui::WindowDef BuildJumpDef() {
  ui::WindowDef d;
  d.name = "PREVIEW:JUMPTOPAGE$JUMPWINDOW";
  d.title = "Jump to a Report Page";
  d.width = 181;
  d.height = 26;
  d.flags = ui::kModal;
  d.help = kHelpPage;
  ControlDef ok = Button(kJumpOk, "OK", {89, 7, 40, 12}, "Jump to the selected page");
  ok.default_button = true;
  d.controls = {
      Prompt(kJumpPrompt, "&Page:", {5, 8, -1, -1}),
      Spin(kJumpField, {30, 7, 50, 12}, "n5", "Select a page of the report"),
      ok,
      Button(kJumpCancel, "Cancel", {134, 7, 40, 12}, "Cancel this selection"),
  };
  return d;
}

ui::WindowDef BuildSelectDisplayDef() {
  ui::WindowDef d;
  d.name = "PREVIEW:SELECTDISPLAY$SELECTWINDOW";
  d.title = "Change the Report Display";
  d.width = 141;
  d.height = 64;
  d.flags = ui::kModal;
  d.help = kHelpPage;
  ControlDef across{.kind = ControlKind::kGroup,
                    .id = kDisplayAcrossGroup,
                    .text = "Across",
                    .at = {7, 10, 62, 32}};
  across.children = {Spin(kDisplayAcrossField, {13, 22, 50, 12}, "N2")};
  ControlDef down{
      .kind = ControlKind::kGroup, .id = kDisplayDownGroup, .text = "Down", .at = {72, 10, 62, 32}};
  down.children = {Spin(kDisplayDownField, {79, 22, 50, 12}, "N2")};
  ControlDef group{.kind = ControlKind::kGroup,
                   .id = kDisplayGroup,
                   .text = "Pages Displayed",
                   .at = {3, 2, 135, 43}};
  group.children = {across, down};
  ControlDef ok = Button(kDisplayOk, "OK", {98, 47, 40, 14}, "");
  ok.default_button = true;
  d.controls = {group, ok};
  return d;
}

// A spin field's whole-number value, or `fallback` when it holds none.
int32_t FieldValue(ui::Window& w, int id, int32_t fallback) {
  const std::string v = w.Value(id);
  const char* b = v.data();
  const char* e = b + v.size();
  while (b < e && *b == ' ') ++b;
  int32_t n = fallback;
  if (std::from_chars(b, e, n).ec != std::errc()) return fallback;
  return n;
}

// A rejected entry takes the bound it passed.
int32_t PulledBack(ui::Window& w, int id) {
  const ui::Control* c = w.Find(id);
  if (!c) return 1;
  const int32_t typed = FieldValue(w, id, c->low);
  return typed > c->high ? c->high : c->low;
}

void SetField(ui::Window& w, int id, int32_t value) {
  const std::string text = std::to_string(value);
  if (w.Value(id) != text) w.SetValue(id, text);
}

// One preview: its state and the refresh that brings the window up to it.
class Preview {
 public:
  Preview(ui::Window& w, const report::PageImageList& pages) : w_(w), pages_(pages) {}

  void Open() {
    // The first page's natural size sets every cell's proportions.  When it
    // cannot be read, the next that can; none: square cells with notes.
    for (size_t i = 0; i < pages_.size() && page_width_ <= 0; ++i) {
      ui::ControlDef measure{.kind = ControlKind::kImage,
                             .id = kPreviewMeasureImage,
                             .at = {0, 0, 1, 1},
                             .icon = pages_[i]};
      measure.hidden = true;
      w_.CreateControl(measure);
      int pw = 0, ph = 0;
      if (w_.NaturalSize(kPreviewMeasureImage, &pw, &ph) && pw > 0 && ph > 0) {
        page_width_ = pw;
        page_height_ = ph;
      }
      w_.RemoveControl(kPreviewMeasureImage);
    }
    if (page_width_ <= 0) page_width_ = page_height_ = 100;
    aspect_ = static_cast<double>(page_height_) / page_width_;
    total_ = static_cast<int32_t>(pages_.size());
    current_ = across_ = down_ = 1;
    if (total_ == 1) {
      for (int id : {kPreviewPageField, kPreviewAcrossField, kPreviewDownField}) w_.Disable(id);
      w_.EnableMenu(kPreviewMenuView, false);
    } else {
      w_.SetRange(kPreviewPageField, 1, total_);
      w_.SetTooltip(kPreviewPageField, "Enter a page number from 1 to " + std::to_string(total_));
    }
    zoom_ = Zoom::kNone;
    Refresh();
  }

  void Refresh() {
    if (zoom_ == Zoom::kNone) {
      if (zoom_image_) {
        w_.RemoveControl(kPreviewZoomImage);
        zoom_image_ = false;
      }
      if (across_ != grid_across_ || down_ != grid_down_) {
        RemoveGrid();
        for (int i = 1; i <= across_ * down_; ++i) {
          ControlDef box{.kind = ControlKind::kBox, .id = kPreviewCellBoxBase + i};
          box.fill = ui::kWhiteColour;
          box.outline = ui::kBlackColour;
          w_.CreateControl(box);
          w_.CreateControl({.kind = ControlKind::kImage, .id = kPreviewCellImageBase + i});
          w_.SetCursor(kPreviewCellImageBase + i, ui::Cursor::kZoom);
        }
        shown_ = across_ * down_;
        grid_across_ = across_;
        grid_down_ = down_;
      }
      LayOutGrid();
      FillGrid();
      w_.SetStatus(3, ChoiceOf(zoom_).status);
    } else {
      RemoveGrid();
      if (!zoom_image_) {
        w_.CreateControl({.kind = ControlKind::kImage, .id = kPreviewZoomImage});
        w_.SetColours(kPreviewZoomImage, ui::kWhiteColour);
        w_.SetCursor(kPreviewZoomImage, ui::Cursor::kZoom);
        // The keys scroll the page: it takes the focus.
        w_.Select(kPreviewZoomImage);
        zoom_image_ = true;
      }
      ShowZoomed();
      grid_across_ = grid_down_ = 0;
    }
    for (const ZoomChoice& z : kZooms) w_.CheckMenu(z.menu, z.zoom == zoom_);
    SetField(w_, kPreviewPageField, current_);
    SetField(w_, kPreviewAcrossField, across_);
    SetField(w_, kPreviewDownField, down_);
  }

  void Next() {
    if (zoom_ == Zoom::kNone) {
      if (current_ + shown_ <= total_) current_ += shown_;
    } else if (current_ < total_) {
      ++current_;
    }
  }

  void Previous() {
    if (zoom_ == Zoom::kNone) {
      current_ = std::max(1, current_ - shown_);
    } else if (current_ > 1) {
      --current_;
    }
  }

  // A click on a grid cell's image: that page at the page's width.
  void CellClicked(int cell) {
    current_ = std::min(total_, current_ + cell - 1);
    zoom_ = Zoom::kPageWidth;
  }

  std::string PopupItems() const {
    std::string out;
    int item = 0;
    size_t start = 0;
    const std::string all = kZoomPopup;
    while (start <= all.size()) {
      size_t end = all.find('|', start);
      if (end == std::string::npos) end = all.size();
      std::string entry = all.substr(start, end - start);
      if (entry != "-") {
        if (item == static_cast<int>(zoom_)) entry[0] = '+';
        ++item;
      }
      out += (out.empty() && start == 0 ? "" : "|") + entry;
      start = end + 1;
    }
    return out;
  }

  int32_t current_ = 1, total_ = 0, across_ = 1, down_ = 1;
  int shown_ = 0;
  Zoom zoom_ = Zoom::kNone;
  bool print_chosen_ = false;

 private:
  void RemoveGrid() {
    if (shown_ == 0) return;
    for (int i = 1; i <= shown_; ++i) {
      w_.RemoveControl(kPreviewCellBoxBase + i);
      w_.RemoveControl(kPreviewCellImageBase + i);
    }
    shown_ = 0;
  }

  // The window's size is the size it shows at (maximized: the area's), not
  // its normal placement's.
  void LayOutGrid() {
    const int width = w_.shown_width();
    const int height = w_.shown_height();
    const int hgaps = (across_ - 1) * kGap + 2;
    const int vgaps = (down_ - 1) * kGap + 2;
    int cw = (width - hgaps) / across_;
    int ch = (height - kToolbarDepth - vgaps) / down_;
    if (cw > 0 && aspect_ <= static_cast<double>(ch) / cw) {
      ch = static_cast<int>(cw * aspect_);
    } else {
      cw = static_cast<int>(ch / aspect_);
    }
    cw = std::max(cw, 1);
    ch = std::max(ch, 1);
    int i = 1;
    for (int row = 0; row < down_; ++row) {
      for (int col = 0; col < across_; ++col, ++i) {
        const int x = 1 + col * (cw + kGap);
        const int y = 1 + row * (ch + kGap);
        w_.SetPosition(kPreviewCellBoxBase + i, x, y, cw, ch);
        w_.SetPosition(kPreviewCellImageBase + i, x, y, cw, ch);
      }
    }
  }

  void FillGrid() {
    for (int i = 1; i <= shown_; ++i) {
      const int32_t page = current_ + i - 1;
      const int box = kPreviewCellBoxBase + i, image = kPreviewCellImageBase + i;
      if (page <= total_) {
        w_.SetIcon(image, pages_[static_cast<size_t>(page - 1)]);
        if (w_.Find(image)->hidden) {
          w_.Unhide(box);
          w_.Unhide(image);
        }
      } else {
        w_.Hide(box);
        w_.Hide(image);
      }
    }
    UpdatePaging(shown_);
    w_.SetStatus(2, PreviewPageText(current_, shown_, total_));
  }

  void ShowZoomed() {
    const ZoomChoice& z = ChoiceOf(zoom_);
    const int width = w_.shown_width();
    const int height = std::max(1, w_.shown_height() - kToolbarDepth);
    const bool page_width = zoom_ == Zoom::kPageWidth;
    w_.SetPosition(kPreviewZoomImage, 0, 0, width, height);
    w_.SetScrollbars(kPreviewZoomImage, !page_width, true);
    w_.SetIcon(kPreviewZoomImage, pages_[static_cast<size_t>(current_ - 1)]);
    if (page_width) {
      // The factor is the window's width over the page's: the page is as wide as the window.
      w_.SetDrawnSize(kPreviewZoomImage, width,
                      static_cast<int>(static_cast<int64_t>(page_height_) * width / page_width_));
    } else {
      w_.SetDrawnSize(kPreviewZoomImage, static_cast<int>(page_width_ * z.factor),
                      static_cast<int>(page_height_ * z.factor));
    }
    w_.SetStatus(3, z.status);
    w_.SetStatus(2, PreviewPageText(current_, 1, total_));
    UpdatePaging(1);
  }

  // Next and Previous are offered only where they lead somewhere; a zoomed
  // page moves one page at a time.
  void UpdatePaging(int step) {
    if (total_ <= 1) return;
    w_.EnableMenu(kPreviewMenuPrevious, current_ != 1);
    w_.EnableMenu(kPreviewMenuNext, current_ + step <= total_);
  }

  ui::Window& w_;
  const report::PageImageList& pages_;
  int page_width_ = 0, page_height_ = 0;
  double aspect_ = 1.0;
  int grid_across_ = 0, grid_down_ = 0;
  bool zoom_image_ = false;
};

}  // namespace

const ui::WindowDef& PreviewWindowDef() {
  static const ui::WindowDef def = BuildPreviewDef();
  return def;
}

const ui::WindowDef& JumpWindowDef() {
  static const ui::WindowDef def = BuildJumpDef();
  return def;
}

const ui::WindowDef& SelectDisplayWindowDef() {
  static const ui::WindowDef def = BuildSelectDisplayDef();
  return def;
}

std::string PreviewPageText(int32_t current, int32_t shown, int32_t total) {
  if (shown > 1 && current != total) {
    const int32_t last = std::min(current + shown - 1, total);
    return "Pages " + std::to_string(current) + "-" + std::to_string(last) + " of " +
           std::to_string(total);
  }
  return "Page " + std::to_string(current) + " of " + std::to_string(total);
}

namespace {

// The name the save dialog starts with: the report's title, as a file name.
std::string PdfFileName(const std::string& title) {
  std::string name = Utf8FromCp1252(Clip(title));
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  return (name.empty() ? std::string("Report") : name) + ".pdf";
}

// Writes the pages on a thread of their own while the preview's procedure
// gives way between looks at it, so a long report does not hold the window
// still.  The thread works on its own copies; leaving early waits for it.
ui::Task<report::Status> WritePdfAside(const report::PageImageList& pages, std::string path,
                                       std::string title) {
  struct Job {
    report::PageImageList pages;
    std::string path, title;
    report::Status status;
    std::atomic<bool> done{false};
  };
  auto job = std::make_shared<Job>();
  job->pages = pages;
  job->path = std::move(path);
  job->title = std::move(title);
  std::jthread writer([job] {
    job->status = report::SavePagesAsPdf(job->pages, job->path, job->title);
    job->done.store(true, std::memory_order_release);
  });
  while (!job->done.load(std::memory_order_acquire)) co_await ui::Sleep(50);
  writer.join();
  co_return job->status;
}

// File, Save as PDF: the dialog, then the file; the preview stays as it was.
ui::Proc SaveAsPdf(ui::Window& w, const report::PageImageList& pages, const std::string& title) {
  ui::FileDialogRequest request;
  request.title = "Save as PDF";
  request.file = PdfFileName(title);
  request.filter = "PDF Files|*.pdf|All Files|*.*";
  request.save = true;
  std::optional<std::string> chosen = co_await ui::FileDialog(request);
  if (!chosen || chosen->empty()) co_return;
  // A name typed without an extension gets the one its file has.
  if (std::filesystem::path(*chosen).extension().empty()) *chosen += ".pdf";
  // The dialog asked before replacing a file; a folder or a data file is
  // never replaced.
  const std::string refusal = RefusalText(InspectOutput(*chosen));
  report::Status s(report::StatusCode::kPrintFailed, *chosen + " " + refusal + ".");
  if (refusal.empty()) {
    w.SetStatus(1, "Saving the report as a PDF file...");
    s = co_await WritePdfAside(pages, *chosen, title);
  }
  if (!w.is_open()) co_return;
  if (s.ok()) {
    const std::string name = std::filesystem::path(*chosen).filename().string();
    w.SetStatus(1, "Saved as " + Cp1252FromUtf8(name).value_or("a PDF file"));
    co_return;
  }
  w.SetStatus(1, "");
  ui::MessageRequest m;
  m.caption = "Save as PDF";
  m.text = "The report \"" + std::string(Clip(title)) + "\" could not be saved.\n" + s.message();
  m.icon = ui::Icon::kExclamation;
  co_await ui::Message(m);
}

}  // namespace

ui::Proc REPORTPREVIEW(const report::PageImageList& pages, const std::string& title) {
  ThreadBlock& block = CurrentThread();
  ui::Window w(PreviewWindowDef());
  w.Open();
  w.SetMinimumSize(315, 0);
  if (w.geometry().width <= 0 || w.geometry().height <= 0) {
    // No size in the definition: the whole area that windows are placed in.
    ui::Geometry g = w.geometry();
    int width = 0, height = 0;
    if (!ui::Scheduler::Get().backend().DesktopArea(&width, &height)) {
      width = 420;
      height = 300;
    }
    g.x = g.y = 0;
    g.width = std::max(width, 315);
    g.height = height;
    w.SetGeometry(g);
  }
  w.Alert(ui::MouseLeft);
  w.Alert(ui::PgUpKey);
  w.Alert(ui::PgDnKey);
  Preview p(w, pages);
  if (pages.empty()) {
    w.Post(ui::EVENT_CloseWindow);
  } else {
    p.Open();
  }

  while (ui::Event e = co_await w.Accept()) {
    bool refresh = true;
    switch (e.code) {
      case ui::EVENT_Sized:
        break;
      case ui::EVENT_Rejected:
        if (e.control == kPreviewPageField) p.current_ = PulledBack(w, e.control);
        if (e.control == kPreviewAcrossField) p.across_ = PulledBack(w, e.control);
        if (e.control == kPreviewDownField) p.down_ = PulledBack(w, e.control);
        break;
      case ui::EVENT_NewSelection:
      case ui::EVENT_Accepted:
        switch (e.control) {
          case kPreviewPageField:
            p.current_ = std::clamp(FieldValue(w, e.control, p.current_), 1, p.total_);
            break;
          case kPreviewAcrossField:
          case kPreviewDownField: {
            const int32_t v = std::clamp(FieldValue(w, e.control, 1), 1, kMaxGrid);
            (e.control == kPreviewAcrossField ? p.across_ : p.down_) = v;
            p.zoom_ = Zoom::kNone;
            break;
          }
          case kPreviewMenuPrint:
          case kPreviewPrintButton:
            p.print_chosen_ = true;
            w.Post(ui::EVENT_CloseWindow);
            refresh = false;
            break;
          case kPreviewMenuSavePdf:
            co_await SaveAsPdf(w, pages, title);
            refresh = false;
            break;
          case kPreviewMenuExit:
          case kPreviewExitButton:
            w.Post(ui::EVENT_CloseWindow);
            refresh = false;
            break;
          case kPreviewZoomButton: {
            const int chosen = co_await ui::PopupMenu(p.PopupItems());
            if (chosen >= 1 && chosen <= 7) {
              p.zoom_ = static_cast<Zoom>(chosen - 1);
            } else {
              refresh = false;
            }
            break;
          }
          case kPreviewMenuNext:
            p.Next();
            break;
          case kPreviewMenuPrevious:
            p.Previous();
            break;
          case kPreviewMenuJump:
            p.current_ = co_await PreviewJumpToPage(p.current_, p.total_);
            break;
          case kPreviewMenuChangeDisplay:
            co_await PreviewSelectDisplay(p.across_, p.down_);
            break;
          default: {
            refresh = false;
            for (const ZoomChoice& z : kZooms) {
              if (z.menu == e.control) {
                p.zoom_ = z.zoom;
                refresh = true;
              }
            }
            break;
          }
        }
        break;
      case ui::EVENT_AlertKey:
        if (e.key == ui::PgUpKey && p.total_ > 1) {
          p.Previous();
        } else if (e.key == ui::PgDnKey && p.total_ > 1) {
          p.Next();
        } else if (e.key == ui::MouseLeft && e.control == kPreviewZoomImage) {
          p.zoom_ = Zoom::kNone;
        } else if (e.key == ui::MouseLeft && e.control > kPreviewCellImageBase &&
                   e.control <= kPreviewCellImageBase + p.shown_) {
          p.CellClicked(e.control - kPreviewCellImageBase);
        } else {
          refresh = false;
        }
        break;
      default:
        refresh = false;
        break;
    }
    if (refresh && w.is_open()) p.Refresh();
  }
  block.SharedResponse.value = p.print_chosen_ ? RespCompleted : RespCancelled;
  w.Close();
}

ui::Task<int32_t> PreviewJumpToPage(int32_t current, int32_t total) {
  ui::Window w(JumpWindowDef());
  w.Open();
  w.SetRange(kJumpField, 1, std::max(1, total));
  SetField(w, kJumpField, current);
  w.Select(kJumpField);
  int32_t chosen = current;
  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_Rejected && e.control == kJumpField) {
      SetField(w, kJumpField, PulledBack(w, kJumpField));
      w.Select(kJumpField);
    } else if (e.code == ui::EVENT_Accepted && e.control == kJumpOk) {
      chosen = std::clamp(FieldValue(w, kJumpField, current), 1, std::max(1, total));
      w.Post(ui::EVENT_CloseWindow);
    } else if (e.code == ui::EVENT_Accepted && e.control == kJumpCancel) {
      w.Post(ui::EVENT_CloseWindow);
    }
  }
  w.Close();
  co_return chosen;
}

ui::Proc PreviewSelectDisplay(int32_t& across, int32_t& down) {
  ui::Window w(SelectDisplayWindowDef());
  w.Open();
  SetField(w, kDisplayAcrossField, across);
  SetField(w, kDisplayDownField, down);
  w.Select(kDisplayAcrossField);
  while (ui::Event e = co_await w.Accept()) {
    const bool field = e.control == kDisplayAcrossField || e.control == kDisplayDownField;
    int32_t& target = e.control == kDisplayAcrossField ? across : down;
    if (field && e.code == ui::EVENT_Rejected) {
      target = PulledBack(w, e.control);
      SetField(w, e.control, target);
    } else if (field && (e.code == ui::EVENT_Accepted || e.code == ui::EVENT_NewSelection)) {
      target = std::clamp(FieldValue(w, e.control, target), 1, kMaxGrid);
    } else if (e.code == ui::EVENT_Accepted && e.control == kDisplayOk) {
      w.Post(ui::EVENT_CloseWindow);
    }
  }
  w.Close();
}

void RegisterPageImageKind() {
  ui::RegisterImageKind("page-image", [](const std::string& name, int* width, int* height) {
    return report::ReadPageSize(name, width, height).ok();
  });
}

}  // namespace mirabo::app
