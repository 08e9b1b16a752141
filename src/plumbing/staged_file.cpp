#include "staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>

namespace tallowin::plumbing {

namespace {

constexpr std::string_view kStagedMark = ".part";
// Longer extensions are dropped from the staged name rather than shortening the title
// to nothing.
constexpr size_t kMaxKeptExtension = 16;
// Attempts at a fresh name when one is taken (a stale file of a reused process id).
constexpr int kCreateAttempts = 100;

// Several threads of one process may stage files in one folder at once.
std::atomic<unsigned long long> g_counter{0};

// Folders this process has already cleaned of abandoned staged files.
std::mutex g_cleanedMutex;
std::set<std::string> g_cleanedFolders;

struct SplitPath {
    std::string folder;  // with its trailing '/', or empty
    std::string title;
    std::string extension;  // with its dot, or empty
};

SplitPath Split(const std::string& path) {
    SplitPath split;
    const size_t slash = path.find_last_of('/');
    split.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxKeptExtension) {
        split.title = name.substr(0, dot);
        split.extension = name.substr(dot);
    } else {
        split.title = name;
    }
    return split;
}

// The longest start of `text` of at most `bytes` bytes that does not cut a UTF-8
// sequence in two.
std::string Utf8Prefix(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// "<pid>-<counter>" at the end of `core`, after its last dot.
std::optional<pid_t> OwnerOfCore(std::string_view core) {
    const size_t dot = core.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    const std::string_view token = core.substr(dot + 1);
    const size_t dash = token.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::string_view pid = token.substr(0, dash);
    if (!AllDigits(pid) || !AllDigits(token.substr(dash + 1)) || pid.size() > 9) return std::nullopt;
    long value = 0;
    for (const char c : pid) value = value * 10 + (c - '0');
    if (value <= 0) return std::nullopt;
    return static_cast<pid_t>(value);
}

bool ProcessRuns(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

size_t RemoveAbandonedIn(int folderFd) {
    DIR* dir = ::fdopendir(folderFd);
    if (dir == nullptr) {
        ::close(folderFd);
        return 0;
    }
    size_t removed = 0;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> owner = StagedNameOwner(entry->d_name);
        if (!owner || *owner == self || ProcessRuns(*owner)) continue;
        struct stat status {};
        if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

int OpenFolder(const std::string& folder) {
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

std::string StagedPathFor(const std::string& finalPath) {
    const SplitPath split = Split(finalPath);
    const std::string suffix = "." + std::to_string(::getpid()) + "-" + std::to_string(g_counter.fetch_add(1)) +
                               std::string(kStagedMark) + split.extension;
    const size_t budget = kMaxFileNameBytes - 1 - suffix.size();  // 1: the leading dot
    return split.folder + "." + Utf8Prefix(split.title, budget) + suffix;
}

std::optional<pid_t> StagedNameOwner(std::string_view name) {
    if (name.size() < 2 || name.front() != '.') return std::nullopt;
    const auto ownerWithout = [](std::string_view rest) -> std::optional<pid_t> {
        if (rest.size() <= kStagedMark.size() || rest.substr(rest.size() - kStagedMark.size()) != kStagedMark)
            return std::nullopt;
        return OwnerOfCore(rest.substr(0, rest.size() - kStagedMark.size()));
    };
    if (const auto owner = ownerWithout(name)) return owner;
    // With the final extension after the mark.
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxKeptExtension) return std::nullopt;
    return ownerWithout(name.substr(0, dot));
}

size_t RemoveAbandonedStagedFiles(const std::string& folder) {
    const int fd = OpenFolder(folder);
    return fd < 0 ? 0 : RemoveAbandonedIn(fd);
}

size_t RemoveAbandonedStagedFilesBelow(const std::string& folder) {
    const int fd = OpenFolder(folder);
    if (fd < 0) return 0;
    size_t removed = 0;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) continue;
        const int sub = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) removed += RemoveAbandonedIn(sub);
    }
    ::closedir(dir);
    return removed + RemoveAbandonedStagedFiles(folder);
}

void RemoveAbandonedStagedFilesBeside(const std::string& path) {
    const std::string folder = Split(path).folder;
    {
        std::lock_guard lock(g_cleanedMutex);
        if (!g_cleanedFolders.insert(folder).second) return;
    }
    RemoveAbandonedStagedFiles(folder);
}

StagedFile::StagedFile(std::string finalPath) : final_(std::move(finalPath)), staged_(StagedPathFor(final_)) {}

StagedFile::~StagedFile() {
    Discard();
}

int StagedFile::Create() {
    RemoveAbandonedStagedFilesBeside(final_);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        if (attempt > 0 || staged_.empty()) staged_ = StagedPathFor(final_);
        const int fd = ::open(staged_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            error_ = 0;
            return fd;
        }
        error_ = errno;
        if (error_ != EEXIST) break;
    }
    // Nothing of ours stands under the name.
    staged_.clear();
    return -1;
}

std::FILE* StagedFile::CreateStream() {
    const int fd = Create();
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        error_ = errno;
        ::close(fd);
        Discard();
    }
    return file;
}

bool StagedFile::Commit() {
    if (committed_) return true;
    if (staged_.empty()) {
        if (error_ == 0) error_ = ENOENT;
        return false;
    }
    if (std::rename(staged_.c_str(), final_.c_str()) != 0) {
        error_ = errno;
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

void StagedFile::Discard() {
    if (committed_ || staged_.empty()) return;
    ::unlink(staged_.c_str());
    staged_.clear();
}

}  // namespace tallowin::plumbing
