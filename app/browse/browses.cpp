#include "app/browse/browses.h"

#include <algorithm>

#include "app/data/globals.h"
#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "app/reports/reports.h"
#include "app/shell/procedures.h"

namespace mirabo::app {
namespace {

using ui::ControlDef;
using ui::ControlKind;

ControlDef Button(int id, const char* text, ui::Rect at, const char* help = "") {
  ControlDef c;
  c.kind = ControlKind::kButton;
  c.id = id;
  c.text = text;
  c.at = at;
  c.help = help;
  return c;
}

ControlDef Tab(int id, const char* text, const char* help, std::vector<ControlDef> children) {
  ControlDef c;
  c.kind = ControlKind::kTab;
  c.id = id;
  c.text = text;
  c.help = help;
  c.children = std::move(children);
  return c;
}

ControlDef List(ui::Rect at, const char* format) {
  ControlDef c;
  c.kind = ControlKind::kList;
  c.id = kBrowseList;
  c.at = at;
  c.format = format;
  c.help = "Browsing Records";
  return c;
}

ControlDef Locator(ui::Rect at, const char* picture, const char* help) {
  ControlDef c;
  c.kind = ControlKind::kEntry;
  c.id = kBrowseLocator;
  c.at = at;
  c.picture = picture;
  c.help = help;
  c.locator = true;
  return c;
}

ControlDef Sheet(ui::Rect at, std::vector<ControlDef> tabs) {
  ControlDef c;
  c.kind = ControlKind::kSheet;
  c.id = kBrowseSheet;
  c.at = at;
  c.children = std::move(tabs);
  return c;
}

// ---------------------------------------------------------------------------
// Features

const ui::WindowDef& FeaturesWindow() {
  static const ui::WindowDef def = [] {
    ui::WindowDef d;
    d.name = "BROWSEFEATURES$QUICKWINDOW";
    d.title = "Browse the FEATURES Table";
    d.width = 423;
    d.height = 218;
    d.flags = ui::kMdiChild | ui::kResizable | ui::kMaximizeBox;
    d.help = "browsing.html";
    ControlDef prompt;
    prompt.kind = ControlKind::kPrompt;
    prompt.id = kBrowseLocatorPrompt;
    prompt.text = "Product:";
    prompt.at = {8, 181, 30, 10};
    d.controls = {
        Sheet({4, 4, 416, 194},
              {Tab(3, "Product Order", "Browse in Product Order",
                   {prompt, Locator({40, 180, 200, 10}, "s86",
                                    "Enter 1st few chars of  Product and press TAB Key")}),
               Tab(4, "Supplier Order", "Browse in Supplier Order",
                   {Button(kBrowseSelectSupplier, "Select SUPPLIER", {8, 179, 70, 14},
                           "Select a Supplier")}),
               Tab(5, "Review Order", "Browse in Review Order",
                   {Button(kBrowseSelectReview, "Select REVIEW", {8, 179, 70, 14},
                           "Select a Review")}),
               Tab(6, "Category Order", "Browse in Category Order",
                   {Button(kBrowseSelectCategory, "Select CATEGORY", {8, 179, 70, 14},
                           "Select a Category")}),
               Tab(7, "Issue Order", "Browse in Issue Order",
                   {Button(kBrowseSelectIssue, "Select ISSUES", {8, 179, 70, 14},
                           "Select an Issue")})}),
        List({8, 22, 408, 154},
             "80L(2)|_M~PRODUCT~@s86@76L(2)|_M~REVIEW~@s19@44D(18)|_M~ISSUE~C(0)@n10@"
             "110L(2)|_M~SUPPLIER~L(0)@s36@20L(2)|_M~H/S~@s4@124L(2)|_M~CATEGORY~@s31@"
             "38L(2)|_M~VERSION~@s15@160L(2)|_M~COMMENTS~@s207@"),
        Button(kBrowseInsert, "&Insert", {8, 200, 45, 14}),
        Button(kBrowseChange, "&Change", {55, 200, 45, 14}),
        Button(kBrowseDelete, "&Delete", {102, 200, 45, 14}),
        Button(kBrowsePublish, "Publish", {250, 200, 50, 14}, "Generate an HTML of listed records"),
        Button(kBrowseClose, "Close", {305, 200, 50, 14}, "Close this Window"),
        Button(kBrowseHelp, "Help", {360, 200, 50, 14}),
    };
    return d;
  }();
  return def;
}

// A lookup procedure called on this thread for a Features order's range.
ui::Task<bool> FeaturesLookup(Browse& b, int control) {
  const char* procedure = control == kBrowseSelectSupplier   ? "BrowseSupplier"
                          : control == kBrowseSelectReview   ? "BrowseReview"
                          : control == kBrowseSelectCategory ? "BrowseCategory"
                          : control == kBrowseSelectIssue    ? "BrowseISSUES"
                                                             : nullptr;
  if (!procedure) co_return false;
  b.FetchHighlighted();
  CurrentThread().SharedRequest.value = ReqSelect;
  const ProcedureFactory lookup = FindProcedure(procedure);
  if (lookup) {
    co_await lookup();
  } else {
    const std::string name = procedure, none;
    co_await StandardMessage(6, name, none);
  }
  b.set_local_request(b.opening_request());
  b.Reset();
  co_return true;
}

BrowseDesign BuildFeaturesDesign() {
  BrowseDesign d;
  d.procedure = "BrowseFEATURES";
  d.window = &FeaturesWindow();
  d.primary = DataFile::kFeatures;
  d.files = {DataFile::kFeatures, DataFile::kSupplier, DataFile::kReview, DataFile::kCategory,
             DataFile::kIssues};
  d.joins = {{DataFile::kSupplier, SUP::SUPPLIER_REF, FEA::SUPPLIER, SUP::REFERENCE},
             {DataFile::kReview, REV::REVIEW_REF, FEA::REVIEW, REV::REFERENCE},
             {DataFile::kCategory, CAT::CATEGORY_REF, FEA::CATEGORY, CAT::REFERENCE}};
  d.columns = {{DataFile::kFeatures, FEA::PRODUCT}, {DataFile::kReview, REV::REVIEW},
               {DataFile::kFeatures, FEA::ISSUE},   {DataFile::kSupplier, SUP::SUPPLIER},
               {DataFile::kFeatures, FEA::HS},      {DataFile::kCategory, CAT::CATEGORY},
               {DataFile::kFeatures, FEA::V},       {DataFile::kFeatures, FEA::COMMENTS}};
  d.hidden = {{DataFile::kFeatures, FEA::SUPPLIER}, {DataFile::kFeatures, FEA::REVIEW},
              {DataFile::kFeatures, FEA::CATEGORY}, {DataFile::kSupplier, SUP::REFERENCE},
              {DataFile::kReview, REV::REFERENCE},  {DataFile::kCategory, CAT::REFERENCE}};
  using T = KeyStopKind::Type;
  auto numeric = [](T t) { return KeyStopKind{t, 0, 0, false}; };
  d.orders = {
      {FEA::FEATSUPP, "FEA:SUPPLIER = GLO:supplier", FEA::SUPPLIER,
       [] { return GLO::supplier.ref(); }, numeric(T::kShort), false},
      {FEA::FEATREV, "FEA:REVIEW = GLO:review", FEA::REVIEW, [] { return GLO::review.ref(); },
       numeric(T::kShort), false},
      {FEA::FEATCAT, "FEA:CATEGORY = GLO:category", FEA::CATEGORY,
       [] { return GLO::category.ref(); }, numeric(T::kShort), false},
      {FEA::FEATISS, "FEA:ISSUE = BRW1::Sort4:Reset:ISS:ISSUE_NUMB", FEA::ISSUE,
       [] { return CurrentThread().Data(DataFile::kIssues).Field(ISS::ISSUE_NUMB); },
       numeric(T::kReal), false},
      {FEA::FEATPROD, "", -1, nullptr, KeyStopKind{T::kString, 86, 1, true}, true},
  };
  d.order_for_tab = [](int tab) { return tab >= 2 && tab <= 5 ? tab - 1 : 5; };
  d.bindings = {{"BRW1::Sort4:Reset:ISS:ISSUE_NUMB", [](Browse& b) { return b.RangeReset(4); }}};
  d.list = kBrowseList;
  d.sheet = kBrowseSheet;
  d.locator = kBrowseLocator;
  d.insert = kBrowseInsert;
  d.change = kBrowseChange;
  d.del = kBrowseDelete;
  d.close = kBrowseClose;
  d.help = kBrowseHelp;
  d.publish = kBrowsePublish;
  d.html_name = "FEATURES.HTM";
  d.html_heading = "<H1>Features </H1><P>";
  d.html_header =
      "<TR> <TD>PRODUCT</TD> <TD>REVIEW</TD> <TD>ISSUE</TD> <TD>SUPPLIER</TD> <TD>H/S</TD> "
      "<TD>CATEGORY</TD> <TD>VERSION</TD> <TD>COMMENTS</TD> </TR>";
  d.on_accepted = FeaturesLookup;
  d.on_insert = [](Browse& b) {
    // A new record would fall in the range shown.
    const BrowseOrder& o = b.design().orders[b.sort_order() - 1];
    if (o.range_field >= 0) {
      b.file(DataFile::kFeatures)
          .Field(o.range_field)
          .SetNumber(b.RangeReset(b.sort_order()).GetNumber());
    }
  };
  return d;
}

// ---------------------------------------------------------------------------
// Lookups: one design, four parameter sets

struct LookupParams {
  const char* procedure;
  const char* window_name;
  const char* title;
  const char* select_title;
  DataFile file;
  int key;
  int key_field;
  const char* tab;
  int width, height;
  ui::Rect list;
  const char* format;
  const char* locator_picture;
  const char* locator_help;
  KeyStopKind stops;
  std::vector<int> columns;
  ReportId report;  // the Features report run after a selection for the frame
  const char* html_name;
  const char* html_heading;
  const char* html_header;
};

const std::vector<LookupParams>& Lookups() {
  using T = KeyStopKind::Type;
  static const std::vector<LookupParams> params = {
      {"BrowseSupplier",
       "BROWSESUPPLIER$QUICKWINDOW",
       "Browse the SUPPLIER Table",
       "Select Supplier",
       DataFile::kSupplier,
       SUP::KEY_SUPPLIER,
       SUP::SUPPLIER,
       "Supplier Order",
       202,
       226,
       {8, 22, 192, 180},
       "80L(2)|_M~SUPPLIER~@s36@",
       "s36",
       "Enter 1st few chars of Supplier and press TAB Key",
       {T::kString, 36, 9, false},
       {SUP::SUPPLIER},
       ReportId::kFeaturesBySupplier,
       "SUPPLIER.HTM",
       "<H1>Supplier Listing</H1><P>",
       "<TR> <TD>SUPPLIER</TD> </TR>"},
      {"BrowseReview",
       "BROWSEREVIEW$QUICKWINDOW",
       "Browse the REVIEW Table",
       "Select Review",
       DataFile::kReview,
       REV::KEY_REVIEW,
       REV::REVIEW,
       "Review Order",
       193,
       223,
       {8, 20, 176, 178},
       "80L(2)|_M~REVIEW~@s19@",
       "s19",
       "Enter 1st few chars of Review and press TAB Key",
       {T::kString, 19, 9, false},
       {REV::REVIEW},
       ReportId::kFeaturesByReview,
       "REVIEW.HTM",
       "<H1>Review Listing</H1><P>",
       "<TR> <TD>REVIEW</TD> </TR>"},
      {"BrowseCategory",
       "BROWSECATEGORY$QUICKWINDOW",
       "Browse the CATEGORY Table",
       "Select Category",
       DataFile::kCategory,
       CAT::KEY_CATEGORY,
       CAT::CATEGORY,
       "Category Order",
       198,
       220,
       {8, 20, 184, 174},
       "80L(2)|_M~CATEGORY~@s31@",
       "s31",
       "Enter 1st few chars of Category and press TAB Key",
       {T::kString, 31, 9, false},
       {CAT::CATEGORY},
       ReportId::kFeaturesByCategory,
       "CATEGORY.HTM",
       "<H1>Category Listing</H1><P>",
       "<TR> <TD>CATEGORY</TD> </TR>"},
      {"BrowseISSUES",
       "BROWSEISSUES$QUICKWINDOW",
       "Browse the ISSUES Table",
       "Select Issue",
       DataFile::kIssues,
       ISS::ISSUE,
       ISS::ISSUE_NUMB,
       "Issue",
       323,
       184,
       {8, 20, 304, 139},
       "44D(12)|_M~ISSUE NO.~C(0)@n10@60L(2)|_M~NAME~@s14@80L(2)|_M~COMMENTS~@s91@",
       "n10",
       "Enter Issue no. and press TAB Key",
       {T::kReal, 0, 0, false},
       {ISS::ISSUE_NUMB, ISS::ISSUE_NAME, ISS::COMMENTS},
       ReportId::kFeaturesByIssue,
       "ISSUES.HTM",
       "<H1>Issues Listing</H1><P>",
       "<TR> <TD>ISSUE NO.</TD> <TD>NAME</TD> <TD>COMMENTS</TD> </TR>"},
  };
  return params;
}

ui::WindowDef BuildLookupWindow(const LookupParams& p) {
  ui::WindowDef d;
  d.name = p.window_name;
  d.title = p.title;
  d.width = p.width;
  d.height = p.height;
  d.flags = ui::kMdiChild | ui::kResizable | ui::kMaximizeBox;
  d.help = "browsing.html";
  const int y = p.list.y + p.list.h + 4;
  // The narrow windows keep Insert, Change and Delete (they still answer
  // keys and toolbar) but do not show them.
  const bool narrow = p.width < 300;
  ControlDef insert = Button(kBrowseInsert, "&Insert", {62, y, 40, 14});
  ControlDef change = Button(kBrowseChange, "&Change", {104, y, 40, 14});
  ControlDef del = Button(kBrowseDelete, "&Delete", {146, y, 40, 14});
  insert.hidden = change.hidden = del.hidden = narrow;
  // The sheet fills the window less a margin, down to below the row of the
  // buttons: its tab holds the locator, at the left of that row, inside the
  // panel.  The list keeps a margin inside the panel (the supplier's list
  // would reach past it), and the buttons end at the sheet's right edge (the
  // review's Help would be cut off).
  const int sheet_right = p.width - 4;
  ui::Rect list = p.list;
  list.w = std::min(list.w, sheet_right - 4 - list.x);
  const int x = sheet_right - 126;  // Publish or Select, Close, Help
  // In select mode (Select shows) the window answers as a dialog: Enter
  // chooses the highlighted row, Escape closes.  Select and Publish share a
  // place, one shown at a time: Select only in select mode, so it never
  // lies over Publish.
  ControlDef select = Button(kBrowseSelect, "&Select", {x, y, 42, 14});
  select.default_button = true;
  select.hidden = true;
  ControlDef close = Button(kBrowseClose, "Close", {x + 44, y, 40, 14}, "Close this Window");
  close.cancel_button = true;
  d.controls = {
      Sheet({4, 4, sheet_right - 4, y + 12}, {Tab(3, p.tab, "",
                                                  {Locator({8, y + 2, narrow ? x - 10 : 50, 10},
                                                           p.locator_picture, p.locator_help)})}),
      List(list, p.format),
      insert,
      change,
      del,
      Button(kBrowsePublish, "Publish", {x, y, 42, 14}, "Generate an HTML of listed records"),
      select,
      close,
      Button(kBrowseHelp, "Help", {x + 86, y, 40, 14}),
  };
  return d;
}

ui::Proc LookupExit(const LookupParams& p, Browse& b) {
  const bool completed = b.local_response() == RespCompleted;
  File& f = b.file(p.file);
  // Only a lookup the frame opened for a report acts on the flag: another
  // thread's pending report selection is not this lookup's.
  const bool for_report = b.opened_for_report() && ReportAfterSelect.value == 100;
  if (!completed) {
    // Closed without a pick: the next lookup the user opens is an ordinary
    // browse again.
    if (for_report) ReportAfterSelect.value = 0;
    co_return;
  }
  // BrowseISSUES sets GLO:Issue only for the report; an ordinary pick
  // stays in the ISSUES record buffer.
  if (p.file != DataFile::kIssues || for_report) {
    SetReportSelection(p.file, f.Field(RelationTo(p.file)->lookup_field).GetNumber());
  }
  if (!for_report) co_return;
  ReportAfterSelect.value = 0;
  co_await PrintReport(p.report);
}

BrowseDesign BuildLookupDesign(const LookupParams& p) {
  static std::vector<std::unique_ptr<ui::WindowDef>> windows;
  windows.push_back(std::make_unique<ui::WindowDef>(BuildLookupWindow(p)));
  BrowseDesign d;
  d.procedure = p.procedure;
  d.window = windows.back().get();
  d.primary = p.file;
  d.files = {p.file};
  for (int c : p.columns) d.columns.push_back({p.file, c});
  // The reference travels with each row, so a pick keeps it even when the
  // record cannot be read again.
  if (p.file != DataFile::kIssues) d.hidden.push_back({p.file, RelationTo(p.file)->lookup_field});
  BrowseOrder order;
  order.key = p.key;
  order.stops = p.stops;
  order.locator = true;
  d.orders = {order};
  d.list = kBrowseList;
  d.sheet = kBrowseSheet;
  d.locator = kBrowseLocator;
  d.insert = kBrowseInsert;
  d.change = kBrowseChange;
  d.del = kBrowseDelete;
  d.select = kBrowseSelect;
  d.close = kBrowseClose;
  d.help = kBrowseHelp;
  d.publish = kBrowsePublish;
  d.select_title = p.select_title;
  d.html_name = p.html_name;
  d.html_heading = p.html_heading;
  d.html_header = p.html_header;
  d.on_exit = [&p](Browse& b) { return LookupExit(p, b); };
  return d;
}

const BrowseDesign& LookupDesign(int i) {
  static const std::vector<BrowseDesign> designs = [] {
    std::vector<BrowseDesign> out;
    for (const LookupParams& p : Lookups()) out.push_back(BuildLookupDesign(p));
    return out;
  }();
  return designs[i];
}

ui::Proc RunBrowse(const BrowseDesign& design) {
  Browse browse(design);
  co_await browse.Run();
}

}  // namespace

const BrowseDesign& FeaturesBrowseDesign() {
  static const BrowseDesign d = BuildFeaturesDesign();
  return d;
}
const BrowseDesign& SupplierBrowseDesign() { return LookupDesign(0); }
const BrowseDesign& ReviewBrowseDesign() { return LookupDesign(1); }
const BrowseDesign& CategoryBrowseDesign() { return LookupDesign(2); }
const BrowseDesign& IssuesBrowseDesign() { return LookupDesign(3); }

ui::Proc BrowseFEATURES() { return RunBrowse(FeaturesBrowseDesign()); }
ui::Proc BrowseSupplier() { return RunBrowse(SupplierBrowseDesign()); }
ui::Proc BrowseReview() { return RunBrowse(ReviewBrowseDesign()); }
ui::Proc BrowseCategory() { return RunBrowse(CategoryBrowseDesign()); }
ui::Proc BrowseISSUES() { return RunBrowse(IssuesBrowseDesign()); }

void RegisterBrowses() {
  RegisterProcedure("BrowseFEATURES", BrowseFEATURES);
  RegisterProcedure("BrowseSupplier", BrowseSupplier);
  RegisterProcedure("BrowseReview", BrowseReview);
  RegisterProcedure("BrowseCategory", BrowseCategory);
  RegisterProcedure("BrowseISSUES", BrowseISSUES);
}

}  // namespace mirabo::app
