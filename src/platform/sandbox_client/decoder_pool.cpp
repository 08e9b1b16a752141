#include "decoder_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <thread>

extern char** environ;

namespace tallowin::codec::sandbox {

using Clock = std::chrono::steady_clock;

namespace {

// The statuses a helper may answer with (Stopped is ours to give).
bool KnownStatus(int32_t status) {
    return status >= static_cast<int32_t>(DecodeStatus::Ok) &&
           status <= static_cast<int32_t>(DecodeStatus::OutOfMemory);
}

bool Delivers(DecodeStatus status) { return status == DecodeStatus::Ok || status == DecodeStatus::Partial; }

void CloseReceived(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            close(fd);
        }
    }
}

// The pixel memfd must be sealed against any change of size or content, and hold
// exactly the picture: the helper is not trusted.
bool ValidPixelFile(int memfd, int32_t width, int32_t height) {
    if (!WithinLimits(width, height)) return false;
    const int seals = fcntl(memfd, F_GET_SEALS);
    constexpr int kNeeded = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    if (seals < 0 || (seals & kNeeded) != kNeeded) return false;
    struct stat st {};
    if (fstat(memfd, &st) != 0) return false;
    return static_cast<uint64_t>(st.st_size) == static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
}

// The sealed pixel file mapped copy-on-write, without copying the pixels. The mapping
// is populated while it is read-only, which maps the file's own pages (populating a
// writable private mapping would copy each one); writing is allowed afterwards and
// copies only the pages written to.
DecodeStatus MapPixels(int memfd, int32_t width, int32_t height, std::shared_ptr<uint8_t>& out) {
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, memfd, 0);
    if (mapped == MAP_FAILED) return errno == ENOMEM ? DecodeStatus::OutOfMemory : DecodeStatus::Stopped;
    if (mprotect(mapped, size, PROT_READ | PROT_WRITE) != 0) {
        const int error = errno;
        munmap(mapped, size);
        return error == ENOMEM ? DecodeStatus::OutOfMemory : DecodeStatus::Stopped;
    }
    try {
        out = std::shared_ptr<uint8_t>(static_cast<uint8_t*>(mapped), [size](uint8_t* at) { munmap(at, size); });
    } catch (const std::bad_alloc&) {
        munmap(mapped, size);
        return DecodeStatus::OutOfMemory;
    }
    return DecodeStatus::Ok;
}

// True when the socket has something to read (or has ended) before the deadline.
bool WaitReadable(int socket, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd watch{socket, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

int EnvInt(const char* name, int fallback, int low, int high) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < low || value > high) return fallback;
    return static_cast<int>(value);
}

// The folder of `path`, with its trailing slash; empty when it names no folder.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ProgramFolder() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return {};
    return FolderOf(std::string(self, static_cast<size_t>(length)));
}

bool Executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

}  // namespace

DecoderPool::DecoderPool(PoolOptions options) : options_(std::move(options)) {}

DecoderPool::~DecoderPool() { EndIdleHelpers(); }

void DecoderPool::EndIdleHelpers() {
    std::lock_guard lock(mutex_);
    for (auto& helper : idle_) {
        Retire(*helper);
        --Alive(helper->program);
    }
    idle_.clear();
    available_.notify_all();
}

void DecoderPool::Retire(Helper& helper) {
    helper.window.reset();
    if (helper.socket >= 0) close(helper.socket);
    helper.socket = -1;
    if (helper.pid > 0) {
        kill(helper.pid, SIGKILL);
        while (waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    helper.pid = -1;
}

void DecoderPool::StartHelpers(int count) {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (Alive(HelperProgram::Photos) >= std::min(count, options_.size)) return;
            ++Alive(HelperProgram::Photos);
        }
        std::unique_ptr<Helper> helper = Spawn(HelperProgram::Photos);
        std::lock_guard lock(mutex_);
        if (!helper) {
            --Alive(HelperProgram::Photos);
            return;
        }
        idle_.push_back(std::move(helper));
        available_.notify_one();
    }
}

