#pragma once
// The BMP files the WDP library exchanges with the program: reads 8-bit palette,
// 24-bit and 32-bit files (bottom-up or top-down) and writes 24-bit bottom-up files
// with a 40-byte info header.

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::wdp {

// Largest picture either side accepts, checked before any allocation.
constexpr int64_t kMaxSide = 1'000'000;      // pixels, either side
constexpr int64_t kMaxPixels = 500'000'000;  // width x height

// True when the size is positive and within kMaxSide / kMaxPixels.
bool SizeWithinLimits(int64_t width, int64_t height);

// 24-bit pixels, bytes B, G, R, top-down, rows packed (stride = width * 3).
struct BgrImage {
    int32_t width = 0;
    int32_t height = 0;
    float dpiX = 96.0f;
    float dpiY = 96.0f;
    std::vector<uint8_t> pixels;

    size_t Stride() const { return static_cast<size_t>(width) * 3; }
    uint8_t* Row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * Stride(); }
};

enum class BmpReadResult {
    Ok,
    FileError,    // the file could not be opened or read
    NotABmp,      // not a BMP, or a variant this reader does not handle
    Truncated,    // the header promises more pixel bytes than the file holds
    OverLimit,    // a valid header for a picture larger than the limits
    OutOfMemory,  // the pixel buffer could not be allocated
};

BmpReadResult ReadBmp(const std::string& path, BgrImage& image);

// Parses BMP bytes already in memory (the file reader's core).
BmpReadResult ParseBmp(const std::vector<uint8_t>& bytes, BgrImage& image);

// Writes the image as a 24-bit bottom-up BMP file, row by row (no second copy of the
// picture in memory). False when any write fails.
bool WriteBmp24(const std::string& path, const BgrImage& image);

}  // namespace tallowin::wdp
