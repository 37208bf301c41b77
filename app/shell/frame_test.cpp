#include "app/shell/frame.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <optional>

#include <gtest/gtest.h>

#include "app/data/globals.h"
#include "app/data/profile.h"
#include "app/data/thread_block.h"
#include "app/shell/about.h"
#include "app/shell/data_folders.h"
#include "app/shell/procedures.h"
#include "app/startup.h"
#include "runtime/current_folder.h"
#include "tests/testing/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

std::tm At(int year, int month, int day, int h, int m, int s) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return t;
}

const ui::WindowDef& ChildDef() {
  static const ui::WindowDef def = [] {
    ui::WindowDef d;
    d.name = "CHILD$WINDOW";
    d.width = 100;
    d.height = 60;
    d.flags = ui::kMdiChild | ui::kResizable;
    return d;
  }();
  return def;
}

// A stand-in browse: an MDI child that records what reaches it.
std::vector<std::pair<int, int>>* g_child_log = nullptr;
std::vector<ui::Window*>* g_children = nullptr;

ui::Proc FakeBrowse() {
  ui::Window w(ChildDef());
  w.Open();
  g_children->push_back(&w);
  const int me = ui::Scheduler::Get().Current();
  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_Accepted) g_child_log->push_back({me, e.control});
  }
  w.Close();
}

// A stand-in procedure that, asked to close, first waits for its user.
std::function<void(bool)>* g_pending_answer = nullptr;
bool g_busy_closed = false;

ui::Proc BusyProcedure() {
  ui::Window w(ChildDef());
  w.Open();
  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_CloseWindow) {
      ui::ModalAwaiter<bool> ask([](std::function<void(bool)> done) { *g_pending_answer = done; });
      co_await ask;
    }
  }
  g_busy_closed = true;
  w.Close();
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    chdir_ = std::make_unique<testing::ScopedChdir>(data_.path());
    g_child_log = &child_log_;
    g_children = &children_;
    SetLocalTimeSource([this] { return now_; });
    StartUp(scheduler_);
    scheduler_.Start(Program());
    scheduler_.RunReady();
  }
  void TearDown() override {
    SetLocalTimeSource([] {
      const std::time_t t = std::time(nullptr);
      std::tm tm{};
      localtime_r(&t, &tm);
      return tm;
    });
    unsetenv("XDG_CONFIG_HOME");
  }

  ui::Window& Frame() { return *scheduler_.TopWindow(1); }
  void Choose(int id) {
    Frame().Post(ui::EVENT_Accepted, id);
    scheduler_.RunReady();
  }

  testing::TempDir config_, data_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
  std::tm now_ = At(1997, 12, 1, 0, 30, 0);  // a Monday
  ui::HeadlessBackend backend_;
  ui::VirtualClock clock_;
  ui::Scheduler scheduler_{backend_, clock_};
  std::vector<std::pair<int, int>> child_log_;
  std::vector<ui::Window*> children_;
};

TEST_F(FrameTest, OpensWithItsCaptionClockAndGreeting) {
  ui::Window& f = Frame();
  EXPECT_EQ(f.title(), "Mirabo Features Database Browser");
  EXPECT_EQ(f.Status(3), "Monday, DEC  1,1997");
  EXPECT_EQ(f.Status(4), "12:30AM");
  EXPECT_EQ(f.timer(), 100);
  ASSERT_EQ(backend_.opened.size(), 2u);
  EXPECT_EQ(backend_.opened[1], "ABOUTQRT$WINDOW") << "the About window greets the user";
  EXPECT_EQ(scheduler_.StackSize(2), ui::kMinStack);
}

TEST(FrameTextTest, EveryWeekdayHasItsName) {
  const char* names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                         "Thursday", "Friday", "Saturday"};
  for (int d = 0; d < 7; ++d) {
    // 7 to 13 December 1997 run from Sunday to Saturday.
    const std::string text = FrameDateText(At(1997, 12, 7 + d, 12, 0, 0));
    EXPECT_EQ(text, std::string(names[d]) + ", DEC " + (7 + d < 10 ? " " : "") +
                        std::to_string(7 + d) + ",1997");
  }
}

TEST_F(FrameTest, TheClockFollowsTheTimeAndTheDateChangesAtMidnight) {
  now_ = At(1997, 12, 1, 23, 59, 59);
  scheduler_.Advance(1000);
  EXPECT_EQ(Frame().Status(4), "11:59PM");
  now_ = At(1997, 12, 2, 0, 0, 0);
  scheduler_.Advance(1000);
  EXPECT_EQ(Frame().Status(3), "Tuesday, DEC  2,1997");
  EXPECT_EQ(Frame().Status(4), "12:00AM");
}

ui::Proc StartUnknown() { (void)co_await StartProcedure("NoSuchProcedure", 0); }

