// The pure helpers of the Qt binding: unit conversion, text crossing into
// Qt, file-dialog filters, control anchoring and the display check.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ui/qt/child_arrangement.h"
#include "ui/qt/control_layout.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_text.h"

namespace mirabo::ui::qt {
namespace {

TEST(DialogUnitsTest, ConvertsByQuarterCharacterAndEighthLine) {
  const DialogUnits du{6, 13};
  EXPECT_EQ(du.ToPixelsX(4), 6);
  EXPECT_EQ(du.ToPixelsX(439), 659);  // 658.5 rounds up
  EXPECT_EQ(du.ToPixelsY(8), 13);
  EXPECT_EQ(du.ToPixelsY(289), 470);  // 469.6
  EXPECT_EQ(du.FromPixelsX(659), 439);
  EXPECT_EQ(du.FromPixelsY(470), 289);
  // Off the left edge of the screen: rounds like the positive side.
  EXPECT_EQ(du.ToPixelsX(-1), -2);
  EXPECT_EQ(du.FromPixelsX(-2), -1);
}

TEST(DialogUnitsTest, UnitsSurvivePixelsForEveryUsualFont) {
  for (int cw = 4; cw <= 12; ++cw) {
    for (int ch = 8; ch <= 26; ++ch) {
      const DialogUnits du{cw, ch};
      for (int v = -40; v <= 600; ++v) {
        ASSERT_EQ(du.FromPixelsX(du.ToPixelsX(v)), v) << "width " << cw;
        ASSERT_EQ(du.FromPixelsY(du.ToPixelsY(v)), v) << "height " << ch;
      }
    }
  }
}

TEST(QtTextTest, Cp1252CrossesIntoUnicodeAndBack) {
  const std::string bytes = "Caf\xE9 \x80 \x93quoted\x94";
  const QString shown = FromCp1252(bytes);
  EXPECT_EQ(shown, QString::fromUtf8("Café € “quoted”"));
  EXPECT_EQ(ToCp1252(shown), bytes);
  // The undefined codes survive as well.
  const std::string odd = "\x81\x8D\x8F\x90\x9D";
  EXPECT_EQ(ToCp1252(FromCp1252(odd)), odd);
}

TEST(QtTextTest, UnrepresentableCharactersBecomeOneQuestionMarkEach) {
  EXPECT_EQ(ToCp1252(QString::fromUtf8("Ωmega")), "?mega");
  EXPECT_EQ(ToCp1252(QString::fromUtf8("a😀b")), "a?b");  // one mark for a surrogate pair
  EXPECT_FALSE(FitsCp1252(QString::fromUtf8("Ωmega")));
  EXPECT_TRUE(FitsCp1252(QString::fromUtf8("Größe €")));
}

TEST(QtTextTest, FileFiltersBecomeQtFiltersMatchingEitherCase) {
  const std::map<std::string, QString> cases = {
      {"HTML Files|*.HTM|All Files|*.*", "HTML Files (*.HTM *.htm);;All Files (*)"},
      {"Xbase|*.DBF;*.Dbf|Text (Delim)|*.txt",
       "Xbase (*.DBF *.dbf *.Dbf);;Text (Delim) (*.txt *.TXT)"},
      {"", "All Files (*)"},
      {"Dangling", "All Files (*)"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FileDialogFilter(in), out) << in;
}

TEST(QtTextTest, DefaultSuffixComesFromTheFirstConcretePattern) {
  EXPECT_EQ(DefaultSuffix("HTML Files|*.HTM|All Files|*.*"), QStringLiteral("HTM"));
  EXPECT_EQ(DefaultSuffix("All Files|*.*"), QString());
  EXPECT_EQ(DefaultSuffix("Backups|*.b?k"), QString());
  EXPECT_EQ(DefaultSuffix(""), QString());
}

// A browse, designed 240 x 160: a sheet around a list, a locator entry above
// it, a row of buttons below it (the last one reaching past the list's right
// edge), a button on its right and a line across the bottom.
const std::vector<LayoutItem>& Browse() {
  static const std::vector<LayoutItem> items = {
      {{2, 2, 190, 120}, false},     // 0 sheet around the list
      {{6, 20, 180, 90}, true, 30},  // 1 list, showing a row in 30
      {{6, 8, 60, 10}, false},       // 2 locator entry above the list
      {{196, 20, 40, 14}, false},    // 3 button right of the list
      {{6, 130, 40, 14}, false},     // 4 buttons below the list
      {{150, 130, 40, 14}, false},   // 5 ... the last across its edge
      {{0, 150, 240, 1}, false},     // 6 line across the bottom
  };
  return items;
}

bool Same(const Rect& a, const Rect& b) {
  return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}
bool Inside(const Rect& a, const Rect& b) {
  return a.x >= b.x && a.y >= b.y && a.x + a.w <= b.x + b.w && a.y + a.h <= b.y + b.h;
}
bool Apart(const Rect& a, const Rect& b) {
  return a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
}

TEST(ControlLayoutTest, ListsTakeTheExtraSpaceAndTheirNeighboursMove) {
  const std::vector<Rect> r = AnchorControls(Browse(), 240, 160, 270, 210);
  EXPECT_TRUE(Same(r[0], {2, 2, 220, 170}));
  EXPECT_TRUE(Same(r[1], {6, 20, 210, 140}));
  EXPECT_TRUE(Same(r[2], {6, 8, 60, 10}));
  EXPECT_TRUE(Same(r[3], {226, 20, 40, 14}));
  EXPECT_TRUE(Same(r[4], {6, 180, 40, 14}));
  EXPECT_TRUE(Same(r[5], {150, 180, 40, 14})) << "a button keeps its size and its row";
  EXPECT_TRUE(Same(r[6], {0, 200, 240, 1}));
}

TEST(ControlLayoutTest, ANarrowerWindowScalesItsLayout) {
  const std::vector<Rect> r = AnchorControls(Browse(), 240, 160, 120, 160);
  EXPECT_TRUE(Same(r[1], {3, 20, 90, 90}));
  EXPECT_TRUE(Same(r[3], {98, 20, 20, 14}));
  EXPECT_TRUE(Same(r[6], {0, 150, 120, 1}));
}

TEST(ControlLayoutTest, AShorterWindowTakesTheHeightFromTheListsFirst) {
  // 60 units less: the list gives them all, the buttons move up.
  std::vector<Rect> r = AnchorControls(Browse(), 240, 160, 240, 100);
  EXPECT_TRUE(Same(r[1], {6, 20, 180, 30}));
  EXPECT_TRUE(Same(r[4], {6, 70, 40, 14}));
  EXPECT_TRUE(Same(r[2], {6, 8, 60, 10})) << "above the list nothing moves";
  // 80 less: the list is at its minimum and the rest is scaled.
  r = AnchorControls(Browse(), 240, 160, 240, 80);
  EXPECT_TRUE(Same(r[1], {6, 16, 180, 24}));
  EXPECT_TRUE(Same(r[6], {0, 72, 240, 1}));
}

TEST(ControlLayoutTest, EverySizeKeepsTheControlsInsideAndApart) {
  const std::vector<LayoutItem>& items = Browse();
  for (int width = 40; width <= 400; width += 7) {
    for (int height = 30; height <= 300; height += 7) {
      const std::vector<Rect> r = AnchorControls(items, 240, 160, width, height);
      const Rect client{0, 0, width, height};
      for (size_t i = 0; i < r.size(); ++i) {
        ASSERT_TRUE(Inside(r[i], client)) << i << " at " << width << "x" << height;
        ASSERT_TRUE(r[i].w >= 1 && r[i].h >= 1);
        for (size_t j = i + 1; j < r.size(); ++j) {
          if (Apart(items[i].at, items[j].at)) {
            ASSERT_TRUE(Apart(r[i], r[j])) << i << "," << j << " at " << width << "x" << height;
          }
        }
      }
      ASSERT_TRUE(Inside(r[1], r[0])) << "the list stays in its sheet";
    }
  }
}

TEST(ControlLayoutTest, WindowsWithoutListsKeepTheirLayoutWhenLarger) {
  const std::vector<LayoutItem> items = {{{10, 10, 50, 14}, false}, {{70, 40, 50, 14}, false}};
  std::vector<Rect> r = AnchorControls(items, 130, 60, 230, 160);
  EXPECT_TRUE(Same(r[1], {70, 40, 50, 14}));
  r = AnchorControls(items, 130, 60, 65, 30);
  EXPECT_TRUE(Same(r[1], {35, 20, 25, 7}));
}

TEST(ChildArrangementTest, TileFillsTheAreaColumnByColumn) {
  const QSize area(900, 600);
  struct Case {
    int count;
    std::vector<QRect> cells;
  };
  const std::vector<Case> cases = {
      {1, {{0, 0, 900, 600}}},
      {2, {{0, 0, 450, 600}, {450, 0, 450, 600}}},
      {3, {{0, 0, 450, 600}, {450, 0, 450, 300}, {450, 300, 450, 300}}},
      {5,
       {{0, 0, 300, 600},
        {300, 0, 300, 300},
        {300, 300, 300, 300},
        {600, 0, 300, 300},
        {600, 300, 300, 300}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TileCells(c.count, area), c.cells) << c.count;
  }
  EXPECT_TRUE(TileCells(0, area).empty());
  // However many, the cells cover the area exactly once.
  for (int n = 1; n <= 64; ++n) {
    const std::vector<QRect> cells = TileCells(n, area);
    ASSERT_EQ(static_cast<int>(cells.size()), n);
    int covered = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
      ASSERT_TRUE(QRect(QPoint(0, 0), area).contains(cells[i])) << n;
      covered += cells[i].width() * cells[i].height();
      for (size_t j = i + 1; j < cells.size(); ++j) ASSERT_FALSE(cells[i].intersects(cells[j]));
    }
    EXPECT_EQ(covered, 900 * 600) << n;
  }
}

TEST(ChildArrangementTest, AWindowLargerThanItsCellStaysInsideTheArea) {
  const QSize area(900, 600);
  // The last cell of a row of three: its window needs 400 x 350.
  EXPECT_EQ(FitInside({600, 300, 300, 300}, {400, 350}, area), QRect(500, 250, 400, 350));
  EXPECT_EQ(FitInside({0, 0, 300, 300}, {100, 100}, area), QRect(0, 0, 300, 300));
  EXPECT_EQ(FitInside({600, 300, 300, 300}, {1000, 100}, area), QRect(0, 300, 1000, 300))
      << "wider than the area: its left edge shows";
}

TEST(ChildArrangementTest, CascadeStepsDownAndStartsAgainBeforeLeavingTheArea) {
  const std::vector<QSize> sizes(6, QSize(400, 300));
  const std::vector<QRect> r = CascadeRects(sizes, {600, 450}, 100);
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0], QRect(0, 0, 400, 300));
  EXPECT_EQ(r[1], QRect(100, 100, 400, 300));
  EXPECT_EQ(r[2], QRect(200, 200, 400, 250)) << "cut to the area";
  EXPECT_EQ(r[3], QRect(300, 300, 300, 150)) << "half of it still fits";
  EXPECT_EQ(r[4], QRect(0, 0, 400, 300)) << "less than half would";
  for (const QRect& c : r) EXPECT_TRUE(QRect(0, 0, 600, 450).contains(c));
  // A window larger than the area is cut to it.
  EXPECT_EQ(CascadeRects({{800, 500}}, {600, 450}, 30)[0], QRect(0, 0, 600, 450));
}

TEST(DisplayTest, NeedsADisplayServerOnlyForPlatformsThatUseOne) {
  struct Case {
    std::map<std::string, std::string> env;
    bool available;
  };
  const std::vector<Case> cases = {
      {{}, false},
      {{{"DISPLAY", ":0"}}, true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
      {{{"QT_QPA_PLATFORM", "xcb"}}, false},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":99"}}, true},
      {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":1"}}, true},
      {{{"QT_QPA_PLATFORM", "vnc:size=800x600"}}, true},
  };
  for (const Case& c : cases) {
    auto get = [&](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(DisplayAvailable(get), c.available) << testing::PrintToString(c.env);
  }
  EXPECT_NE(NoDisplayAdvice().find("QT_QPA_PLATFORM=offscreen"), std::string::npos);
}

}  // namespace
}  // namespace mirabo::ui::qt
