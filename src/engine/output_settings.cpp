#include "output_settings.h"

#include "gdiplus.h"
#include "language.h"

namespace tallowin {

namespace {

struct FormatEntry {
    const char* label;
    const char* extension;
};
constexpr FormatEntry kFormats[kOutputFormatCount] = {
    {"BMP", "bmp"}, {"JPG", "jpg"}, {"PNG", "png"}, {"TIF", "tif"}, {"GIF", "gif"}, {"WDP", "wdp"},
};

struct PixelFormatEntry {
    const char* label;
    PixelFormat code;
};
constexpr PixelFormatEntry kPixelFormats[kPixelFormatCount] = {
    {"1 bit Indexed", PixelFormat1bppIndexed},   {"4 bits Indexed", PixelFormat4bppIndexed},
    {"8 bits Indexed", PixelFormat8bppIndexed},  {"16 bits RGB565", PixelFormat16bppRGB565},
    {"24 bits RGB", PixelFormat24bppRGB},        {"32 bits ARGB", PixelFormat32bppARGB},
    {"32 bits PARGB", PixelFormat32bppPARGB},    {"32 bits RGB", PixelFormat32bppRGB},
    {"64 bits ARGB", PixelFormat64bppARGB},      {"64 bits PARGB", PixelFormat64bppPARGB},
};

bool KnownFormat(int32_t format) { return format >= 0 && format < kOutputFormatCount; }
bool KnownPixelFormat(int32_t index) { return index >= 0 && index < kPixelFormatCount; }

}  // namespace

const char* FormatExtension(int32_t format) { return KnownFormat(format) ? kFormats[format].extension : ""; }

const char* FormatLabel(int32_t format) { return KnownFormat(format) ? kFormats[format].label : ""; }

int32_t PixelFormatCode(int32_t pixelFormatIndex)
{
    return kPixelFormats[KnownPixelFormat(pixelFormatIndex) ? pixelFormatIndex : kDefaultPixelFormatIndex].code;
}

int PixelFormatDescriptionId(int32_t pixelFormatIndex)
{
    return IDS_PIXEL_FORMAT_FIRST + (KnownPixelFormat(pixelFormatIndex) ? pixelFormatIndex : kDefaultPixelFormatIndex);
}

bool IsIndexedPixelFormat(int32_t pixelFormatIndex) { return pixelFormatIndex >= 0 && pixelFormatIndex <= 2; }

const char* PixelFormatLabel(int32_t pixelFormatIndex)
{
    return KnownPixelFormat(pixelFormatIndex) ? kPixelFormats[pixelFormatIndex].label : "";
}

}  // namespace tallowin