std::unique_ptr<DecoderPool::Helper> DecoderPool::Spawn(HelperProgram kind) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    // The child's end becomes kHelperSocketFd; dup2 onto itself would keep close-on-exec.
    if (pair[1] == kHelperSocketFd) {
        const int moved = fcntl(pair[1], F_DUPFD_CLOEXEC, kHelperSocketFd + 1);
        close(pair[1]);
        pair[1] = moved;
        if (moved < 0) {
            close(pair[0]);
            return nullptr;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], kHelperSocketFd);
    // The helper reads nothing but its socket; a terminal stays the program's.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // What a decoder library prints must not mix into the program's output (the batch
    // tool's report); its errors still reach the error stream.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string memory = "--memory-mib=" + std::to_string(options_.memoryMiB);
    const std::string& own = kind == HelperProgram::Metafiles ? options_.metafileHelperPath
                             : kind == HelperProgram::HeifJxl ? options_.heifJxlHelperPath
                                                              : options_.helperPath;
    std::string program = own.empty() ? options_.helperPath : own;
    std::string modeArgument = ModeArgument(ModeOf(kind));
    char* argv[] = {program.data(), modeArgument.data(), const_cast<char*>(memory.c_str()), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pair[1]);
    if (error != 0) {
        close(pair[0]);
        return nullptr;
    }
    auto helper = std::make_unique<Helper>();
    helper->pid = pid;
    helper->socket = pair[0];
    helper->program = kind;
    return helper;
}

std::unique_ptr<DecoderPool::Helper> DecoderPool::Acquire(HelperProgram program) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A helper whose window is free, when there is one: the other's pixels would be
        // copied out of its memory.
        auto same = idle_.end();
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->program != program) continue;
            if (same == idle_.end() || ((*same)->WindowLent() && !(*it)->WindowLent())) same = it;
        }
        if (same != idle_.end()) {
            auto helper = std::move(*same);
            idle_.erase(same);
            return helper;
        }
        // Each program has slots of its own: a list that mixes JPEG with HEIF photos
        // would otherwise end and start a helper at every change of format.
        if (Alive(program) < options_.size) {
            ++Alive(program);
            lock.unlock();
            auto helper = Spawn(program);
            if (!helper) {
                lock.lock();
                --Alive(program);
                available_.notify_one();
            }
            return helper;
        }
        available_.wait(lock);
    }
}

void DecoderPool::Release(std::unique_ptr<Helper> helper, bool healthy) {
    if (!healthy) Retire(*helper);
    std::lock_guard lock(mutex_);
    if (healthy) {
        idle_.push_back(std::move(helper));
    } else {
        --Alive(helper->program);
    }
    available_.notify_one();
}

DecodeStatus DecoderPool::Converse(Helper& helper, int fileFd, const WireRequest& request, WireReply& reply,
                                   int& memfd, PixelBytes& pixels, bool& delivered) {
    memfd = -1;
    delivered = false;
    if (!SendWithDescriptor(helper.socket, &request, sizeof request, fileFd)) return DecodeStatus::Stopped;
    delivered = true;

    const auto deadline = Clock::now() + options_.timeout;
    if (!WaitReadable(helper.socket, deadline)) return DecodeStatus::Stopped;

    iovec part{&reply, sizeof reply};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = recvmsg(helper.socket, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    // Nothing (the helper ended), a short or long message, or cut-off descriptors.
    const bool wellFormed = got == static_cast<ssize_t>(sizeof reply) &&
                            (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 && reply.magic == kReplyMagic &&
                            KnownStatus(reply.status) && reply.warningLength < kMaxWireWarning &&
                            reply.colourWarningLength < kMaxWireWarning;
    cmsghdr* c = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr;
    if (!wellFormed) {
        if (got > 0) CloseReceived(message);
        return DecodeStatus::Stopped;
    }
    if (c != nullptr) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS || c->cmsg_len != CMSG_LEN(sizeof(int))) {
            CloseReceived(message);
            return DecodeStatus::Stopped;
        }
        std::memcpy(&memfd, CMSG_DATA(c), sizeof memfd);
    }
    const auto status = static_cast<DecodeStatus>(reply.status);
    if (reply.pixelsFollow != 0) {
        const bool received = memfd < 0 && Delivers(status) && WithinLimits(reply.rasterWidth, reply.rasterHeight) &&
                              ReceivePixels(helper, deadline, reply.rasterWidth, reply.rasterHeight, pixels);
        if (!received) return DecodeStatus::Stopped;
    }
    return status;
}

