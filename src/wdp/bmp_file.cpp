#include "bmp_file.h"

#include "dib_header.h"
#include "file_io.h"
#include "le_bytes.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace tallowin::wdp {

namespace {

using plumbing::kBmpSignature;
using plumbing::Le32;
using plumbing::PutLe16;
using plumbing::PutLe32;
constexpr size_t kFileHeaderSize = plumbing::kBmpFileHeaderSize;
constexpr uint32_t kInfoHeaderSize = plumbing::kDibInfoHeaderSize;  // V4/V5 headers extend it
constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kCompressionBitfields = 3;
constexpr double kMetresPerInch = 0.0254;

// Largest BMP file we read: the biggest 32-bit picture within the limits plus headers.
constexpr uint64_t kMaxBmpFileBytes = static_cast<uint64_t>(kMaxPixels) * 4 + 4096;

float DpiFromPixelsPerMetre(uint32_t ppm) {
    if (ppm == 0 || ppm > 1'000'000) return 96.0f;
    return static_cast<float>(ppm * kMetresPerInch);
}

uint32_t PixelsPerMetreFromDpi(float dpi) {
    if (!(dpi > 0.0f) || dpi > 100000.0f) dpi = 96.0f;
    return static_cast<uint32_t>(std::lround(dpi / kMetresPerInch));
}

// 32-bit files are read as B, G, R, x: either plain RGB or bit fields with the usual masks.
bool StandardBgrxMasks(const std::vector<uint8_t>& bytes, uint32_t headerSize) {
    const size_t masksAt = kFileHeaderSize + kInfoHeaderSize;
    // Masks follow a 40-byte header, or sit inside a V4/V5 header at the same place.
    if (bytes.size() < masksAt + 12 || (headerSize > kInfoHeaderSize && headerSize < kInfoHeaderSize + 12)) return false;
    return Le32(&bytes[masksAt]) == 0x00FF0000 && Le32(&bytes[masksAt + 4]) == 0x0000FF00 &&
           Le32(&bytes[masksAt + 8]) == 0x000000FF;
}

}  // namespace

bool SizeWithinLimits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

BmpReadResult ParseBmp(const std::vector<uint8_t>& bytes, BgrImage& image) {
    plumbing::BmpFileHeader fileHeader;
    plumbing::DibInfoHeader info;
    if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || !plumbing::ReadBmpFileHeader(bytes.data(), bytes.size(), fileHeader) ||
        fileHeader.signature != kBmpSignature ||
        plumbing::ReadDibInfoHeader(&bytes[kFileHeaderSize], bytes.size() - kFileHeaderSize, info) !=
            plumbing::DibHeaderRead::Ok) {
        return BmpReadResult::NotABmp;
    }
    const uint32_t headerSize = info.headerSize;
    if (headerSize < kInfoHeaderSize || headerSize > bytes.size() - kFileHeaderSize) return BmpReadResult::NotABmp;

    const int64_t width = info.width;
    const int64_t signedHeight = info.height;
    const uint16_t planes = info.planes;
    const uint16_t bitCount = info.bitCount;
    const uint32_t compression = info.compression;
    const bool topDown = signedHeight < 0;
    const int64_t height = topDown ? -signedHeight : signedHeight;

    if (planes != 1) return BmpReadResult::NotABmp;
    const bool plain = compression == kCompressionRgb;
    const bool supported = (bitCount == 8 && plain) || (bitCount == 24 && plain) ||
                           (bitCount == 32 && (plain || (compression == kCompressionBitfields &&
                                                         StandardBgrxMasks(bytes, headerSize))));
    if (!supported) return BmpReadResult::NotABmp;
    if (width <= 0 || height <= 0) return BmpReadResult::NotABmp;
    if (!SizeWithinLimits(width, height)) return BmpReadResult::OverLimit;

    // Palette: entries of 4 bytes right after the info header (and the bit-field masks
    // when a 40-byte header uses them). Missing entries stay black.
    uint8_t palette[256][3] = {};
    if (bitCount == 8) {
        uint32_t used = info.clrUsed;
        if (used == 0 || used > 256) used = 256;
        const size_t paletteAt = kFileHeaderSize + headerSize;
        const size_t available = bytes.size() > paletteAt ? (bytes.size() - paletteAt) / 4 : 0;
        if (available < used) used = static_cast<uint32_t>(available);
        for (uint32_t i = 0; i < used; ++i) std::memcpy(palette[i], &bytes[paletteAt + i * 4], 3);
    }

    const uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    const uint64_t pixelOffset = fileHeader.offBits;
    if (pixelOffset < kFileHeaderSize + headerSize || pixelOffset > bytes.size()) return BmpReadResult::NotABmp;
    // The last row needs only its pixel bytes; its padding may be missing.
    const uint64_t lastRowBytes = (static_cast<uint64_t>(width) * bitCount + 7) / 8;
    if (bytes.size() - pixelOffset < stride * static_cast<uint64_t>(height - 1) + lastRowBytes) {
        return BmpReadResult::Truncated;
    }

    try {
        image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    } catch (const std::bad_alloc&) {
        return BmpReadResult::OutOfMemory;
    }
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.dpiX = DpiFromPixelsPerMetre(static_cast<uint32_t>(info.xPelsPerMeter));
    image.dpiY = DpiFromPixelsPerMetre(static_cast<uint32_t>(info.yPelsPerMeter));

    for (int32_t y = 0; y < image.height; ++y) {
        const int64_t fileRow = topDown ? y : height - 1 - y;
        const uint8_t* src = &bytes[pixelOffset + static_cast<uint64_t>(fileRow) * stride];
        uint8_t* dst = image.Row(y);
        switch (bitCount) {
            case 8:
                for (int32_t x = 0; x < image.width; ++x) std::memcpy(dst + x * 3, palette[src[x]], 3);
                break;
            case 24:
                std::memcpy(dst, src, image.Stride());
                break;
            default:  // 32
                for (int32_t x = 0; x < image.width; ++x) std::memcpy(dst + x * 3, src + x * 4, 3);
                break;
        }
    }
    return BmpReadResult::Ok;
}

