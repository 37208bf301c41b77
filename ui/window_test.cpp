#include "ui/window.h"

#include <gtest/gtest.h>

#include "ui/headless.h"
#include "ui/image_source.h"
#include "ui/scheduler.h"

namespace mirabo::ui {
namespace {

const WindowDef& Def() {
  static const WindowDef d = [] {
    WindowDef w;
    w.name = "TEST$WINDOW";
    w.font_size = 10;
    ControlDef group{.kind = ControlKind::kGroup, .id = 1, .text = "Pages"};
    group.children = {{.kind = ControlKind::kSpin, .id = 2, .low = 1, .high = 10},
                      {.kind = ControlKind::kPrompt, .id = 3, .text = "&Across:"}};
    w.controls = {group, {.kind = ControlKind::kEntry, .id = 4}};
    return w;
  }();
  return d;
}

class WindowTest : public ::testing::Test {
 protected:
  // Runs a procedure that opens the window and records its events.
  void SetUp() override {
    auto proc = [](WindowTest* t) -> Proc {
      Window w(Def());
      w.Open();
      t->window_ = &w;
      while (Event e = co_await w.Accept()) t->events_.push_back(e);
      t->window_ = nullptr;
    };
    scheduler_.Start(proc(this));
    scheduler_.RunReady();
    events_.clear();
  }
  Event Enter(int id, const std::string& typed) {
    events_.clear();
    window_->EnterValue(id, typed);
    scheduler_.RunReady();
    return events_.empty() ? Event{} : events_.back();
  }

  HeadlessBackend backend_;
  VirtualClock clock_;
  Scheduler scheduler_{backend_, clock_};
  Window* window_ = nullptr;
  std::vector<Event> events_;
};

TEST_F(WindowTest, SpinEntriesOutsideTheRangeAreRejectedWithWhatWasTyped) {
  struct Case {
    const char* typed;
    int code;
  };
  const Case cases[] = {{"1", EVENT_Accepted}, {" 10 ", EVENT_Accepted}, {"11", EVENT_Rejected},
                        {"0", EVENT_Rejected}, {"-2", EVENT_Rejected},   {"abc", EVENT_Rejected},
                        {"", EVENT_Rejected},  {"5x", EVENT_Rejected}};
  for (const Case& c : cases) {
    const Event e = Enter(2, c.typed);
    EXPECT_EQ(e.code, c.code) << "\"" << c.typed << "\"";
    EXPECT_EQ(e.control, 2);
    EXPECT_EQ(window_->Value(2), c.typed);
  }
  EXPECT_EQ(Enter(4, "anything").code, EVENT_Accepted) << "other entries have no range";
}

TEST_F(WindowTest, ControlsAreCreatedByNumberAndRemovedWithWhatSitsOnThem) {
  ASSERT_NE(window_->CreateControl({.kind = ControlKind::kImage, .id = 200, .at = {1, 2, 3, 4}}),
            nullptr);
  EXPECT_EQ(window_->CreateControl({.kind = ControlKind::kBox, .id = 200}), nullptr);
  EXPECT_EQ(window_->CreateControl({.kind = ControlKind::kBox, .id = 2}), nullptr);
  const uint64_t first = window_->Find(200)->serial;
  EXPECT_EQ(window_->Find(200)->at.w, 3);
  window_->SetPosition(200, 5, 6, 7, 8);
  EXPECT_EQ(window_->Find(200)->at.x, 5);

  window_->Select(2);
  window_->RemoveControl(1);  // the group, its spin field and its prompt
  EXPECT_EQ(window_->Find(1), nullptr);
  EXPECT_EQ(window_->Find(2), nullptr);
  EXPECT_EQ(window_->Find(3), nullptr);
  EXPECT_NE(window_->Find(4), nullptr);
  EXPECT_EQ(window_->focus(), 0) << "the focus does not stay on a removed control";

  window_->RemoveControl(200);
  window_->RemoveControl(200);  // unknown now: ignored
  ASSERT_NE(window_->CreateControl({.kind = ControlKind::kImage, .id = 200}), nullptr);
  EXPECT_NE(window_->Find(200)->serial, first) << "a new control, though the same number";
}

TEST_F(WindowTest, ImageNaturalSizeComesFromItsKindInTheWindowsUnits) {
  RegisterImageKind("test-square", [](const std::string& name, int* w, int* h) {
    if (name != "square") return false;
    *w = *h = 1000;  // one inch
    return true;
  });
  window_->CreateControl({.kind = ControlKind::kImage, .id = 300, .icon = "square"});
  int w = 0, h = 0;
  ASSERT_TRUE(window_->NaturalSize(300, &w, &h));
  // An inch is 96 pixels; a 10-point unit is 7.5 / 4 wide and 16.25 / 8 high.
  EXPECT_EQ(w, 51);
  EXPECT_EQ(h, 47);
  window_->SetIcon(300, "circle");
  EXPECT_FALSE(window_->NaturalSize(300, &w, &h));
  EXPECT_FALSE(window_->NaturalSize(999, &w, &h));
}

}  // namespace
}  // namespace mirabo::ui