bool DecoderPool::ReceivePixels(Helper& helper, Clock::time_point deadline, int32_t width, int32_t height,
                                PixelBytes& pixels) {
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    try {
        pixels.resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    size_t done = 0;
    while (done < size) {
        const size_t expected = std::min(size - done, kPixelChunk);
        if (!WaitReadable(helper.socket, deadline)) return false;
        ssize_t got;
        do {
            got = recv(helper.socket, pixels.data() + done, expected, MSG_DONTWAIT);
        } while (got < 0 && errno == EINTR);
        if (got != static_cast<ssize_t>(expected)) return false;
        done += expected;
    }
    return true;
}

namespace {

constexpr size_t kWindowViewKept = size_t{8} << 20;

// A block of this process's memory for pixels copied out of a helper; null when memory
// is short.
std::shared_ptr<uint8_t> PixelBlock(size_t size) {
    auto* block = static_cast<uint8_t*>(std::malloc(size));
    if (block == nullptr) return nullptr;
    try {
        return std::shared_ptr<uint8_t>(block, [](uint8_t* at) { std::free(at); });
    } catch (const std::bad_alloc&) {
        return nullptr;  // the deleter has freed the block
    }
}

}  // namespace

DecoderPool::PixelWindow::~PixelWindow() { munmap(base, bytes); }

void DecoderPool::PixelWindow::GiveBack(size_t used, uint64_t sequence) {
    // The window's pages stay with the helper for the next photo. This process keeps
    // its view of a few megabytes (mapping them again would cost 0.4 ms of a 1 ms copy)
    // but lets go of more, so that those count only once.
    if (used > kWindowViewKept) madvise(base, used, MADV_DONTNEED);
    // The helper may give the pages back from now on (this process writes, never reads, the word).
    CollectedWord(base, bytes).store(sequence, std::memory_order_release);
    lent.store(false, std::memory_order_release);
}

bool DecoderPool::OfferWindow(Helper& helper) {
    if (helper.window) return true;
    // The window's address space counts against the helper's memory limit: a quarter
    // of it at most leaves the decoders what they had.
    const size_t pixels = std::min<uint64_t>(options_.pixelWindowBytes, (options_.memoryMiB << 20) / 4);
    if (pixels == 0) return false;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t size = (pixels + page - 1) / page * page + kWindowControlBytes;
    // Sizing a file over the process's file size limit (ulimit -f) would end this
    // process with SIGXFSZ: there is no window then.
    rlimit fileSize{};
    if (getrlimit(RLIMIT_FSIZE, &fileSize) != 0 ||
        (fileSize.rlim_cur != RLIM_INFINITY && fileSize.rlim_cur < static_cast<rlim_t>(size))) {
        return false;
    }
    const int fd = memfd_create("tallowin-pixel-window", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return false;
    // Sealed so that the helper can neither shrink it under this process's reading (which
    // would end it with SIGBUS) nor grow it.
    std::shared_ptr<PixelWindow> window;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0 &&
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0) {
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped != MAP_FAILED) {
            try {
                window = std::make_shared<PixelWindow>(static_cast<uint8_t*>(mapped), size);
            } catch (const std::bad_alloc&) {
                munmap(mapped, size);
            }
        }
    }
    WireRequest give;
    give.kind = RequestKind::PixelWindow;
    const bool sent = window && SendWithDescriptor(helper.socket, &give, sizeof give, fd);
    close(fd);
    if (sent) helper.window = std::move(window);
    return sent;
}

size_t DecoderPool::WindowPixelsSize(const Helper& helper, const WireReply& reply) {
    if (!helper.window || !WithinLimits(reply.rasterWidth, reply.rasterHeight)) return 0;
    const size_t size = static_cast<size_t>(reply.rasterWidth) * static_cast<size_t>(reply.rasterHeight) * 4;
    if (size > WindowPixelBytes(helper.window->bytes) || reply.windowSequence == 0) return 0;
    return size;
}

DecodeStatus DecoderPool::CopyFromWindow(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out) {
    const size_t size = WindowPixelsSize(helper, reply);
    if (size == 0) return DecodeStatus::Stopped;
    std::shared_ptr<uint8_t> block = PixelBlock(size);
    if (!block) return DecodeStatus::OutOfMemory;
    std::memcpy(block.get(), helper.window->base, size);
    helper.window->GiveBack(size, reply.windowSequence);
    out = std::move(block);
    return DecodeStatus::Ok;
}

