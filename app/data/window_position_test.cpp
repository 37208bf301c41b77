#include "app/data/window_position.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "app/data/profile.h"
#include "tests/testing/temp_dir.h"
#include "ui/headless.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A headless desktop of a given size, or of none when `area` is empty.
class DesktopBackend : public ui::HeadlessBackend {
 public:
  std::optional<std::pair<int, int>> area;
  bool DesktopArea(int* width, int* height) override {
    if (!area) return false;
    *width = area->first;
    *height = area->second;
    return true;
  }
};

ui::WindowDef BrowseDef(bool resizable, int width = 300, int height = 150) {
  ui::WindowDef d;
  d.name = "BROWSEFEATURES$QUICKWINDOW";
  d.title = "Browse the FEATURES File";
  d.x = 10;
  d.y = 20;
  d.width = width;
  d.height = height;
  d.flags = ui::kMdiChild | (resizable ? ui::kResizable : 0u);
  return d;
}

// "x,y wxh", with " maximized" / " minimized" when set: failures read at a glance.
std::string Describe(const ui::Geometry& g) {
  std::string s = std::to_string(g.x) + "," + std::to_string(g.y) + " " + std::to_string(g.width) +
                  "x" + std::to_string(g.height);
  if (g.maximized) s += " maximized";
  if (g.minimized) s += " minimized";
  return s;
}

ui::Proc OpenAndRun(const ui::WindowDef& def, std::function<void(ui::Window&)> body) {
  ui::Window w(def);
  w.Open();
  body(w);
  w.Close();
  co_return;
}

class WindowPositionTest : public ::testing::Test {
 protected:
  static constexpr const char* kSection = "BrowseFEATURES";

  testing::TempDir config_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path().c_str()};
  const std::string ini_ = config_.File("mirabo/KOLVAN.INI");
  DesktopBackend backend_;
  ui::VirtualClock clock_;
  ui::Scheduler scheduler_{backend_, clock_};

  // Runs `body` on a procedure thread against an open window of `def`.
  void WithWindow(const ui::WindowDef& def, std::function<void(ui::Window&)> body) {
    scheduler_.Start(OpenAndRun(def, std::move(body)));
    scheduler_.RunReady();
    ASSERT_EQ(scheduler_.thread_count(), 0) << "the procedure ran to its end";
  }

  // Saves a window of `def` placed at `g`; returns the window's state after the save.
  ui::Geometry Save(const ui::WindowDef& def, const ui::Geometry& g) {
    ui::Geometry after;
    WithWindow(def, [&](ui::Window& w) {
      w.SetGeometry(g);
      SaveWindowPosition(w, kSection);
      after = w.geometry();
    });
    return after;
  }

  // Opens a window of `def`, maximized first if asked, and restores it.
  ui::Geometry Restore(const ui::WindowDef& def, bool maximized = false, int min_width = 0,
                       int min_height = 0) {
    ui::Geometry after;
    WithWindow(def, [&](ui::Window& w) {
      if (maximized) {
        ui::Geometry g = w.geometry();
        g.maximized = true;
        w.SetGeometry(g);
      }
      if (min_width || min_height) w.SetMinimumSize(min_width, min_height);
      RestoreWindowPosition(w, kSection);
      after = w.geometry();
    });
    return after;
  }

  void GivenSection(const std::string& entries) {
    std::filesystem::create_directories(config_.File("mirabo"));
    WriteFile(ini_, "[Main]\nXPosit=1\n\n[" + std::string(kSection) + "]\n" + entries);
  }
};

