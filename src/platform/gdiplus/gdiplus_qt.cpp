// Preview pictures for the window layer.
#include "gdiplus_qt.h"

#include <QPainter>

namespace tallowin::gdiplus {

QImage ToQImage(GpImage* image, int width, int height)
{
    if (image == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    QImage picture(width, height, QImage::Format_BGR888);
    if (picture.isNull()) {
        return {};
    }
    picture.fill(Qt::white);
    QPainter painter(&picture);
    PainterDC dc(painter);
    GpGraphics* graphics = nullptr;
    if (GdipCreateFromHDC(dc.Handle(), &graphics) != Ok) {
        return {};
    }
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    const GpStatus status = GdipDrawImageRectI(graphics, image, 0, 0, width, height);
    GdipDeleteGraphics(graphics);
    painter.end();
    return status == Ok ? picture : QImage();
}

}  // namespace tallowin::gdiplus