// Saves the copy and this process's first touch of a block as large: at two photos at
// once, some 3% of a reduced JPEG conversion.
DecodeStatus DecoderPool::LendWindow(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out) {
    const size_t size = WindowPixelsSize(helper, reply);
    if (size == 0) return DecodeStatus::Stopped;
    std::shared_ptr<PixelWindow> window = helper.window;
    window->lent.store(true, std::memory_order_relaxed);
    const uint64_t sequence = reply.windowSequence;
    try {
        out = std::shared_ptr<uint8_t>(window->base,
                                       [window, size, sequence](uint8_t*) { window->GiveBack(size, sequence); });
    } catch (const std::bad_alloc&) {
        return DecodeStatus::OutOfMemory;  // the deleter has given the window back
    }
    return DecodeStatus::Ok;
}

DecodeStatus DecoderPool::CollectKeptPixels(Helper& helper, const WireReply& reply, std::shared_ptr<uint8_t>& out,
                                            int& memfd) {
    if (!WithinLimits(reply.rasterWidth, reply.rasterHeight)) return DecodeStatus::Stopped;
    // Done with the kept pixels, copied or not: the helper may let them go. Sent before
    // any later request on this socket, so they are never freed while being read.
    const auto collected = [&helper] {
        WireRequest done;
        done.kind = RequestKind::Collected;
        SendWithDescriptor(helper.socket, &done, sizeof done, -1);  // a helper that ended shows on the next request
    };
    const size_t size = static_cast<size_t>(reply.rasterWidth) * static_cast<size_t>(reply.rasterHeight) * 4;
    std::shared_ptr<uint8_t> block = PixelBlock(size);
    if (!block) {
        collected();
        return DecodeStatus::OutOfMemory;
    }
    // The kernel checks the helper's range: an address that does not hold the whole
    // picture fails or reads short, and the helper is taken for broken.
    iovec local{block.get(), size};
    iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(reply.pixelAddress)), size};
    const ssize_t got = process_vm_readv(helper.pid, &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(size)) {
        collected();
        out = std::move(block);
        return DecodeStatus::Ok;
    }
    const int error = errno;
    block.reset();
    if (got >= 0 || (error != EPERM && error != EACCES && error != ENOSYS)) return DecodeStatus::Stopped;
    // Reading another process's memory is not allowed here (a ptrace policy, a
    // container's filter): this photo's pixels come as a file, and so do all later ones.
    keptRefused_ = true;
    WireRequest ask;
    ask.kind = RequestKind::KeptPixels;
    WireReply file;
    PixelBytes unused;
    bool delivered = false;
    const DecodeStatus status = Converse(helper, -1, ask, file, memfd, unused, delivered);
    if (status != DecodeStatus::Ok) return status == DecodeStatus::OutOfMemory ? status : DecodeStatus::Stopped;
    const bool same = file.pixelsFollow == 0 && file.rasterWidth == reply.rasterWidth &&
                      file.rasterHeight == reply.rasterHeight;
    return same ? DecodeStatus::Ok : DecodeStatus::Stopped;
}

