#pragma once
// The messages between the decoder pool and a decoder helper process.
//
// The two ends share a SOCK_SEQPACKET socket pair, so every message arrives whole. A
// request carries the photo's open file descriptor (SCM_RIGHTS): the helper never
// opens a path. A reply to a decode that produced pixels carries a sealed memfd
// holding width * height * 4 bytes of BGRA; the pixels never travel through the socket,
// except when the process may not make a file that large (a file size limit, ulimit -f):
// then they follow the reply in messages of kPixelChunk bytes. A request may instead ask
// the helper to keep the pixels until its next request and say where they are: the pool
// then copies them straight out of the helper's memory (process_vm_readv), which costs
// one copy and no file pages to allocate, map and free; where the system refuses that
// read, the pool asks for the kept pixels as a pixel file. Faster still, a picture that
// fits the helper's pixel window (a memfd the pool gives each helper once, mapped by
// both) is copied into it by the helper and out of it by the pool: two plain memory
// copies take a fifth of the time of one cross-process read, which pins every page. The
// pool copies the pixels out before it uses them, so a helper that writes into the
// window later changes nothing the program has read.
// Both ends are built from the same sources, so the structures are sent as they are.

#include "decoder.h"

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tallowin::codec::sandbox {

// The helper reads requests from this descriptor, set up when it is spawned.
constexpr int kHelperSocketFd = 3;

// File names of the helpers, looked up beside the running program: the one for photos
// links neither Qt nor libheif and libjxl, and starts quickly; HEIF and JPEG XL go to
// the second, metafiles, which draw text with Qt, to the third.
constexpr const char* kHelperName = "tallowin-decoder";
constexpr const char* kHeifJxlHelperName = "tallowin-heif-jxl-decoder";
constexpr const char* kMetafileHelperName = "tallowin-metafile-decoder";

constexpr uint32_t kRequestMagic = 0x51434454;  // "TDCQ" as little-endian bytes
constexpr uint32_t kReplyMagic = 0x52434454;    // "TDCR"

enum class RequestKind : uint32_t {
    Header = 1,  // ReadHeader
    Decode = 2,  // DecodePixels
    // The photo information of the file (the adapter named says how it is read): the
    // reply carries a sealed memfd with the packed read (container_metadata.h).
    Information = 3,
    // The pixels the previous decode request kept in the helper, as a pixel file.
    KeptPixels = 4,
    // The pool has copied the kept pixels: the helper lets them go. No reply.
    Collected = 5,
    // The helper's pixel window, attached: a memfd of fixed size, sealed against
    // shrinking and growing. No reply.
    PixelWindow = 6,
};

// How a decode request wants its pixels.
enum class PixelDelivery : uint32_t {
    PixelFile = 0,   // a sealed memfd with the reply
    KeptInHelper = 1,  // kept in the helper until its next request, at WireReply::pixelAddress
    SharedWindow = 2,  // at the start of the pixel window when they fit, else as KeptInHelper
};

struct WireRequest {
    uint32_t magic = kRequestMagic;
    RequestKind kind = RequestKind::Header;
    char decoder[16] = {};  // the adapter's Name(), NUL-terminated
    int32_t minWidth = 0;   // DecodeRequest
    int32_t minHeight = 0;
    int64_t maxSide = 0;    // DecodeLimits
    int64_t maxPixels = 0;
    uint64_t maxWorkingBytes = 0;
    PixelDelivery delivery = PixelDelivery::PixelFile;
    uint32_t toSrgb = 0;  // DecodeRequest::toSrgb
};

constexpr size_t kMaxWireWarning = 1024;

// Names `decoder` in `request`; false when the name does not fit.
inline bool NameDecoder(WireRequest& request, const Decoder& decoder) {
    const size_t length = std::strlen(decoder.Name());
    if (length >= sizeof request.decoder) return false;
    std::memcpy(request.decoder, decoder.Name(), length + 1);
    return true;
}

// The adapter of `decoders` that `request` names, or null.
inline const Decoder* NamedDecoder(const WireRequest& request, const std::vector<const Decoder*>& decoders) {
    if (std::memchr(request.decoder, '\0', sizeof request.decoder) == nullptr) return nullptr;
    for (const Decoder* decoder : decoders)
        if (std::strcmp(decoder->Name(), request.decoder) == 0) return decoder;
    return nullptr;
}
constexpr size_t kPixelChunk = 64 * 1024;

struct WireReply {
    uint32_t magic = kReplyMagic;
    int32_t status = 0;       // DecodeStatus
    int32_t width = 0;        // ImageInfo (header requests)
    int32_t height = 0;
    float dpiX = 0;
    float dpiY = 0;
    uint32_t hasAlpha = 0;
    int32_t rasterWidth = 0;  // the memfd's picture (decode requests that produced pixels)
    int32_t rasterHeight = 0;
    uint32_t pixelsFollow = 0;  // 1: no memfd, the pixels follow in chunks
    uint32_t warningLength = 0;
    char warning[kMaxWireWarning] = {};
    uint32_t pixelsKept = 0;    // 1: no memfd, the pixels wait in the helper's memory
    uint64_t pixelAddress = 0;  // where, in the helper's address space
    uint32_t colourWarningLength = 0;  // why the file's profile could not apply (toSrgb)
    char colourWarning[kMaxWireWarning] = {};
    uint32_t pixelsInWindow = 0;  // 1: no memfd, the pixels are at the start of the pixel window
    uint64_t windowSequence = 0;  // which of the helper's window deliveries this is (from 1)
};

// The pixel window's last page holds one word, written by the pool: the sequence number
// of the last delivery it has copied out. A helper idle for a while gives the window's
// pages back only once the pool has its pixels; the pool need not wake it to say so.
constexpr size_t kWindowControlBytes = 4096;

// The bytes of a window of `bytes` that pixels may take: all but the control page.
constexpr size_t WindowPixelBytes(size_t bytes) { return bytes - kWindowControlBytes; }

// That word, in a window of `bytes` mapped at `window`.
inline std::atomic_ref<uint64_t> CollectedWord(uint8_t* window, size_t bytes) {
    return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(window + WindowPixelBytes(bytes)));
}

