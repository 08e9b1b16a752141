#pragma once
// Writes a new file piece by piece and reports whether every byte reached it. A
// short write, a full disk (ENOSPC) or the file size limit (EFBIG) fails the writer
// for good: later writes do nothing and Finish reports the failure.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tallowin::plumbing {

class FileWriter {
public:
    explicit FileWriter(int fd);  // takes the descriptor; -1 gives a writer that has failed
    ~FileWriter();                // closes the file as it stands when Finish was not called
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Write(const void* data, size_t size);
    // Moves the write position (the file may be written out of order).
    bool Seek(uint64_t offset);
    uint64_t Position() const { return position_ + pending_.size(); }

    // Writes what is pending and closes the file; true when every write reached it.
    bool Finish();

    bool HasFailed() const { return error_ != 0; }
    int Error() const { return error_; }  // errno of the first failure, 0 while none

private:
    bool Flush();
    void Fail(int error);

    int fd_;
    int error_ = 0;
    uint64_t position_ = 0;          // where pending_ goes
    std::vector<uint8_t> pending_;   // collects small writes into large ones
};

// Flushes and closes a stream, true only when every byte written through it reached
// the file (stdio keeps write errors until the stream is flushed or closed).
bool CloseStream(std::FILE* file);

}  // namespace tallowin::plumbing
