// Images: opening a file (header only), lazy pixel decoding, bitmaps made in memory,
// the size and resolution queries, and rotation/flip.
#include "gdiplus_objects.h"
#include "isolated_decode.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

namespace tallowin::gdiplus {
namespace {

GpStatus OpenFile(const WCHAR* filename, std::unique_ptr<ImageObject>& result)
{
    if (filename == nullptr) {
        return InvalidParameter;
    }
    const std::string path = PathFromWide(filename);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return errno == ENOENT ? FileNotFound : Win32Error;
    }
    uint8_t head[codec::kSniffBytes] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) {
        return Win32Error;
    }
    const codec::Decoder* format = codec::SniffFormat(head, got);
    if (format == nullptr) {
        return UnknownImageFormat;
    }
    codec::ImageInfo info;
    const codec::DecodeStatus status = codec::IsolatedReadHeader(*format, path, ServiceLimits(), info);
    if (status != codec::DecodeStatus::Ok && status != codec::DecodeStatus::Partial) {
        return StatusFromDecode(status);
    }
    if (info.width <= 0 || info.height <= 0) {
        return UnknownImageFormat;
    }
    if (!ServiceLimits().Admits(info.width, info.height)) {
        return ValueOverflow;
    }
    auto image = std::unique_ptr<ImageObject>(new (std::nothrow) ImageObject);
    if (!image) {
        return OutOfMemory;
    }
    image->width = info.width;
    image->height = info.height;
    image->dpiX = info.dpiX > 0 ? info.dpiX : 96.0f;
    image->dpiY = info.dpiY > 0 ? info.dpiY : 96.0f;
    image->hasAlpha = info.hasAlpha;
    image->format = info.hasAlpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    image->path = path;
    image->decoder = format;
    result = std::move(image);
    return Ok;
}

bool Covers(const PixelBuffer& pixels, int32_t fullWidth, int32_t fullHeight, int32_t minWidth, int32_t minHeight)
{
    if (pixels.Empty()) {
        return false;
    }
    const int32_t needWidth = (minWidth <= 0 || minWidth > fullWidth) ? fullWidth : minWidth;
    const int32_t needHeight = (minHeight <= 0 || minHeight > fullHeight) ? fullHeight : minHeight;
    return pixels.width >= needWidth && pixels.height >= needHeight;
}

// Copies pixels lent by a decoder helper into this process, where nothing else can change them.
GpStatus OwnPixels(PixelBuffer& pixels)
{
    if (!pixels.lent) {
        return Ok;
    }
    try {
        pixels.owned.assign(pixels.data, pixels.data + pixels.stride * pixels.height);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    pixels.mapped.reset();
    pixels.lent = false;
    pixels.data = pixels.owned.data();
    return Ok;
}

// Turns and mirrors a buffer into a new one. `type` as in RotateFlipType: the low two
// bits are quarter turns clockwise, bit 2 a mirror left-right applied after the turn.
GpStatus RotateFlipPixels(const PixelBuffer& from, RotateFlipType type, PixelBuffer& to)
{
    const int turns = static_cast<int>(type) & 3;
    const bool mirror = (static_cast<int>(type) & 4) != 0;
    const bool swap = (turns & 1) != 0;
    const int32_t outWidth = swap ? from.height : from.width;
    const int32_t outHeight = swap ? from.width : from.height;
    const GpStatus status = AllocatePixels(outWidth, outHeight, from.bytesPerPixel, to);
    if (status != Ok) {
        return status;
    }
    const int bpp = from.bytesPerPixel;
    // For every output pixel (x, y): the source pixel is origin + x * stepX + y * stepY
    // (in source pixels, as signed offsets of column and row).
    for (int32_t y = 0; y < outHeight; ++y) {
        uint8_t* out = to.Row(y);
        for (int32_t x = 0; x < outWidth; ++x) {
            const int32_t mx = mirror ? outWidth - 1 - x : x;
            int32_t sx = 0;
            int32_t sy = 0;
            switch (turns) {
            case 0: sx = mx; sy = y; break;
            case 1: sx = y; sy = from.height - 1 - mx; break;
            case 2: sx = from.width - 1 - mx; sy = from.height - 1 - y; break;
            default: sx = from.width - 1 - y; sy = mx; break;
            }
            const uint8_t* in = from.Row(sy) + static_cast<int64_t>(sx) * bpp;
            for (int c = 0; c < bpp; ++c) {
                out[c] = in[c];
            }
            out += bpp;
        }
    }
    return Ok;
}

}  // namespace

