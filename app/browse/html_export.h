// Publish: writes a browse's rows as an HTML page, either the rows shown or
// every record of the browse's order and range, through the line driver.
//
// Where the page differs from a plain copy of the records: cell values are
// HTML-escaped (&, <, > and "), so data cannot break the page or inject
// markup; and a row longer than the 255-character LINE continues on the
// following lines (broken between cells, or inside a long cell at a blank)
// instead of being cut, so no text is lost and every row is closed.
#pragma once

#include <string>
#include <vector>

#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

class Browse;

// The property window "$HTMLPROPWINDOW".
const ui::WindowDef& HtmlPropertyWindowDef();

enum HtmlControl : int {
  kHtmlPrompt = 1,
  kHtmlIcon = 2,
  kHtmlName = 3,
  kHtmlPick = 4,
  kHtmlDisplayed = 5,
  kHtmlAll = 6,
  kHtmlCancel = 7,
  kHtmlProgress = 8,
};

// The lines of one table row: "<TR> <TD>" cells joined by "</TD> <TD>" then
// "</TD> </TR>", escaped, each line at most `width` characters.
std::vector<std::string> HtmlRowLines(const std::vector<std::string>& cells, size_t width = 255);

// Escapes &, <, > and ".
std::string HtmlEscape(std::string_view text);

// How pages are written: Windows-1252, as the window writes them, or UTF-8
// for the batch command's --encoding utf-8.  The page's <META> says which.
struct PageSettings {
  bool utf8 = false;
};
// Installs `settings` for the pages written from now on; returns the ones
// replaced.
PageSettings SetPageSettings(PageSettings settings);

// The file a page named `name` is written to (the line driver uses a name
// as it is, less trailing blanks).
std::string PageTargetPath(const std::string& name);

// Runs Publish for `browse`: the property window and the writing.  The
// browse awaits it at once from its own event loop, so `browse` outlives it.
ui::Proc PublishHtml(Browse& browse);

}  // namespace mirabo::app
