#pragma once
// The headers of BMP files and device-independent bitmaps, read field by field from
// their little-endian bytes. Only the reading lives here; what a reader accepts
// (depths, compressions, sizes, limits) is its own choice.

#include <cstddef>
#include <cstdint>

namespace tallowin::plumbing {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr size_t kBmpFileHeaderSize = 14;

// Info header sizes with a meaning of their own.
constexpr uint32_t kDibCoreHeaderSize = 12;      // OS/2 1.x: 16-bit width and height, 3-byte palette entries
constexpr uint32_t kDibShortestInfoHeader = 16;  // OS/2 2.x may cut its header down to this
constexpr uint32_t kDibInfoHeaderSize = 40;      // Windows 3
constexpr uint32_t kDibMaskedHeaderSize = 52;    // V2 and later carry the red, green and blue masks
constexpr uint32_t kDibAlphaMaskHeaderSize = 56; // V3 and later also carry the alpha mask
constexpr uint32_t kDibV4HeaderSize = 108;
constexpr uint32_t kDibV5HeaderSize = 124;

// The most bytes of an info header that ReadDibInfoHeader looks at; anything after
// them (colour spaces, gamma, profiles) is not read.
constexpr size_t kDibHeaderBytesRead = kDibAlphaMaskHeaderSize;

struct BmpFileHeader {
    uint16_t signature = 0;
    uint32_t fileSize = 0;
    uint32_t offBits = 0;  // where the rows start, from the start of the file
};

// Reads the 14-byte file header. False when fewer bytes are given; the signature is
// left for the caller to check.
bool ReadBmpFileHeader(const uint8_t* data, size_t size, BmpFileHeader& header);

// An info header's fields as stored. Fields the stored header is too short to hold
// are 0; a core header's width and height are its unsigned 16-bit values.
struct DibInfoHeader {
    uint32_t headerSize = 0;
    bool core = false;  // 12-byte header, 3-byte palette entries
    int32_t width = 0;
    int32_t height = 0;  // negative for top-down rows
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    bool masksInHeader = false;       // red, green and blue masks are in the header
    bool alphaMaskInHeader = false;   // and the alpha mask too
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha, when in the header
};

enum class DibHeaderRead {
    Ok,
    TooShort,     // fewer bytes than the header declares (up to kDibHeaderBytesRead)
    UnknownSize,  // a declared size no header has (below 16 and not 12)
};

// Reads the info header at the start of `data`. `size` needs to cover the declared
// header only as far as kDibHeaderBytesRead.
DibHeaderRead ReadDibInfoHeader(const uint8_t* data, size_t size, DibInfoHeader& header);

// Bytes of ReadDibInfoHeader's input a header of `headerSize` needs.
inline size_t DibHeaderBytesNeeded(uint32_t headerSize) {
    return headerSize < kDibHeaderBytesRead ? headerSize : kDibHeaderBytesRead;
}

// Bytes per stored row: rows are padded to whole 32-bit words.
inline uint64_t DibStride(uint64_t width, uint32_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

}  // namespace tallowin::plumbing
