#include "app/reports/report_preview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/data/thread_block.h"
#include "report/report.h"
#include "tests/testing/procedure_test.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

// Headless, a Letter page measures 435 x 520 dialog units of the preview's
// 10-point font, and the window opens 420 x 300.
constexpr int kPageW = 435, kPageH = 520;

class PreviewTest : public testing::ProcedureTest {
 protected:
  // Composes `n` pages of `height` thousandths, one detail band a page.
  void Compose(int n, int height = report::kLetterHeight) {
    def_.name = "TEST:PAGES$REPORT";
    def_.page_height = height;
    def_.detail_area = {500, 1000, 7000, 1000};
    def_.detail.at = {0, 0, 7000, 1000};
    def_.detail.controls = {report::Variable("n4", {0, 0, 2000, 200})};
    report_ =
        std::make_unique<report::Report>(def_, std::vector<ValueRef>{number_.ref()}, metrics_);
    ASSERT_TRUE(report_->Open(&pages_, {data_.path(), "RPG"}).ok());
    for (int i = 1; i <= n; ++i) {
      number_.value = i;
      ASSERT_TRUE(report_->PrintDetail().ok());
    }
    ASSERT_TRUE(report_->EndReport().ok());
    ASSERT_EQ(pages_.size(), static_cast<size_t>(n));
  }

  ui::ThreadId OpenPreview() {
    preview_ = Open(REPORTPREVIEW(pages_));
    return preview_;
  }
  ui::Window& W() { return Win(preview_); }
  void Menu(int id) { Post(preview_, ui::EVENT_Accepted, id); }
  void Type(int field, const std::string& text) {
    W().EnterValue(field, text);
    scheduler_.RunReady();
  }
  void Key(int key, int control = 0) { Post(preview_, ui::EVENT_AlertKey, control, key); }
  void Resize(int width, int height) {
    ui::Geometry g = W().geometry();
    g.width = width;
    g.height = height;
    W().SetGeometry(g);
    Post(preview_, ui::EVENT_Sized, 0);
  }
  // The page each visible cell shows (0 for a hidden cell), cell by cell.
  std::vector<int> Cells() {
    std::vector<int> out;
    for (int i = 1; i <= 100; ++i) {
      const ui::Control* c = W().Find(kPreviewCellImageBase + i);
      if (!c) break;
      int page = 0;
      for (size_t p = 0; p < pages_.size(); ++p) {
        if (pages_[p] == c->icon) page = static_cast<int>(p) + 1;
      }
      out.push_back(c->hidden ? 0 : page);
    }
    return out;
  }
  ui::Rect Cell(int i) { return W().Find(kPreviewCellImageBase + i)->at; }
  int32_t Response() {
    return static_cast<ThreadBlock*>(scheduler_.ThreadData(preview_))->SharedResponse.value;
  }

  report::ReportDef def_;
  report::FixedPitchMetrics metrics_;
  LongVar number_;
  report::PageImageList pages_;
  std::unique_ptr<report::Report> report_;
  ui::ThreadId preview_ = 0;
};

TEST_F(PreviewTest, OpensOnPageOneInAOneByOneGrid) {
  Compose(7);
  OpenPreview();
  EXPECT_EQ(W().title(), "Report Preview");
  EXPECT_EQ(W().min_width(), 315);
  EXPECT_EQ(Cells(), std::vector<int>({1}));
  EXPECT_EQ(W().Status(2), "Page 1 of 7");
  EXPECT_EQ(W().Status(3), "No Zoom");
  EXPECT_TRUE(W().MenuChecked(kPreviewMenuNoZoom));
  EXPECT_FALSE(W().MenuChecked(kPreviewMenuPageWidth));
  EXPECT_EQ(W().Value(kPreviewPageField), "1");
  EXPECT_EQ(W().Find(kPreviewPageField)->high, 7);
  EXPECT_EQ(W().Find(kPreviewPageField)->tooltip, "Enter a page number from 1 to 7");
  EXPECT_FALSE(W().MenuEnabled(kPreviewMenuPrevious));
  EXPECT_TRUE(W().MenuEnabled(kPreviewMenuNext));
  EXPECT_EQ(W().Find(kPreviewMeasureImage), nullptr) << "the measuring image is gone";
  // 1 x 1 in 420 x 300: 418 x 280 room; the page's proportions narrow it.
  EXPECT_EQ(Cell(1).x, 1);
  EXPECT_EQ(Cell(1).y, 1);
  EXPECT_EQ(Cell(1).h, 280);
  EXPECT_EQ(Cell(1).w, static_cast<int>(280 / (static_cast<double>(kPageH) / kPageW)));
  EXPECT_EQ(W().Find(kPreviewCellImageBase + 1)->cursor, ui::Cursor::kZoom);
}

