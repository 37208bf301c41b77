// The Features browse open on the headless program, for the benchmarks that
// time the user's moves in it; one session at a time, kept between cases.
// Header-only: the benchmarks that use it link the application themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "app/browse/browses.h"
#include "bench/headless_program.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::bench {

struct BrowseSession : HeadlessProgram<ui::VirtualClock> {
  // `before` runs once the program is set up, before the browse opens (to
  // point the program at other data).
  explicit BrowseSession(int64_t features, const std::function<void()>& before = {})
      : HeadlessProgram(features) {
    if (before) before();
    id = scheduler->Start(app::BrowseFEATURES());
    scheduler->RunReady();
  }
  ui::Window& Win() { return *scheduler->TopWindow(id); }
  void Post(int code, int control = app::kBrowseList) {
    Win().Post(code, control);
    scheduler->RunReady();
  }
  void Tab(int tab) {
    Win().SetChoice(app::kBrowseSheet, tab);
    Post(ui::EVENT_NewSelection, app::kBrowseSheet);
  }
  ui::ThreadId id = 0;
};

// The session for `key`, made by `make` when it is not the one open (the
// one open goes first: one scheduler at a time).
template <typename Key, typename Make>
BrowseSession& SessionFor(Key key, Make make) {
  static std::map<Key, std::unique_ptr<BrowseSession>> sessions;
  auto it = sessions.find(key);
  if (it != sessions.end()) return *it->second;
  sessions.clear();
  auto& s = sessions[key];
  s = make();
  return *s;
}

}  // namespace mirabo::bench