GpStatus EnsurePixels(ImageObject& image, int32_t minWidth, int32_t minHeight, PixelUse use)
{
    if (image.edited || image.path.empty() || image.decoder == nullptr) {
        return image.pixels.Empty() ? WrongState : Ok;
    }
    if (Covers(image.pixels, image.width, image.height, minWidth, minHeight)) {
        return use == PixelUse::Resampling ? Ok : OwnPixels(image.pixels);
    }
    codec::DecodedPixels decoded;
    std::string warning;
    codec::DecodeRequest request;
    request.minWidth = (minWidth <= 0 || minWidth >= image.width) ? 0 : minWidth;
    request.minHeight = (minHeight <= 0 || minHeight >= image.height) ? 0 : minHeight;
    if (request.minWidth != 0 && request.minHeight == 0) {
        request.minHeight = image.height;
    }
    if (request.minHeight != 0 && request.minWidth == 0) {
        request.minWidth = image.width;
    }
    request.toSrgb = image.toSrgb;
    request.forResamplingOnly = use == PixelUse::Resampling;
    const codec::DecodeStatus status = codec::IsolatedDecodePixels(
        *image.decoder, image.path, request, ServiceLimits(), decoded, warning);
    if (status != codec::DecodeStatus::Ok && status != codec::DecodeStatus::Partial) {
        return StatusFromDecode(status);
    }
    const codec::Raster& raster = decoded.raster;
    if (raster.width <= 0 || raster.height <= 0
        || decoded.Size() != static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height) * 4) {
        return UnknownImageFormat;
    }
    image.decodeWarning = status == codec::DecodeStatus::Partial ? warning : std::string();
    if (!decoded.colourWarning.empty()) {
        image.colourWarning = decoded.colourWarning;
        image.toSrgb = false;  // the pixels stay as decoded, now and on any later decode
    }
    AdoptPixels(std::move(decoded), image.pixels);
    return Ok;
}

GpStatus PrepareForEdit(ImageObject& image)
{
    const GpStatus status = EnsurePixels(image, 0, 0);
    if (status != Ok) {
        return status;
    }
    // A reduced decode is upgraded above; from here on the pixels are the picture.
    image.edited = true;
    image.width = image.pixels.width;
    image.height = image.pixels.height;
    return Ok;
}

}  // namespace tallowin::gdiplus

using namespace tallowin::gdiplus;

GpStatus GdipLoadImageFromFile(const WCHAR* filename, GpImage** image)
{
    if (image == nullptr) {
        return InvalidParameter;
    }
    *image = nullptr;
    std::unique_ptr<ImageObject> result;
    const GpStatus status = OpenFile(filename, result);
    if (status == Ok) {
        *image = result.release();
    }
    return status;
}

GpStatus GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap)
{
    if (bitmap == nullptr) {
        return InvalidParameter;
    }
    *bitmap = nullptr;
    std::unique_ptr<ImageObject> result;
    const GpStatus status = OpenFile(filename, result);
    if (status == Ok) {
        *bitmap = result.release();
    }
    return status;
}

GpStatus GdipDisposeImage(GpImage* image)
{
    if (image == nullptr) {
        return InvalidParameter;
    }
    delete Internal(image);
    return Ok;
}

GpStatus GdipGetImageWidth(GpImage* image, UINT* width)
{
    if (width == nullptr) {
        return InvalidParameter;
    }
    *width = 0;
    if (image == nullptr) {
        return InvalidParameter;
    }
    *width = static_cast<UINT>(Internal(image)->width);
    return Ok;
}

GpStatus GdipGetImageHeight(GpImage* image, UINT* height)
{
    if (height == nullptr) {
        return InvalidParameter;
    }
    *height = 0;
    if (image == nullptr) {
        return InvalidParameter;
    }
    *height = static_cast<UINT>(Internal(image)->height);
    return Ok;
}

