#include "metafile_svg.h"

#include "decoder_support.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace tallowin::codec::detail {

namespace {

// Qt paints premultiplied colour; the raster holds straight alpha.
void Unpremultiply(Raster& raster) {
    uint8_t* p = raster.pixels.data();
    uint8_t* const end = p + raster.pixels.size();
    for (; p < end; p += 4) {
        const unsigned alpha = p[3];
        if (alpha == 0 || alpha == 255) continue;
        for (int channel = 0; channel < 3; ++channel) {
            p[channel] = static_cast<uint8_t>(std::min(255u, (p[channel] * 255u + alpha / 2) / alpha));
        }
    }
}

}  // namespace

void RenderSize(int32_t width, int32_t height, const DecodeRequest& request, int32_t& outWidth, int32_t& outHeight) {
    outWidth = width;
    outHeight = height;
    if (request.minWidth <= 0 || request.minHeight <= 0) return;
    const double scale = std::max(static_cast<double>(request.minWidth) / width,
                                  static_cast<double>(request.minHeight) / height);
    if (scale >= 1.0) return;
    outWidth = std::clamp(static_cast<int32_t>(std::ceil(width * scale)), 1, width);
    outHeight = std::clamp(static_cast<int32_t>(std::ceil(height * scale)), 1, height);
}

DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out) {
    if (!WithinLimits(width, height)) return DecodeStatus::OverLimit;
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return DecodeStatus::NotAnImage;

    // Paint straight into the raster's memory: B, G, R, A bytes on little-endian
    // machines are Qt's 32-bit ARGB, so no second full-size copy is needed.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "raster bytes are read as Qt's 32-bit ARGB");
    const DecodeStatus allocated = AllocateRaster(out, width, height);  // zero: transparent
    if (allocated != DecodeStatus::Ok) return allocated;
    {
        QImage canvas(out.pixels.data(), width, height, static_cast<qsizetype>(width) * 4,
                      QImage::Format_ARGB32_Premultiplied);
        if (canvas.isNull()) {
            out = Raster{};
            return DecodeStatus::OutOfMemory;
        }
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    Unpremultiply(out);
    return DecodeStatus::Ok;
}

}  // namespace tallowin::codec::detail
