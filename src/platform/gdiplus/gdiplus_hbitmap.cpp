// Export of a bitmap as a device-dependent bitmap handle (24 bits, top-down), with
// transparent pixels composited over the caller's background colour.
#include "gdiplus_objects.h"

#include "dib_objects.h"

#include <cstring>

using namespace tallowin::gdiplus;

GpStatus GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, ARGB background)
{
    if (bitmap == nullptr || hbmReturn == nullptr) {
        return InvalidParameter;
    }
    *hbmReturn = nullptr;
    ImageObject& self = *Internal(bitmap);
    const GpStatus status = EnsurePixels(self, 0, 0);
    if (status != Ok) {
        return status;
    }
    const PixelBuffer& pixels = self.pixels;
    HBITMAP handle = tallowin::dib::CreateBitmapHandle(pixels.width, pixels.height, 24);
    if (handle == nullptr) {
        return OutOfMemory;
    }
    const unsigned backB = background & 0xFF;
    const unsigned backG = (background >> 8) & 0xFF;
    const unsigned backR = (background >> 16) & 0xFF;
    const bool alpha = self.hasAlpha && pixels.bytesPerPixel == 4;
    for (int32_t y = 0; y < pixels.height; ++y) {
        const uint8_t* in = pixels.Row(y);
        uint8_t* out = handle->bits.data() + static_cast<size_t>(y) * handle->stride;
        if (pixels.bytesPerPixel == 3) {
            std::memcpy(out, in, static_cast<size_t>(pixels.width) * 3);
            continue;
        }
        for (int32_t x = 0; x < pixels.width; ++x, in += 4, out += 3) {
            const unsigned a = alpha ? in[3] : 255;
            const unsigned keep = 255 - a;
            out[0] = static_cast<uint8_t>((in[0] * a + backB * keep + 127) / 255);
            out[1] = static_cast<uint8_t>((in[1] * a + backG * keep + 127) / 255);
            out[2] = static_cast<uint8_t>((in[2] * a + backR * keep + 127) / 255);
        }
    }
    *hbmReturn = handle;
    return Ok;
}
