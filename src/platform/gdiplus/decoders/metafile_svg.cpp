#include "metafile_svg.h"

#include "decoder_support.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstring>

namespace tallowin::codec::detail {

DecodeStatus RenderSvgToRaster(const QByteArray& svg, int32_t width, int32_t height, Raster& out) {
    if (!WithinLimits(width, height)) return DecodeStatus::OverLimit;
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return DecodeStatus::NotAnImage;

    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) return DecodeStatus::OutOfMemory;
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    // Format_ARGB32 is straight alpha stored as B, G, R, A bytes on little-endian
    // machines: exactly the raster's layout.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "raster rows are copied as B, G, R, A bytes");
    const QImage straight = canvas.convertToFormat(QImage::Format_ARGB32);
    canvas = QImage();
    if (straight.isNull()) return DecodeStatus::OutOfMemory;

    const DecodeStatus allocated = AllocateRaster(out, width, height);
    if (allocated != DecodeStatus::Ok) return allocated;
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(out.Row(y), straight.constScanLine(y), static_cast<size_t>(width) * 4);
    }
    return DecodeStatus::Ok;
}

}  // namespace tallowin::codec::detail
