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

// Adds a share of the error to one blue, green, red pixel in place.
void Diffuse(uint8_t* pixel, const ErrorShare& share)
{
    pixel[0] = ClampToByte(pixel[0] + share.blue);
    pixel[1] = ClampToByte(pixel[1] + share.green);
    pixel[2] = ClampToByte(pixel[2] + share.red);
}

template <int Bits>
void StoreIndex(uint8_t* row, uint32_t x, uint8_t index)
{
    if constexpr (Bits == 8) {
        row[x] = index;
    } else if constexpr (Bits == 4) {
        const int shift = (x % 2 == 0) ? 4 : 0;
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
    } else {
        const int shift = 7 - static_cast<int>(x % 8);
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(1 << shift)) | ((index & 1) << shift));
    }
}

// Maps one stored row of a 24-bit source to palette indices.
template <int Bits>
void MapRow(const uint8_t* source, uint8_t* out, int32_t width, tallowin::imaging::PaletteMatcher& matcher)
{
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = source + 3 * static_cast<size_t>(x);
        StoreIndex<Bits>(out, static_cast<uint32_t>(x), matcher.Nearest(pixel[2], pixel[1], pixel[0]));
    }
}

// The same with error diffusion: 7/16 of each pixel's error into the source pixel
// to its right and 2/16, 4/16, 1/16 into the three pixels of the next stored row
// (`below`, nullptr for the last row), clamping after every share.
template <int Bits>
void DiffuseRow(uint8_t* source, uint8_t* below, uint8_t* out, int32_t width, const RGBQUAD* entries,
                tallowin::imaging::PaletteMatcher& matcher)
{
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* pixel = source + 3 * static_cast<size_t>(x);
        const uint8_t index = matcher.Nearest(pixel[2], pixel[1], pixel[0]);
        StoreIndex<Bits>(out, static_cast<uint32_t>(x), index);
        const RGBQUAD& q = entries[index];
        const int red = pixel[2] - q.rgbRed;
        const int green = pixel[1] - q.rgbGreen;
        const int blue = pixel[0] - q.rgbBlue;
        const bool hasRight = x + 1 < width;
        if (hasRight) Diffuse(pixel + 3, ErrorShare(blue, green, red, 7));
        if (below == nullptr) continue;
        uint8_t* under = below + 3 * static_cast<size_t>(x);
        if (x > 0) Diffuse(under - 3, ErrorShare(blue, green, red, 2));
        Diffuse(under, ErrorShare(blue, green, red, 4));
        if (hasRight) Diffuse(under + 3, ErrorShare(blue, green, red, 1));
    }
}

template <int Bits>
void ReduceRow(bool diffusion, uint8_t* source, uint8_t* below, uint8_t* out, int32_t width, const RGBQUAD* entries,
               tallowin::imaging::PaletteMatcher& matcher)
{
    if (diffusion) {
        DiffuseRow<Bits>(source, below, out, width, entries, matcher);
    } else {
        MapRow<Bits>(source, out, width, matcher);
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
            uint8_t* below = y + 1 < height ? Row(y + 1) : nullptr;
            if (bits == 8) {
                ReduceRow<8>(diffusion, Row(y), below, target.Row(y), width, entries, matcher);
            } else if (bits == 4) {
                ReduceRow<4>(diffusion, Row(y), below, target.Row(y), width, entries, matcher);
            } else {
                ReduceRow<1>(diffusion, Row(y), below, target.Row(y), width, entries, matcher);
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
