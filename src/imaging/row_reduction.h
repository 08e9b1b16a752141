#pragma once
// The colour reduction of 24-bit rows straight on the pixel block: each pixel to
// its nearest palette entry, optionally diffusing the error as the accessor-based
// reduction does (7/16 to the right, 2/16, 4/16, 1/16 to the next stored row, every
// share truncated toward zero and clamped as it arrives). Both give the same bytes.

#include "palette_search.h"

#include <cstdint>

namespace tallowin::imaging {

// Rows of one reduction: `source(y)` is stored row y of the 24-bit image (its
// pixels receive the diffused error), `target(y)` the same row of the indexed
// image of `bits` (1, 4 or 8) per pixel.
struct ReductionRows {
    uint8_t* sourceRows;
    uint32_t sourceStride;
    uint8_t* targetRows;
    uint32_t targetStride;
    int32_t width;
    int32_t height;
    uint16_t bits;

    uint8_t* Source(int32_t y) const { return sourceRows + static_cast<size_t>(y) * sourceStride; }
    uint8_t* Target(int32_t y) const { return targetRows + static_cast<size_t>(y) * targetStride; }
};

// Rows handled together by ReduceRowBand.
inline constexpr int32_t kRowBand = 4;

// Reduces stored rows first to first + count − 1 (count ≤ kRowBand). With
// diffusion, row first − 1 must be done and rows below first + count untouched.
void ReduceRowBand(const ReductionRows& rows, int32_t first, int32_t count, bool diffusion, PaletteMatcher& matcher);

}  // namespace tallowin::imaging
