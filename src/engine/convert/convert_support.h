#pragma once
// Small helpers of the conversion code: owners for the codec service's objects,
// text and path conversions, and the stamp's brush colour.

#include "gdiplus.h"

#include <memory>
#include <string>

namespace tallowin {

struct ImageDeleter {
    void operator()(GpImage* image) const { GdipDisposeImage(image); }
};
struct GraphicsDeleter {
    void operator()(GpGraphics* graphics) const { GdipDeleteGraphics(graphics); }
};
struct FontDeleter {
    void operator()(GpFont* font) const { GdipDeleteFont(font); }
};
struct BrushDeleter {
    void operator()(GpSolidFill* brush) const { GdipDeleteBrush(brush); }
};
using ImagePtr = std::unique_ptr<GpImage, ImageDeleter>;
using BitmapPtr = std::unique_ptr<GpBitmap, ImageDeleter>;
using GraphicsPtr = std::unique_ptr<GpGraphics, GraphicsDeleter>;
using FontPtr = std::unique_ptr<GpFont, FontDeleter>;
using BrushPtr = std::unique_ptr<GpSolidFill, BrushDeleter>;

// The screen's device context for the font, released on every way out.
class ScreenContext {
public:
    ScreenContext();
    ~ScreenContext();
    ScreenContext(const ScreenContext&) = delete;
    ScreenContext& operator=(const ScreenContext&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// A UTF-8 path as the zero-terminated UTF-16 the codec service takes.
std::u16string Utf16Path(const std::string& path);

// The fixed temporary name of `unique` in `folder` ("<folder>BMP5749.TMP").
std::string TempFileName(const std::string& folder, const std::string& prefix, unsigned unique);

// The opaque brush colour of a stamp colour value.
ARGB BrushColour(uint32_t colour);

}  // namespace tallowin
