// The browse procedure: the window's life and event loop, the request
// cycle of Insert, Change and Delete, the list's events and the frame's
// toolbar.  The engine it drives is in browse.cpp.
#include "app/browse/browse.h"

#include <algorithm>

#include "app/browse/html_export.h"
#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "app/shell/frame.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

// Tool tips the browse gives the frame's navigation buttons.
struct ToolTip {
  int id;
  const char* tip;
};
constexpr ToolTip kToolTips[] = {
    {kToolInsert, "Insert a new Record"},  {kToolBottom, "Go to the Last Page"},
    {kToolTop, "Go to the First Page"},    {kToolPageDown, "Go to the Next Page"},
    {kToolPageUp, "Go to the Prior Page"}, {kToolDown, "Go to the Next Record"},
    {kToolUp, "Go to the Prior Record"},
};

}  // namespace

ui::Window* FrameWindow() {
  if (!ui::Scheduler::Installed()) return nullptr;
  for (ui::Window* w : ui::Scheduler::Get().windows()) {
    if (w->def().flags & ui::kMdiFrame) return w;
  }
  return nullptr;
}

Browse::Browse(const BrowseDesign& design) : design_(design), orders_(design.orders.size()) {}

Browse::~Browse() = default;

void Browse::Press(int control) {
  if (control) window_->Post(ui::EVENT_Accepted, control);
}

void Browse::SyncToolbar(int accepted) {
  ui::Window* frame = FrameWindow();
  if (frame) {
    for (int id = kToolBottom; id <= kToolLocate; ++id) frame->Enable(id);
    frame->Disable(kToolHistory);
    auto mirror = [&](int tool, int control) {
      const ui::Control* c = control ? window_->Find(control) : nullptr;
      frame->Enable(tool, c && !c->disabled);
    };
    mirror(kToolHelp, design_.help);
    if (design_.select) mirror(kToolSelect, design_.select);
    mirror(kToolInsert, design_.insert);
    mirror(kToolChange, design_.change);
    mirror(kToolDelete, design_.del);
    for (const ToolTip& t : kToolTips) frame->SetTooltip(t.id, t.tip);
  }
  switch (accepted) {
    case kToolBottom:
      window_->Post(ui::EVENT_ScrollBottom, design_.list);
      break;
    case kToolTop:
      window_->Post(ui::EVENT_ScrollTop, design_.list);
      break;
    case kToolPageDown:
      window_->Post(ui::EVENT_PageDown, design_.list);
      break;
    case kToolPageUp:
      window_->Post(ui::EVENT_PageUp, design_.list);
      break;
    case kToolDown:
      window_->Post(ui::EVENT_ScrollDown, design_.list);
      break;
    case kToolUp:
      window_->Post(ui::EVENT_ScrollUp, design_.list);
      break;
    case kToolLocate:
      window_->Post(ui::EVENT_Locate, design_.list);
      break;
    case kToolHelp:
      Press(design_.help);
      break;
    case kToolInsert:
      Press(design_.insert);
      break;
    case kToolChange:
      Press(design_.change);
      break;
    case kToolDelete:
      Press(design_.del);
      break;
    default:
      break;
  }
}

ui::Proc Browse::UpdateRequest(int request) {
  ThreadBlock& block = CurrentThread();
  File& primary = file(design_.primary);
  if (request == ReqInsert) {
    primary.ClearRecord();
    if (design_.on_insert) design_.on_insert(*this);
  }
  local_request_ = request;
  view_->Close();
  block.SharedRequest.value = local_request_;
  block.SharedNavRequest.value = 0;
  local_response_ = block.SharedResponse.value;
  ResetView();
  if (request == ReqDelete && local_response_ == RespCompleted && !page_.empty()) {
    page_.erase(page_.begin() + (current_row_ - 1));
    current_row_ = std::min<int>(current_row_, static_cast<int>(page_.size()));
  }
  if (request != ReqDelete && local_response_ == RespCompleted) {
    Locate(LocateMode::kOnRecord);
  } else {
    Refresh(RefreshMode::kAroundPage);
  }
  BuildKeyStops();
  PostNewSelection();
  window_->Select(design_.list);
  local_request_ = opening_request_;
  local_response_ = RespCancelled;
  Reset();
  co_return;
}

