#pragma once
// Whole-file reads and writes that never leave a partial output behind.

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::wdp {

enum class ReadFileResult { Ok, OpenFailed, TooLarge, ReadFailed };

// Reads the whole file; refuses files larger than maxBytes before allocating.
ReadFileResult ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes);

// A name beside `path` for writing before the final rename (same folder, so the rename
// stays on one file system).
std::string TemporarySibling(const std::string& path);

// Writes bytes to `path` (created or truncated) and flushes them to disk.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes bytes to a temporary sibling, flushes it and renames it onto `path`. On any
// failure the temporary file is removed and `path` is left as it was.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

// Renames a finished temporary file onto `path`, or removes it when that fails.
bool CommitTemporary(const std::string& temporary, const std::string& path);

}  // namespace tallowin::wdp