GpStatus GdipGetImageHorizontalResolution(GpImage* image, REAL* dpi)
{
    if (image == nullptr || dpi == nullptr) {
        return InvalidParameter;
    }
    *dpi = Internal(image)->dpiX;
    return Ok;
}

GpStatus GdipGetImageVerticalResolution(GpImage* image, REAL* dpi)
{
    if (image == nullptr || dpi == nullptr) {
        return InvalidParameter;
    }
    *dpi = Internal(image)->dpiY;
    return Ok;
}

GpStatus GdipGetImagePixelFormat(GpImage* image, PixelFormat* format)
{
    if (image == nullptr || format == nullptr) {
        return InvalidParameter;
    }
    *format = Internal(image)->format;
    return Ok;
}

GpStatus GdipCreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride, PixelFormat format, BYTE* scan0,
                                   GpBitmap** bitmap)
{
    if (bitmap == nullptr) {
        return InvalidParameter;
    }
    *bitmap = nullptr;
    int bytesPerPixel = 0;
    bool alpha = false;
    switch (format) {
    case PixelFormat24bppRGB: bytesPerPixel = 3; break;
    case PixelFormat32bppRGB: bytesPerPixel = 4; break;
    case PixelFormat32bppARGB: bytesPerPixel = 4; alpha = true; break;
    default: return InvalidParameter;
    }
    if (width <= 0 || height <= 0) {
        return InvalidParameter;
    }
    if (!ServiceLimits().Admits(width, height)) {
        return ValueOverflow;
    }
    auto result = std::unique_ptr<ImageObject>(new (std::nothrow) ImageObject);
    if (!result) {
        return OutOfMemory;
    }
    if (scan0 != nullptr) {
        // The caller's buffer is used in place, as the desktop API does.
        if (stride < static_cast<int64_t>(width) * bytesPerPixel) {
            return InvalidParameter;
        }
        result->pixels.width = width;
        result->pixels.height = height;
        result->pixels.bytesPerPixel = bytesPerPixel;
        result->pixels.stride = stride;
        result->pixels.data = scan0;
    } else {
        if (stride != 0) {
            return InvalidParameter;
        }
        const GpStatus status = AllocatePixels(width, height, bytesPerPixel, result->pixels);
        if (status != Ok) {
            return status;
        }
        if (bytesPerPixel == 4 && !alpha) {
            // Opaque black, like the zeroed colour bytes.
            for (int32_t y = 0; y < height; ++y) {
                uint8_t* row = result->pixels.Row(y);
                for (int32_t x = 0; x < width; ++x) {
                    row[x * 4 + 3] = 0xFF;
                }
            }
        }
    }
    result->width = width;
    result->height = height;
    result->format = format;
    result->hasAlpha = alpha;
    result->edited = true;
    *bitmap = result.release();
    return Ok;
}

GpStatus GdipBitmapSetResolution(GpBitmap* bitmap, REAL xdpi, REAL ydpi)
{
    if (bitmap == nullptr || !(xdpi > 0.0f) || !(ydpi > 0.0f)) {
        return InvalidParameter;
    }
    Internal(bitmap)->dpiX = xdpi;
    Internal(bitmap)->dpiY = ydpi;
    return Ok;
}

GpStatus GdipImageRotateFlip(GpImage* image, RotateFlipType type)
{
    if (image == nullptr || type < RotateNoneFlipNone || type > Rotate270FlipX) {
        return InvalidParameter;
    }
    ImageObject& self = *Internal(image);
    GpStatus status = PrepareForEdit(self);
    if (status != Ok) {
        return status;
    }
    if (type == RotateNoneFlipNone) {
        return Ok;
    }
    PixelBuffer turned;
    status = RotateFlipPixels(self.pixels, type, turned);
    if (status != Ok) {
        return status;
    }
    self.pixels = std::move(turned);
    self.width = self.pixels.width;
    self.height = self.pixels.height;
    if ((static_cast<int>(type) & 1) != 0) {
        std::swap(self.dpiX, self.dpiY);
    }
    return Ok;
}
