// Colour reduction of a CDibImage to 1, 4 or 8 bits per pixel, with optional error
// diffusion: 7/16 of each pixel's error to the right neighbour and 2/16, 4/16, 1/16
// to the three neighbours in the next stored row, divisions truncating toward zero.
//
// A 24-bit source is processed on its rows directly (row_reduction.h) with a
// palette answer table; any other source goes through the bounds-checked pixel
// accessors, which define the result. Both give identical pixels.

#include "dib_image.h"

#include "dib_layout.h"
#include "palette_search.h"
#include "row_reduction.h"
#include "standard_palettes.h"

#include <algorithm>
#include <new>
#include <optional>

namespace {

// One share of a pixel's error, per channel; the division truncates toward zero.
struct ErrorShare {
    int blue, green, red;

    ErrorShare(int blueError, int greenError, int redError, int weight)
        : blue(blueError * weight / 16), green(greenError * weight / 16), red(redError * weight / 16)
    {
    }
};

uint8_t ClampToByte(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

RGBQUAD AddError(RGBQUAD colour, const ErrorShare& share)
{
    return RGBQUAD{ClampToByte(colour.rgbBlue + share.blue), ClampToByte(colour.rgbGreen + share.green),
                   ClampToByte(colour.rgbRed + share.red), colour.rgbReserved};
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
        std::optional<tallowin::imaging::PaletteMatcher> matcher;
        try {
            matcher.emplace(target.PaletteBlock(), target.SearchedColourCount());
        } catch (const std::bad_alloc&) {
            return false;  // no memory for the answer tables: the image is still unchanged
        }
        const tallowin::imaging::ReductionRows rows{Pixels(), RowStride(), target.Pixels(), target.RowStride(),
                                                    width, height, bits};
        // Rows go in bands; the cancel request is checked before each band.
        for (int32_t y = 0; y < height && settings.cancelRequested == 0; y += tallowin::imaging::kRowBand) {
            settings.progress = static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height);
            const int32_t count = std::min(tallowin::imaging::kRowBand, height - y);
            tallowin::imaging::ReduceRowBand(rows, y, count, diffusion, *matcher);
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
                SetPixelColour(x + 1, y, AddError(PixelColour(x + 1, y), ErrorShare(blue, green, red, 7)));
                SetPixelColour(x - 1, y + 1, AddError(PixelColour(x - 1, y + 1), ErrorShare(blue, green, red, 2)));
                SetPixelColour(x, y + 1, AddError(PixelColour(x, y + 1), ErrorShare(blue, green, red, 4)));
                SetPixelColour(x + 1, y + 1, AddError(PixelColour(x + 1, y + 1), ErrorShare(blue, green, red, 1)));
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
