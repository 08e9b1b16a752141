#include "decoder_helper.h"

#include "container_metadata.h"
#include "decoder_protocol.h"
#include "jxr_decoder.h"
#include "readable_paths.h"
#include "request_file.h"
#include "srgb_decode.h"
#include "syscall_filter.h"

#include <fcntl.h>
#include <iconv.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace tallowin::sandbox {

namespace {

using codec::DecodeStatus;
using codec::sandbox::HelperMode;
using codec::sandbox::WireReply;
using codec::sandbox::WireRequest;

struct Arguments {
    HelperMode mode = HelperMode::Strict;
    uint64_t memoryMiB = 4096;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--mode=strict") {
            arguments.mode = HelperMode::Strict;
        } else if (argument == "--mode=fonts") {
            arguments.mode = HelperMode::Fonts;
        } else if (argument.rfind("--memory-mib=", 0) == 0) {
            char* end = nullptr;
            arguments.memoryMiB = std::strtoull(argument.c_str() + 13, &end, 10);
            if (*end != '\0' || arguments.memoryMiB == 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

// A field of /proc/self/status in bytes ("VmSize:   1234 kB").
uint64_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtoull(line.c_str() + length + 1, nullptr, 10) * 1024;
        }
    }
    return 0;
}

// The memory budget on top of what the process holds now. AddressSanitizer reserves
// terabytes of address space for its shadow, so sanitizer builds limit the data
// segment (private writable memory) instead of the address space.
bool LimitMemory(uint64_t budgetMiB) {
    const uint64_t budget = budgetMiB << 20;
#ifdef TALLOWIN_SANITIZER_BUILD
    const int resource = RLIMIT_DATA;
    const uint64_t now = StatusBytes("VmData");
#else
    const int resource = RLIMIT_AS;
    const uint64_t now = StatusBytes("VmSize");
#endif
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(now + budget);
    return setrlimit(resource, &limit) == 0;
}

// A helper decodes one photo after another, each allocating and freeing rasters and
// buffers of similar sizes. Taken from the heap and kept there on free, they reuse
// pages already faulted in, where fresh mappings (or a heap trimmed after every photo)
// would cost the kernel a fault and a cleared page each time and an unmap after every
// photo. What is kept goes back once the helper has been idle for a while.
constexpr int kHeapBelow = 64 << 20;  // larger blocks still get mappings of their own
constexpr int kKeptAtMost = 512 << 20;
constexpr int kIdleMilliseconds = 3000;
// A pixel window beyond this is no window the pool made.
constexpr uint64_t kLargestWindow = uint64_t{1} << 30;

void KeepDecodeMemory() {
    mallopt(M_MMAP_THRESHOLD, kHeapBelow);
    mallopt(M_TRIM_THRESHOLD, kKeptAtMost);
}

// The C library loads character set converters on first use, as shared objects, which
// the filter refuses later; the metafile libraries convert their UTF-16 and UTF-32
// text with them. The converters stay open so that they are never unloaded.
void PreloadCharsetConverters() {
    for (const char* charset : {"UTF-16LE", "UTF-16BE", "UTF-16", "UTF-32LE", "UTF-32", "LATIN1", "CP1252"}) {
        for (const auto& [to, from] : {std::pair{"UTF-8", charset}, std::pair{charset, "UTF-8"}}) {
            [[maybe_unused]] static std::vector<iconv_t> kept;
            const iconv_t converter = iconv_open(to, from);
            if (converter != reinterpret_cast<iconv_t>(-1)) kept.push_back(converter);
        }
    }
}

// Bytes into a sealed memfd: size, content and seals are fixed before it leaves.
int SealedFile(const char* name, const uint8_t* data, size_t left) {
    const int fd = memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    while (left > 0) {
        const ssize_t wrote = write(fd, data, left);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            close(fd);
            return -1;
        }
        data += wrote;
        left -= static_cast<size_t>(wrote);
    }
    if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int PixelFile(const codec::Raster& raster) {
    return SealedFile("tallowin-pixels", raster.pixels.data(), raster.pixels.size());
}