// What a helper instance may do besides decoding from the descriptors it is given.
enum class HelperMode {
    Strict,  // no file can be opened at all
    Fonts,   // files may be opened for reading: metafile text needs the system's fonts
};

inline const char* ModeArgument(HelperMode mode) {
    return mode == HelperMode::Fonts ? "--mode=fonts" : "--mode=strict";
}

// Metafiles draw text, whose fonts are found by name at drawing time.
inline HelperMode ModeFor(const Decoder& decoder) {
    const char* name = decoder.Name();
    return (std::strcmp(name, "wmf") == 0 || std::strcmp(name, "emf") == 0) ? HelperMode::Fonts : HelperMode::Strict;
}

// Which helper program decodes a format.
enum class HelperProgram {
    Photos,    // kHelperName
    HeifJxl,   // kHeifJxlHelperName
    Metafiles, // kMetafileHelperName, in fonts mode
};
constexpr int kHelperPrograms = 3;

inline HelperProgram ProgramFor(const Decoder& decoder) {
    if (ModeFor(decoder) == HelperMode::Fonts) return HelperProgram::Metafiles;
    const char* name = decoder.Name();
    return (std::strcmp(name, "heif") == 0 || std::strcmp(name, "jxl") == 0) ? HelperProgram::HeifJxl
                                                                            : HelperProgram::Photos;
}

inline HelperMode ModeOf(HelperProgram program) {
    return program == HelperProgram::Metafiles ? HelperMode::Fonts : HelperMode::Strict;
}

// Sends one whole message on `socket`, with `fd` attached (SCM_RIGHTS) when it is not
// negative. True when the message went out whole.
inline bool SendWithDescriptor(int socket, const void* data, size_t size, int fd) {
    iovec part{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(size);
}

}  // namespace tallowin::codec::sandbox