TEST_F(FrameTest, AProcedureNotDefinedIsReportedByName) {
  scheduler_.Start(StartUnknown());
  scheduler_.RunReady();
  ASSERT_FALSE(backend_.messages.empty());
  const auto& m = backend_.messages.back().request;
  EXPECT_EQ(m.caption, "Procedure not defined");
  EXPECT_EQ(m.text, "The Procedure NoSuchProcedure has not been defined.");
}

TEST_F(FrameTest, SearchOpensTheSearchWindowOnAThreadOfItsOwnFromTheMenuAndTheToolbar) {
  for (int id : {kMenuSearch, kToolSearch}) {
    Choose(id);
    EXPECT_EQ(backend_.opened.back(), "SEARCHFEATURES$WINDOW");
    const ui::ThreadId thread = scheduler_.windows().back()->owner();
    EXPECT_NE(thread, 1);
    EXPECT_EQ(scheduler_.StackSize(thread), 25000);
  }
  EXPECT_TRUE(backend_.messages.empty());
}

TEST_F(FrameTest, CreateFileOpensTheCopyWindowOnAThreadOfItsOwn) {
  Choose(kMenuCreateFile);
  EXPECT_EQ(backend_.opened.back(), "CREATEFILES$WINDOW");
  const ui::ThreadId id = scheduler_.windows().back()->owner();
  EXPECT_NE(id, 1);
  EXPECT_EQ(scheduler_.StackSize(id), 25000);
}

TEST_F(FrameTest, TheFirstChoiceClosesTheGreetingAndIsCarriedOut) {
  RegisterProcedure("BrowseFEATURES", FakeBrowse);
  EXPECT_TRUE(scheduler_.Alive(2));
  Choose(kMenuBrowseFeatures);
  EXPECT_FALSE(scheduler_.Alive(2)) << "the greeting closed";
  ASSERT_EQ(children_.size(), 1u);
  EXPECT_EQ(scheduler_.StackSize(children_[0]->owner()), 50000);
  // Twice gives two independent browses.
  Choose(kToolFeatures);
  ASSERT_EQ(children_.size(), 2u);
  EXPECT_NE(children_[0]->owner(), children_[1]->owner());
  EXPECT_EQ(scheduler_.StackSize(children_[1]->owner()), 25000);
}

TEST_F(FrameTest, NavigationButtonsReachOnlyTheActiveChild) {
  RegisterProcedure("BrowseFEATURES", FakeBrowse);
  Choose(kMenuBrowseFeatures);
  Choose(kMenuBrowseFeatures);
  ASSERT_EQ(children_.size(), 2u);
  Choose(kToolDown);
  EXPECT_TRUE(child_log_.empty()) << "no child is active";
  scheduler_.SetActiveChild(children_[1]);
  Choose(kToolDown);
  Choose(kToolHelp);
  Choose(kToolSuppliers + 0);  // not a navigation button: the frame's own
  const int second = children_[1]->owner();
  EXPECT_EQ(child_log_,
            (std::vector<std::pair<int, int>>{{second, kToolDown}, {second, kToolHelp}}));
}

TEST_F(FrameTest, SelectThenPrintPutsTheLookupInSelectMode) {
  RegisterProcedure("BrowseSupplier", FakeBrowse);
  Choose(kMenuBySupplier);
  EXPECT_EQ(ReportAfterSelect.value, 100);
  ASSERT_EQ(children_.size(), 1u);
  EXPECT_EQ(scheduler_.StackSize(children_[0]->owner()), ui::kMinStack);
  ReportAfterSelect.value = 0;
}

TEST_F(FrameTest, ExitClosesEveryWindowSavesThePositionAndEndsTheProgram) {
  RegisterProcedure("BrowseFEATURES", FakeBrowse);
  Choose(kMenuBrowseFeatures);
  ui::Geometry moved = Frame().geometry();
  moved.x = 40;
  moved.y = 30;
  Frame().SetGeometry(moved);
  Choose(kMenuExit);
  EXPECT_TRUE(scheduler_.exited());
  EXPECT_EQ(scheduler_.exit_code(), 0);
  EXPECT_TRUE(scheduler_.windows().empty()) << "the browse closed too";
  EXPECT_EQ(GetProfileString("Main", "XPosit", "KOLVAN.INI"), "40");
  EXPECT_EQ(GetProfileString("Main", "Maximize", "KOLVAN.INI"), "No");
}

TEST_F(FrameTest, TheProgramWaitsForAProcedureThatIsBusyWithItsUser) {
  std::function<void(bool)> answer;
  g_pending_answer = &answer;
  g_busy_closed = false;
  RegisterProcedure("BrowseReview", BusyProcedure);
  Choose(kMenuBrowseReview);
  Choose(kMenuExit);
  EXPECT_FALSE(scheduler_.exited()) << "the procedure is asking its user";
  ASSERT_TRUE(answer);
  scheduler_.Advance(1000);
  EXPECT_FALSE(scheduler_.exited());
  answer(true);
  scheduler_.Advance(100);
  EXPECT_TRUE(g_busy_closed) << "it went through its exit steps";
  EXPECT_TRUE(scheduler_.exited());
}