TEST_F(PreviewTest, SevenPagesInATwoByTwoGridPageOnAndBack) {
  Compose(7);
  OpenPreview();
  Type(kPreviewAcrossField, "2");
  Type(kPreviewDownField, "2");
  EXPECT_EQ(Cells(), std::vector<int>({1, 2, 3, 4}));
  EXPECT_EQ(W().Status(2), "Pages 1-4 of 7");
  EXPECT_FALSE(W().MenuEnabled(kPreviewMenuPrevious));

  Menu(kPreviewMenuNext);
  EXPECT_EQ(Cells(), std::vector<int>({5, 6, 7, 0}));
  EXPECT_EQ(W().Status(2), "Pages 5-7 of 7");
  EXPECT_FALSE(W().MenuEnabled(kPreviewMenuNext));
  EXPECT_TRUE(W().MenuEnabled(kPreviewMenuPrevious));
  EXPECT_TRUE(W().Find(kPreviewCellBoxBase + 4)->hidden) << "the frame of an empty cell goes too";

  Menu(kPreviewMenuNext);  // nothing beyond the last page
  EXPECT_EQ(W().Value(kPreviewPageField), "5");
  Key(ui::PgUpKey);
  EXPECT_EQ(Cells(), std::vector<int>({1, 2, 3, 4}));
  Key(ui::PgDnKey);
  EXPECT_EQ(W().Value(kPreviewPageField), "5");
  Menu(kPreviewMenuPrevious);
  Menu(kPreviewMenuPrevious);  // not below page 1
  EXPECT_EQ(W().Value(kPreviewPageField), "1");
}

TEST_F(PreviewTest, GridLayoutArithmetic) {
  Compose(20);
  OpenPreview();
  struct Case {
    int width, height, across, down;
    ui::Rect first, last;
  };
  const Case cases[] = {
      // Room 415 x 277 for two cells each way: 207 x 138, narrowed to the page.
      {420, 300, 2, 2, {1, 1, 115, 138}, {119, 142, 115, 138}},
      // A tall, narrow window: the width decides and the height follows.
      {330, 900, 1, 2, {1, 1, 328, 392}, {1, 396, 328, 392}},
      // 10 x 10 in a large window.
      {1000, 800, 10, 10, {1, 1, 62, 75}, {1 + 9 * 65, 1 + 9 * 78, 62, 75}},
  };
  for (const Case& c : cases) {
    Resize(c.width, c.height);
    Type(kPreviewAcrossField, std::to_string(c.across));
    Type(kPreviewDownField, std::to_string(c.down));
    const int n = c.across * c.down;
    ASSERT_EQ(static_cast<int>(Cells().size()), n);
    const ui::Rect first = Cell(1), last = Cell(n);
    EXPECT_EQ(first.x, c.first.x);
    EXPECT_EQ(first.y, c.first.y);
    EXPECT_EQ(first.w, c.first.w) << c.width << "x" << c.height;
    EXPECT_EQ(first.h, c.first.h) << c.width << "x" << c.height;
    EXPECT_EQ(last.x, c.last.x);
    EXPECT_EQ(last.y, c.last.y);
    const ui::Control* box = W().Find(kPreviewCellBoxBase + n);
    EXPECT_EQ(box->at.x, last.x);
    EXPECT_EQ(box->fill, ui::kWhiteColour);
    EXPECT_EQ(box->outline, ui::kBlackColour);
  }
}

TEST_F(PreviewTest, TallPageNarrowsItsCell) {
  Compose(2, 2 * report::kLetterHeight);
  OpenPreview();
  EXPECT_EQ(Cell(1).h, 280) << "the cell keeps its height";
  EXPECT_EQ(Cell(1).w, static_cast<int>(280 / (2.0 * kPageH / kPageW)));
}

TEST_F(PreviewTest, PageFieldJumpsAndOutOfRangeEntriesArePulledBack) {
  Compose(7);
  OpenPreview();
  Type(kPreviewAcrossField, "2");
  Type(kPreviewDownField, "2");
  Type(kPreviewPageField, "7");
  EXPECT_EQ(W().Status(2), "Page 7 of 7");
  EXPECT_EQ(Cells(), std::vector<int>({7, 0, 0, 0}));

  struct Case {
    int field;
    const char* typed;
    const char* becomes;
  };
  const Case cases[] = {
      {kPreviewAcrossField, "99", "10"}, {kPreviewAcrossField, "0", "1"},
      {kPreviewDownField, "11", "10"},   {kPreviewDownField, "-3", "1"},
      {kPreviewPageField, "8", "7"},     {kPreviewPageField, "0", "1"},
  };
  for (const Case& c : cases) {
    Type(c.field, c.typed);
    EXPECT_EQ(W().Value(c.field), c.becomes) << c.typed;
  }
  EXPECT_EQ(Cells().size(), 1u) << "down was last pulled back to 1, across to 1";
}

