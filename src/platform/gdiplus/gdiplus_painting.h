#pragma once
// Qt's side of the service: painting on our pixel buffers and fonts from LOGFONTs.

#include "gdiplus_objects.h"

#include <QFont>
#include <QImage>

namespace tallowin::gdiplus {

// A QImage over the buffer's own memory (no copy); painting on it changes the buffer.
QImage WrapPixels(const PixelBuffer& pixels, bool alpha);

// LOGFONT to QFont: a negative height is the em height in pixels, a positive one the
// cell height (ascent + descent); 0 takes a 16-pixel em. Weight, italic, underline and
// strike-out carry over; an empty or unknown face name gives the default sans font.
QFont FontFromLogfont(const LOGFONTA& logfont);

}  // namespace tallowin::gdiplus
