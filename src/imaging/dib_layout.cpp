#include "dib_layout.h"

namespace tallowin::imaging {

uint16_t RoundBitCount(uint32_t bits)
{
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

uint64_t RowStrideOf(int64_t width, uint32_t bits)
{
    if (width <= 0) return 0;
    // width ≤ 2^31 and bits ≤ 2^32 keep the product below 2^63.
    return (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
}

LayoutStatus ComputeDibLayout(int32_t width, int32_t height, uint32_t bits, uint32_t headerSize,
                              DibLayout& layout)
{
    if (width <= 0 || height <= 0) return LayoutStatus::InvalidDimensions;
    if (width > kMaxImageSide || height > kMaxImageSide) return LayoutStatus::OverLimit;
    if (static_cast<int64_t>(width) * height > kMaxImagePixels) return LayoutStatus::OverLimit;

    DibLayout result;
    result.bitCount = RoundBitCount(bits);
    result.colourCount = result.bitCount <= 8 ? (1u << result.bitCount) : 0;
    result.paletteSize = 4 * result.colourCount;
    const uint64_t stride = RowStrideOf(width, result.bitCount);
    const uint64_t imageSize = stride * static_cast<uint64_t>(height);  // < 2^33 by the caps above
    const uint64_t total = static_cast<uint64_t>(headerSize) + result.paletteSize + imageSize;
    if (imageSize > UINT32_MAX || total > UINT32_MAX || total > SIZE_MAX) return LayoutStatus::OverLimit;
    result.rowStride = static_cast<uint32_t>(stride);
    result.imageSize = static_cast<uint32_t>(imageSize);
    result.totalSize = static_cast<size_t>(total);
    layout = result;
    return LayoutStatus::Ok;
}

}  // namespace tallowin::imaging
