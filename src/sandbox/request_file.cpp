// Built without _FORTIFY_SOURCE: it would define open() as an inline wrapper here.
#undef _FORTIFY_SOURCE
#include "request_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tallowin::sandbox {

namespace {

// Written by the serving thread between requests only; read by whatever thread a
// library opens from during the request.
std::atomic<int> g_requestFd{-1};
char g_requestPath[64] = {};

bool IsRequestPath(const char* path) {
    return path != nullptr && g_requestFd.load(std::memory_order_acquire) >= 0 &&
           std::strcmp(path, g_requestPath) == 0;
}

// A new descriptor for the photo, read from its start. The duplicate shares the file
// position with the original: the decoders open their input one at a time.
int DuplicateRequestFile(int flags) {
    if ((flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0) {
        errno = EACCES;
        return -1;
    }
    const int fd = g_requestFd.load(std::memory_order_acquire);
    const int copy = fcntl(fd, (flags & O_CLOEXEC) != 0 ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
    if (copy >= 0) lseek(copy, 0, SEEK_SET);
    return copy;
}

int OpenAt(int directory, const char* path, int flags, mode_t mode) {
    if (IsRequestPath(path)) return DuplicateRequestFile(flags);
    return static_cast<int>(syscall(SYS_openat, directory, path, flags, mode));
}

// Asking about the photo by name answers from its descriptor; the filter refuses
// every other name in a strict helper.
int StatAt(int directory, const char* path, struct stat* buffer, int flags) {
    if (IsRequestPath(path)) return fstat(g_requestFd.load(std::memory_order_acquire), buffer);
    return static_cast<int>(syscall(SYS_newfstatat, directory, path, buffer, flags));
}

mode_t ModeArgument(int flags, va_list arguments) {
    return ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) ? va_arg(arguments, mode_t) : 0;
}

// fopen's mode string as open flags.
bool FlagsFromMode(const char* mode, int& flags) {
    if (mode == nullptr) return false;
    switch (mode[0]) {
        case 'r': flags = O_RDONLY; break;
        case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
        case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
        default: return false;
    }
    for (const char* c = mode + 1; *c != '\0' && *c != ','; ++c) {
        if (*c == '+') flags = (flags & ~O_ACCMODE) | O_RDWR;
        if (*c == 'e') flags |= O_CLOEXEC;
        if (*c == 'x') flags |= O_EXCL;
    }
    return true;
}

FILE* OpenStream(const char* path, const char* mode) {
    int flags = 0;
    if (!FlagsFromMode(mode, flags)) {
        errno = EINVAL;
        return nullptr;
    }
    const int fd = OpenAt(AT_FDCWD, path, flags, 0666);
    if (fd < 0) return nullptr;
    FILE* stream = fdopen(fd, mode);
    if (stream == nullptr) close(fd);
    return stream;
}

}  // namespace

std::string ServeRequestFile(int fd) {
    std::snprintf(g_requestPath, sizeof g_requestPath, "/proc/self/fd/%d", fd);
    g_requestFd.store(fd, std::memory_order_release);
    return g_requestPath;
}

void ForgetRequestFile() {
    g_requestFd.store(-1, std::memory_order_release);
}

}  // namespace tallowin::sandbox

// The C library's open and stat functions, as this executable's own definitions. The
// fortified variants (__open_2 ...) are what libraries built with _FORTIFY_SOURCE call.
extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = tallowin::sandbox::ModeArgument(flags, arguments);
    va_end(arguments);
    return tallowin::sandbox::OpenAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = tallowin::sandbox::ModeArgument(flags, arguments);
    va_end(arguments);
    return tallowin::sandbox::OpenAt(AT_FDCWD, path, flags, mode);
}

int openat(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = tallowin::sandbox::ModeArgument(flags, arguments);
    va_end(arguments);
    return tallowin::sandbox::OpenAt(directory, path, flags, mode);
}

int openat64(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = tallowin::sandbox::ModeArgument(flags, arguments);
    va_end(arguments);
    return tallowin::sandbox::OpenAt(directory, path, flags, mode);
}

int __open_2(const char* path, int flags) { return tallowin::sandbox::OpenAt(AT_FDCWD, path, flags, 0); }
int __open64_2(const char* path, int flags) { return tallowin::sandbox::OpenAt(AT_FDCWD, path, flags, 0); }
int __openat_2(int directory, const char* path, int flags) {
    return tallowin::sandbox::OpenAt(directory, path, flags, 0);
}
int __openat64_2(int directory, const char* path, int flags) {
    return tallowin::sandbox::OpenAt(directory, path, flags, 0);
}

int stat(const char* __restrict path, struct stat* __restrict buffer) noexcept {
    return tallowin::sandbox::StatAt(AT_FDCWD, path, buffer, 0);
}
int stat64(const char* __restrict path, struct stat64* __restrict buffer) noexcept {
    return tallowin::sandbox::StatAt(AT_FDCWD, path, reinterpret_cast<struct stat*>(buffer), 0);
}
int lstat(const char* __restrict path, struct stat* __restrict buffer) noexcept {
    return tallowin::sandbox::StatAt(AT_FDCWD, path, buffer, AT_SYMLINK_NOFOLLOW);
}
int lstat64(const char* __restrict path, struct stat64* __restrict buffer) noexcept {
    return tallowin::sandbox::StatAt(AT_FDCWD, path, reinterpret_cast<struct stat*>(buffer), AT_SYMLINK_NOFOLLOW);
}
int fstatat(int directory, const char* __restrict path, struct stat* __restrict buffer, int flags) noexcept {
    return tallowin::sandbox::StatAt(directory, path, buffer, flags);
}
int fstatat64(int directory, const char* __restrict path, struct stat64* __restrict buffer, int flags) noexcept {
    return tallowin::sandbox::StatAt(directory, path, reinterpret_cast<struct stat*>(buffer), flags);
}
FILE* fopen(const char* path, const char* mode) { return tallowin::sandbox::OpenStream(path, mode); }
FILE* fopen64(const char* path, const char* mode) { return tallowin::sandbox::OpenStream(path, mode); }

}  // extern "C"
