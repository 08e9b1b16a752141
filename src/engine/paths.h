#pragma once
// Path helpers. Paths are UTF-8 and use '/' as the folder separator; the helpers keep
// the names they have always had (AddTrailingBackslash appends '/').

#include <string>

namespace tallowin {

// The path with a '/' appended unless it already ends with one ("" gives "/").
std::string AddTrailingBackslash(const std::string& path);

// The path up to and including its last '/', or "" when it has none.
std::string FolderOfPath(const std::string& path);

// The name part of a path: everything after its last '/'.
std::string FileNameOf(const std::string& path);

// The name part without its last extension ("a/b.tar.gz" gives "b.tar").
std::string FileTitleOf(const std::string& path);

// The text after the last '.' anywhere in the path, "" when there is none. A dot in a
// folder name counts when the file name has none.
std::string ExtensionOf(const std::string& path);

// True when the path names a file (not a folder) that can be opened for reading.
bool FileExists(const std::string& path);

}  // namespace tallowin
