#pragma once
// The little of EXIF that decoding needs (IFD0's orientation and resolution), read
// with every offset checked, and the turn that makes a picture upright.

#include "decoder.h"

#include <cstddef>
#include <cstdint>

namespace tallowin::codec::detail {

struct ExifFacts {
    int orientation = 1;  // 1..8 as in the TIFF Orientation tag; anything else reads as 1
    float dpiX = 0.0f;    // 0 when the block gives no usable resolution
    float dpiY = 0.0f;
};

// `data` is the body of an APP1 segment ("Exif\0\0" and a TIFF structure). Returns
// false when it is not an EXIF block; damaged fields are skipped, never trusted.
bool ParseExif(const uint8_t* data, size_t size, ExifFacts& facts);

// True for the orientations that exchange width and height (5 to 8).
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns and mirrors `raster` so that it shows the picture upright. Returns
// OutOfMemory when the turned copy cannot be allocated (the raster is then unchanged).
DecodeStatus ApplyOrientation(Raster& raster, int orientation);

}  // namespace tallowin::codec::detail
