#pragma once
// PNG's row filters undone for 8-bit RGB and RGBA, each row written out as BGRA. Each
// filter predicts a byte from its left neighbour (a), the byte above (b) and the byte
// above left (c); the pixels of a row depend on each other only through a, so the bytes
// of one pixel are worked on together.

#include <cstddef>
#include <cstdint>

namespace tallowin::codec::detail {

// Undoes filter `filter` (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth) on the `width`
// pixels of `raw` (3 or 4 bytes each, `bytesPerPixel`; the row must stay readable 1 byte
// past its end) and writes them as BGRA to `bgra`, opaque for RGB. `priorBgra` is the
// row above as this function wrote it, or null for the first row. False, writing
// nothing, for any other filter type.
bool UnfilterRow(uint8_t filter, const uint8_t* raw, const uint8_t* priorBgra, uint8_t* bgra, int32_t width,
                 int bytesPerPixel);

// Two rows one after the other, as two calls of UnfilterRow would (the second row's
// prior being `firstBgra`). Two Paeth rows, the slowest kind, are worked on side by
// side: the second row's pixel needs only the first row's pixels just made, so the two
// chains overlap. False, when either filter type is undefined.
bool UnfilterRows(uint8_t firstFilter, const uint8_t* firstRaw, uint8_t secondFilter, const uint8_t* secondRaw,
                  const uint8_t* priorBgra, uint8_t* firstBgra, uint8_t* secondBgra, int32_t width, int bytesPerPixel);

}  // namespace tallowin::codec::detail
