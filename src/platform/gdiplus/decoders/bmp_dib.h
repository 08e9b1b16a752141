#pragma once
// The device-independent bitmap reader shared by the BMP adapter and the icon
// adapter (an icon's BMP entry is a DIB without the file header, twice as tall, with
// an AND mask after its rows).

#include "decoder.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallowin::codec::detail {

// Compression codes of the info header.
enum : uint32_t {
    kBiRgb = 0,
    kBiRle8 = 1,
    kBiRle4 = 2,
    kBiBitfields = 3,
    kBiJpeg = 4,
    kBiPng = 5,
    kBiAlphaBitfields = 6,
};

// Info header sizes with a meaning of their own.
constexpr uint32_t kCoreHeaderSize = 12;      // 16-bit width and height, 3-byte palette entries
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2ShortHeaderSize = 16;  // OS/2 2.x, truncated
constexpr uint32_t kOs2HeaderSize = 64;       // OS/2 2.x, where compression 3 and 4 mean other things
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kV5HeaderSize = 124;

struct DibHeader {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;         // rows of the picture (the XOR image of an icon entry)
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (16 and 32 bits only)
    size_t paletteOffset = 0;   // from the start of the info header
    uint32_t paletteEntries = 0;
    uint32_t paletteEntrySize = 4;
    size_t pixelOffset = 0;     // where the rows start when nothing else says so
    float dpiX = 96.0f;
    float dpiY = 96.0f;
};

// Reads and checks the info header at the start of `dib`. `iconEntry` halves the
// stored height. NotAnImage for anything malformed or unsupported, OverLimit when the
// size is beyond the limits.
DecodeStatus ParseDibHeader(const uint8_t* dib, size_t size, bool iconEntry, const DecodeLimits& limits,
                            DibHeader& header);

// Whether `available` bytes of row data could fill the picture: all of its rows when
// uncompressed, one written pixel per kBmpRleMaxPixelsPerByte when run-length coded.
bool DibDataCanFill(const DibHeader& header, uint64_t available);

// Decodes the rows that start `pixelOffset` bytes after the info header into a BGRA
// raster. Uncompressed rows that the buffer does not hold are refused before any
// allocation; run-length data that ends early gives Partial with a warning, and
// pixels it skips are opaque black.
DecodeStatus DecodeDib(const uint8_t* dib, size_t size, const DibHeader& header, size_t pixelOffset,
                       const DecodeLimits& limits, Raster& out, std::string& warning);

// Bytes per stored row: rows are padded to whole 32-bit words.
inline uint64_t DibStride(uint64_t width, uint32_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

}  // namespace tallowin::codec::detail
