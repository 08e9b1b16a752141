#pragma once
// Size arithmetic of an in-memory bitmap, done once and checked before anything
// is allocated: every product is formed in 64 bits and compared against the caps
// below, so no later 32-bit field (biSizeImage, rowStride) can wrap.

#include <cstddef>
#include <cstdint>

namespace tallowin::imaging {

// Largest width or height accepted for any image.
inline constexpr int64_t kMaxImageSide = 1'000'000;
// Largest pixel count accepted for any image.
inline constexpr int64_t kMaxImagePixels = 500'000'000;

enum class LayoutStatus {
    Ok,                 ///< the layout fits
    InvalidDimensions,  ///< zero or negative width or height
    OverLimit,          ///< a side, the pixel count or a byte size is above our caps
};

struct DibLayout {
    uint16_t bitCount = 0;     ///< depth after rounding to 1, 4, 8 or 24
    uint32_t colourCount = 0;  ///< palette entries: 2, 16, 256, or 0 for 24 bits
    uint32_t rowStride = 0;    ///< bytes per stored row, a multiple of 4
    uint32_t imageSize = 0;    ///< rowStride × height
    uint32_t paletteSize = 0;  ///< 4 × colourCount
    size_t totalSize = 0;      ///< header + palette + rows
};

// The depths held in memory: 0 and 1 → 1, 2 to 4 → 4, 5 to 8 → 8, above → 24.
uint16_t RoundBitCount(uint32_t bits);

// Bytes per stored row of `width` pixels at `bits` per pixel, padded to 4 bytes;
// computed in 64 bits so any 32-bit width is safe.
uint64_t RowStrideOf(int64_t width, uint32_t bits);

// Layout of a block holding a `headerSize`-byte header, the palette and the rows
// of a width × height image at the rounded depth of `bits`.
LayoutStatus ComputeDibLayout(int32_t width, int32_t height, uint32_t bits, uint32_t headerSize,
                              DibLayout& layout);

}  // namespace tallowin::imaging