TEST_F(PreviewTest, ClickingACellShowsItsPageAtPageWidthAndAClickThereGoesBack) {
  Compose(7);
  OpenPreview();
  Type(kPreviewAcrossField, "2");
  Type(kPreviewDownField, "2");
  Menu(kPreviewMenuNext);
  Key(ui::MouseLeft, kPreviewCellImageBase + 3);
  const ui::Control* zoomed = W().Find(kPreviewZoomImage);
  ASSERT_NE(zoomed, nullptr);
  EXPECT_EQ(zoomed->icon, pages_[6]);
  EXPECT_EQ(W().Find(kPreviewCellImageBase + 1), nullptr) << "the grid is gone";
  EXPECT_EQ(W().Status(2), "Page 7 of 7");
  EXPECT_EQ(W().Status(3), "Zoom (Page Width)");
  EXPECT_TRUE(W().MenuChecked(kPreviewMenuPageWidth));
  EXPECT_FALSE(W().MenuChecked(kPreviewMenuNoZoom));
  EXPECT_EQ(zoomed->drawn_w, 420) << "the page's width is the window's";
  EXPECT_FALSE(zoomed->hscrollbar);
  EXPECT_TRUE(zoomed->scrollbar);
  EXPECT_EQ(zoomed->fill, ui::kWhiteColour);
  EXPECT_EQ(zoomed->cursor, ui::Cursor::kZoom);

  Key(ui::MouseLeft, kPreviewZoomImage);
  EXPECT_EQ(W().Find(kPreviewZoomImage), nullptr);
  EXPECT_EQ(Cells(), std::vector<int>({7, 0, 0, 0}));
  EXPECT_EQ(W().Status(3), "No Zoom");
}

TEST_F(PreviewTest, ZoomMenuSetsTheScaleScrollBarsAndStatus) {
  Compose(3);
  OpenPreview();
  struct Case {
    int menu;
    const char* status;
    double factor;
  };
  const Case cases[] = {
      {kPreviewMenu50, "Zoom (50%)", 0.5},   {kPreviewMenu75, "Zoom (75%)", 0.75},
      {kPreviewMenu100, "Zoom (100%)", 1.0}, {kPreviewMenu200, "Zoom (200%)", 2.0},
      {kPreviewMenu300, "Zoom (300%)", 3.0},
  };
  for (const Case& c : cases) {
    Menu(c.menu);
    const ui::Control* z = W().Find(kPreviewZoomImage);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(W().Status(3), c.status);
    EXPECT_EQ(z->drawn_w, static_cast<int>(kPageW * c.factor)) << c.status;
    EXPECT_EQ(z->drawn_h, static_cast<int>(kPageH * c.factor)) << c.status;
    EXPECT_TRUE(z->hscrollbar);
    EXPECT_EQ(z->at.w, 420);
    EXPECT_EQ(z->at.h, 300 - 18);
    int checked = 0;
    for (int m = kPreviewMenuNoZoom; m >= kPreviewMenu300; --m) checked += W().MenuChecked(m);
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(W().MenuChecked(c.menu));
  }
  // Zoomed, the pages go one at a time.
  Menu(kPreviewMenuNext);
  EXPECT_EQ(W().Status(2), "Page 2 of 3");
  Key(ui::PgDnKey);
  EXPECT_EQ(W().Find(kPreviewZoomImage)->icon, pages_[2]);
  EXPECT_FALSE(W().MenuEnabled(kPreviewMenuNext));
  // A new grid size goes back to the grid.
  Type(kPreviewAcrossField, "3");
  EXPECT_EQ(W().Status(3), "No Zoom");
  EXPECT_EQ(Cells(), std::vector<int>({3, 0, 0}));
}

TEST_F(PreviewTest, ZoomButtonOffersThePopupWithTheCurrentChoiceChecked) {
  Compose(3);
  OpenPreview();
  backend_.popup_answers = {5, 0, 1};
  Menu(kPreviewZoomButton);
  ASSERT_EQ(backend_.popups.size(), 1u);
  EXPECT_EQ(backend_.popups[0], "+No Zoom|-|-Page Width|-50%|-75%|-100%|-200%|-300%");
  EXPECT_EQ(W().Status(3), "Zoom (100%)");
  Menu(kPreviewZoomButton);  // nothing chosen: nothing changes
  EXPECT_EQ(backend_.popups[1], "-No Zoom|-|-Page Width|-50%|-75%|+100%|-200%|-300%");
  EXPECT_EQ(W().Status(3), "Zoom (100%)");
  Menu(kPreviewZoomButton);
  EXPECT_EQ(W().Status(3), "No Zoom");
}

