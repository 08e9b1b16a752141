#include "jxr_container.h"

#include "bmp_file.h"
#include "le_bytes.h"

#include <cstring>
#include <optional>

namespace tallowin::wdp {

namespace {

constexpr uint8_t kByteOrderMark = 0x49;  // "II": little-endian directory
constexpr uint8_t kJxrIdentifier = 0xBC;
constexpr uint8_t kMaxContainerVersion = 1;
constexpr size_t kContainerHeaderSize = 8;
constexpr size_t kDirectoryEntrySize = 12;
constexpr size_t kMaxDirectoryEntries = 4096;

constexpr uint16_t kTagImageOffset = 0xBCC0;
constexpr uint16_t kTagImageByteCount = 0xBCC1;
constexpr uint16_t kTagAlphaOffset = 0xBCC2;
constexpr uint16_t kTagAlphaByteCount = 0xBCC3;
constexpr uint16_t kTagPixelFormat = 0xBC01;
constexpr uint16_t kTagWidthResolution = 0xBC82;
constexpr uint16_t kTagHeightResolution = 0xBC83;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeFloat = 11;

constexpr char kCodestreamSignature[8] = {'W', 'M', 'P', 'H', 'O', 'T', 'O', '\0'};
// Signature, one byte of version flags, three bytes of coding flags, then the size
// as two 32-bit fields (or two 16-bit fields with the short-header flag).
constexpr size_t kCodestreamFlagsAt = 8;
constexpr size_t kCodestreamSizeAt = 12;
constexpr uint8_t kShortHeaderFlag = 0x80;   // in flags byte 10
constexpr uint8_t kAlphaPlaneFlag = 0x01;    // in flags byte 10

constexpr auto Get16 = plumbing::Le16;
constexpr auto Get32 = plumbing::Le32;
uint32_t GetBig16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t GetBig32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// A resolution entry's value: one float stored in the entry itself; 0 when unusable.
float ResolutionOf(const uint8_t* entry) {
    const uint32_t bits = Get32(entry + 8);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    // NaN fails both tests.
    return value > 0 && value < 1e6f ? value : 0.0f;
}

// Bytes per value of the TIFF field types; 0 for unknown types.
uint64_t TypeSize(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
        case 3: case 8: return 2;                  // SHORT, SSHORT
        case 4: case 9: case 11: return 4;         // LONG, SLONG, FLOAT
        case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
        default: return 0;
    }
}

// True when [offset, offset + length) lies inside the file.
bool InFile(uint64_t offset, uint64_t length, size_t size) { return offset <= size && length <= size - offset; }

struct Region {
    std::optional<uint32_t> offset;
    std::optional<uint32_t> byteCount;
};

ContainerCheck CheckCodestream(const uint8_t* stream, uint64_t length, JxrLayout& layout) {
    if (length < kCodestreamSizeAt + 4 || std::memcmp(stream, kCodestreamSignature, sizeof kCodestreamSignature) != 0) {
        return ContainerCheck::NotJxr;
    }
    const uint8_t flags = stream[kCodestreamFlagsAt + 2];
    uint64_t widthMinus1 = 0;
    uint64_t heightMinus1 = 0;
    if (flags & kShortHeaderFlag) {
        widthMinus1 = GetBig16(stream + kCodestreamSizeAt);
        heightMinus1 = GetBig16(stream + kCodestreamSizeAt + 2);
    } else {
        if (length < kCodestreamSizeAt + 8) return ContainerCheck::NotJxr;
        widthMinus1 = GetBig32(stream + kCodestreamSizeAt);
        heightMinus1 = GetBig32(stream + kCodestreamSizeAt + 4);
    }
    if (!SizeWithinLimits(static_cast<int64_t>(widthMinus1 + 1), static_cast<int64_t>(heightMinus1 + 1))) {
        return ContainerCheck::OverLimit;
    }
    layout.width = static_cast<uint32_t>(widthMinus1 + 1);
    layout.height = static_cast<uint32_t>(heightMinus1 + 1);
    layout.hasAlphaPlane = (flags & kAlphaPlaneFlag) != 0;
    return ContainerCheck::Ok;
}

}  // namespace