// Events on the list box.  Returns false when the window must close.
ui::Task<bool> Browse::HandleList(const ui::Event& e) {
  switch (e.code) {
    case ui::EVENT_NewSelection: {
      selection_posted_ = false;
      if (e.key == ui::MouseRight) {
        // The context menu offers Select, enabled only where it can act.
        const bool can = select_mode_ && !page_.empty();
        const std::string items = can ? "&Select" : "~&Select";
        const int chosen = co_await ui::PopupMenu(items);
        if (chosen == 1 && can) Press(design_.select);
        co_return true;
      }
      NewSelection();
      co_return true;
    }
    case ui::EVENT_ScrollUp:
    case ui::EVENT_ScrollDown:
    case ui::EVENT_PageUp:
    case ui::EVENT_PageDown:
    case ui::EVENT_ScrollTop:
    case ui::EVENT_ScrollBottom:
      Scroll(e.code);
      co_return true;
    case ui::EVENT_ScrollDrag:
      Drag();
      co_return true;
    case ui::EVENT_AlertKey: {
      const bool full = !page_.empty();
      bool post = true;
      switch (e.key) {
        case ui::MouseLeft2:
          if (full) {
            if (select_mode_) {
              Press(design_.select);
              post = false;
            } else {
              Press(design_.change);
              CopyEntryToRecord(page_[current_row_ - 1]);
            }
          }
          break;
        case ui::InsertKey:
          Press(design_.insert);
          break;
        case ui::DeleteKey:
          if (full) Press(design_.del);
          break;
        case ui::CtrlEnter:
          if (full) Press(design_.change);
          break;
        default:
          if (full && Order().locator && design_.locator && e.key > ui::kCharKeyBase) {
            const char c = static_cast<char>(e.key - ui::kCharKeyBase);
            if (c != ' ') {
              typed_ = std::string(1, c);
              window_->SetValue(design_.locator, typed_);
              window_->Select(design_.locator);
            }
          }
          break;
      }
      if (post) PostNewSelection();
      co_return true;
    }
    default:
      co_return true;
  }
}

// ---------------------------------------------------------------------------
// The procedure

