#pragma once
// Helpers shared by the decoder adapters: whole-file reads, little-endian fields,
// raster allocation within the limits, and resolution units.

#include "decoder.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tallowin::codec::detail {

// Reads the whole file. FileError when it cannot be opened or read.
DecodeStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Reads at most `limit` bytes from the start of the file (fewer when it is shorter).
DecodeStatus ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

// Sizes the raster (zero-filled) after checking the limits: OverLimit without any
// allocation when the size is refused, OutOfMemory when the allocation fails.
DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height);

// True when any pixel's alpha is below 255.
bool AnyTransparent(const Raster& raster);

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t LeS32(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }

// True when [offset, offset + length) lies inside a buffer of `size` bytes, written so
// that no addition can wrap around.
inline bool InBounds(size_t size, uint64_t offset, uint64_t length) {
    return offset <= size && length <= size - offset;
}

constexpr float kDefaultDpi = 96.0f;
constexpr double kMetresPerInch = 0.0254;
constexpr double kCentimetresPerInch = 2.54;

// Pixels per metre as dots per inch; 96 when the file gives none.
float DpiFromPixelsPerMetre(double pixelsPerMetre);

}  // namespace tallowin::codec::detail
