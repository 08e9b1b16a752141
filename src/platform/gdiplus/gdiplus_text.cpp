// Fonts, brushes and text: Qt's painter draws the string on the image's own pixels.
#include "gdiplus_objects.h"
#include "gdiplus_painting.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tallowin::gdiplus {
namespace {

constexpr int kDefaultEmPixels = 16;

QString FaceName(const LOGFONTA& logfont)
{
    const size_t length = strnlen(logfont.lfFaceName, sizeof logfont.lfFaceName);
    return QString::fromLocal8Bit(logfont.lfFaceName, static_cast<qsizetype>(length));
}

QFont::Weight WeightFor(int32_t lfWeight)
{
    if (lfWeight <= 0) {
        return QFont::Normal;
    }
    // Qt 6 weights use the same 100..900 scale.
    return static_cast<QFont::Weight>(std::clamp(lfWeight, 100, 900));
}

}  // namespace

QImage WrapPixels(const PixelBuffer& pixels, bool alpha)
{
    QImage::Format format = QImage::Format_BGR888;
    if (pixels.bytesPerPixel == 4) {
        format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }
    return QImage(pixels.data, pixels.width, pixels.height, static_cast<qsizetype>(pixels.stride), format);
}

QFont FontFromLogfont(const LOGFONTA& logfont)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    const QString face = FaceName(logfont);
    if (!face.isEmpty() && QFontDatabase::hasFamily(face)) {
        font.setFamily(face);
    }
    font.setWeight(WeightFor(logfont.lfWeight));
    font.setItalic(logfont.lfItalic != 0);
    font.setUnderline(logfont.lfUnderline != 0);
    font.setStrikeOut(logfont.lfStrikeOut != 0);
    if (logfont.lfHeight < 0) {
        font.setPixelSize(std::max(1, -logfont.lfHeight));
    } else if (logfont.lfHeight > 0) {
        // A cell height: find the em whose ascent + descent fills it.
        font.setPixelSize(logfont.lfHeight);
        const qreal cell = QFontMetricsF(font).height();
        if (cell > 0) {
            const int em = static_cast<int>(std::lround(logfont.lfHeight * logfont.lfHeight / cell));
            font.setPixelSize(std::max(1, em));
        }
    } else {
        font.setPixelSize(kDefaultEmPixels);
    }
    return font;
}

}  // namespace tallowin::gdiplus

using namespace tallowin::gdiplus;

GpStatus GdipCreateFontFromLogfontA(HDC, const LOGFONTA* logfont, GpFont** font)
{
    if (logfont == nullptr || font == nullptr) {
        return InvalidParameter;
    }
    auto* result = new (std::nothrow) GpFont;
    if (result == nullptr) {
        return OutOfMemory;
    }
    result->logfont = *logfont;
    // The face name need not be terminated within its 32 bytes.
    result->logfont.lfFaceName[sizeof result->logfont.lfFaceName - 1] = '\0';
    *font = result;
    return Ok;
}

GpStatus GdipDeleteFont(GpFont* font)
{
    if (font == nullptr) {
        return InvalidParameter;
    }
    delete font;
    return Ok;
}

GpStatus GdipCreateSolidFill(ARGB color, GpSolidFill** brush)
{
    if (brush == nullptr) {
        return InvalidParameter;
    }
    auto* result = new (std::nothrow) BrushObject;
    if (result == nullptr) {
        return OutOfMemory;
    }
    result->color = color;
    *brush = result;
    return Ok;
}

GpStatus GdipDeleteBrush(GpBrush* brush)
{
    if (brush == nullptr) {
        return InvalidParameter;
    }
    delete Internal(brush);
    return Ok;
}

GpStatus GdipDrawString(GpGraphics* graphics, const WCHAR* string, int32_t length, const GpFont* font,
                        const RectF* layoutRect, const GpStringFormat*, const GpBrush* brush)
{
    if (graphics == nullptr || string == nullptr || font == nullptr || layoutRect == nullptr || brush == nullptr
        || length < -1) {
        return InvalidParameter;
    }
    const QString text = length == -1 ? QString::fromUtf16(string) : QString::fromUtf16(string, length);
    const auto draw = [&](QPainter& painter) {
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setFont(FontFromLogfont(font->logfont));
        painter.setPen(QColor::fromRgba(Internal(brush)->color));
        const bool sized = layoutRect->Width > 0 && layoutRect->Height > 0;
        // Lines break only at the text's own line feeds; a rectangle of no size does not clip.
        const QRectF box(layoutRect->X, layoutRect->Y, sized ? layoutRect->Width : 1e6, sized ? layoutRect->Height : 1e6);
        if (sized) {
            painter.setClipRect(box);
        }
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    };
    if (graphics->painter != nullptr) {
        graphics->painter->save();
        draw(*graphics->painter);
        graphics->painter->restore();
        return Ok;
    }
    if (graphics->target == nullptr) {
        return Ok;
    }
    ImageObject& target = *graphics->target;
    const GpStatus status = PrepareForEdit(target);
    if (status != Ok) {
        return status;
    }
    QImage canvas = WrapPixels(target.pixels, target.hasAlpha);
    if (canvas.isNull()) {
        return OutOfMemory;
    }
    QPainter painter(&canvas);
    if (!painter.isActive()) {
        return GenericError;
    }
    draw(painter);
    return Ok;
}
