#include "app/reports/search_features.h"

#include <string>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "app/reports/search_report.h"
#include "app/shell/procedures.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using ui::ControlDef;
using ui::ControlKind;

constexpr char kSection[] = "SearchFeatures";
constexpr char kYes[] = "Yes";
constexpr char kNo[] = "No";

// The four choices, as option groups in the order of the flags.
constexpr int kChoices[] = {kSearchProduct, kSearchReview, kSearchCategory, kSearchSupplier};
// The controls a user could act on; they rest while a search runs.
constexpr int kInputControls[] = {kSearchProduct, kSearchReview, kSearchCategory, kSearchSupplier,
                                  kSearchText,    kSearchStart,  kSearchClose};

// A Yes/No option group whose radios follow it in number.
ControlDef Choice(int id, const char* text, int x) {
  auto radio = [](int radio_id, const char* value, ui::Rect at) {
    return ControlDef{
        .kind = ControlKind::kRadio, .id = radio_id, .text = value, .at = at, .value = value};
  };
  return {.kind = ControlKind::kOption,
          .id = id,
          .text = text,
          .at = {x, 14, 42, 40},
          .children = {radio(id + 1, kYes, {x + 6, 26, 32, 10}),
                       radio(id + 2, kNo, {x + 6, 39, 32, 10})}};
}

ControlDef Button(int id, const char* text, ui::Rect at) {
  return {.kind = ControlKind::kButton, .id = id, .text = text, .at = at, .help = text};
}

ui::WindowDef BuildWindow() {
  ui::WindowDef d;
  d.name = "SEARCHFEATURES$WINDOW";
  d.title = "Search Features Database";
  d.width = 198;
  d.height = 123;
  d.flags = ui::kMdiChild;
  d.help = "search.html";
  ControlDef start = Button(kSearchStart, "Start Search", {18, 102, 72, 15});
  start.default_button = true;
  ControlDef close = Button(kSearchClose, "Close This Window", {108, 102, 72, 15});
  close.cancel_button = true;
  d.controls = {
      Choice(kSearchProduct, "Product", 8),
      start,
      {.kind = ControlKind::kGroup,
       .id = kSearchFieldsCaption,
       .text = "Select Field(s) to be used for Search",
       .at = {4, 3, 190, 57}},
      {.kind = ControlKind::kPrompt,
       .id = kSearchHint,
       .text = "Enter Text to Search for and press Start Search",
       .at = {4, 64, 190, 10}},
      {.kind = ControlKind::kPrompt,
       .id = kSearchPrompt,
       .text = "Search String:",
       .at = {4, 82, 50, 10}},
      {.kind = ControlKind::kEntry,
       .id = kSearchText,
       .at = {56, 80, 136, 12},
       .picture = "s30",
       .help = "Enter Text for Search"},
      Choice(kSearchReview, "Review", 54),
      Choice(kSearchCategory, "Category", 100),
      Choice(kSearchSupplier, "Supplier", 146),
      close,
  };
  return d;
}

ui::Proc Inform(const char* text) {
  const ui::MessageRequest m{text, "", ui::Icon::kInformation, ui::kButtonOk, ui::kButtonOk};
  co_await ui::Message(m);
}

// "Start Search": the two checks, then the search with these criteria.
ui::Proc StartSearch(ui::Window& w) {
  bool any = false;
  for (int id : kChoices) any = any || w.Value(id) != kNo;
  if (!any) {
    co_await Inform("At least one Field must be selected for Search");
    w.Select(kSearchProductYes);
    co_return;
  }
  const std::string text = w.Value(kSearchText);
  if (Clip(text).empty()) {
    co_await Inform("Search String must be entered");
    w.Select(kSearchText);
    co_return;
  }
  SearchText.Assign(text);
  ByteVar* const flags[] = {&SearchInProduct, &SearchInReview, &SearchInCategory,
                            &SearchInSupplier};
  for (int i = 0; i < 4; ++i) flags[i]->value = w.Value(kChoices[i]) == kYes ? 1 : 0;

  for (int id : kInputControls) w.Disable(id);
  w.Display();
  co_await SEARCHRUN();
  for (int id : kInputControls) w.Enable(id);
  w.Display();
}

}  // namespace

const ui::WindowDef& SearchFeaturesWindowDef() {
  static const ui::WindowDef def = BuildWindow();
  return def;
}

ui::Proc SearchFeatures() {
  ThreadBlock& block = CurrentThread();
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;

  ui::Window w(SearchFeaturesWindowDef());
  w.Open();
  RestoreWindowPosition(w, kSection);
  w.SetValue(kSearchProduct, kYes);
  w.SetValue(kSearchReview, kNo);
  w.SetValue(kSearchCategory, kNo);
  w.SetValue(kSearchSupplier, kNo);
  w.SetValue(kSearchText, "");

  while (ui::Event e = co_await w.Accept()) {
    switch (e.code) {
      case ui::EVENT_OpenWindow:
        w.Display();
        w.Select(kSearchProductYes);
        break;
      case ui::EVENT_GainFocus:
        w.Display();
        break;
      case ui::EVENT_Rejected:
        ui::Beep();
        w.Select(e.control);
        break;
      case ui::EVENT_Accepted:
        if (e.control == kSearchStart) co_await StartSearch(w);
        if (e.control == kSearchClose) w.Post(ui::EVENT_CloseWindow);
        break;
      default:
        break;
    }
  }

  SaveWindowPosition(w, kSection);
  w.Close();
  block.SharedResponse.value = RespCancelled;
}

void RegisterSearch() { RegisterProcedure("SearchFeatures", SearchFeatures); }

}  // namespace mirabo::app
