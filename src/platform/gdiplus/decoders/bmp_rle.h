#pragma once
// Run-length decoding of 8- and 4-bit DIB rows straight into a BGRA raster.

#include "decoder.h"

#include <cstddef>
#include <cstdint>

namespace tallowin::codec::detail {

struct RleResult {
    int32_t rowsDone = 0;       // stored rows finished before the data ended
    bool reachedEnd = false;    // an end-of-bitmap code or the last row was reached
};

// `palette` holds 256 BGRA entries (missing entries black). Pixels the data skips
// keep what the raster held (the caller fills it first). Rows are stored bottom-up
// and written to the raster top-down. Runs are clamped to the row.
RleResult DecodeRle(const uint8_t* data, size_t size, bool fourBit, const uint8_t* palette, Raster& out);

}  // namespace tallowin::codec::detail
