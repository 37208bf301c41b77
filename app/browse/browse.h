// The browse engine: one page of a view shown in a list box, scrolled, paged,
// located and re-sorted, for every browse window of the program.  A browse is
// this engine plus a BrowseDesign (data): the Features browse and the four
// lookup browses differ only in their designs.
//
// Design note.  Only the visible page is held: the page buffer never has more
// entries than the list has visible rows, and it is rebuilt from the view
// whenever the page moves past its edges.  The engine's state moves between:
//
//   idle --scroll inside the page--> idle (no read)
//   idle --scroll past an edge--> page filler (reads exactly the rows needed)
//   idle --new order / changed range / focus / size--> reset: reset view,
//        locate or refresh, key stops rebuilt
//   idle --locator / thumb drag--> locate on value --> refresh around the record
//
// Invariants (checked by CheckInvariants in debug builds): the buffer holds
// at most the visible row count; current row is 0 exactly when the buffer is
// empty, else 1..row count.  Procedure-level effects that must wait for the
// user (messages 35 and 36) are queued and shown between events.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browse/key_stops.h"
#include "app/data/declarations.h"
#include "runtime/error.h"
#include "runtime/value.h"
#include "runtime/view.h"
#include "ui/event.h"
#include "ui/task.h"
#include "ui/window.h"

namespace mirabo::app {

class Browse;

// A field of one of the browse's files, as shown in a column or kept hidden.
struct BrowseField {
  DataFile file;
  int field;
};

// A lookup joined to the primary file for display.
struct BrowseJoin {
  DataFile lookup;
  int lookup_key;
  int primary_field;
  int lookup_field;
};

struct BrowseOrder {
  int key = 0;                             // key of the primary file
  std::string filter;                      // empty for an unfiltered order
  int range_field = -1;                    // primary field set from the range source, or -1
  std::function<ValueRef()> range_source;  // the variable holding the range value
  KeyStopKind stops;
  bool locator = false;  // typing locates in this order
};

struct BrowseDesign {
  std::string procedure;  // the procedure's name and INI section
  const ui::WindowDef* window = nullptr;
  DataFile primary = DataFile::kFeatures;
  std::vector<DataFile> files;  // opened by use counting, in this order
  std::vector<BrowseJoin> joins;
  std::vector<BrowseField> columns;  // one per list column, in column order
  std::vector<BrowseField> hidden;   // copied with each row, not shown
  std::vector<BrowseOrder> orders;   // order numbers count from 1
  // The order a sheet tab (1-based) selects.
  std::function<int(int tab)> order_for_tab = [](int) { return 1; };
  // Names made known to filters besides the files' fields and the globals.
  std::vector<std::pair<std::string, std::function<ValueRef(Browse&)>>> bindings;

  // Control numbers of the window; 0 where the window has none.
  int list = 0, sheet = 0, locator = 0, insert = 0, change = 0, del = 0, select = 0, close = 0,
      help = 0, publish = 0;
  std::string select_title;  // empty: the browse has no select mode
  std::string html_name;     // the default HTML file name ("FEATURES.HTM")
  std::string html_heading;  // "<H1>Features </H1><P>"
  std::string html_header;   // the header row: "<TR> <TD>PRODUCT</TD> ... </TR>"
  // The HTML rows' cells are the list's columns; numbers take picture n10.

  // A button of its own (the Features browse's lookup buttons): true when
  // the control was the design's.
  std::function<ui::Task<bool>(Browse&, int control)> on_accepted;
  // Insert has blanked the primary record: what else it sets.
  std::function<void(Browse&)> on_insert;
  // The event loop ended; the files are still open.  Lookups copy their
  // picked value and run their report here.
  std::function<ui::Proc(Browse&)> on_exit;
};

class Browse {
 public:
  explicit Browse(const BrowseDesign& design);
  ~Browse();

  // Runs the browse procedure from its start to its end.
  ui::Proc Run();

