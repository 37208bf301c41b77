#include "app/shell/frame.h"

#include <string>
#include <vector>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "app/shell/about.h"
#include "app/shell/data_folders.h"
#include "app/shell/procedures.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using ui::ControlDef;
using ui::ControlKind;
using ui::MenuItemDef;

constexpr char kDayNames[] = "Sunday   Monday   Tuesday  WednesdayThursday Friday   Saturday ";

std::function<std::tm()>& TimeSource() {
  static std::function<std::tm()> source = [] {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
  };
  return source;
}

// What a menu item or toolbar button does, as data.
struct Action {
  enum Kind { kStart, kSelectThenPrint } kind;
  int id;
  const char* procedure;
  int stack;
};

constexpr Action kActions[] = {
    {Action::kStart, kMenuCreateFile, "CreateFiles", 25000},
    {Action::kStart, kMenuLoadData, "LoadData", 25000},
    {Action::kStart, kMenuBrowseCategory, "BrowseCategory", 25000},
    {Action::kStart, kMenuBrowseFeatures, "BrowseFEATURES", 50000},
    {Action::kStart, kMenuBrowseIssues, "BrowseISSUES", 50000},
    {Action::kStart, kMenuBrowseReview, "BrowseReview", 25000},
    {Action::kStart, kMenuBrowseSupplier, "BrowseSupplier", 25000},
    {Action::kStart, kMenuSearch, "SearchFeatures", 25000},
    {Action::kStart, kMenuReportCategory, "PRINTCAT:CATEGORY", 25000},
    {Action::kSelectThenPrint, kMenuByCategory, "BrowseCategory", 0},
    {Action::kSelectThenPrint, kMenuByIssue, "BrowseISSUES", 0},
    {Action::kSelectThenPrint, kMenuByReview, "BrowseReview", 0},
    {Action::kSelectThenPrint, kMenuBySupplier, "BrowseSupplier", 0},
    {Action::kStart, kMenuReportIssue, "PRINTISS:ISSUE", 50000},
    {Action::kStart, kMenuReportReview, "PRINTREV:REVIEW", 25000},
    {Action::kStart, kMenuReportSupplier, "PRINTSUP:SUPPLIER", 25000},
    {Action::kStart, kMenuAbout, "AboutQRT", 25000},
    {Action::kStart, kToolSuppliers, "BrowseSupplier", 25000},
    {Action::kStart, kToolSearch, "SearchFeatures", 25000},
    {Action::kStart, kToolReviews, "BrowseReview", 25000},
    {Action::kStart, kToolCategories, "BrowseCategory", 25000},
    {Action::kStart, kToolFeatures, "BrowseFEATURES", 25000},
    {Action::kStart, kToolIssues, "BrowseISSUES", 25000},
};

// The items of Recent Data Folders: their texts are the folders, set while
// the frame is open (ShowRecentFolders).
std::vector<MenuItemDef> RecentFolderItems() {
  std::vector<MenuItemDef> items;
  for (int i = 0; i < kRecentDataFolders; ++i) {
    items.push_back({"-", kMenuRecentFolder1 - i, "Use the data files of this folder"});
  }
  return items;
}

void ShowRecentFolders(ui::Window& frame) {
  const std::vector<std::string> folders = RecentDataFolders();
  for (int i = 0; i < kRecentDataFolders; ++i) {
    const bool shown = i < static_cast<int>(folders.size());
    if (shown) frame.SetMenuText(kMenuRecentFolder1 - i, folders[i], /*file_name=*/true);
    frame.HideMenu(kMenuRecentFolder1 - i, !shown);
  }
  frame.EnableMenu(kMenuRecentFolders, !folders.empty());
}

ControlDef Tool(int id, const char* icon, const char* tip) {
  ControlDef c;
  c.kind = ControlKind::kButton;
  c.id = id;
  c.icon = icon;
  c.help = tip;
  return c;
}

ControlDef TextTool(int id, const char* text, const char* tip) {
  ControlDef c;
  c.kind = ControlKind::kButton;
  c.id = id;
  c.text = text;
  c.help = tip;
  return c;
}

