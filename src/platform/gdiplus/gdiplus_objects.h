#pragma once
// What the service's opaque objects hold. Private to the platform layer.

#include "gdiplus.h"
#include "decoder.h"
#include "isolated_decode.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace tallowin::gdiplus {

// Pixels in memory, rows top-down: 3 bytes (B, G, R) or 4 bytes (B, G, R, A with
// straight alpha) per pixel. Rows of 3-byte buffers are padded to 4 bytes, as in a
// DIB, so the BMP writer, bitmap handles and QImage can take them as they are.
struct PixelBuffer {
    int32_t width = 0;
    int32_t height = 0;
    int bytesPerPixel = 3;
    int64_t stride = 0;
    uint8_t* data = nullptr;     // owned.data(), mapped.get(), or a buffer the caller lent us
    codec::PixelBytes owned;
    std::shared_ptr<uint8_t> mapped;  // a decoder helper's pixels, mapped copy-on-write
    bool lent = false;                // `mapped` is lent (codec::DecodedPixels::lent)

    PixelBuffer() = default;
    PixelBuffer(PixelBuffer&&) = default;
    PixelBuffer& operator=(PixelBuffer&&) = default;
    // A copy would point into the other buffer's memory.
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    bool Empty() const { return data == nullptr; }
    uint8_t* Row(int32_t y) const { return data + y * stride; }
};

// Bytes per row of a buffer of that size and depth, or -1 when the size is not allowed.
int64_t StrideFor(int32_t width, int bytesPerPixel);
// A zeroed buffer within the size limits; ValueOverflow over the limits, OutOfMemory
// when the memory is not there.
GpStatus AllocatePixels(int32_t width, int32_t height, int bytesPerPixel, PixelBuffer& out);
// Takes over a decoder's raster without copying.
void AdoptRaster(codec::Raster&& raster, PixelBuffer& out);
// Takes over decoded pixels, in this process's memory or mapped from a helper, without copying.
void AdoptPixels(codec::DecodedPixels&& decoded, PixelBuffer& out);

// The status for a decoder outcome.
GpStatus StatusFromDecode(codec::DecodeStatus status);

// The limits every decode and every pixel buffer of the service runs under.
const codec::DecodeLimits& ServiceLimits();

struct ImageObject;

// UTF-16 (zero-terminated) to the UTF-8 path the file system takes.
std::string PathFromWide(const WCHAR* path);

}  // namespace tallowin::gdiplus

struct GpGraphics {
    tallowin::gdiplus::ImageObject* target = nullptr;  // drawing into an image, or
    QPainter* painter = nullptr;   // drawing through the window layer's painter
    InterpolationMode mode = InterpolationModeDefault;
};

struct GpFont {
    LOGFONTA logfont{};
};

struct GpStringFormat {};

namespace tallowin::gdiplus {

// An image. Opened from a file it holds the header's facts and decodes its pixels on
// first use, at the smallest size that still serves the draw; once edited (drawn on,
// rotated) or created in memory, its pixels are the only truth.
struct ImageObject final : GpBitmap {
    int32_t width = 0;           // the picture's full, upright size
    int32_t height = 0;
    float dpiX = 96.0f;
    float dpiY = 96.0f;
    PixelFormat format = PixelFormat24bppRGB;
    bool hasAlpha = false;

    std::string path;            // empty for images made in memory
    const codec::Decoder* decoder = nullptr;  // the file's format adapter
    bool edited = false;         // the pixels no longer come from the file
    std::string decodeWarning;
    bool toSrgb = false;         // opened with colour management and the file has a profile: decodes are sRGB
    std::string colourWarning;   // why that profile could not be applied

    // May be smaller than width x height while it comes from a reduced decode.
    PixelBuffer pixels;
};

// Every image the service hands out is an ImageObject.
inline ImageObject* Internal(GpImage* image) { return static_cast<ImageObject*>(image); }

struct BrushObject final : GpSolidFill {
    ARGB color = 0xFF000000u;
};

inline const BrushObject* Internal(const GpBrush* brush) { return static_cast<const BrushObject*>(brush); }

// What the caller of EnsurePixels does with the pixels.
enum class PixelUse {
    Any,
    Resampling,  // only resamples them into other memory (they may be lent)
};

// Makes sure the image has pixels that cover at least minWidth x minHeight of its full
// size (0: full size), decoding the file again when the pixels held are too small.
// Pixels lent by a decoder helper are copied into this process first, unless for `Resampling`.
GpStatus EnsurePixels(ImageObject& image, int32_t minWidth, int32_t minHeight, PixelUse use = PixelUse::Any);
// Decodes at full size and cuts the image loose from its file, before an edit.
GpStatus PrepareForEdit(ImageObject& image);

}  // namespace tallowin::gdiplus
