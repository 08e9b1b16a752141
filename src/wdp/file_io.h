#pragma once
// File access of the library, over the shared plumbing: capped whole-file reads,
// checked writes, and outputs written under a staged name and renamed into place
// when complete.

#include "file_writer.h"
#include "whole_file.h"

#include <string>

namespace tallowin::wdp {

using plumbing::FileWriter;
using plumbing::ReadFileResult;
using plumbing::ReadWholeFile;

// A staged name beside `path` (same folder, so the rename stays on one file system).
// The first call for a folder also removes what killed processes left staged there.
std::string TemporarySibling(const std::string& path);

// Creates or truncates the file at `path` for a FileWriter; -1 when it cannot.
int CreateForWriting(const std::string& path);

// Renames a finished temporary file onto `path`, or removes it when that fails.
bool CommitTemporary(const std::string& temporary, const std::string& path);

}  // namespace tallowin::wdp