ContainerCheck CheckJxrContainer(const uint8_t* data, size_t size, JxrLayout& layout) {
    if (size < kContainerHeaderSize || data[0] != kByteOrderMark || data[1] != kByteOrderMark ||
        data[2] != kJxrIdentifier || data[3] > kMaxContainerVersion) {
        return ContainerCheck::NotJxr;
    }
    const uint32_t directoryAt = Get32(data + 4);
    if (directoryAt < kContainerHeaderSize || !InFile(directoryAt, 2, size)) return ContainerCheck::Truncated;
    const uint16_t entries = Get16(data + directoryAt);
    if (entries == 0 || entries > kMaxDirectoryEntries) return ContainerCheck::NotJxr;
    // The entries and the 4-byte link to the next directory.
    if (!InFile(directoryAt + 2ull, entries * uint64_t{kDirectoryEntrySize} + 4, size)) return ContainerCheck::Truncated;

    Region image;
    Region alpha;
    for (uint16_t i = 0; i < entries; ++i) {
        const uint8_t* entry = data + directoryAt + 2 + i * kDirectoryEntrySize;
        const uint16_t tag = Get16(entry);
        const uint16_t type = Get16(entry + 2);
        const uint32_t count = Get32(entry + 4);
        const uint64_t typeSize = TypeSize(type);
        if (typeSize == 0) return ContainerCheck::NotJxr;
        const uint64_t valueBytes = typeSize * count;
        // Values of more than four bytes live elsewhere in the file.
        if (valueBytes > 4 && !InFile(Get32(entry + 8), valueBytes, size)) return ContainerCheck::Truncated;

        if (tag == kTagPixelFormat && valueBytes == sizeof layout.pixelFormat) {
            std::memcpy(layout.pixelFormat, data + Get32(entry + 8), sizeof layout.pixelFormat);
            continue;
        }
        if ((tag == kTagWidthResolution || tag == kTagHeightResolution) && type == kTypeFloat && count == 1) {
            (tag == kTagWidthResolution ? layout.dpiX : layout.dpiY) = ResolutionOf(entry);
            continue;
        }
        Region* region = nullptr;
        bool isOffset = false;
        switch (tag) {
            case kTagImageOffset: region = &image; isOffset = true; break;
            case kTagImageByteCount: region = &image; break;
            case kTagAlphaOffset: region = &alpha; isOffset = true; break;
            case kTagAlphaByteCount: region = &alpha; break;
            default: continue;
        }
        if (count != 1 || (type != kTypeShort && type != kTypeLong)) return ContainerCheck::NotJxr;
        const uint32_t value = type == kTypeShort ? Get16(entry + 8) : Get32(entry + 8);
        (isOffset ? region->offset : region->byteCount) = value;
    }

    if (!image.offset || !image.byteCount || *image.byteCount == 0) return ContainerCheck::NotJxr;
    if (!InFile(*image.offset, *image.byteCount, size)) return ContainerCheck::Truncated;
    if (alpha.offset.has_value() != alpha.byteCount.has_value()) return ContainerCheck::NotJxr;
    if (alpha.offset) {
        // libjxr's own encoder stores the end of the alpha plane (the file size) where
        // its byte count belongs; read such a count as "up to the end of the file".
        if (*alpha.byteCount == size && *alpha.offset < size) *alpha.byteCount = static_cast<uint32_t>(size - *alpha.offset);
        if (!InFile(*alpha.offset, *alpha.byteCount, size)) return ContainerCheck::Truncated;
    }

    const ContainerCheck codestream = CheckCodestream(data + *image.offset, *image.byteCount, layout);
    if (codestream != ContainerCheck::Ok) return codestream;
    if (alpha.offset) {
        JxrLayout alphaLayout;
        const ContainerCheck alphaStream = CheckCodestream(data + *alpha.offset, *alpha.byteCount, alphaLayout);
        if (alphaStream != ContainerCheck::Ok) return alphaStream;
        if (alphaLayout.width != layout.width || alphaLayout.height != layout.height) return ContainerCheck::NotJxr;
        layout.hasAlphaPlane = true;
    }
    return ContainerCheck::Ok;
}

}  // namespace tallowin::wdp