ui::Proc Browse::Run() {
  ThreadBlock& block = CurrentThread();
  opening_request_ = block.SharedRequest.value;
  if (ReportAfterSelect.value == 100) opening_request_ = ReqSelect;
  local_request_ = opening_request_;
  local_response_ = RespCancelled;
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;
  select_mode_ = !design_.select_title.empty() && local_request_ == ReqSelect;
  opened_for_report_ = select_mode_ && ReportAfterSelect.value == 100;

  const std::vector<DataFile> files = design_.files;
  co_await OpenDataFiles(files);

  // Names the filters see: every field of the browse's files, the globals,
  // and the design's own.
  Bindings& bindings = block.bindings();
  bindings.PushScope();
  for (DataFile f : design_.files) bindings.BindRecord(file(f));
  BindGlobals(bindings);
  for (const auto& [name, ref] : design_.bindings) bindings.Bind(name, ref(*this));

  view_ = std::make_unique<View>(file(design_.primary));
  for (const BrowseJoin& j : design_.joins) {
    view_->Join(file(j.lookup), j.lookup_key, {{j.primary_field, j.lookup_field}});
  }

  window_ = std::make_unique<ui::Window>(*design_.window);
  ui::Window& w = *window_;
  w.Open();
  // Half the designed size, not all of it: small enough for the frame's Tile
  // to give a browse its cell, large enough for the list to keep some rows
  // (the binding scales the layout down to it).
  w.SetMinimumSize(design_.window->width / 2, design_.window->height / 2);
  RestoreWindowPosition(w, design_.procedure);
  if (design_.select) {
    if (select_mode_) {
      w.SetTitle(design_.select_title);
      if (design_.publish) w.Hide(design_.publish);
      w.Unhide(design_.select);
    } else {
      w.Hide(design_.select);
      w.Disable(design_.select);
    }
  }
  add_rows_ = true;
  w.Alert(ui::MouseLeft2);
  w.Alert(ui::InsertKey);
  w.Alert(ui::DeleteKey);
  w.Alert(ui::CtrlEnter);

  while (ui::Event e = co_await w.Accept()) {
    const bool window_event = e.code == ui::EVENT_CloseDown || e.code == ui::EVENT_OpenWindow ||
                              e.code == ui::EVENT_GainFocus || e.code == ui::EVENT_Sized ||
                              e.code == ui::EVENT_Rejected;
    if (!window_event) {
      const int accepted = e.code == ui::EVENT_Accepted ? e.control : 0;
      if (design_.select && accepted == kToolSelect) {
        FetchHighlighted();
        local_response_ = RespCompleted;
        w.Post(ui::EVENT_CloseDown);
        continue;
      }
      if (accepted >= kToolInsert && accepted <= kToolHelp) {
        SyncToolbar(accepted);
        continue;
      }
      SyncToolbar(0);
    }
    switch (e.code) {
      case ui::EVENT_OpenWindow:
        SyncToolbar(0);
        Reset();
        w.Select(design_.list);
        PostNewSelection();  // shows the thumb of a full first page
        break;
      case ui::EVENT_GainFocus:
      case ui::EVENT_Sized:
        force_refresh_ = true;
        Reset();
        break;
      case ui::EVENT_Rejected:
        ui::Beep();
        w.Select(e.control);
        break;
      default:
        if (e.control == design_.list && e.code != ui::EVENT_Accepted) {
          co_await HandleList(e);
        } else if (e.control == design_.sheet && design_.sheet &&
                   (e.code == ui::EVENT_Accepted || e.code == ui::EVENT_NewSelection ||
                    e.code == ui::EVENT_TabChanging || e.code == ui::EVENT_Selected)) {
          Reset();
        } else if (e.code == ui::EVENT_Accepted) {
          const int c = e.control;
          if (c == design_.locator && design_.locator && Order().locator) {
            // The entry's value is the order's key field itself.
            const std::string typed = w.Value(design_.locator);
            KeyField().SetString(typed);
            const ValueRef key = KeyField();
            const bool blank = key.numeric() ? key.GetNumber() == 0 : Clip(key.Bytes()).empty();
            if (!blank) {
              Locate(LocateMode::kOnValue);
              w.Select(design_.list);
              PostNewSelection();
            }
          } else if (c == design_.insert || c == design_.change || c == design_.del) {
            FetchHighlighted();
            const int request = c == design_.insert   ? ReqInsert
                                : c == design_.change ? ReqChange
                                                      : ReqDelete;
            co_await UpdateRequest(request);
          } else if (c == design_.select && design_.select) {
            FetchHighlighted();
            local_response_ = RespCompleted;
            w.Post(ui::EVENT_CloseWindow);
          } else if (c == design_.close && design_.close) {
            FetchHighlighted();
            local_response_ = RespCancelled;
            w.Post(ui::EVENT_CloseWindow);
          } else if (c == design_.help && design_.help) {
            FetchHighlighted();
            ui::Help(ui::HelpAction::kContents);
          } else if (c == design_.publish && design_.publish) {
            co_await PublishHtml(*this);
          } else if (design_.on_accepted) {
            co_await design_.on_accepted(*this, c);
          }
        }
        break;
    }
    if (view_failed_ || read_failed_) {
      // The messages describe the failure itself, not what ran after it.
      RestoreError(failure_);
    }
    if (view_failed_) {
      view_failed_ = false;
      const std::string none;
      co_await StandardMessage(36, none, none);
    }
    if (read_failed_) {
      read_failed_ = false;
      const std::string name = file(design_.primary).Name();
      const std::string none;
      co_await StandardMessage(35, name, none);
      break;  // the window closes
    }
  }

  if (design_.on_exit) co_await design_.on_exit(*this);
  view_->Close();
  CloseDataFiles(files);
  bindings.PopScope();
  SaveWindowPosition(w, design_.procedure);
  w.Close();
  block.SharedResponse.value = local_response_ ? local_response_ : RespCancelled;
}

}  // namespace mirabo::app