ui::WindowDef BuildFrameDef() {
  ui::WindowDef d;
  d.name = "MAIN$APPFRAME";
  d.title = "Mirabo Features Database Browser";
  d.icon = "BR32.ICO";
  d.width = 439;
  d.height = 289;
  d.flags = ui::kMdiFrame | ui::kResizable | ui::kMaximizeBox;
  d.help = "frame.html";
  d.status_zones = {-1, 80, 120, 45};
  d.menus = {
      {"&File",
       0,
       "",
       false,
       {{"&Create File", kMenuCreateFile, "Create a copy of a File"},
        {"&Print Setup ...", kMenuPrintSetup, "Setup printer"},
        {},
        {"&Open Data Folder...", kMenuOpenDataFolder, "Use the data files of another folder"},
        {"Recent Data &Folders", kMenuRecentFolders, "Data folders used before", false,
         RecentFolderItems()},
        {"&Load Data...", kMenuLoadData, "Load CSV files or xBase tables into the data files"},
        {},
        {"E&xit", kMenuExit, "Exit this application"}}},
      {"&Edit",
       0,
       "",
       false,
       {{"Cu&t", kMenuCut, "Remove item to Windows Clipboard"},
        {"&Copy", kMenuCopy, "Copy item to Windows Clipboard"},
        {"&Paste", kMenuPaste, "Paste contents of Windows Clipboard"}}},
      {"&Browse",
       0,
       "",
       false,
       {{"&Category Table", kMenuBrowseCategory, "Browse the Category Table"},
        {"&Features Table", kMenuBrowseFeatures, "Browse FEATURES"},
        {"&Issues Table", kMenuBrowseIssues, "Browse ISSUES"},
        {"&Review Table", kMenuBrowseReview, "Browse the Review Table"},
        {"&Supplier Table", kMenuBrowseSupplier, "Browse the Supplier Table"}}},
      {"Se&arch", kMenuSearch, "Search Features"},
      {"&Reports",
       kMenuReports,
       "Report data",
       false,
       {{"&Category Table", kMenuReportCategory, "Print Category Table"},
        {"&Features",
         kMenuReportFeatures,
         "Features Reports",
         false,
         {{"By &Category", kMenuByCategory, "Print by Category"},
          {"By &Issue", kMenuByIssue, "Print by Issue"},
          {"By &Review", kMenuByReview, "Print by Review"},
          {"By &Supplier", kMenuBySupplier, "Print by Supplier"}}},
        {"&Issue Table", kMenuReportIssue, "Print Issue Table"},
        {"&Review Table", kMenuReportReview, "Print Review Table"},
        {"&Supplier Table", kMenuReportSupplier, "Print Supplier Table"}}},
      {"&Window",
       0,
       "Create and Arrange windows",
       false,
       {{"T&ile", kMenuTile, "Make all open windows visible"},
        {"&Cascade", kMenuCascade, "Stack all open windows"},
        {"&Arrange Icons", kMenuArrange, "Align all window icons"}}},
      {"&Help",
       0,
       "Windows Help",
       false,
       {{"&Contents", kMenuHelpContents, "View the contents of the help file"},
        {"&Search for Help On...", kMenuHelpSearch, "Search for help on a subject"},
        {"&How to Use Help", kMenuHelpHowTo, "How to use Windows Help"},
        {},
        {"&About Mirabo Database Browser", kMenuAbout, "About Mirabo Features Database Manager"}}},
  };
  d.toolbar = {
      Tool(kToolTop, "VCRFIRST.ICO", "Go to the First Page"),
      Tool(kToolPageUp, "VCRPRIOR.ICO", "Go to the Prior Page"),
      Tool(kToolUp, "VCRUP.ICO", "Go to the Prior Record"),
      Tool(kToolLocate, "FIND.ICO", "Locate record"),
      Tool(kToolDown, "VCRDOWN.ICO", "Go to the Next Record"),
      Tool(kToolPageDown, "VCRNEXT.ICO", "Go to the Next Page"),
      Tool(kToolBottom, "VCRLAST.ICO", "Go to the Last Page"),
      Tool(kToolSelect, "MARK.ICO", "Select This Record"),
      Tool(kToolInsert, "INSERT.ICO", "Insert a New Record"),
      Tool(kToolChange, "EDIT.ICO", "Edit This Record"),
      Tool(kToolDelete, "DELETE.ICO", "Delete This Record"),
      Tool(kToolHistory, "DITTO.ICO", "Previous value"),
      Tool(kToolHelp, "HELP.ICO", "Get Help"),
      TextTool(kToolSuppliers, "Suppliers", "Browse the Supplier Table"),
      TextTool(kToolSearch, "Search", "Search using User Defined Criteria"),
      TextTool(kToolReviews, "Reviews", "Browse the Reviews Table"),
      TextTool(kToolCategories, "Categories", "Browse the Category Table"),
      TextTool(kToolFeatures, "Features", "Browse the Features Table"),
      TextTool(kToolIssues, "Issues", "Browse the Issues Table"),
  };
  return d;
}

// The About window started as a greeting: its thread while it still shows.
bool GreetingShows(int thread) {
  ui::Scheduler& s = ui::Scheduler::Get();
  if (thread == 0 || !s.Alive(thread)) return false;
  // A greeting that closed by itself may have left its number to another
  // procedure; only the About window is closed.
  const ui::Window* top = s.TopWindow(thread);
  return top && top->def().name == AboutWindowDef().name;
}

void ShowDateAndTime(ui::Window& frame) {
  const std::tm now = TimeSource()();
  frame.SetStatus(3, FrameDateText(now));
  frame.SetStatus(4, FrameTimeText(now));
}

}  // namespace

const ui::WindowDef& FrameWindowDef() {
  static const ui::WindowDef def = BuildFrameDef();
  return def;
}

void SetLocalTimeSource(std::function<std::tm()> source) { TimeSource() = std::move(source); }

