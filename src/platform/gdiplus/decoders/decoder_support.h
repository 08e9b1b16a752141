#pragma once
// Helpers shared by the decoder adapters: whole-file reads, little-endian fields,
// raster allocation within the limits, the bound on what compressed data can fill,
// and resolution units.

#include "decoder.h"
#include "le_bytes.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tallowin::codec::detail {

// Reads the whole file. FileError when it cannot be opened or read (or is no regular
// file), OverLimit when it is larger than any picture within the limits.
DecodeStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Reads at most `limit` bytes from the start of the file (fewer when it is shorter).
DecodeStatus ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

// The file's size in bytes. FileError when it cannot be found.
DecodeStatus FileSize(const std::string& path, uint64_t& size);

// Sizes the raster (zero-filled) after checking the limits: OverLimit without any
// allocation when the size is refused, OutOfMemory when the allocation fails.
DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height, const DecodeLimits& limits);
// The same under the default limits, for renderers that are handed none.
DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height);

// True when any pixel's alpha is below 255.
bool AnyTransparent(const Raster& raster);

// The most bytes one byte of coded data can expand to, per coding. A frame that needs
// more than its file could expand to is refused before anything is allocated for it.
//
// Deflate (PNG, TIFF): the longest match is 258 bytes, and its cheapest coding is a
// 1-bit length code (code 285 has no extra bits) plus a 1-bit distance code (distance 1
// has no extra bits): 258 bytes from 2 bits, so 1032 per byte. Block headers and the
// zlib wrapper only add bits.
constexpr uint64_t kDeflateMaxExpansion = 1032;
// LZW (GIF, TIFF): a w-bit code (w <= 12) is below 2^w, and the string of table entry c
// is at most c - (first free entry) + 2 < 2^w bytes long, so a code yields at most 2^w
// bytes from w bits. 2^w / w grows with w, so 4096 bytes per 12 bits bounds every code:
// 4096 * 8 / 12 = 2730.7 bytes per byte.
constexpr uint64_t kLzwMaxExpansion = 2731;
// PackBits (TIFF): a repeat is a count byte and a value byte giving at most 128 bytes,
// a literal of n bytes costs n + 1; at most 64 bytes per byte.
constexpr uint64_t kPackBitsMaxExpansion = 64;
// BMP run-length data: an encoded run is 2 bytes giving at most 255 pixels; an absolute
// run of n pixels costs more than n / 2 bytes; deltas, ends of line and the end of the
// bitmap write nothing. At most 128 written pixels per byte.
constexpr uint64_t kBmpRleMaxPixelsPerByte = 128;

// True when `dataBytes` of data expanding at most `maxExpansion` times can produce
// `neededBytes`. No product is formed, so nothing can overflow.
inline bool DataCanFill(uint64_t dataBytes, uint64_t maxExpansion, uint64_t neededBytes) {
    return neededBytes / maxExpansion + (neededBytes % maxExpansion != 0 ? 1 : 0) <= dataBytes;
}

using plumbing::InBounds;
using plumbing::Le16;
using plumbing::Le32;
using plumbing::LeS32;

constexpr float kDefaultDpi = 96.0f;
constexpr double kMetresPerInch = 0.0254;
constexpr double kCentimetresPerInch = 2.54;

// Pixels per metre as dots per inch; 96 when the file gives none.
float DpiFromPixelsPerMetre(double pixelsPerMetre);

}  // namespace tallowin::codec::detail