  // What the design's hooks and the HTML export use.
  const BrowseDesign& design() const { return design_; }
  ui::Window& window() { return *window_; }
  View& view() { return *view_; }
  File& file(DataFile f);
  bool select_mode() const { return select_mode_; }
  // Opened by the frame to pick the group of a report (the flag was set).
  bool opened_for_report() const { return opened_for_report_; }
  int sort_order() const { return sort_order_; }
  int local_response() const { return local_response_; }
  int opening_request() const { return opening_request_; }
  void set_local_request(int r) { local_request_ = r; }

  struct Entry {
    std::vector<std::string> fields;  // raw bytes of columns, then hidden fields
    std::string position;
  };
  const std::vector<Entry>& page() const { return page_; }
  int current_row() const { return current_row_; }
  int thumb() const { return thumb_; }
  const KeyStops& stops(int order) const { return orders_.at(order - 1).stops; }
  // The range value in force at an order's last reset, as a variable that
  // filter expressions can name.
  ValueRef RangeReset(int order) { return orders_.at(order - 1).reset_number.ref(); }

  // Re-reads the highlighted record into the record buffers by its stored position.
  void FetchHighlighted();
  // Sort-order selection and resynchronisation.
  void Reset();
  // Reopens the view at the start of the active order.
  void ResetView();

 private:
  struct OrderState {
    KeyStops stops;
    RealVar reset_number;
    std::string reset_text;
    bool reset_set = false;
  };

  int VisibleRows() const;
  const BrowseOrder& Order() const { return design_.orders.at(sort_order_ - 1); }
  ValueRef FieldRef(const BrowseField& f);
  ValueRef KeyField();

  void Fill(bool forward);
  Entry MakeEntry();
  void CopyEntryToRecord(const Entry& e);
  void Scroll(int event);
  // Where a locate starts: the record in the primary buffer (by its
  // position), or the key value in it.
  enum class LocateMode { kOnRecord, kOnValue };
  void Locate(LocateMode mode);
  // How a refresh builds the page: around the record just read, keeping the
  // page (and its highlight) where it was, or from either end of the order.
  enum class RefreshMode { kAroundRecord, kAroundPage, kFromTop, kFromBottom };
  void Refresh(RefreshMode mode);
  // Sets the view back to a stored position; false (with the failure noted
  // for message 35) when it cannot be.
  bool Reposition(std::string_view position);
  void NewSelection();
  void PostNewSelection();
  void ShowPage();
  void BuildKeyStops();
  void SetRangeField();
  bool RangeChanged() const;
  void SaveRangeReset();
  void UpdateThumb();
  void EnableRowControls(bool on);
  void SyncToolbar(int accepted);
  void Press(int control);
  void Drag();
  void CheckInvariants() const;
  // A list made smaller than the page keeps the rows around the highlight.
  void TrimPage();
  // Keeps the first failure's error state for the message shown later.
  void NoteFailure(bool* flag);

  ui::Task<bool> HandleList(const ui::Event& e);
  ui::Proc UpdateRequest(int request);

  const BrowseDesign& design_;
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<View> view_;
  std::vector<OrderState> orders_;

  bool select_mode_ = false;
  bool opened_for_report_ = false;
  int sort_order_ = 0;
  int last_sort_order_ = 0;
  bool range_changed_ = false;
  bool force_refresh_ = false;
  int items_to_fill_ = 0;
  int current_row_ = 0;
  bool add_rows_ = true;
  std::string highlighted_;
  bool selection_posted_ = false;
  std::string typed_;  // a character typed on the list, for the locator once the reset is done
  int thumb_ = 0;
  int local_request_ = 0;
  int opening_request_ = 0;
  int local_response_ = 0;
  std::vector<Entry> page_;

  // Messages waiting to be shown between events: 35 closes the window.
  bool read_failed_ = false;
  bool view_failed_ = false;
  ErrorState failure_;
};

// The frame window, whose toolbar the browses drive; null when none is open.
ui::Window* FrameWindow();

}  // namespace mirabo::app
