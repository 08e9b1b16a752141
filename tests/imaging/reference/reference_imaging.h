#pragma once
// Plain reference versions of the raster core's hot loops, written pixel by pixel
// through the bounds-checked accessors with no pruning or caching. The library's
// fast paths must give the same bytes.

#include "dib_image.h"

#include <cstdint>
#include <vector>

namespace tallowin::test {

// Linear nearest-entry search over the first `count` entries, ties to the lower index.
uint8_t ReferenceNearest(const RGBQUAD* palette, uint32_t count, RGBQUAD colour);

// Bit-depth reduction of `image` through its pixel accessors.
bool ReferenceReduceBitDepth(CDibImage& image, uint32_t targetBits, bool diffusion, const RGBQUAD* palette,
                             uint32_t important);

// The octree quantizer, one pixel at a time through PixelColour (1, 4, 8 and 24-bit
// images), without any cache. Returns the table WritePalette would write, with
// `untouched` in the entries it leaves alone, and the leaf count in `leaves`.
std::vector<RGBQUAD> ReferenceQuantize(const CDibImage& image, uint32_t colours, uint32_t depth, RGBQUAD untouched,
                                       uint32_t& leaves);

}  // namespace tallowin::test
