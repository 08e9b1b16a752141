#include "dib_image_from_handle.h"

#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr char kGetDibitsFailed[] = "GetDIBits failed";
}

bool CreateDibImageFromBitmapHandle(CDibImage& image, HBITMAP bitmap)
{
    // Start from an empty image, as a fresh construction would.
    CDibImage empty(kDibFormatBmp);
    image.MoveFrom(&empty);
    if (bitmap == nullptr) {
        return false;
    }
    BITMAP description{};
    if (GetObjectA(bitmap, sizeof description, &description) == 0) {
        image.SetLastError(kGetDibitsFailed);
        return false;
    }
    if (image.Allocate(description.bmWidth, description.bmHeight, description.bmBitsPixel) == nullptr) {
        return false;
    }
    // BITMAPINFO made of the image's header followed by room for its palette.
    std::vector<uint8_t> info;
    try {
        info.assign(sizeof(BITMAPINFOHEADER) + image.PaletteSize() + sizeof(RGBQUAD), 0);
    } catch (const std::bad_alloc&) {
        image.SetLastError(kGetDibitsFailed);
        return false;
    }
    std::memcpy(info.data(), &image.Header(), sizeof(BITMAPINFOHEADER));
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<uint32_t>(image.Height()), image.Pixels(),
                               reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows == 0) {
        image.SetLastError(kGetDibitsFailed);
        return false;
    }
    if (image.PaletteSize() != 0 && image.PaletteBlock() != nullptr) {
        std::memcpy(image.PaletteBlock(), info.data() + sizeof(BITMAPINFOHEADER), image.PaletteSize());
    }
    return true;
}