TEST_F(PreviewTest, OnePageDisablesTheFieldsAndTheViewMenu) {
  Compose(1);
  OpenPreview();
  for (int id : {kPreviewPageField, kPreviewAcrossField, kPreviewDownField}) {
    EXPECT_TRUE(W().Find(id)->disabled) << id;
  }
  EXPECT_FALSE(W().MenuEnabled(kPreviewMenuView));
  EXPECT_EQ(W().Status(2), "Page 1 of 1");
  Key(ui::PgDnKey);
  EXPECT_EQ(W().Status(2), "Page 1 of 1");
  Menu(kPreviewMenu200);
  EXPECT_EQ(W().Status(3), "Zoom (200%)");
}

TEST_F(PreviewTest, PrintExitAndCloseAnswerThroughSharedResponse) {
  Compose(2);
  struct Case {
    int code, control;
    int32_t response;
  };
  const Case cases[] = {
      {ui::EVENT_Accepted, kPreviewPrintButton, RespCompleted},
      {ui::EVENT_Accepted, kPreviewMenuPrint, RespCompleted},
      {ui::EVENT_Accepted, kPreviewExitButton, RespCancelled},
      {ui::EVENT_Accepted, kPreviewMenuExit, RespCancelled},
      {ui::EVENT_CloseWindow, 0, RespCancelled},
  };
  for (const Case& c : cases) {
    int32_t seen = 0;
    auto caller = [](const report::PageImageList& pages, int32_t* out) -> ui::Proc {
      co_await REPORTPREVIEW(pages);
      *out = CurrentThread().SharedResponse.value;
    };
    preview_ = Open(caller(pages_, &seen));
    Post(preview_, c.code, c.control);
    EXPECT_FALSE(scheduler_.Alive(preview_)) << c.control;
    EXPECT_EQ(seen, c.response) << c.control;
  }
  EXPECT_TRUE(backend_.print_jobs.empty()) << "the preview prints nothing itself";
}

TEST_F(PreviewTest, JumpToAPageAndChangeTheDisplay) {
  Compose(9);
  OpenPreview();
  Menu(kPreviewMenuJump);
  ui::Window& jump = W();
  ASSERT_EQ(jump.def().name, "PREVIEW:JUMPTOPAGE$JUMPWINDOW");
  EXPECT_EQ(jump.title(), "Jump to a Report Page");
  EXPECT_EQ(jump.Value(kJumpField), "1");
  EXPECT_EQ(jump.Find(kJumpField)->high, 9);
  jump.EnterValue(kJumpField, "12");
  scheduler_.RunReady();
  EXPECT_EQ(jump.Value(kJumpField), "9");
  jump.SetValue(kJumpField, "6");
  Post(preview_, ui::EVENT_Accepted, kJumpOk);
  EXPECT_EQ(W().def().name, "REPORTPREVIEW$PREVIEW:WINDOW");
  EXPECT_EQ(W().Status(2), "Page 6 of 9");

  Menu(kPreviewMenuJump);
  W().SetValue(kJumpField, "2");
  Post(preview_, ui::EVENT_Accepted, kJumpCancel);
  EXPECT_EQ(W().Status(2), "Page 6 of 9") << "Cancel keeps the page";

  Menu(kPreviewMenu75);
  Menu(kPreviewMenuChangeDisplay);
  ui::Window& display = W();
  ASSERT_EQ(display.def().name, "PREVIEW:SELECTDISPLAY$SELECTWINDOW");
  display.EnterValue(kDisplayAcrossField, "3");
  scheduler_.RunReady();
  display.EnterValue(kDisplayDownField, "40");
  scheduler_.RunReady();
  EXPECT_EQ(display.Value(kDisplayDownField), "10");
  Post(preview_, ui::EVENT_Accepted, kDisplayOk);
  EXPECT_EQ(W().Value(kPreviewAcrossField), "3");
  EXPECT_EQ(W().Value(kPreviewDownField), "10");
  EXPECT_EQ(W().Status(3), "Zoom (75%)") << "changing the display keeps the zoom";
  Menu(kPreviewMenuNoZoom);
  EXPECT_EQ(Cells().size(), 30u);
  EXPECT_EQ(W().Status(2), "Pages 6-9 of 9");
}

TEST_F(PreviewTest, UnreadableFirstPageStillOpensThePreview) {
  Compose(3);
  testing::WriteFile(pages_[0], "not a page");
  OpenPreview();
  EXPECT_EQ(Cells(), std::vector<int>({1}));
  EXPECT_EQ(Cell(1).w, static_cast<int>(280 / (static_cast<double>(kPageH) / kPageW)))
      << "the second page gives the proportions";
}

}  // namespace
}  // namespace mirabo::app
