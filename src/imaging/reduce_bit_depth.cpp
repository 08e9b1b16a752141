// Colour reduction of a CDibImage to 1, 4 or 8 bits per pixel, with optional error
// diffusion: 7/16 of each pixel's error to the right neighbour and 2/16, 4/16, 1/16
// to the three neighbours in the next stored row, divisions truncating toward zero.
//
// A 24-bit source is processed on its rows directly with a pruned palette search;
// any other source goes through the bounds-checked pixel accessors, which define
// the result. Both give identical pixels.

#include "dib_image.h"

#include "dib_layout.h"
#include "palette_search.h"
#include "standard_palettes.h"

#include <algorithm>

namespace {

uint8_t AddClamped(uint8_t value, int error, int weight)
{
    return static_cast<uint8_t>(std::clamp(value + error * weight / 16, 0, 255));
}

RGBQUAD AddError(RGBQUAD colour, int red, int green, int blue, int weight)
{
    return RGBQUAD{AddClamped(colour.rgbBlue, blue, weight), AddClamped(colour.rgbGreen, green, weight),
                   AddClamped(colour.rgbRed, red, weight), colour.rgbReserved};
}

// Adds a weighted error to one blue, green, red pixel in place.
void DiffuseInto(uint8_t* pixel, int red, int green, int blue, int weight)
{
    pixel[0] = AddClamped(pixel[0], blue, weight);
    pixel[1] = AddClamped(pixel[1], green, weight);
    pixel[2] = AddClamped(pixel[2], red, weight);
}

void StoreIndex(uint8_t* row, uint32_t x, uint8_t index, uint16_t bits)
{
    switch (bits) {
    case 8:
        row[x] = index;
        break;
    case 4: {
        const int shift = (x % 2 == 0) ? 4 : 0;
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    default: {
        const int shift = 7 - static_cast<int>(x % 8);
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    }
}

}  // namespace

void CDibImage::FillStandardPalette()
{
    if (pixelBlock == nullptr) return;
    if (header.biBitCount == 4) {
        SetPaletteColours(tallowin::imaging::kStandardPalette16.data(), 16);
    } else if (header.biBitCount == 8) {
        SetPaletteColours(tallowin::imaging::kStandardPalette256.data(), 256);
    }
}

bool CDibImage::ReduceBitDepth(uint32_t targetBits, bool diffusion, const RGBQUAD* palette, uint32_t important)
{
    if (pixelBlock == nullptr) return false;
    if (header.biBitCount < targetBits) return false;
    if (header.biBitCount == targetBits) {
        if (important == 0) return true;
        if (header.biClrImportant != 0 && header.biClrImportant < important) return true;
    }
    const uint16_t bits = tallowin::imaging::RoundBitCount(targetBits);
    if (bits > 8) return false;

    CDibImage target(settings.formatCode);
    target.InheritSettings(this);
    if (target.Allocate(header.biWidth, header.biHeight, bits, settings.formatCode) == nullptr) return false;
    if (important != 0) target.SetImportantColours(important);

    if (bits == 1) {
        if (palette != nullptr) {
            target.SetPaletteColours(palette, 16);
        } else {
            target.SetPaletteEntry(0, 0, 0, 0);
            target.SetPaletteEntry(1, 255, 255, 255);
        }
    } else if (palette != nullptr) {
        target.SetPaletteColours(palette, bits == 4 ? 16 : 256);
    } else {
        target.FillStandardPalette();
    }

    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;
    if (header.biBitCount == 24) {
        tallowin::imaging::PaletteMatcher matcher(target.PaletteBlock(), target.SearchedColourCount());
        const RGBQUAD* entries = target.PaletteBlock();
        for (int32_t y = 0; y < height && settings.cancelRequested == 0; ++y) {
            settings.progress = static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height);
            uint8_t* source = Row(y);
            uint8_t* below = y + 1 < height ? Row(y + 1) : nullptr;
            uint8_t* out = target.Row(y);
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* pixel = source + 3 * static_cast<size_t>(x);
                const uint8_t index = matcher.Nearest(pixel[2], pixel[1], pixel[0]);
                StoreIndex(out, static_cast<uint32_t>(x), index, bits);
                if (!diffusion) continue;
                const RGBQUAD& q = entries[index];
                const int red = pixel[2] - q.rgbRed;
                const int green = pixel[1] - q.rgbGreen;
                const int blue = pixel[0] - q.rgbBlue;
                if (x + 1 < width) DiffuseInto(pixel + 3, red, green, blue, 7);
                if (below == nullptr) continue;
                uint8_t* under = below + 3 * static_cast<size_t>(x);
                if (x > 0) DiffuseInto(under - 3, red, green, blue, 2);
                DiffuseInto(under, red, green, blue, 4);
                if (x + 1 < width) DiffuseInto(under + 3, red, green, blue, 1);
            }
        }
    } else {
        for (int32_t y = 0; y < height && settings.cancelRequested == 0; ++y) {
            settings.progress = static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height);
            for (int32_t x = 0; x < width; ++x) {
                const RGBQUAD c = PixelColour(x, y);
                target.SetPixelColour(x, y, c);
                if (!diffusion) continue;
                const RGBQUAD q = target.PixelColour(x, y);
                const int red = c.rgbRed - q.rgbRed;
                const int green = c.rgbGreen - q.rgbGreen;
                const int blue = c.rgbBlue - q.rgbBlue;
                SetPixelColour(x + 1, y, AddError(PixelColour(x + 1, y), red, green, blue, 7));
                SetPixelColour(x - 1, y + 1, AddError(PixelColour(x - 1, y + 1), red, green, blue, 2));
                SetPixelColour(x, y + 1, AddError(PixelColour(x, y + 1), red, green, blue, 4));
                SetPixelColour(x + 1, y + 1, AddError(PixelColour(x + 1, y + 1), red, green, blue, 1));
            }
        }
    }

    if (header.biBitCount == 1) {
        target.SetPaletteEntry(0, 0, 0, 0);
        target.SetPaletteEntry(1, 255, 255, 255);
    }
    MoveFrom(&target);
    return true;
}
