// The frame procedure Main: the multiple-document frame "MAIN$APPFRAME" with
// its menus, toolbar and status-bar clock.  It starts every other procedure
// on a thread of its own, passes the record-navigation buttons to the active
// child window, and greets the user with the About window.
#pragma once

#include <ctime>
#include <functional>

#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

// Control numbers of the frame.
enum FrameControl : int {
  kMenuCreateFile = -1,
  kMenuPrintSetup = -2,
  kMenuExit = -3,
  kMenuCut = -4,
  kMenuCopy = -5,
  kMenuPaste = -6,
  kMenuBrowseCategory = -7,
  kMenuBrowseFeatures = -8,
  kMenuBrowseIssues = -9,
  kMenuBrowseReview = -10,
  kMenuBrowseSupplier = -11,
  kMenuSearch = -12,
  kMenuReports = -13,
  kMenuReportCategory = -14,
  kMenuReportFeatures = -15,
  kMenuByCategory = -16,
  kMenuByIssue = -17,
  kMenuByReview = -18,
  kMenuBySupplier = -19,
  kMenuReportIssue = -20,
  kMenuReportReview = -21,
  kMenuReportSupplier = -22,
  kMenuTile = -23,
  kMenuCascade = -24,
  kMenuArrange = -25,
  kMenuHelpContents = -26,
  kMenuHelpSearch = -27,
  kMenuHelpHowTo = -28,
  kMenuAbout = -29,
  kMenuOpenDataFolder = -30,
  kMenuRecentFolders = -31,
  kMenuRecentFolder1 = -32,  // to -39, the latest first
  kMenuLoadData = -40,

  kToolInsert = 2000,
  kToolChange = 2001,
  kToolDelete = 2002,
  kToolSelect = 2003,
  kToolBottom = 2004,
  kToolTop = 2005,
  kToolPageDown = 2006,
  kToolPageUp = 2007,
  kToolDown = 2008,
  kToolUp = 2009,
  kToolLocate = 2010,
  kToolHistory = 2011,
  kToolHelp = 2012,
  kToolSuppliers = 2013,
  kToolSearch = 2014,
  kToolReviews = 2015,
  kToolCategories = 2016,
  kToolFeatures = 2017,
  kToolIssues = 2018,
};

const ui::WindowDef& FrameWindowDef();

ui::Proc Main();

// Where the status-bar clock takes the local date and time from; tests set
// their own.  Defaults to the system's local time.
void SetLocalTimeSource(std::function<std::tm()> source);

// The texts of status zones 3 and 4 for a moment: "Monday, DEC  1,1997"
// (weekday, then the date in picture D3) and the time in picture T3.
std::string FrameDateText(const std::tm& t);
std::string FrameTimeText(const std::tm& t);

}  // namespace mirabo::app
