#pragma once
// Reads of whole files (and of their first bytes) with a cap on the size, checked
// before anything is allocated.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::plumbing {

enum class ReadFileResult {
    Ok,
    OpenFailed,   // missing, unreadable, or not a regular file
    TooLarge,     // larger than the cap: nothing was read
    ReadFailed,   // an I/O error while reading
    OutOfMemory,  // the buffer could not be had
};

// Reads the whole regular file at `path` into `bytes`. A file that shrinks while it
// is read gives what it still held.
ReadFileResult ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes);

// Reads at most `limit` bytes from the start of the file (fewer when it is shorter).
ReadFileResult ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace tallowin::plumbing
