// The report preview REPORTPREVIEW: the pages of a finished report run as a
// grid of whole pages (up to 10 across and 10 down) or one page at a time at
// a zoom, with Print and Exit.  Called by a report on its own thread with the
// run's page list; answers through SharedResponse: RespCompleted when the
// user chose Print (the caller then prints), else RespCancelled.
//
// Two small dialogs belong to it: PREVIEW:JUMPTOPAGE (go to a page) and
// PREVIEW:SELECTDISPLAY (choose the grid).
#pragma once

#include <cstdint>

#include "report/page_image.h"
#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

// Control and menu numbers of the preview window.
enum PreviewControl : int {
  kPreviewMenuFile = -1,
  kPreviewMenuPrint = -2,
  kPreviewMenuExit = -3,
  kPreviewMenuView = -4,
  kPreviewMenuNext = -5,
  kPreviewMenuPrevious = -6,
  kPreviewMenuJump = -7,
  kPreviewMenuChangeDisplay = -8,
  kPreviewMenuZoom = -9,
  kPreviewMenuNoZoom = -10,
  kPreviewMenuPageWidth = -11,
  kPreviewMenu50 = -12,
  kPreviewMenu75 = -13,
  kPreviewMenu100 = -14,
  kPreviewMenu200 = -15,
  kPreviewMenu300 = -16,
  kPreviewMenuSavePdf = -17,

  kPreviewPrintButton = 1,
  kPreviewExitButton = 2,
  kPreviewZoomButton = 3,
  kPreviewPagePrompt = 4,
  kPreviewPageField = 5,
  kPreviewAcrossPrompt = 6,
  kPreviewAcrossField = 7,
  kPreviewDownPrompt = 8,
  kPreviewDownField = 9,

  // Created at run time: the image that measures the first page, the
  // single zoomed page, and per grid cell (1 to 100) a frame box and an image.
  kPreviewMeasureImage = 10,
  kPreviewZoomImage = 11,
  kPreviewCellBoxBase = 100,
  kPreviewCellImageBase = 200,
};

// Controls of the two dialogs.
enum PreviewDialogControl : int {
  kJumpPrompt = 1,
  kJumpField = 2,
  kJumpOk = 3,
  kJumpCancel = 4,
  kDisplayGroup = 1,
  kDisplayAcrossGroup = 2,
  kDisplayAcrossField = 3,
  kDisplayDownGroup = 4,
  kDisplayDownField = 5,
  kDisplayOk = 6,
};

const ui::WindowDef& PreviewWindowDef();
const ui::WindowDef& JumpWindowDef();
const ui::WindowDef& SelectDisplayWindowDef();

// REPORTPREVIEW: shows `pages` (read only) until Print, Exit or the close
// box; sets SharedResponse.  `pages` must not be empty and must outlive the
// task (the report run that owns them awaits it).  "Save as PDF..." writes
// them to a file the user picks, named and titled after `title` (the
// report's, Windows-1252), and the preview stays.
ui::Proc REPORTPREVIEW(const report::PageImageList& pages, const std::string& title = {});

// PREVIEW:JUMPTOPAGE: the page chosen (1 to total), or `current` when the
// user cancels.
ui::Task<int32_t> PreviewJumpToPage(int32_t current, int32_t total);

// PREVIEW:SELECTDISPLAY: edits the grid size in place, each 1 to 10; both
// must outlive the task.
ui::Proc PreviewSelectDisplay(int32_t& across, int32_t& down);

// Makes page files known to the window layer's image controls, which then
// measure them by name (ui/image_source.h): the preview shows each page in
// one.  Safe to call more than once.
void RegisterPageImageKind();

// The status texts of the preview.
std::string PreviewPageText(int32_t current, int32_t shown, int32_t total);

}  // namespace mirabo::app