BmpReadResult ReadBmp(const std::string& path, BgrImage& image) {
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(path, kMaxBmpFileBytes, bytes)) {
        case ReadFileResult::Ok:
            break;
        case ReadFileResult::TooLarge:
            return BmpReadResult::OverLimit;
        case ReadFileResult::OutOfMemory:
            return BmpReadResult::OutOfMemory;
        case ReadFileResult::OpenFailed:
        case ReadFileResult::ReadFailed:
            return BmpReadResult::FileError;
    }
    return ParseBmp(bytes, image);
}

bool WriteBmp24(const std::string& path, const BgrImage& image) {
    const size_t stride = (image.Stride() + 3) & ~size_t{3};
    const uint64_t imageBytes = uint64_t{stride} * static_cast<uint64_t>(image.height);
    const size_t offset = kFileHeaderSize + kInfoHeaderSize;
    // The file size field is 32 bits wide: larger pictures cannot be stored as BMP.
    if (offset + imageBytes > UINT32_MAX) return false;

    uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
    PutLe16(&header[0], kBmpSignature);
    PutLe32(&header[2], static_cast<uint32_t>(offset + imageBytes));
    PutLe32(&header[10], static_cast<uint32_t>(offset));
    uint8_t* info = &header[kFileHeaderSize];
    PutLe32(info, kInfoHeaderSize);
    PutLe32(info + 4, static_cast<uint32_t>(image.width));
    PutLe32(info + 8, static_cast<uint32_t>(image.height));  // positive: bottom-up
    PutLe16(info + 12, 1);
    PutLe16(info + 14, 24);
    PutLe32(info + 16, kCompressionRgb);
    PutLe32(info + 20, static_cast<uint32_t>(imageBytes));
    PutLe32(info + 24, PixelsPerMetreFromDpi(image.dpiX));
    PutLe32(info + 28, PixelsPerMetreFromDpi(image.dpiY));

    FileWriter file(CreateForWriting(path));
    if (!file.Write(header, sizeof header)) return false;
    const uint8_t padding[3] = {};
    const size_t paddingBytes = stride - image.Stride();
    for (int32_t y = image.height - 1; y >= 0; --y) {
        if (!file.Write(image.Row(y), image.Stride()) || !file.Write(padding, paddingBytes)) return false;
    }
    return file.Finish();
}

}  // namespace tallowin::wdp
