// Names of a table's files.  A folder part ends at the last ':', '\' or '/'
// (names may come from declarations written for either kind of system).
#pragma once

#include <string>

namespace mirabo::xbase {

// The folder part of `path`, with its separator; empty when there is none.
std::string FolderOf(const std::string& path);
// `path` without its folder part.
std::string WithoutFolder(const std::string& path);
// `path` with the extension of its file name replaced by `ext` (".BAK"), or
// `ext` added when it has none.
std::string WithExtension(const std::string& path, const char* ext);
// Whether a file of that name exists (a file others keep from us counts).
bool FileExists(const std::string& path);

}  // namespace mirabo::xbase
