// The run's private folder for its temporary files (report page files).
//
// One folder per running program, readable by its user alone (mode 0700):
// under $XDG_RUNTIME_DIR when it is set (a folder the system empties at
// logout), else in the temporary folder ($TMPDIR, else /tmp), named
// "mirabo-<uid>-<pid>".  It is made on first use and removed when the
// program ends: at exit, and on SIGINT, SIGTERM and SIGHUP before the signal
// ends the program.  A run killed outright (SIGKILL, a crash) cannot remove
// it; the next program to start removes the folders of runs whose process is
// gone (RemoveStaleRunFolders).
#pragma once

#include <string>

namespace mirabo {

// The folder, made if need be; empty when it cannot be made (the caller
// falls back to the temporary folder).
const std::string& RunFolder();

// Removes the run folder at exit and when SIGINT, SIGTERM or SIGHUP end the
// program.  Call once, early in main.
void RemoveRunFolderAtExit();

// Removes the run folders of this user whose process no longer runs.
void RemoveStaleRunFolders();

// A file outside the run folder that the run is writing (an output's
// temporary file beside its target): removed too when a signal ends the
// program before the file is renamed or dropped.  A few at a time; one more
// is not watched.
void NoteTemporaryFile(const std::string& path);
void ForgetTemporaryFile(const std::string& path);

}  // namespace mirabo
