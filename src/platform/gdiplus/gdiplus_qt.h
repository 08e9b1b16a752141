#pragma once
// The window layer's way into the codec service: a device context over a QPainter
// (for GdipCreateFromHDC), and an image as a QImage of a given size (the preview).

#include "gdiplus.h"
#include "dib_objects.h"

#include <QImage>

class QPainter;

namespace tallowin::gdiplus {

// A device context that paints through `painter` for as long as both live.
class PainterDC {
public:
    explicit PainterDC(QPainter& painter) { dc_.painter = &painter; }
    PainterDC(const PainterDC&) = delete;
    PainterDC& operator=(const PainterDC&) = delete;

    HDC Handle() { return &dc_; }

private:
    HDC__ dc_;
};

// The whole image resampled to width x height with the high-quality filter, transparent
// parts on white. A null QImage when the image cannot be decoded or the size is not positive.
QImage ToQImage(GpImage* image, int width, int height);

}  // namespace tallowin::gdiplus
