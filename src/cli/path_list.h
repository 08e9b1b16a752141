#pragma once
// The list of --files-from: photo paths read from a file or from standard input, as
// `find -print0`, `xargs`, GNU parallel or a job array's chunk files give them.

#include <string>
#include <string_view>
#include <vector>

namespace tallowin::cli {

// Splits a list into paths: at NUL characters when the text holds any (so paths may
// hold newlines), else at newlines. Empty entries are dropped; nothing else is trimmed
// (spaces, tabs and carriage returns belong to the path).
std::vector<std::string> SplitPathList(std::string_view text);

// Reads the list named `source` ("-" for standard input) and appends its paths to
// `paths`. False, with the reason in `error` ("<source>: <system's reason>"), when the
// list cannot be read.
bool ReadPathList(const std::string& source, std::vector<std::string>& paths, std::string& error);

}  // namespace tallowin::cli
