// The browse engine: the page buffer and its filler, positioning, ranges and
// key stops, and the list's scroll events (the design note is in browse.h).
// The procedure that runs a browse window is in browse_procedure.cpp.
#include "app/browse/browse.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "app/data/thread_block.h"
#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/list_format.h"

namespace mirabo::app {

File& Browse::file(DataFile f) { return CurrentThread().Data(f); }

ValueRef Browse::FieldRef(const BrowseField& f) { return file(f.file).Field(f.field); }

ValueRef Browse::KeyField() {
  File& primary = file(design_.primary);
  return primary.Field(primary.decl().keys[Order().key].components[0]);
}

int Browse::VisibleRows() const {
  const ui::Control* list = window_->Find(design_.list);
  return list ? std::max(1, list->visible_rows) : 1;
}

void Browse::CheckInvariants() const {
#ifndef NDEBUG
  assert(static_cast<int>(page_.size()) <= VisibleRows());
  assert((current_row_ == 0) == page_.empty());
  assert(page_.empty() || (current_row_ >= 1 && current_row_ <= static_cast<int>(page_.size())));
#endif
}

void Browse::NoteFailure(bool* flag) {
  if (!read_failed_ && !view_failed_) failure_ = CurrentError();
  *flag = true;
}

void Browse::TrimPage() {
  const int visible = VisibleRows();
  while (static_cast<int>(page_.size()) > visible) {
    // Drop rows from the side away from the highlight.
    if (current_row_ > visible) {
      page_.erase(page_.begin());
      --current_row_;
    } else {
      page_.pop_back();
    }
  }
  if (page_.empty()) current_row_ = 0;
}

// ---------------------------------------------------------------------------
// Page buffer

Browse::Entry Browse::MakeEntry() {
  Entry e;
  for (const auto* list : {&design_.columns, &design_.hidden}) {
    for (const BrowseField& f : *list) e.fields.emplace_back(FieldRef(f).Bytes());
  }
  e.position = view_->Position();
  return e;
}

void Browse::CopyEntryToRecord(const Entry& e) {
  size_t i = 0;
  for (const auto* list : {&design_.columns, &design_.hidden}) {
    for (const BrowseField& f : *list) {
      const ValueRef ref = FieldRef(f);
      std::memcpy(ref.data, e.fields[i].data(), std::min<size_t>(ref.size, e.fields[i].size()));
      ++i;
    }
  }
}

void Browse::ShowPage() {
  const auto columns = ui::ParseListFormat(window_->Find(design_.list)->def->format);
  std::vector<std::vector<std::string>> rows;
  for (const Entry& e : page_) {
    std::vector<std::string> cells;
    for (size_t c = 0; c < design_.columns.size(); ++c) {
      const ValueRef ref = FieldRef(design_.columns[c]);
      ValueRef value{ref.type, const_cast<char*>(e.fields[c].data()), ref.size};
      const std::string picture = c < columns.size() ? columns[c].picture : "";
      std::string text = value.numeric() ? FormatPicture(picture, value.GetNumber())
                                         : FormatPicture(picture, value.Bytes());
      if (picture.empty()) text = value.GetString();
      cells.push_back(std::move(text));
    }
    rows.push_back(std::move(cells));
  }
  window_->SetRows(design_.list, std::move(rows));
  window_->SetSelected(design_.list, current_row_);
}

// The page filler: reads items_to_fill records in one direction and merges
// them into the buffer.  Rows not read (the view ended) stay in items_to_fill.
void Browse::Fill(bool forward) {
  std::string start;
  bool skip_first = false;
  if (!page_.empty()) {
    start = forward ? page_.back().position : page_.front().position;
    // Reading past the edge entry's position gives its neighbour at once;
    // the skip below still guards against a view that returns the entry.
    if (view_->ResetPast(start) != kNoError) {
      NoteFailure(&read_failed_);  // reading on would start from the old place
      return;
    }
    skip_first = true;
  }
  const int visible = VisibleRows();
  while (items_to_fill_ > 0) {
    const int rc = forward ? view_->Next() : view_->Previous();
    if (rc == kRecordNotAvailable) break;
    if (rc != kNoError) {
      NoteFailure(&read_failed_);
      break;
    }
    if (skip_first) {
      skip_first = false;
      if (view_->Position() == start) continue;
    }
    if (add_rows_) {
      if (static_cast<int>(page_.size()) >= visible) {
        if (forward) {
          page_.erase(page_.begin());
        } else {
          page_.pop_back();
        }
      }
      if (forward) {
        page_.push_back(MakeEntry());
      } else {
        page_.insert(page_.begin(), MakeEntry());
      }
    }
    --items_to_fill_;
  }
  add_rows_ = true;
}

// ---------------------------------------------------------------------------
// Positioning

void Browse::SetRangeField() {
  const BrowseOrder& o = Order();
  if (o.range_field >= 0 && o.range_source) {
    file(design_.primary).Field(o.range_field).Assign(o.range_source());
  }
}

void Browse::ResetView() {
  view_->Close();
  SetRangeField();
  if (view_->SetFilter(Order().filter, CurrentThread().bindings()) != kNoError)
    NoteFailure(&view_failed_);
  if (view_->SetOrder(Order().key) != kNoError) NoteFailure(&view_failed_);
  if (view_->Open() != kNoError) NoteFailure(&view_failed_);
}

bool Browse::Reposition(std::string_view position) {
  if (view_->Reset(position) == kNoError) return true;
  NoteFailure(&read_failed_);  // reading on would start from the old place
  return false;
}

void Browse::Locate(LocateMode mode) {
  view_->Close();
  File& primary = file(design_.primary);
  if (mode == LocateMode::kOnRecord) {
    std::string pos;
    if (primary.Position(Order().key, &pos) == kNoError) {
      highlighted_ = pos;
      if (view_->Reset(pos) != kNoError) NoteFailure(&view_failed_);
    } else {
      NoteFailure(&view_failed_);
    }
  } else {
    SetRangeField();
    if (view_->SetOrderValue(Order().key) != kNoError) NoteFailure(&view_failed_);
  }
  if (view_->SetFilter(Order().filter, CurrentThread().bindings()) != kNoError)
    NoteFailure(&view_failed_);
  if (view_->Open() != kNoError) NoteFailure(&view_failed_);
  page_.clear();
  items_to_fill_ = 1;
  add_rows_ = false;
  Fill(true);
  Refresh(items_to_fill_ > 0 ? RefreshMode::kFromBottom : RefreshMode::kAroundRecord);
  PostNewSelection();
}

void Browse::Refresh(RefreshMode mode) {
  // The page is filled forwards from the record or page kept, or from the
  // order's end that `mode` names.
  bool from_bottom = false;
  bool placed = true;
  if (mode == RefreshMode::kAroundRecord) {
    highlighted_ = view_->Position();
    placed = Reposition(highlighted_);
  } else if (!page_.empty()) {
    const int row = current_row_ >= 1 && current_row_ <= static_cast<int>(page_.size())
                        ? current_row_
                        : static_cast<int>(page_.size());
    highlighted_ = page_[row - 1].position;
    placed = Reposition(page_.front().position);
  } else {
    highlighted_.clear();
    ResetView();
    from_bottom = mode == RefreshMode::kFromBottom;
  }
  page_.clear();
  items_to_fill_ = VisibleRows();
  if (placed) Fill(!from_bottom);
  if (placed && !highlighted_.empty() && items_to_fill_ > 0) {
    // The view ended before the page was full: complete it from the other side.
    if (page_.empty()) ResetView();
    Fill(from_bottom);
  }
  if (!page_.empty()) {
    if (Order().locator && design_.locator) window_->Enable(design_.locator);
    if (!highlighted_.empty()) {
      current_row_ = static_cast<int>(page_.size());
      for (size_t i = 0; i < page_.size(); ++i) {
        if (page_[i].position == highlighted_) {
          current_row_ = static_cast<int>(i) + 1;
          break;
        }
      }
    } else {
      current_row_ = from_bottom ? static_cast<int>(page_.size()) : 1;
    }
    ShowPage();
    CopyEntryToRecord(page_[current_row_ - 1]);
    EnableRowControls(true);
  } else {
    file(design_.primary).ClearRecord();
    if (Order().locator && design_.locator) window_->Disable(design_.locator);
    current_row_ = 0;
    ShowPage();
    EnableRowControls(false);
  }
  CheckInvariants();
}

void Browse::EnableRowControls(bool on) {
  if (design_.change) window_->Enable(design_.change, on);
  if (design_.del) window_->Enable(design_.del, on);
}

void Browse::FetchHighlighted() {
  if (page_.empty()) return;
  const ui::Control* list = window_->Find(design_.list);
  if (list->selected >= 1 && list->selected <= static_cast<int>(page_.size())) {
    current_row_ = list->selected;
  }
  // The record is watched for changes by other users by re-reading it now.
  if (view_->Reget(page_[current_row_ - 1].position) != kNoError) {
    CopyEntryToRecord(page_[current_row_ - 1]);
  }
}

// ---------------------------------------------------------------------------
// Ranges and key stops

bool Browse::RangeChanged() const {
  const BrowseOrder& o = Order();
  if (!o.range_source) return false;
  const OrderState& s = orders_[sort_order_ - 1];
  if (!s.reset_set) return true;
  const ValueRef v = o.range_source();
  return v.numeric() ? s.reset_number.value != v.GetNumber() : s.reset_text != v.GetString();
}

void Browse::SaveRangeReset() {
  const BrowseOrder& o = Order();
  if (!o.range_source) return;
  OrderState& s = orders_[sort_order_ - 1];
  const ValueRef v = o.range_source();
  if (v.numeric()) {
    s.reset_number.value = v.GetNumber();
  } else {
    s.reset_text = v.GetString();
  }
  s.reset_set = true;
}

void Browse::BuildKeyStops() {
  const BrowseOrder& o = Order();
  ResetView();
  int rc = view_->Previous();
  if (rc == kRecordNotAvailable) return;  // an empty view keeps its stops
  if (rc != kNoError) {
    NoteFailure(&read_failed_);
    return;
  }
  const ValueRef key = KeyField();
  const std::string high_text(key.Bytes());
  const double high = key.GetNumber();
  ResetView();
  rc = view_->Next();
  if (rc != kNoError) {
    if (rc != kRecordNotAvailable) NoteFailure(&read_failed_);
    return;
  }
  KeyStops& stops = orders_[sort_order_ - 1].stops;
  if (o.stops.type == KeyStopKind::Type::kString) {
    stops.BuildString(o.stops, key.Bytes(), high_text);
  } else {
    stops.BuildNumeric(o.stops, key.GetNumber(), high);
  }
}

void Browse::UpdateThumb() {
  const BrowseOrder& o = Order();
  const ValueRef key = KeyField();
  KeyStops::Value value;
  if (o.stops.type == KeyStopKind::Type::kString) {
    value = std::string(key.Bytes());
  } else {
    value = key.GetNumber();
  }
  thumb_ = orders_[sort_order_ - 1].stops.Thumb(o.stops, value);
  window_->SetThumb(design_.list, thumb_);
}

// ---------------------------------------------------------------------------
// Events

void Browse::Scroll(int event) {
  TrimPage();
  if (page_.empty()) return;
  const int visible = VisibleRows();
  switch (event) {
    case ui::EVENT_ScrollUp:
      if (current_row_ > 1) {
        --current_row_;
      } else {
        items_to_fill_ = 1;
        Fill(false);
      }
      break;
    case ui::EVENT_ScrollDown:
      if (current_row_ < static_cast<int>(page_.size())) {
        ++current_row_;
      } else {
        items_to_fill_ = 1;
        Fill(true);
        current_row_ = static_cast<int>(page_.size());
      }
      break;
    case ui::EVENT_PageUp:
    case ui::EVENT_PageDown: {
      const bool down = event == ui::EVENT_PageDown;
      items_to_fill_ = visible;
      Fill(down);
      if (items_to_fill_ > 0) {
        current_row_ += down ? items_to_fill_ : -items_to_fill_;
        current_row_ = std::clamp(current_row_, 1, static_cast<int>(page_.size()));
      }
      break;
    }
    case ui::EVENT_ScrollTop:
    case ui::EVENT_ScrollBottom: {
      const bool top = event == ui::EVENT_ScrollTop;
      page_.clear();
      ResetView();
      items_to_fill_ = visible;
      Fill(top);
      current_row_ = top ? 1 : static_cast<int>(page_.size());
      break;
    }
    default:
      return;
  }
  if (page_.empty()) current_row_ = 0;
  ShowPage();
  PostNewSelection();
  CheckInvariants();
}

void Browse::PostNewSelection() {
  if (selection_posted_) return;
  selection_posted_ = true;
  window_->Post(ui::EVENT_NewSelection, design_.list);
}

void Browse::NewSelection() {
  if (page_.empty()) {
    window_->ShowScrollbar(design_.list, false);
    return;
  }
  const ui::Control* list = window_->Find(design_.list);
  if (list->selected >= 1 && list->selected <= static_cast<int>(page_.size())) {
    current_row_ = list->selected;
  }
  CopyEntryToRecord(page_[current_row_ - 1]);
  if (static_cast<int>(page_.size()) == VisibleRows()) {
    window_->ShowScrollbar(design_.list, true);
    UpdateThumb();
  } else {
    window_->ShowScrollbar(design_.list, false);
  }
  Reset();
}

void Browse::Reset() {
  last_sort_order_ = sort_order_;
  range_changed_ = false;
  const int tab = design_.sheet ? window_->Choice(design_.sheet) : 1;
  sort_order_ = design_.order_for_tab(tab);
  if (sort_order_ == last_sort_order_) range_changed_ = RangeChanged();
  if (sort_order_ != last_sort_order_ || range_changed_ || force_refresh_) {
    SaveRangeReset();
    FetchHighlighted();
    ResetView();
    if (last_sort_order_ == 0) {
      if (select_mode_) {
        Locate(LocateMode::kOnValue);
      } else {
        page_.clear();
        Refresh(RefreshMode::kFromTop);
      }
    } else if (range_changed_) {
      page_.clear();
      Refresh(RefreshMode::kFromTop);
    } else if (sort_order_ == last_sort_order_ && !page_.empty()) {
      // Only resynchronising (focus gained, new size): the rows stay where
      // they are on screen, so the click that activated the window and the
      // second click of a double click land on the row the user aimed at.
      TrimPage();
      Refresh(RefreshMode::kAroundPage);
    } else {
      Locate(LocateMode::kOnValue);
    }
    if (!page_.empty()) CopyEntryToRecord(page_[current_row_ - 1]);
    BuildKeyStops();
    if (!page_.empty()) CopyEntryToRecord(page_[current_row_ - 1]);
  } else if (!page_.empty()) {
    CopyEntryToRecord(page_[current_row_ - 1]);
  }
  window_->SetThumb(design_.list, thumb_);
  if (Order().locator && design_.locator) {
    KeyField().Clear();
    // A character typed on the list arrives in the entry after the reset
    // that its new selection brings.
    window_->SetValue(design_.locator, typed_);
    typed_.clear();
  }
  window_->Display();
  force_refresh_ = false;
}

void Browse::Drag() {
  const ui::Control* list = window_->Find(design_.list);
  const int p = list->thumb;
  if (p <= 1) {
    window_->Post(ui::EVENT_ScrollTop, design_.list);
  } else if (p >= 100) {
    window_->Post(ui::EVENT_ScrollBottom, design_.list);
  } else {
    const KeyStops::Value& stop = orders_[sort_order_ - 1].stops.Stop(p);
    if (const auto* d = std::get_if<double>(&stop)) {
      KeyField().SetNumber(*d);
    } else {
      KeyField().SetString(std::get<std::string>(stop));
    }
    Locate(LocateMode::kOnValue);
  }
}

}  // namespace mirabo::app