DecodeStatus DecoderPool::Exchange(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                   WireRequest& request, WireReply& reply, int& memfd, PixelBytes& pixels,
                                   std::shared_ptr<uint8_t>* kept, struct stat* opened, bool* lent) {
    memfd = -1;
    if (lent != nullptr) *lent = false;
    // Only the registered adapters travel, by name: the helpers hold different lists.
    const std::vector<const Decoder*>& all = AllDecoders();
    if (std::find(all.begin(), all.end(), &format) == all.end() || !NameDecoder(request, format)) {
        return DecodeStatus::NotAnImage;
    }
    request.maxSide = limits.maxSide;
    request.maxPixels = limits.maxPixels;
    request.maxWorkingBytes = limits.maxWorkingBytes;
    const int fileFd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fileFd < 0) return DecodeStatus::FileError;
    if (opened != nullptr && fstat(fileFd, opened) != 0) {
        close(fileFd);
        return DecodeStatus::FileError;
    }
    DecodeStatus status = DecodeStatus::Stopped;
    // A helper that ended while idle never saw the request: the photo gets a second,
    // fresh helper. One that received it and then failed is the photo's doing.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::unique_ptr<Helper> helper = Acquire(ProgramFor(format));
        if (!helper) break;
        WireRequest sent = request;
        // A window still lent holds another photo: this one comes over another way.
        if (sent.delivery == PixelDelivery::SharedWindow && (helper->WindowLent() || !OfferWindow(*helper))) {
            sent.delivery = keptRefused_ ? PixelDelivery::PixelFile : PixelDelivery::KeptInHelper;
        }
        std::optional<SharedCpu> together;
        if (options_.shareCpu) together.emplace(cpuClaims_, helper->pid, helper->cpu);
        bool delivered = false;
        status = Converse(*helper, fileFd, sent, reply, memfd, pixels, delivered);
        const bool windowed = sent.delivery == PixelDelivery::SharedWindow;
        if (reply.pixelsInWindow != 0 && (!windowed || kept == nullptr)) status = DecodeStatus::Stopped;
        if (kept != nullptr && Delivers(status) && reply.pixelsInWindow != 0) {
            const bool alone = memfd < 0 && reply.pixelsFollow == 0 && reply.pixelsKept == 0;
            DecodeStatus taken = DecodeStatus::Stopped;
            if (alone) taken = lent != nullptr ? LendWindow(*helper, reply, *kept) : CopyFromWindow(*helper, reply, *kept);
            if (taken != DecodeStatus::Ok) status = taken;
            if (lent != nullptr) *lent = taken == DecodeStatus::Ok;
        } else if (kept != nullptr && Delivers(status) && reply.pixelsKept != 0) {
            const DecodeStatus collected =
                memfd >= 0 || reply.pixelsFollow != 0 ? DecodeStatus::Stopped
                                                      : CollectKeptPixels(*helper, reply, *kept, memfd);
            if (collected != DecodeStatus::Ok) status = collected;
        }
        Release(std::move(helper), status != DecodeStatus::Stopped);
        if (delivered) break;
    }
    close(fileFd);
    return status;
}

DecodeStatus DecoderPool::ReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                     ImageInfo& info) {
    info = ImageInfo{};
    if (const std::optional<ImageInfo> known = headers_.Find(path, format, limits)) {
        info = *known;
        return DecodeStatus::Ok;
    }
    WireRequest request;
    request.kind = RequestKind::Header;
    WireReply reply;
    int memfd = -1;
    PixelBytes pixels;
    struct stat file {};
    const DecodeStatus status = Exchange(format, path, limits, request, reply, memfd, pixels, nullptr, &file);
    if (memfd >= 0) close(memfd);
    if (status == DecodeStatus::Stopped || status == DecodeStatus::FileError) return status;
    info.width = reply.width;
    info.height = reply.height;
    info.dpiX = reply.dpiX;
    info.dpiY = reply.dpiY;
    info.hasAlpha = reply.hasAlpha != 0;
    if (status == DecodeStatus::Ok) headers_.Store(file, format, limits, info);
    return status;
}

DecodeStatus DecoderPool::ReadInformation(const Decoder& format, const std::string& path,
                                          metadata::MetadataRead& out) {
    out = metadata::MetadataRead{};
    WireRequest request;
    request.kind = RequestKind::Information;
    WireReply reply;
    int memfd = -1;
    PixelBytes pixels;
    DecodeStatus status = Exchange(format, path, DecodeLimits{}, request, reply, memfd, pixels);
    if (status == DecodeStatus::Ok) {
        // The packing is copied out by its size, checked before reading; the parse
        // checks every length inside it.
        struct stat st {};
        std::vector<uint8_t> packed;
        bool sound = reply.pixelsFollow == 0 && memfd >= 0 && fstat(memfd, &st) == 0 && st.st_size >= 0 &&
                     static_cast<uint64_t>(st.st_size) <= metadata::detail::kMaxPackedRead;
        if (sound) {
            try {
                packed.resize(static_cast<size_t>(st.st_size));
            } catch (const std::bad_alloc&) {
                sound = false;
            }
        }
        size_t done = 0;
        while (sound && done < packed.size()) {
            const ssize_t got = pread(memfd, packed.data() + done, packed.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                sound = false;
            } else {
                done += static_cast<size_t>(got);
            }
        }
        if (!sound || !metadata::detail::UnpackMetadataRead(packed.data(), packed.size(), out)) {
            status = DecodeStatus::Stopped;
        }
    } else if (status != DecodeStatus::Stopped && status != DecodeStatus::FileError) {
        status = DecodeStatus::Stopped;  // a helper that reads information answers Ok or fails
    }
    if (memfd >= 0) close(memfd);
    return status;
}