// The last file's photo information, for the requests about the same file that follow:
// opening a photo with colour management asks for it, then each of its decodes needs
// the profile again. A file is the same while its identity, size and change time are.
class InformationCache {
public:
    const metadata::MetadataRead& Read(InformationReader reader, int fileFd, metadata::detail::ContainerKind kind,
                                       const std::string& path) {
        struct stat st {};
        const bool known = fstat(fileFd, &st) == 0;
        const Key key{st.st_dev, st.st_ino, st.st_size, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, kind};
        if (!known || !valid_ || key != key_) {
            read_ = reader(kind, path);
            key_ = key;
            valid_ = known && Bytes(read_) <= kKeptAtMost;  // large blocks are not held on to
        }
        return read_;
    }

private:
    using Key = std::tuple<dev_t, ino_t, off_t, time_t, long, metadata::detail::ContainerKind>;
    static constexpr size_t kKeptAtMost = 4u << 20;
    static size_t Bytes(const metadata::MetadataRead& read) {
        const metadata::PhotoMetadata& m = read.metadata;
        return m.exif.size() + m.xmp.size() + m.iptc.size() + m.icc.size();
    }

    Key key_{};
    bool valid_ = false;
    metadata::MetadataRead read_;
};

// What a helper carries from one request to the next.
struct ServeState {
    codec::Raster kept;  // the previous decode's pixels, until the pool has them
    InformationCache information;
    uint8_t* window = nullptr;  // the pool's pixel window, mapped
    size_t windowBytes = 0;      // of which the last kWindowControlBytes are the pool's word
    uint64_t windowSequence = 0;  // the last delivery through it
    bool windowHeld = false;      // its pages hold that delivery
};

// Frees the window's pixel pages (they come back cleared when written again) when the
// pool is done with the last delivery; before that, they are still to be read, for as
// long as the pool lends them out. True when no pages are held any more.
bool ReleaseWindow(ServeState& state) {
    if (state.window == nullptr || !state.windowHeld) return true;
    const uint64_t collected =
        codec::sandbox::CollectedWord(state.window, state.windowBytes).load(std::memory_order_acquire);
    if (collected != state.windowSequence) return false;
    madvise(state.window, codec::sandbox::WindowPixelBytes(state.windowBytes), MADV_REMOVE);
    state.windowHeld = false;
    return true;
}

// Waits for the next request; after a while without one, gives the heap's free memory
// back, and the pixel window's pages once the pool is done with them. Kept pixels stay
// until the pool says it has them (or asks for the next photo), however long that
// takes. False only when waiting itself failed.
bool WaitForRequest(ServeState& state) {
    pollfd socket{codec::sandbox::kHelperSocketFd, POLLIN, 0};
    int timeout = kIdleMilliseconds;
    bool trimmed = false;
    for (;;) {
        const int ready = poll(&socket, 1, timeout);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0) {
            if (!trimmed) malloc_trim(0);
            trimmed = true;
            // Pixels the pool still reads from the window: looked at again a while later.
            timeout = ReleaseWindow(state) ? -1 : kIdleMilliseconds;
        }
    }
}

// Maps the pixel window the pool sent, in place of any earlier one; without one (a
// descriptor that is no memfd of sound size), pixels are kept as before.
void TakeWindow(int fd, ServeState& state) {
    if (state.window != nullptr) munmap(state.window, state.windowBytes);
    state.window = nullptr;
    state.windowBytes = 0;
    struct stat st {};
    const uint64_t pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size <= static_cast<off_t>(codec::sandbox::kWindowControlBytes) ||
        static_cast<uint64_t>(st.st_size) > kLargestWindow || static_cast<uint64_t>(st.st_size) % pageSize != 0) {
        return;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) return;
    state.window = static_cast<uint8_t*>(mapped);
    state.windowBytes = size;
    state.windowSequence = 0;
    state.windowHeld = false;
}

