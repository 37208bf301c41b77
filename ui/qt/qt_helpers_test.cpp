// The pure helpers of the Qt binding: unit conversion, text crossing into
// Qt, file-dialog filters, control anchoring and the display check.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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

// A browse: a sheet around a list (the list pokes out of it on the right, as
// in the lookups), a locator entry above it, buttons below it and on its
// right, and a line across the bottom.
TEST(ControlLayoutTest, ListsTakeTheExtraSpaceAndTheirNeighboursMove) {
  const std::vector<LayoutItem> items = {
      {{2, 2, 180, 120}, false},   // sheet around the list
      {{6, 20, 180, 90}, true},    // list
      {{6, 8, 60, 10}, false},     // locator entry above the list
      {{190, 20, 40, 14}, false},  // button right of the list
      {{6, 130, 40, 14}, false},   // button below the list
      {{0, 150, 240, 1}, false},   // line across the bottom
  };
  const std::vector<Rect> r = AnchorControls(items, 30, 50);
  auto same = [](const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
  };
  EXPECT_TRUE(same(r[0], {2, 2, 210, 170}));
  EXPECT_TRUE(same(r[1], {6, 20, 210, 140}));
  EXPECT_TRUE(same(r[2], {6, 8, 60, 10}));
  EXPECT_TRUE(same(r[3], {220, 20, 40, 14}));
  EXPECT_TRUE(same(r[4], {6, 180, 40, 14}));
  EXPECT_TRUE(same(r[5], {0, 200, 270, 1}));
  // Smaller than designed: nothing collapses below one unit.
  const std::vector<Rect> small = AnchorControls(items, -500, -500);
  for (const Rect& s : small) EXPECT_TRUE(s.w >= 1 && s.h >= 1);
}

TEST(ControlLayoutTest, WindowsWithoutListsKeepTheirLayout) {
  const std::vector<LayoutItem> items = {{{10, 10, 50, 14}, false}, {{70, 40, 50, 14}, false}};
  const std::vector<Rect> r = AnchorControls(items, 100, 100);
  EXPECT_EQ(r[1].x, 70);
  EXPECT_EQ(r[1].y, 40);
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
