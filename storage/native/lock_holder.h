// Which process holds a lock on a native data file, for the messages of a
// program that waits for it.
#pragma once

#include <string>

namespace mirabo::native {

// The id of another process that holds a lock on the SQLite database file
// `path` (a reader's shared lock or a writer's), -1 when one does but the
// system does not say which, 0 when none does.  Looks through a descriptor
// this process already has open on the file when there is one: closing a
// descriptor of our own would drop the locks SQLite holds for us.
int LockHolder(const std::string& path);

}  // namespace mirabo::native
