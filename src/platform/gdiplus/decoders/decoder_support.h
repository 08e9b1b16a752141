#pragma once
// Helpers shared by the decoder adapters: whole-file reads, little-endian fields,
// raster allocation within the limits, and resolution units.

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

// Sizes the raster (zero-filled) after checking the limits: OverLimit without any
// allocation when the size is refused, OutOfMemory when the allocation fails.
DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height);

// True when any pixel's alpha is below 255.
bool AnyTransparent(const Raster& raster);

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