std::string FrameDateText(const std::tm& t) {
  const int32_t serial = DateSerial(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  const int day = ((serial % 7) + 7) % 7;
  const std::string name(Clip(std::string_view(kDayNames + day * 9, 9)));
  return name + ", " + FormatPicture("D3", serial);
}

std::string FrameTimeText(const std::tm& t) {
  return FormatPicture("T3", TimeValue(t.tm_hour, t.tm_min, t.tm_sec));
}

ui::Proc Main() {
  ThreadBlock& block = CurrentThread();
  const int32_t local_request = block.SharedRequest.value;
  int32_t local_response = RespCancelled;
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;
  (void)local_request;

  ui::Scheduler& scheduler = ui::Scheduler::Get();
  ui::Window frame(FrameWindowDef());
  frame.Open();
  RestoreWindowPosition(frame, "Main");
  if (frame.timer() < 1 || frame.timer() > 100) frame.SetTimer(100);
  ShowDateAndTime(frame);
  ShowRecentFolders(frame);

  int greeting = 0;
  bool first_focus = false;
  while (ui::Event e = co_await frame.Accept()) {
    switch (e.code) {
      case ui::EVENT_OpenWindow: {
        greeting = scheduler.Start(AboutQRT(), 0);
        if (!first_focus) {
          first_focus = true;
          frame.Display();
        }
        continue;
      }
      case ui::EVENT_GainFocus:
        frame.Display();
        continue;
      case ui::EVENT_Rejected:
        ui::Beep();
        frame.Select(e.control);
        continue;
      default:
        break;
    }
    if (e.code == ui::EVENT_Accepted && greeting) {
      if (GreetingShows(greeting)) scheduler.PostToThread(greeting, {ui::EVENT_CloseWindow});
      greeting = 0;
    }
    if (e.code == ui::EVENT_Accepted && e.control >= kToolInsert && e.control <= kToolHelp) {
      // Record navigation belongs to the active browse, on its own thread.
      if (ui::Window* child = scheduler.ActiveChild()) {
        scheduler.PostToThread(child->owner(), {ui::EVENT_Accepted, e.control});
      }
      continue;
    }
    if (e.code == ui::EVENT_Timer) {
      ShowDateAndTime(frame);
      continue;
    }
    if (e.code != ui::EVENT_Accepted) continue;
    switch (e.control) {
      case kMenuPrintSetup:
        co_await ui::PrinterSetup();
        continue;
      case kMenuOpenDataFolder:
        co_await OpenDataFolder();
        ShowRecentFolders(frame);
        continue;
      case kMenuExit:
        frame.Post(ui::EVENT_CloseWindow);
        continue;
      case kMenuCut:
        scheduler.backend().Edit(ui::EditAction::kCut);
        continue;
      case kMenuCopy:
        scheduler.backend().Edit(ui::EditAction::kCopy);
        continue;
      case kMenuPaste:
        scheduler.backend().Edit(ui::EditAction::kPaste);
        continue;
      case kMenuTile:
        scheduler.backend().ArrangeChildren(ui::Arrange::kTile);
        continue;
      case kMenuCascade:
        scheduler.backend().ArrangeChildren(ui::Arrange::kCascade);
        continue;
      case kMenuArrange:
        scheduler.backend().ArrangeChildren(ui::Arrange::kIcons);
        continue;
      case kMenuHelpContents:
        ui::Help(ui::HelpAction::kContents);
        continue;
      case kMenuHelpSearch:
        ui::Help(ui::HelpAction::kSearch);
        continue;
      case kMenuHelpHowTo:
        ui::Help(ui::HelpAction::kHowToUse);
        continue;
      default:
        break;
    }
    if (e.control <= kMenuRecentFolder1 && e.control > kMenuRecentFolder1 - kRecentDataFolders) {
      const std::vector<std::string> folders = RecentDataFolders();
      const size_t i = static_cast<size_t>(kMenuRecentFolder1 - e.control);
      std::string why;
      if (i < folders.size() && !UseDataFolder(folders[i], &why)) {
        ui::MessageRequest failed{"The folder cannot be used.", "Open Data Folder",
                                  ui::Icon::kExclamation};
        failed.detail = folders[i] + ": " + why;
        co_await ui::Message(failed);
      }
      ShowRecentFolders(frame);
      continue;
    }
    for (const Action& a : kActions) {
      if (a.id != e.control) continue;
      const std::string name = a.procedure;
      const int started = co_await StartProcedure(name, a.stack);
      if (started && a.kind == Action::kSelectThenPrint) {
        // The browse runs on a thread of its own and so does not see this
        // thread's SharedRequest: the process-wide flag puts it in select
        // mode.  It reads the flag when it first runs, after this thread waits.
        ReportAfterSelect.value = 100;
      }
      break;
    }
  }

  SaveWindowPosition(frame, "Main");
  frame.Close();
  block.SharedResponse.value = local_response;
}

}  // namespace mirabo::app
