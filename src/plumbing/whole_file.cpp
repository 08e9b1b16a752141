#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <stdexcept>

namespace tallowin::plumbing {

namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads until `size` bytes arrived or the file ended; -1 on an I/O error.
ssize_t ReadFully(int fd, uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// Opens a regular file for reading. Opening without blocking keeps a FIFO put where
// a photo was expected from stalling the caller; it is refused right after.
int OpenRegular(const std::string& path, struct stat& status) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ReadFileResult Resize(std::vector<uint8_t>& bytes, size_t size) {
    try {
        bytes.assign(size, 0);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return ReadFileResult::OutOfMemory;
    } catch (const std::length_error&) {
        bytes.clear();
        return ReadFileResult::OutOfMemory;
    }
    return ReadFileResult::Ok;
}

}  // namespace

ReadFileResult ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    struct stat status {};
    Descriptor file(OpenRegular(path, status));
    if (file.get() < 0) return ReadFileResult::OpenFailed;
    if (status.st_size < 0 || static_cast<uint64_t>(status.st_size) > maxBytes) return ReadFileResult::TooLarge;
    const ReadFileResult sized = Resize(bytes, static_cast<size_t>(status.st_size));
    if (sized != ReadFileResult::Ok) return sized;
    const ssize_t got = ReadFully(file.get(), bytes.data(), bytes.size());
    if (got < 0) {
        bytes.clear();
        return ReadFileResult::ReadFailed;
    }
    bytes.resize(static_cast<size_t>(got));
    return ReadFileResult::Ok;
}

ReadFileResult ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    struct stat status {};
    Descriptor file(OpenRegular(path, status));
    if (file.get() < 0) return ReadFileResult::OpenFailed;
    const ReadFileResult sized = Resize(bytes, limit);
    if (sized != ReadFileResult::Ok) return sized;
    const ssize_t got = ReadFully(file.get(), bytes.data(), bytes.size());
    if (got < 0) {
        bytes.clear();
        return ReadFileResult::ReadFailed;
    }
    bytes.resize(static_cast<size_t>(got));
    return ReadFileResult::Ok;
}

}  // namespace tallowin::plumbing
