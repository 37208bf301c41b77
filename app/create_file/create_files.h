// Create File: the window "CREATEFILES$WINDOW" that copies one of the five data
// files into a new xBase table (.dbf) or comma-delimited text file (.txt)
// that other programs read (app/file_copy.h does the copying).
//
// Where it differs from a plain run of the copy: the file name is used whole,
// never cut to a width (a cut path writes somewhere else); a file that exists
// but cannot be opened as the target (another program's table, a file held by
// another program) is still asked about before it is replaced; records that
// could not be written, a read that failed before the end and a target that
// could not be flushed or closed end the copy with "File Generation
// Incomplete" and what is missing, never "File Generation Complete".
//
// A long copy gives way between batches (CopyPacing), so the windows repaint
// and its progress bar moves; its own controls are disabled meanwhile, so the
// window takes no other input until the copy is over.
#pragma once

#include <string>

#include "app/data/declarations.h"
#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

enum CreateFilesControl : int {
  kCreateSourceGroup = 1,  // radios 2 to 6
  kCreateFeatures = 2,
  kCreateIssues = 3,
  kCreateCategory = 4,
  kCreateReview = 5,
  kCreateSupplier = 6,
  kCreateTypeGroup = 7,  // radios 8 and 9
  kCreateXbase = 8,
  kCreateText = 9,
  kCreateName = 10,
  kCreatePick = 11,
  kCreateStart = 12,
  kCreateCancel = 13,
  kCreateNamePrompt = 14,
  kCreateStatus = 15,
  kCreateProgress = 16,
  kCreatePercent = 17,
  kCreateProgressPrompt = 18,
};

const ui::WindowDef& CreateFilesWindowDef();

// How a long copy gives way to the rest of the program: after
// `batch_records` records, or sooner once a batch has taken `batch_ms`
// milliseconds of real time, it waits `pause_ms` on the scheduler's clock
// (the windows repaint, other procedures run) and goes on.
struct CopyPacing {
  int batch_records = 8192;
  int batch_ms = 25;
  int pause_ms = 1;
};

// How a text copy is written: as the window writes it (Windows-1252, no
// header), or, for the batch export, in UTF-8 and with a first line of field
// names.
struct TextCopyOptions {
  bool utf8 = false;
  bool header = false;
};

// `ask_before_replacing` false: a file the name names is replaced without
// the question, for a caller that has asked already (the batch export's
// --force).
ui::Proc CreateFiles(CopyPacing pacing = {}, bool ask_before_replacing = true,
                     TextCopyOptions text = {});

// The file a copy of `source` named `name` writes, as its driver completes
// the name: the xBase driver adds ".DBF" to a name without an extension and
// takes the trailing dot off "name.", both make it a path in the current
// folder.  The existence test looks at this name.
std::string CopyTargetPath(DataFile source, bool xbase, const std::string& name);

// Registers CreateFiles by name, for the frame's File, Create File.
void RegisterCreateFiles();

}  // namespace mirabo::app
