#pragma once
// What the bitmap and device-context handles point to. Only the platform layer
// looks inside; everyone else holds the opaque handles of dib_handles.h.

#include "dib_handles.h"

#include <cstdint>
#include <vector>

class QPainter;

// A device-dependent bitmap: 24 or 32 bits per pixel (B, G, R[, X] bytes),
// rows top-down, each row padded to a multiple of 4 bytes.
struct HBITMAP__ {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitsPerPixel = 24;
    int32_t stride = 0;
    std::vector<uint8_t> bits;
};

// A device context: the screen (no painter) or a painter the window layer lent us.
struct HDC__ {
    QPainter* painter = nullptr;
};

namespace tallowin::dib {

// Bytes per row of a DIB with 4-byte aligned rows, or -1 when it does not fit in 32 bits.
int64_t DibStride(int64_t width, int bitsPerPixel);

// A new bitmap handle with a zeroed buffer, or null when the size is invalid or the
// memory is not available. Free it with DeleteObject.
HBITMAP CreateBitmapHandle(int32_t width, int32_t height, uint16_t bitsPerPixel);

}  // namespace tallowin::dib
