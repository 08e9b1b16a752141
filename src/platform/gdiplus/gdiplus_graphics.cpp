// Drawing contexts: on an image (the conversion's working bitmap) or on a painter the
// window layer lends through a device context (the preview).
#include "gdiplus_objects.h"
#include "gdiplus_painting.h"
#include "resampler.h"

#include "dib_objects.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace tallowin::gdiplus {
namespace {

ResampleFilter FilterFor(InterpolationMode mode)
{
    return mode == InterpolationModeNearestNeighbor ? ResampleFilter::Nearest : ResampleFilter::Bicubic;
}

// The smallest pixel size of `image` that still gives `dst` target pixels for `src`
// full-size pixels, so a reduced decode is never scaled up.
int32_t NeededSide(int32_t full, int32_t src, int32_t dst)
{
    const double needed = std::ceil(static_cast<double>(dst) * full / src);
    return needed >= full ? full : static_cast<int32_t>(needed);
}

GpStatus DrawOnImage(ImageObject& target, ImageObject& image, const TargetRect& to, const SourceRect& from,
                     InterpolationMode mode)
{
    GpStatus status = PrepareForEdit(target);
    if (status != Ok) {
        return status;
    }
    status = EnsurePixels(image, NeededSide(image.width, static_cast<int32_t>(from.width), to.width),
                          NeededSide(image.height, static_cast<int32_t>(from.height), to.height), PixelUse::Resampling);
    if (status != Ok) {
        return status;
    }
    // The caller speaks in full-size pixels; a reduced decode holds fewer.
    const double fx = static_cast<double>(image.pixels.width) / image.width;
    const double fy = static_cast<double>(image.pixels.height) / image.height;
    const SourceRect scaled{from.x * fx, from.y * fy, from.width * fx, from.height * fy};
    const bool alpha = image.hasAlpha && image.pixels.bytesPerPixel == 4;
    return DrawResampled(image.pixels, alpha, scaled, target.pixels, to, FilterFor(mode));
}

GpStatus DrawOnPainter(QPainter& painter, ImageObject& image, const TargetRect& to, const SourceRect& from,
                       InterpolationMode mode)
{
    QImage picture(to.width, to.height, QImage::Format_BGR888);
    if (picture.isNull()) {
        return OutOfMemory;
    }
    // Transparent parts show the white canvas, as in a converted photo.
    picture.fill(Qt::white);
    PixelBuffer view;
    view.width = to.width;
    view.height = to.height;
    view.bytesPerPixel = 3;
    view.stride = picture.bytesPerLine();
    view.data = picture.bits();
    ImageObject canvas;
    canvas.width = to.width;
    canvas.height = to.height;
    canvas.edited = true;
    canvas.pixels = std::move(view);
    const GpStatus status = DrawOnImage(canvas, image, TargetRect{0, 0, to.width, to.height}, from, mode);
    if (status != Ok) {
        return status;
    }
    painter.drawImage(QPoint(to.x, to.y), picture);
    return Ok;
}

}  // namespace
}  // namespace tallowin::gdiplus

using namespace tallowin::gdiplus;

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics)
{
    if (image == nullptr || graphics == nullptr) {
        return InvalidParameter;
    }
    *graphics = nullptr;
    const GpStatus status = PrepareForEdit(*Internal(image));
    if (status != Ok) {
        return status;
    }
    auto* result = new (std::nothrow) GpGraphics;
    if (result == nullptr) {
        return OutOfMemory;
    }
    result->target = Internal(image);
    *graphics = result;
    return Ok;
}

GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics)
{
    if (hdc == nullptr || graphics == nullptr) {
        return InvalidParameter;
    }
    *graphics = nullptr;
    auto* result = new (std::nothrow) GpGraphics;
    if (result == nullptr) {
        return OutOfMemory;
    }
    // The screen context has no painter: drawing on it is accepted and shows nowhere.
    result->painter = hdc->painter;
    *graphics = result;
    return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics)
{
    if (graphics == nullptr) {
        return InvalidParameter;
    }
    delete graphics;
    return Ok;
}