TEST_F(FrameTest, AProcedureThatNeverAnswersDoesNotKeepTheProgramAlive) {
  std::function<void(bool)> answer;
  g_pending_answer = &answer;
  RegisterProcedure("BrowseReview", BusyProcedure);
  Choose(kMenuBrowseReview);
  Choose(kMenuExit);
  scheduler_.Advance(4000);
  EXPECT_FALSE(scheduler_.exited());
  scheduler_.Advance(2000);
  EXPECT_TRUE(scheduler_.exited());
  EXPECT_EQ(scheduler_.exit_code(), 0);
}

TEST_F(FrameTest, PrinterSetupAndHelpUseTheWindowLayer) {
  Choose(kMenuPrintSetup);
  Choose(kMenuHelpContents);
  Choose(kMenuHelpSearch);
  Choose(kMenuHelpHowTo);
  EXPECT_EQ(backend_.printer_setups, 1);
  EXPECT_EQ(backend_.help,
            (std::vector<ui::HelpAction>{ui::HelpAction::kContents, ui::HelpAction::kSearch,
                                         ui::HelpAction::kHowToUse}));
}

// File, Open Data Folder: the folder picked becomes the data folder and the
// first of Recent Data Folders, whose items then name it; a recent folder
// chosen is used again; a folder that cannot be entered changes nothing.
TEST_F(FrameTest, OpenDataFolderAndRecentFoldersMoveTheDataFolder) {
  testing::TempDir first, second;
  for (const testing::TempDir* d : {&first, &second}) {
    testing::WriteFile(d->File("FEATURES.KVX"), "");  // a folder that holds data files
  }
  const std::string missing = first.File("gone");
  struct Case {
    const char* name;
    std::optional<std::string> picked;  // the folder dialog's answer
    int recent;                         // or the recent item chosen (0 for none)
    std::string now_in;                 // the data folder afterwards
    std::vector<std::string> recent_after;
  };
  const Case cases[] = {
      {"the first folder", first.path(), 0, first.path(), {first.path(), data_.path()}},
      {"the second", second.path(), 0, second.path(), {second.path(), first.path(), data_.path()}},
      {"the dialog cancelled",
       std::nullopt,
       0,
       second.path(),
       {second.path(), first.path(), data_.path()}},
      {"a recent one again", {}, 2, first.path(), {first.path(), second.path(), data_.path()}},
      {"one that went", missing, 0, first.path(), {first.path(), second.path(), data_.path()}},
  };
  RememberDataFolder(data_.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.recent) {
      Choose(kMenuRecentFolder1 - (c.recent - 1));
    } else {
      backend_.file_answers = {c.picked};
      backend_.answers = {ui::kButtonYes};
      Choose(kMenuOpenDataFolder);
    }
    EXPECT_EQ(CurrentFolder().value_or(""), c.now_in);
    EXPECT_EQ(RecentDataFolders(), c.recent_after);
    for (size_t i = 0; i < c.recent_after.size(); ++i) {
      const ui::Window::MenuText* t =
          Frame().FindMenuText(kMenuRecentFolder1 - static_cast<int>(i));
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->text, c.recent_after[i]);
      EXPECT_FALSE(Frame().MenuHidden(kMenuRecentFolder1 - static_cast<int>(i)));
    }
    EXPECT_TRUE(Frame().MenuHidden(kMenuRecentFolder1 - static_cast<int>(c.recent_after.size())));
  }
  EXPECT_EQ(backend_.file_dialogs.back().folder, true);
  EXPECT_EQ(backend_.messages.back().request.detail.rfind(missing, 0), 0u)
      << "the folder that could not be used is named";
}

TEST(AboutTest, ClosesAfterFiveSecondsOrOnAClick) {
  testing::TempDir config;
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  ui::HeadlessBackend backend;
  ui::VirtualClock clock;
  ui::Scheduler s(backend, clock);
  UseSchedulerThreadBlocks();
  const int id = s.Start(AboutQRT());
  s.RunReady();
  s.Advance(4990);
  EXPECT_TRUE(s.Alive(id));
  s.Advance(10);
  EXPECT_FALSE(s.Alive(id)) << "gone after five seconds";

  for (int key : {ui::MouseLeft, ui::MouseLeft2, ui::MouseRight}) {
    const int again = s.Start(AboutQRT());
    s.RunReady();
    s.TopWindow(again)->Post(ui::EVENT_AlertKey, 0, key);
    s.RunReady();
    EXPECT_FALSE(s.Alive(again)) << "a click closes it at once";
  }
  EXPECT_NE(GetProfileString("AboutQRT", "Maximize", "KOLVAN.INI"), "") << "its position was saved";
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace mirabo::app