DecodeStatus DecoderPool::DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                       const DecodeLimits& limits, DecodedPixels& out, std::string& warning) {
    out = DecodedPixels{};
    warning.clear();
    WireRequest wire;
    wire.kind = RequestKind::Decode;
    wire.minWidth = request.minWidth;
    wire.minHeight = request.minHeight;
    wire.toSrgb = request.toSrgb ? 1 : 0;
    wire.delivery = options_.delivery;
    if (wire.delivery == PixelDelivery::KeptInHelper && keptRefused_) wire.delivery = PixelDelivery::PixelFile;
    WireReply reply;
    int memfd = -1;
    DecodeStatus status = Exchange(format, path, limits, wire, reply, memfd, out.raster.pixels, &out.mapped, nullptr,
                                   request.forResamplingOnly ? &out.lent : nullptr);
    if (Delivers(status) && reply.pixelsFollow == 0 && !out.mapped) {
        if (memfd < 0 || !ValidPixelFile(memfd, reply.rasterWidth, reply.rasterHeight)) {
            status = DecodeStatus::Stopped;
        } else {
            const DecodeStatus mapped = MapPixels(memfd, reply.rasterWidth, reply.rasterHeight, out.mapped);
            if (mapped != DecodeStatus::Ok) status = mapped;
        }
    }
    if (memfd >= 0) close(memfd);
    if (Delivers(status)) {
        out.raster.width = reply.rasterWidth;
        out.raster.height = reply.rasterHeight;
        warning.assign(reply.warning, reply.warningLength);
        out.colourWarning.assign(reply.colourWarning, reply.colourWarningLength);
    } else {
        out = DecodedPixels{};
    }
    return status;
}

DecodeStatus DecoderPool::DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                       const DecodeLimits& limits, Raster& out, std::string& warning) {
    out = Raster{};
    DecodedPixels decoded;
    const DecodeStatus status = DecodePixels(format, path, request, limits, decoded, warning);
    if (!decoded.mapped) {
        out = std::move(decoded.raster);
        return status;
    }
    try {
        out.pixels.assign(decoded.Data(), decoded.Data() + decoded.Size());
    } catch (const std::bad_alloc&) {
        warning.clear();
        return DecodeStatus::OutOfMemory;
    }
    out.width = decoded.raster.width;
    out.height = decoded.raster.height;
    return status;
}

DecoderPool* SharedDecoderPool() {
    static DecoderPool* const pool = []() -> DecoderPool* {
        PoolOptions options;
        const char* named = std::getenv("TALLOWIN_DECODER_HELPER");
        if (named != nullptr && std::strcmp(named, "off") == 0) return nullptr;
        if (named != nullptr && *named != '\0') {
            // The other helpers beside the named one, else the named one does their work.
            options.helperPath = named;
            const std::string folder = FolderOf(options.helperPath);
            if (Executable(folder + kHeifJxlHelperName)) options.heifJxlHelperPath = folder + kHeifJxlHelperName;
            if (Executable(folder + kMetafileHelperName)) options.metafileHelperPath = folder + kMetafileHelperName;
        } else {
            const std::string folder = ProgramFolder();
            if (folder.empty()) return nullptr;
            options.helperPath = folder + kHelperName;
            options.heifJxlHelperPath = folder + kHeifJxlHelperName;
            options.metafileHelperPath = folder + kMetafileHelperName;
        }
        if (!Executable(options.helperPath)) return nullptr;
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        options.size = EnvInt("TALLOWIN_DECODER_HELPERS", cores, 1, 256);
        options.timeout = std::chrono::milliseconds(EnvInt("TALLOWIN_DECODER_TIMEOUT_MS", 20000, 1, INT_MAX));
        options.memoryMiB = static_cast<uint64_t>(EnvInt("TALLOWIN_DECODER_MEMORY_MIB", 4096, 16, 1 << 20));
        // Never destroyed: workers may still decode while static objects are torn down;
        // the helpers end on their own when the process's socket ends close.
        return new DecoderPool(std::move(options));
    }();
    return pool;
}

}  // namespace tallowin::codec::sandbox