GpStatus GdipGraphicsClear(GpGraphics* graphics, ARGB color)
{
    if (graphics == nullptr) {
        return InvalidParameter;
    }
    if (graphics->painter != nullptr) {
        graphics->painter->save();
        graphics->painter->setCompositionMode(QPainter::CompositionMode_Source);
        graphics->painter->fillRect(QRect(0, 0, graphics->painter->device()->width(), graphics->painter->device()->height()),
                                    QColor::fromRgba(color));
        graphics->painter->restore();
        return Ok;
    }
    if (graphics->target == nullptr) {
        return Ok;
    }
    PixelBuffer& pixels = graphics->target->pixels;
    const uint8_t b = color & 0xFF;
    const uint8_t g = (color >> 8) & 0xFF;
    const uint8_t r = (color >> 16) & 0xFF;
    const uint8_t a = (color >> 24) & 0xFF;
    if (pixels.height <= 0) {
        return Ok;
    }
    // One row pixel by pixel, the others copied from it.
    uint8_t* first = pixels.Row(0);
    for (int32_t x = 0; x < pixels.width; ++x, first += pixels.bytesPerPixel) {
        first[0] = b;
        first[1] = g;
        first[2] = r;
        if (pixels.bytesPerPixel == 4) {
            first[3] = graphics->target->hasAlpha ? a : 0xFF;
        }
    }
    const size_t rowBytes = static_cast<size_t>(pixels.width) * pixels.bytesPerPixel;
    for (int32_t y = 1; y < pixels.height; ++y) {
        std::memcpy(pixels.Row(y), pixels.Row(0), rowBytes);
    }
    return Ok;
}

GpStatus GdipSetInterpolationMode(GpGraphics* graphics, InterpolationMode mode)
{
    if (graphics == nullptr || mode < InterpolationModeDefault || mode > InterpolationModeHighQualityBicubic) {
        return InvalidParameter;
    }
    graphics->mode = mode;
    return Ok;
}

GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, int32_t dstx, int32_t dsty, int32_t dstwidth,
                                int32_t dstheight, int32_t srcx, int32_t srcy, int32_t srcwidth, int32_t srcheight,
                                GpUnit srcUnit, const void*, void*, void*)
{
    if (graphics == nullptr || image == nullptr || Internal(image) == graphics->target) {
        return InvalidParameter;
    }
    ImageObject& source = *Internal(image);
    if (srcUnit != UnitPixel && srcUnit != UnitWorld) {
        return InvalidParameter;
    }
    if (dstwidth <= 0 || dstheight <= 0 || srcwidth <= 0 || srcheight <= 0 || srcx < 0 || srcy < 0
        || static_cast<int64_t>(srcx) + srcwidth > source.width
        || static_cast<int64_t>(srcy) + srcheight > source.height) {
        return InvalidParameter;
    }
    const TargetRect to{dstx, dsty, dstwidth, dstheight};
    const SourceRect from{static_cast<double>(srcx), static_cast<double>(srcy), static_cast<double>(srcwidth),
                          static_cast<double>(srcheight)};
    if (graphics->painter != nullptr) {
        return DrawOnPainter(*graphics->painter, source, to, from, graphics->mode);
    }
    if (graphics->target == nullptr) {
        // The screen context: nothing to paint, but the image must still be usable.
        return EnsurePixels(source, dstwidth, dstheight);
    }
    return DrawOnImage(*graphics->target, source, to, from, graphics->mode);
}

GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (image == nullptr) {
        return InvalidParameter;
    }
    return GdipDrawImageRectRectI(graphics, image, x, y, width, height, 0, 0, Internal(image)->width,
                                  Internal(image)->height, UnitPixel,
                                  nullptr, nullptr, nullptr);
}
