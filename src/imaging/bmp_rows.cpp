#include "bmp_rows.h"

#include "le_bytes.h"

#include <bit>

namespace tallowin::imaging {

namespace {

// How one channel is cut out of a pixel and stretched to 8 bits.
struct ChannelScale {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t maximum = 0;  // largest value of the channel after the shift

    explicit ChannelScale(uint32_t channelMask) : mask(channelMask)
    {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        maximum = mask >> shift;
    }

    uint8_t Apply(uint32_t pixel) const
    {
        if (maximum == 0) return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint8_t>((value * 255 + maximum / 2) / maximum);
    }
};

}  // namespace

BitFieldMasks DefaultBitFieldMasks(uint32_t bitsPerPixel)
{
    if (bitsPerPixel == 16) return {0x7C00, 0x03E0, 0x001F};
    return {0x00FF0000, 0x0000FF00, 0x000000FF};
}

void ConvertBitFieldRow(const uint8_t* source, uint32_t bitsPerPixel, uint32_t width,
                        const BitFieldMasks& masks, uint8_t* target)
{
    const ChannelScale red(masks.red), green(masks.green), blue(masks.blue);
    const uint32_t bytesPerPixel = bitsPerPixel / 8;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = source + static_cast<size_t>(x) * bytesPerPixel;
        const uint32_t pixel = bytesPerPixel == 4 ? tallowin::plumbing::Le32(p) : tallowin::plumbing::Le16(p);
        uint8_t* out = target + 3 * static_cast<size_t>(x);
        out[0] = blue.Apply(pixel);
        out[1] = green.Apply(pixel);
        out[2] = red.Apply(pixel);
    }
}

}  // namespace tallowin::imaging
