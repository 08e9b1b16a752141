#include "bmp_dib.h"

#include "bmp_rows.h"
#include "decoder_support.h"
#include "dib_header.h"

#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

namespace tallowin::codec::detail {

namespace {

constexpr uint32_t kMaxPaletteEntries = 256;
constexpr uint32_t kDefault16Masks[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kDefault32Masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};

bool IsKnownHeaderSize(uint32_t size) {
    switch (size) {
        case kCoreHeaderSize: case kOs2ShortHeaderSize: case kInfoHeaderSize: case 52: case 56:
        case kOs2HeaderSize: case kV4HeaderSize: case kV5HeaderSize:
            return true;
        default:
            return false;
    }
}

bool IsOs2Header(uint32_t size) { return size == kOs2ShortHeaderSize || size == kOs2HeaderSize; }

DecodeStatus CheckDepthAndCompression(const DibHeader& h) {
    const uint16_t bits = h.bitCount;
    switch (h.compression) {
        case kBiRgb:
            if (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)
                return DecodeStatus::Ok;
            return DecodeStatus::NotAnImage;
        case kBiRle8:
            return bits == 8 && !h.topDown ? DecodeStatus::Ok : DecodeStatus::NotAnImage;
        case kBiRle4:
            return bits == 4 && !h.topDown ? DecodeStatus::Ok : DecodeStatus::NotAnImage;
        case kBiBitfields:
        case kBiAlphaBitfields:
            // OS/2 headers use code 3 for Huffman coding, which we don't read.
            if (IsOs2Header(h.headerSize)) return DecodeStatus::NotAnImage;
            return bits == 16 || bits == 32 ? DecodeStatus::Ok : DecodeStatus::NotAnImage;
        default:
            // Embedded JPEG/PNG (printer formats), OS/2 RLE24 and anything unknown.
            return DecodeStatus::NotAnImage;
    }
}

// The alpha field of a bit-field pixel scaled to 0..255 (colour fields go through the
// raster core's row conversion, which knows nothing of alpha).
struct AlphaField {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t maximum = 0;

    explicit AlphaField(uint32_t m) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        maximum = mask >> shift;
    }
    uint8_t operator()(uint32_t pixel) const {
        return static_cast<uint8_t>((static_cast<uint64_t>((pixel & mask) >> shift) * 255 + maximum / 2) / maximum);
    }
};

// The palette as 256 BGRA entries; entries the file lacks stay opaque black so that
// out-of-range indices give black instead of reading past the table.
std::array<uint8_t, kMaxPaletteEntries * 4> ReadPalette(const uint8_t* dib, size_t size, const DibHeader& h,
                                                        size_t limit) {
    std::array<uint8_t, kMaxPaletteEntries * 4> palette{};
    for (uint32_t i = 0; i < kMaxPaletteEntries; ++i) palette[i * 4 + 3] = 255;
    const size_t end = limit < size ? limit : size;
    for (uint32_t i = 0; i < h.paletteEntries && i < kMaxPaletteEntries; ++i) {
        const size_t at = h.paletteOffset + static_cast<size_t>(i) * h.paletteEntrySize;
        if (!InBounds(end, at, 3)) break;
        palette[i * 4 + 0] = dib[at + 0];
        palette[i * 4 + 1] = dib[at + 1];
        palette[i * 4 + 2] = dib[at + 2];
    }
    return palette;
}

void ConvertIndexedRow(const uint8_t* src, int32_t width, uint16_t bits, const uint8_t* palette, uint8_t* dst) {
    const int perByte = 8 / bits;
    const uint8_t valueMask = static_cast<uint8_t>((1u << bits) - 1);
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t byte = src[x / perByte];
        const int shift = 8 - bits * (x % perByte + 1);
        const uint8_t index = static_cast<uint8_t>((byte >> shift) & valueMask);
        std::memcpy(dst + static_cast<size_t>(x) * 4, palette + static_cast<size_t>(index) * 4, 4);
    }
}

void ConvertRow8(const uint8_t* src, int32_t width, const uint8_t* palette, uint8_t* dst) {
    for (int32_t x = 0; x < width; ++x)
        std::memcpy(dst + static_cast<size_t>(x) * 4, palette + static_cast<size_t>(src[x]) * 4, 4);
}

void ConvertRow24(const uint8_t* src, int32_t width, uint8_t* dst) {
    for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 255;
    }
}

// 16- and 32-bit rows: colours by the raster core into a blue, green, red row, then
// widened with the alpha field (opaque when there is none).
class BitFieldRows {
public:
    BitFieldRows(const DibHeader& h) : bits_(h.bitCount), alpha_(h.masks[3]) {
        masks_.red = h.masks[0];
        masks_.green = h.masks[1];
        masks_.blue = h.masks[2];
        bgr_.resize(static_cast<size_t>(h.width) * 3);
    }
    bool HasAlpha() const { return alpha_.mask != 0; }

