#include "file_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallowin::plumbing {

namespace {

constexpr size_t kWriteChunk = size_t{1} << 20;

// pwrite until everything is written. A write that makes no progress (0 bytes) is a
// failure too, so a full disk can never loop.
int WriteAllAt(int fd, const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return ENOSPC;
        data += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return 0;
}

}  // namespace

FileWriter::FileWriter(int fd) : fd_(fd) {
    if (fd_ < 0) error_ = EBADF;
}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void FileWriter::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool FileWriter::Flush() {
    if (!HasFailed() && !pending_.empty()) {
        const int error = WriteAllAt(fd_, pending_.data(), pending_.size(), position_);
        if (error != 0) {
            Fail(error);
        } else {
            position_ += pending_.size();
        }
    }
    pending_.clear();
    return !HasFailed();
}

bool FileWriter::Write(const void* data, size_t size) {
    if (HasFailed()) return false;
    if (size == 0) return true;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (pending_.size() + size > kWriteChunk && !Flush()) return false;
    if (size >= kWriteChunk) {
        const int error = WriteAllAt(fd_, bytes, size, position_);
        if (error != 0) {
            Fail(error);
            return false;
        }
        position_ += size;
        return true;
    }
    if (pending_.capacity() == 0) pending_.reserve(kWriteChunk);
    pending_.insert(pending_.end(), bytes, bytes + size);
    return true;
}

bool FileWriter::Seek(uint64_t offset) {
    if (!Flush()) return false;
    position_ = offset;
    return true;
}

bool FileWriter::Finish() {
    if (fd_ < 0) return false;
    Flush();
    // close can report a delayed write error of its own (network file systems).
    if (::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    return !HasFailed();
}

bool CloseStream(std::FILE* file) {
    if (file == nullptr) return false;
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return flushed && closed;
}

}  // namespace tallowin::plumbing
