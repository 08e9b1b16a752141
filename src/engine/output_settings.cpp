#include "output_settings.h"

#include "gdiplus.h"
#include "language.h"

namespace tallowin {

namespace {

constexpr const char* kExtensions[kOutputFormatCount] = {"bmp", "jpg", "png", "tif",  "gif",
                                                         "wdp", "webp", "avif", "jxl"};

constexpr PixelFormat kPixelFormatCodes[kPixelFormatCount] = {
    PixelFormat1bppIndexed, PixelFormat4bppIndexed, PixelFormat8bppIndexed, PixelFormat16bppRGB565,
    PixelFormat24bppRGB,    PixelFormat32bppARGB,   PixelFormat32bppPARGB,  PixelFormat32bppRGB,
    PixelFormat64bppARGB,   PixelFormat64bppPARGB,
};

bool KnownPixelFormat(int32_t index) { return index >= 0 && index < kPixelFormatCount; }

}  // namespace

const char* FormatExtension(int32_t format) { return IsKnownOutputFormat(format) ? kExtensions[format] : ""; }

int32_t PixelFormatCode(int32_t pixelFormatIndex)
{
    return kPixelFormatCodes[KnownPixelFormat(pixelFormatIndex) ? pixelFormatIndex : kDefaultPixelFormatIndex];
}

int PixelFormatDescriptionId(int32_t pixelFormatIndex)
{
    return IDS_PIXEL_FORMAT_FIRST + (KnownPixelFormat(pixelFormatIndex) ? pixelFormatIndex : kDefaultPixelFormatIndex);
}

int32_t EncoderQualityOf(const OutputSettings& settings)
{
    switch (settings.nOuptputFormat) {
        case FormatJpg: return settings.nCurrentJpegQuality;
        case FormatWebp: return settings.nWebpQuality;
        case FormatAvif: return settings.nAvifQuality;
        case FormatJxl: return settings.nJxlQuality;
        default: return -1;
    }
}

bool IsIndexedPixelFormat(int32_t pixelFormatIndex) { return pixelFormatIndex >= 0 && pixelFormatIndex <= 2; }

}  // namespace tallowin