TEST_F(WindowPositionTest, SaveWritesTheFiveKeysInOrderAsPlainIntegers) {
  const ui::Geometry after = Save(BrowseDef(true), {12, 34, 200, 100});
  EXPECT_EQ(Describe(after), "12,34 200x100");
  EXPECT_EQ(ReadFile(ini_),
            "[BrowseFEATURES]\nMaximize=No\nXPosit=12\nYPosit=34\nWidth=200\nHeight=100\n");

  // A later close replaces the values and adds nothing.
  Save(BrowseDef(true), {1, 2, 3000, 4});
  EXPECT_EQ(ReadFile(ini_),
            "[BrowseFEATURES]\nMaximize=No\nXPosit=1\nYPosit=2\nWidth=3000\nHeight=4\n");
}

TEST_F(WindowPositionTest, AWindowClosedMinimizedLeavesEarlierValuesUnchanged) {
  Save(BrowseDef(true), {50, 60, 70, 80, false, true});
  EXPECT_FALSE(std::filesystem::exists(ini_)) << "a first close while minimized saves nothing";

  Save(BrowseDef(true), {12, 34, 200, 100});
  const std::string saved = ReadFile(ini_);
  const ui::Geometry minimized = Save(BrowseDef(true), {50, 60, 70, 80, false, true});
  EXPECT_EQ(Describe(minimized), "50,60 70x80 minimized");
  // Minimized from the maximized state: still nothing written.
  const ui::Geometry from_maximized = Save(BrowseDef(true), {50, 60, 70, 80, true, true});
  EXPECT_EQ(Describe(from_maximized), "50,60 70x80 minimized");
  EXPECT_EQ(ReadFile(ini_), saved);
}

TEST_F(WindowPositionTest, AWindowClosedMaximizedReopensMaximizedOverItsNormalPlacement) {
  const ui::Geometry after = Save(BrowseDef(true), {40, 30, 250, 120, true});
  EXPECT_EQ(Describe(after), "40,30 250x120") << "the save takes the window out of maximized";
  EXPECT_EQ(GetProfileString(kSection, "Maximize", "KOLVAN.INI"), "Yes");
  EXPECT_EQ(GetProfileString(kSection, "Width", "KOLVAN.INI"), "250");

  // Reopened: maximized, and un-maximizing returns to the saved placement.
  EXPECT_EQ(Describe(Restore(BrowseDef(true))), "40,30 250x120 maximized");
}

TEST_F(WindowPositionTest, RestoreAppliesWhatTheProfileHolds) {
  // The definition places the window at 10,20 with 300x150.
  struct Case {
    const char* name;
    const char* entries;
    bool resizable;
    bool maximized_before;
    const char* expected;
  } cases[] = {
      {"nothing saved", "", true, false, "10,20 300x150"},
      {"nothing saved leaves a maximized window maximized", "", true, true,
       "10,20 300x150 maximized"},
      {"an XPosit of 0 leaves even Maximize alone",
       "Maximize=Yes\nXPosit=0\nYPosit=5\nWidth=100\nHeight=50\n", true, false, "10,20 300x150"},
      {"an XPosit that is no number counts as none", "Maximize=Yes\nXPosit=left\n", true, true,
       "10,20 300x150 maximized"},
      {"a huge XPosit counts as none", "Maximize=Yes\nXPosit=5000000\nYPosit=5\n", true, false,
       "10,20 300x150"},
      {"everything saved", "Maximize=No\nXPosit=40\nYPosit=30\nWidth=250\nHeight=120\n", true,
       false, "40,30 250x120"},
      {"a Y of 0 is not applied but Maximize is",
       "Maximize=Yes\nXPosit=40\nYPosit=0\nWidth=250\nHeight=120\n", true, false,
       "10,20 300x150 maximized"},
      {"a missing Y is not applied but Maximize is, in any case",
       "Maximize=yES\nXPosit=40\nWidth=250\nHeight=120\n", true, false, "10,20 300x150 maximized"},
      {"a resizable window with a Width of 0 stays",
       "Maximize=No\nXPosit=40\nYPosit=30\nWidth=0\nHeight=120\n", true, false, "10,20 300x150"},
      {"a size that is no number is none", "XPosit=40\nYPosit=30\nWidth=250px\nHeight=120\n", true,
       false, "10,20 300x150"},
      {"a negative X is not applied", "Maximize=Yes\nXPosit=-40\nYPosit=30\n", true, false,
       "10,20 300x150 maximized"},
      {"a negative Height is not applied", "XPosit=40\nYPosit=30\nWidth=250\nHeight=-1\n", true,
       false, "10,20 300x150"},
      {"a fixed-size window keeps its designed size",
       "Maximize=No\nXPosit=40\nYPosit=30\nWidth=999\nHeight=0\n", false, false, "40,30 300x150"},
      {"a window maximized already is not moved, only un-maximized",
       "Maximize=No\nXPosit=40\nYPosit=30\nWidth=250\nHeight=120\n", true, true, "10,20 300x150"},
      {"anything but Yes is not maximized", "Maximize=Y\nXPosit=40\nYPosit=30\n", false, true,
       "10,20 300x150"},
      {"Yes with blanks around it is maximized", "Maximize=  Yes \nXPosit=40\nYPosit=30\n", false,
       false, "40,30 300x150 maximized"},
  };
  for (const Case& c : cases) {
    GivenSection(c.entries);
    EXPECT_EQ(Describe(Restore(BrowseDef(c.resizable), c.maximized_before)), c.expected) << c.name;
  }
}

