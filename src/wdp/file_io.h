#pragma once
// File access of the library: bounded whole-file reads, buffered writes, and outputs
// written under a temporary name and renamed into place when complete.

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

// Writes a new file piece by piece; Finish flushes it to disk and reports whether every
// write reached it. Destroying an unfinished writer closes the file as it stands.
class FileWriter {
public:
    explicit FileWriter(const std::string& path);  // created or truncated
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Write(const uint8_t* data, size_t size);
    bool Finish();

private:
    bool Flush();

    int fd_ = -1;
    bool failed_ = false;
    std::vector<uint8_t> pending_;  // collects small writes into large ones
};

// Renames a finished temporary file onto `path`, or removes it when that fails.
bool CommitTemporary(const std::string& temporary, const std::string& path);

}  // namespace tallowin::wdp
