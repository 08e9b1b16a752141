// CDibImage's construction from a bitmap handle. It lives here, beside the handle
// calls, so the raster core itself needs nothing from the platform.
#include "dib_handles.h"
#include "dib_image.h"

#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr char kGetDibitsFailed[] = "GetDIBits failed";
}

bool CDibImage::CreateFromBitmapHandle(HBITMAP bitmap)
{
    // Start from an empty image, as a fresh construction would.
    FreeBlock();
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    settings = Settings{};
    settings.formatCode = kDibFormatBmp;
    if (bitmap == nullptr) {
        return false;
    }
    BITMAP description{};
    if (GetObjectA(bitmap, sizeof description, &description) == 0) {
        SetLastError(kGetDibitsFailed);
        return false;
    }
    if (Allocate(description.bmWidth, description.bmHeight, description.bmBitsPixel) == nullptr) {
        return false;
    }
    // BITMAPINFO made of the image's header followed by room for its palette.
    std::vector<uint8_t> info;
    try {
        info.assign(sizeof(BITMAPINFOHEADER) + PaletteSize() + sizeof(RGBQUAD), 0);
    } catch (const std::bad_alloc&) {
        SetLastError(kGetDibitsFailed);
        return false;
    }
    std::memcpy(info.data(), &header, sizeof(BITMAPINFOHEADER));
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<uint32_t>(header.biHeight), settings.pixels,
                               reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows == 0) {
        SetLastError(kGetDibitsFailed);
        return false;
    }
    if (PaletteSize() != 0 && PaletteBlock() != nullptr) {
        std::memcpy(PaletteBlock(), info.data() + sizeof(BITMAPINFOHEADER), PaletteSize());
    }
    return true;
}