// The photo information of the file, packed into a sealed memfd.
DecodeStatus InformationFile(const metadata::MetadataRead& read, int& fd) {
    const std::vector<uint8_t> packed = metadata::detail::PackMetadataRead(read);
    fd = SealedFile("tallowin-information", packed.data(), packed.size());
    return fd >= 0 ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

// The pixels as messages after the reply, for when no memfd could hold them.
bool SendPixels(const codec::Raster& raster) {
    const uint8_t* data = raster.pixels.data();
    size_t left = raster.pixels.size();
    while (left > 0) {
        const size_t length = std::min(left, codec::sandbox::kPixelChunk);
        iovec part{const_cast<uint8_t*>(data), length};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        ssize_t sent;
        do {
            sent = sendmsg(codec::sandbox::kHelperSocketFd, &message, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(length)) return false;
        data += length;
        left -= length;
    }
    return true;
}

bool Send(const WireReply& reply, int pixelFd) {
    return codec::sandbox::SendWithDescriptor(codec::sandbox::kHelperSocketFd, &reply, sizeof reply, pixelFd);
}

// One request: its message and the photo's descriptor (-1 when none came).
// False when the pool closed the socket.
bool Receive(WireRequest& request, int& fileFd) {
    fileFd = -1;
    iovec part{&request, sizeof request};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = recvmsg(codec::sandbox::kHelperSocketFd, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    if (c != nullptr && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
        c->cmsg_len == CMSG_LEN(sizeof(int))) {
        std::memcpy(&fileFd, CMSG_DATA(c), sizeof fileFd);
    }
    if (got != static_cast<ssize_t>(sizeof request) || request.magic != codec::sandbox::kRequestMagic) {
        request.kind = static_cast<codec::sandbox::RequestKind>(0);
    }
    return true;
}

// A text into one of the reply's fixed fields, cut to fit.
void PutText(const std::string& text, char (&field)[codec::sandbox::kMaxWireWarning], uint32_t& length)
{
    length = static_cast<uint32_t>(std::min(text.size(), sizeof field - 1));
    std::memcpy(field, text.data(), length);
}

// The pixels a decode kept for the pool, as a pixel file; they are let go either way.
void SendKeptPixels(codec::Raster& kept) {
    WireReply reply;
    reply.status = static_cast<int32_t>(DecodeStatus::NotAnImage);
    int pixelFd = -1;
    if (!kept.pixels.empty()) {
        pixelFd = PixelFile(kept);
        reply.status = static_cast<int32_t>(pixelFd >= 0 ? DecodeStatus::Ok : DecodeStatus::OutOfMemory);
        reply.rasterWidth = kept.width;
        reply.rasterHeight = kept.height;
    }
    kept = codec::Raster{};
    const bool sent = Send(reply, pixelFd);
    if (pixelFd >= 0) close(pixelFd);
    if (!sent) _exit(1);
}

void Serve(const WireRequest& request, int fileFd, HelperMode mode, const DecoderEntry& entry, ServeState& state) {
    codec::Raster& kept = state.kept;
    if (request.kind == codec::sandbox::RequestKind::KeptPixels) {
        if (fileFd >= 0) close(fileFd);
        SendKeptPixels(kept);
        return;
    }
    if (request.kind == codec::sandbox::RequestKind::Collected) {
        if (fileFd >= 0) close(fileFd);
        kept = codec::Raster{};
        return;
    }
    if (request.kind == codec::sandbox::RequestKind::PixelWindow) {
        TakeWindow(fileFd, state);
        if (fileFd >= 0) close(fileFd);
        return;
    }
    kept = codec::Raster{};
    WireReply reply;
    reply.status = static_cast<int32_t>(DecodeStatus::NotAnImage);
    const bool known = request.kind == codec::sandbox::RequestKind::Header ||
                       request.kind == codec::sandbox::RequestKind::Decode ||
                       request.kind == codec::sandbox::RequestKind::Information;
    const codec::Decoder* format = codec::sandbox::NamedDecoder(request, *entry.decoders);
    codec::DecodeLimits limits;
    limits.maxSide = request.maxSide;
    limits.maxPixels = request.maxPixels;
    limits.maxWorkingBytes = request.maxWorkingBytes;
    int pixelFd = -1;
    codec::Raster inlinePixels;
    if (fileFd < 0 || !known) {
        reply.status = static_cast<int32_t>(DecodeStatus::FileError);
    } else if (format != nullptr && codec::sandbox::ModeFor(*format) == mode) {
        const std::string path = ServeRequestFile(fileFd);
        const auto information = [&]() -> const metadata::MetadataRead& {
            return state.information.Read(entry.readInformation, fileFd,
                                          metadata::detail::KindOfAdapter(format->Name()), path);
        };
        try {
            if (request.kind == codec::sandbox::RequestKind::Header) {
                codec::ImageInfo info;
                reply.status = static_cast<int32_t>(entry.readHeader(*format, path, limits, info));
                reply.width = info.width;
                reply.height = info.height;
                reply.dpiX = info.dpiX;
                reply.dpiY = info.dpiY;
                reply.hasAlpha = info.hasAlpha ? 1 : 0;
            } else if (request.kind == codec::sandbox::RequestKind::Information) {
                reply.status = static_cast<int32_t>(InformationFile(information(), pixelFd));
            } else {
                codec::DecodeRequest decode;
                decode.minWidth = request.minWidth;
                decode.minHeight = request.minHeight;
                decode.toSrgb = request.toSrgb != 0;
                // A picture that fits the window is decoded straight into it. Declared
                // before the raster, so that the raster is freed first.
                const bool windowed =
                    request.delivery == codec::sandbox::PixelDelivery::SharedWindow && state.window != nullptr;
                std::optional<codec::LentPixelMemory> lent;
                if (windowed) {
                    lent.emplace(state.window, codec::sandbox::WindowPixelBytes(state.windowBytes));
                    state.windowHeld = true;
                }
                codec::Raster raster;
                std::string warning;
                const DecodeStatus status = entry.decodePixels(*format, path, decode, limits, raster, warning);
                reply.status = static_cast<int32_t>(status);
                if ((status == DecodeStatus::Ok || status == DecodeStatus::Partial) && decode.toSrgb) {
                    PutText(codec::ConvertDecodeToSrgb(information().metadata.icc, raster), reply.colourWarning,
                            reply.colourWarningLength);
                }
                if (status == DecodeStatus::Ok || status == DecodeStatus::Partial) {
                    reply.rasterWidth = raster.width;
                    reply.rasterHeight = raster.height;
                    PutText(warning, reply.warning, reply.warningLength);
                    const size_t size = raster.pixels.size();
                    if (windowed && size <= codec::sandbox::WindowPixelBytes(state.windowBytes)) {
                        if (!lent->Holds(raster.pixels)) std::memcpy(state.window, raster.pixels.data(), size);
                        reply.pixelsInWindow = 1;
                        reply.windowSequence = ++state.windowSequence;
                    } else if (request.delivery == codec::sandbox::PixelDelivery::KeptInHelper ||
                               request.delivery == codec::sandbox::PixelDelivery::SharedWindow) {
                        kept = std::move(raster);
                        reply.pixelsKept = 1;
                        reply.pixelAddress = reinterpret_cast<uintptr_t>(kept.pixels.data());
                    } else if ((pixelFd = PixelFile(raster)) < 0 && errno == EFBIG) {
                        inlinePixels = std::move(raster);
                        reply.pixelsFollow = 1;
                    } else if (pixelFd < 0) {
                        reply.status = static_cast<int32_t>(DecodeStatus::OutOfMemory);
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            reply.status = static_cast<int32_t>(DecodeStatus::OutOfMemory);
        }
        ForgetRequestFile();
    }
    if (fileFd >= 0) close(fileFd);
    const bool sent = Send(reply, pixelFd) && (reply.pixelsFollow == 0 || SendPixels(inlinePixels));
    if (pixelFd >= 0) close(pixelFd);
    if (!sent) _exit(1);
}

}  // namespace

DecoderEntry EntryFor(const std::vector<const codec::Decoder*>& decoders, InformationReader readInformation) {
    DecoderEntry entry;
    entry.readHeader = &codec::ReadHeader;
    entry.decodePixels = &codec::DecodePixels;
    entry.decoders = &decoders;
    entry.readInformation = readInformation;
    return entry;
}

int RunDecoderHelper(int argc, char** argv, const DecoderEntry& entry) {
    Arguments arguments;
    if (!ParseArguments(argc, argv, arguments) ||
        (arguments.mode == HelperMode::Fonts && entry.prepareFonts == nullptr)) {
        std::fprintf(stderr, "%s: usage: %s --mode=strict|fonts [--memory-mib=N]\n", argv[0], argv[0]);
        return 2;
    }
    if (fcntl(codec::sandbox::kHelperSocketFd, F_GETFD) < 0) {
        std::fprintf(stderr, "%s: runs only when started by the decoder pool\n", argv[0]);
        return 2;
    }
    // Only the socket and the standard streams: nothing the program had open by chance.
    close_range(codec::sandbox::kHelperSocketFd + 1, ~0U, 0);
    // A pixel file over the caller's file size limit fails with EFBIG instead of ending
    // the helper; the pixels then go through the socket.
    std::signal(SIGXFSZ, SIG_IGN);

    std::vector<std::string> fontFolders;
    if (arguments.mode == HelperMode::Fonts && !entry.prepareFonts(argv[0], fontFolders)) {
        std::fprintf(stderr, "%s: the fonts could not be set up\n", argv[0]);
        return 1;
    }
    PreloadCharsetConverters();
    // This process is the isolation; the filter would end it at libjxr's own fork.
    codec::DecodeJxrInThisProcess();
    if (!LimitMemory(arguments.memoryMiB)) {
        std::fprintf(stderr, "%s: the memory limit could not be set\n", argv[0]);
        return 1;
    }
    KeepDecodeMemory();
    std::string error;
    if (arguments.mode == HelperMode::Fonts && !RestrictOpensTo(fontFolders, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    if (!InstallSyscallFilter(arguments.mode, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    WireRequest request;
    int fileFd = -1;
    ServeState state;
    while (WaitForRequest(state) && Receive(request, fileFd)) Serve(request, fileFd, arguments.mode, entry, state);
    // The pool closed the socket. Ending here skips exit-time work (leak checks walk
    // other threads with calls the filter refuses).
    _exit(0);
}

}  // namespace tallowin::sandbox