    void Convert(const uint8_t* src, int32_t width, uint8_t* dst) {
        imaging::ConvertBitFieldRow(src, bits_, static_cast<uint32_t>(width), masks_, bgr_.data());
        const size_t bytes = bits_ / 8;
        for (int32_t x = 0; x < width; ++x, dst += 4) {
            const uint8_t* c = bgr_.data() + static_cast<size_t>(x) * 3;
            dst[0] = c[0];
            dst[1] = c[1];
            dst[2] = c[2];
            if (HasAlpha()) {
                const uint8_t* p = src + static_cast<size_t>(x) * bytes;
                dst[3] = alpha_(bytes == 2 ? Le16(p) : Le32(p));
            } else {
                dst[3] = 255;
            }
        }
    }

private:
    uint16_t bits_;
    imaging::BitFieldMasks masks_;
    AlphaField alpha_;
    std::vector<uint8_t> bgr_;
};

DecodeStatus DecodeUncompressed(const uint8_t* rows, size_t available, const DibHeader& h, const uint8_t* palette,
                                const DecodeLimits& limits, Raster& out) {
    const uint64_t stride = DibStride(static_cast<uint64_t>(h.width), h.bitCount);
    if (!DibDataCanFill(h, available)) return DecodeStatus::NotAnImage;
    const DecodeStatus allocated = AllocateRaster(out, h.width, h.height, limits);
    if (allocated != DecodeStatus::Ok) return allocated;

    BitFieldRows fields(h.bitCount == 16 || h.bitCount == 32 ? h : DibHeader{});
    for (int32_t row = 0; row < h.height; ++row) {
        const uint8_t* src = rows + stride * static_cast<uint64_t>(row);
        uint8_t* dst = out.Row(h.topDown ? row : h.height - 1 - row);
        switch (h.bitCount) {
            case 1: case 2: case 4: ConvertIndexedRow(src, h.width, h.bitCount, palette, dst); break;
            case 8: ConvertRow8(src, h.width, palette, dst); break;
            case 16: fields.Convert(src, h.width, dst); break;
            case 24: ConvertRow24(src, h.width, dst); break;
            case 32: fields.Convert(src, h.width, dst); break;
            default: return DecodeStatus::NotAnImage;
        }
    }
    // A declared alpha field that is zero everywhere is unused, not "invisible".
    if (fields.HasAlpha()) {
        bool anyVisible = false;
        for (size_t i = 3; i < out.pixels.size() && !anyVisible; i += 4) anyVisible = out.pixels[i] != 0;
        if (!anyVisible)
            for (size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
    }
    return DecodeStatus::Ok;
}

uint8_t IndexAt(const uint8_t* row, int32_t x, bool fourBit) {
    if (!fourBit) return row[x];
    const uint8_t pair = row[x / 2];
    return x % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

template <class Source>
imaging::RleEnd RunLength(Source& source, const imaging::RowSpan& span, bool fourBit) {
    return fourBit ? imaging::DecodeRle4(source, span) : imaging::DecodeRle8(source, span);
}

// Run-length rows go through the raster core's decoders into index rows. Pixels the
// data skips must come out black rather than as palette entry 0, so the data is
// decoded twice, over fills of 0x00 and 0xFF: a pixel the data wrote reads the same
// both times, a skipped one does not.
DecodeStatus DecodeRunLength(const uint8_t* data, size_t size, const DibHeader& h, const uint8_t* palette,
                             const DecodeLimits& limits, Raster& out, std::string& warning) {
    if (!DibDataCanFill(h, size)) return DecodeStatus::NotAnImage;
    const DecodeStatus allocated = AllocateRaster(out, h.width, h.height, limits);
    if (allocated != DecodeStatus::Ok) return allocated;
    const bool fourBit = h.compression == kBiRle4;
    const uint32_t stride = fourBit ? (static_cast<uint32_t>(h.width) + 1) / 2 : static_cast<uint32_t>(h.width);
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(h.height);
    std::vector<uint8_t> low, high;
    try {
        low.assign(bytes, 0x00);
        high.assign(bytes, 0xFF);
    } catch (const std::bad_alloc&) {
        return DecodeStatus::OutOfMemory;
    }
    const auto rows = static_cast<uint32_t>(h.height);
    imaging::MemoryByteSource lowSource(data, size), highSource(data, size);
    const imaging::RleEnd end = RunLength(lowSource, imaging::RowSpan{low.data(), stride, rows}, fourBit);
    RunLength(highSource, imaging::RowSpan{high.data(), stride, rows}, fourBit);

    constexpr uint8_t kSkipped[4] = {0, 0, 0, 255};
    for (int32_t row = 0; row < h.height; ++row) {
        const uint8_t* a = low.data() + static_cast<size_t>(row) * stride;
        const uint8_t* b = high.data() + static_cast<size_t>(row) * stride;
        uint8_t* dst = out.Row(h.height - 1 - row);
        for (int32_t x = 0; x < h.width; ++x, dst += 4) {
            const uint8_t index = IndexAt(a, x, fourBit);
            const bool written = index == IndexAt(b, x, fourBit);
            std::memcpy(dst, written ? palette + static_cast<size_t>(index) * 4 : kSkipped, 4);
        }
    }
    if (end == imaging::RleEnd::EndOfBitmap) return DecodeStatus::Ok;
    warning = "the file is damaged: its run-length data ends early";
    return DecodeStatus::Partial;
}

}  // namespace

bool DibDataCanFill(const DibHeader& h, uint64_t available) {
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    if (h.compression == kBiRle8 || h.compression == kBiRle4)
        return DataCanFill(available, kBmpRleMaxPixelsPerByte, pixels);
    return DibStride(static_cast<uint64_t>(h.width), h.bitCount) * static_cast<uint64_t>(h.height) <= available;
}

DecodeStatus ParseDibHeader(const uint8_t* dib, size_t size, bool iconEntry, const DecodeLimits& limits,
                            DibHeader& h) {
    h = DibHeader{};
    plumbing::DibInfoHeader info;
    if (plumbing::ReadDibInfoHeader(dib, size, info) != plumbing::DibHeaderRead::Ok) return DecodeStatus::NotAnImage;
    h.headerSize = info.headerSize;
    if (!IsKnownHeaderSize(h.headerSize) || size < h.headerSize) return DecodeStatus::NotAnImage;

    // Some writers leave planes at 0; nothing depends on it.
    int64_t width = info.width;
    int64_t height = info.height;
    h.bitCount = info.bitCount;
    h.compression = info.compression;
    if (info.core) h.paletteEntrySize = 3;
    if (h.headerSize >= kInfoHeaderSize) {
        h.dpiX = DpiFromPixelsPerMetre(info.xPelsPerMeter);
        h.dpiY = DpiFromPixelsPerMetre(info.yPelsPerMeter);
    }
    if (height < 0) {
        h.topDown = true;
        height = -height;
    }
    if (iconEntry) height /= 2;
    if (width <= 0 || height <= 0) return DecodeStatus::NotAnImage;
    if (CheckDepthAndCompression(h) != DecodeStatus::Ok) return DecodeStatus::NotAnImage;
    if (!limits.Admits(width, height)) return DecodeStatus::OverLimit;
    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);

    size_t tableOffset = h.headerSize;
    if (h.bitCount == 16 || h.bitCount == 32) {
        const uint32_t* defaults = h.bitCount == 16 ? kDefault16Masks : kDefault32Masks;
        std::memcpy(h.masks, defaults, sizeof(uint32_t) * 3);
        if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
            const int count = h.compression == kBiAlphaBitfields ? 4 : 3;
            // Masks live inside V2+ headers, or just after a 40-byte header.
            const size_t at = h.headerSize >= 52 ? kInfoHeaderSize : h.headerSize;
            const int inHeader = h.headerSize >= 56 ? 4 : count;
            if (!InBounds(size, at, static_cast<uint64_t>(inHeader) * 4)) return DecodeStatus::NotAnImage;
            for (int i = 0; i < inHeader; ++i) h.masks[i] = Le32(dib + at + i * 4);
            if (h.masks[0] == 0 && h.masks[1] == 0 && h.masks[2] == 0) return DecodeStatus::NotAnImage;
            if (h.headerSize == kInfoHeaderSize) tableOffset += static_cast<size_t>(count) * 4;
        }
    }

    const uint32_t clrUsed = info.clrUsed;
    if (h.bitCount <= 8) {
        const uint32_t full = 1u << h.bitCount;
        h.paletteEntries = clrUsed == 0 || clrUsed > full ? full : clrUsed;
    } else {
        // A palette beside true-colour pixels is legal; it only needs skipping.
        h.paletteEntries = clrUsed <= kMaxPaletteEntries ? clrUsed : 0;
    }
    h.paletteOffset = tableOffset;
    h.pixelOffset = tableOffset + static_cast<size_t>(h.paletteEntries) * h.paletteEntrySize;
    return DecodeStatus::Ok;
}

DecodeStatus DecodeDib(const uint8_t* dib, size_t size, const DibHeader& h, size_t pixelOffset,
                       const DecodeLimits& limits, Raster& out, std::string& warning) {
    if (pixelOffset > size) return DecodeStatus::NotAnImage;
    const auto palette = ReadPalette(dib, size, h, pixelOffset > h.paletteOffset ? pixelOffset : size);
    const uint8_t* rows = dib + pixelOffset;
    const size_t available = size - pixelOffset;

    if (h.compression != kBiRle8 && h.compression != kBiRle4)
        return DecodeUncompressed(rows, available, h, palette.data(), limits, out);

    return DecodeRunLength(rows, available, h, palette.data(), limits, out, warning);
}

}  // namespace tallowin::codec::detail