TEST_F(WindowPositionTest, RestoreKeepsAWindowWithinReachOnTheDesktop) {
  struct Case {
    const char* name;
    std::optional<std::pair<int, int>> area;
    const char* entries;
    bool resizable;
    int width, height;          // the definition's size
    int min_width, min_height;  // the window's minimum size
    const char* expected;
  } cases[] = {
      {"a place on the desktop is kept", std::pair(400, 300),
       "XPosit=40\nYPosit=30\nWidth=250\nHeight=120\n", true, 300, 150, 0, 0, "40,30 250x120"},
      {"a place beyond the desktop leaves a corner inside", std::pair(400, 300),
       "XPosit=1000\nYPosit=1000\nWidth=200\nHeight=100\n", true, 300, 150, 0, 0,
       "368,284 200x100"},
      {"a fixed-size window beyond the desktop likewise", std::pair(400, 300),
       "XPosit=999999\nYPosit=500\nWidth=10\nHeight=10\n", false, 300, 150, 0, 0,
       "368,284 300x150"},
      {"a window narrower than the corner stays wholly inside", std::pair(400, 300),
       "XPosit=1000\nYPosit=1000\n", false, 20, 10, 0, 0, "380,290 20x10"},
      {"a resizable window is no larger than the desktop", std::pair(400, 300),
       "XPosit=50\nYPosit=50\nWidth=900\nHeight=700\n", true, 300, 150, 0, 0, "50,50 400x300"},
      {"nor smaller than its minimum size", std::pair(400, 300),
       "XPosit=50\nYPosit=50\nWidth=100\nHeight=40\n", true, 300, 150, 250, 200, "50,50 250x200"},
      {"the minimum size wins over a small desktop", std::pair(200, 100),
       "XPosit=50\nYPosit=50\nWidth=900\nHeight=700\n", true, 300, 150, 250, 0, "50,50 250x100"},
      {"a fixed-size window is not shrunk to the desktop", std::pair(200, 100),
       "XPosit=5\nYPosit=5\n", false, 300, 150, 0, 0, "5,5 300x150"},
      {"without a known desktop the saved place is taken", std::nullopt,
       "XPosit=1000\nYPosit=1000\nWidth=200\nHeight=100\n", true, 300, 150, 0, 0,
       "1000,1000 200x100"},
  };
  for (const Case& c : cases) {
    backend_.area = c.area;
    GivenSection(c.entries);
    const ui::WindowDef def = BrowseDef(c.resizable, c.width, c.height);
    EXPECT_EQ(Describe(Restore(def, false, c.min_width, c.min_height)), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace mirabo::app
