#include "file_io.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallowin::wdp {

namespace {

constexpr size_t kWriteChunk = size_t{1} << 20;

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

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

ReadFileResult ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return ReadFileResult::OpenFailed;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return ReadFileResult::OpenFailed;
    if (static_cast<uint64_t>(status.st_size) > maxBytes) return ReadFileResult::TooLarge;

    bytes.assign(static_cast<size_t>(status.st_size), 0);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ReadFileResult::ReadFailed;
        }
        if (got == 0) break;  // the file shrank while we read it
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return ReadFileResult::Ok;
}

std::string TemporarySibling(const std::string& path) {
    // Unique per process and call, so two conversions to one name never share a file.
    static std::atomic<unsigned> counter{0};
    return path + ".part" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool CommitTemporary(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

FileWriter::FileWriter(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    pending_.reserve(kWriteChunk);
}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileWriter::Flush() {
    if (!failed_ && !pending_.empty()) failed_ = !WriteAll(fd_, pending_.data(), pending_.size());
    pending_.clear();
    return !failed_;
}

bool FileWriter::Write(const uint8_t* data, size_t size) {
    if (fd_ < 0 || failed_) return false;
    if (pending_.size() + size > kWriteChunk && !Flush()) return false;
    if (size >= kWriteChunk) {
        failed_ = !WriteAll(fd_, data, size);
        return !failed_;
    }
    pending_.insert(pending_.end(), data, data + size);
    return true;
}

bool FileWriter::Finish() {
    if (fd_ < 0) return false;
    const bool flushed = Flush() && ::fsync(fd_) == 0;
    // close can report a delayed write error of its own.
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return flushed && closed;
}

}  // namespace tallowin::wdp
