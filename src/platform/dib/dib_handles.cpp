// The bitmap-handle calls over HBITMAP__ buffers. GetDIBits converts the handle's
// 24/32-bit top-down rows into the caller's bottom-up (or, with a negative height,
// top-down) 24/32-bit rows.
#include "dib_handles.h"
#include "dib_objects.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace tallowin::dib {

int64_t DibStride(int64_t width, int bitsPerPixel)
{
    if (width < 0 || bitsPerPixel <= 0) {
        return -1;
    }
    const int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    return stride > INT32_MAX ? -1 : stride;
}

HBITMAP CreateBitmapHandle(int32_t width, int32_t height, uint16_t bitsPerPixel)
{
    if (width <= 0 || height <= 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        return nullptr;
    }
    const int64_t stride = DibStride(width, bitsPerPixel);
    if (stride < 0 || stride * height > INT32_MAX) {
        return nullptr;
    }
    auto* bitmap = new (std::nothrow) HBITMAP__;
    if (bitmap == nullptr) {
        return nullptr;
    }
    try {
        bitmap->bits.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        delete bitmap;
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = bitsPerPixel;
    bitmap->stride = static_cast<int32_t>(stride);
    return bitmap;
}

}  // namespace tallowin::dib

namespace {

// The one screen context GetDC hands out; it paints nowhere.
HDC__ g_screenDc;

bool IsScreenDc(HDC dc) { return dc == &g_screenDc; }

void CopyRow(const uint8_t* from, int fromBytesPerPixel, uint8_t* to, int toBytesPerPixel, int32_t width)
{
    if (fromBytesPerPixel == toBytesPerPixel) {
        std::memcpy(to, from, static_cast<size_t>(width) * toBytesPerPixel);
        return;
    }
    for (int32_t x = 0; x < width; ++x) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        if (toBytesPerPixel == 4) {
            to[3] = 0;
        }
        from += fromBytesPerPixel;
        to += toBytesPerPixel;
    }
}

}  // namespace

int GetObjectA(HGDIOBJ handle, int size, void* out)
{
    if (handle == nullptr || out == nullptr || size < static_cast<int>(sizeof(BITMAP))) {
        return 0;
    }
    const auto* bitmap = static_cast<const HBITMAP__*>(handle);
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = bitmap->width;
    info.bmHeight = bitmap->height;
    // A device-dependent bitmap's rows are padded to 2 bytes; ours are padded further,
    // but callers only use this to size their own copy.
    info.bmWidthBytes = (bitmap->width * bitmap->bitsPerPixel + 15) / 16 * 2;
    info.bmPlanes = 1;
    info.bmBitsPixel = bitmap->bitsPerPixel;
    info.bmBits = nullptr;
    std::memcpy(out, &info, sizeof info);
    return static_cast<int>(sizeof info);
}

HDC GetDC(HWND) { return &g_screenDc; }

int ReleaseDC(HWND, HDC dc) { return IsScreenDc(dc) ? 1 : 0; }

int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info, uint32_t usage)
{
    if (dc == nullptr || bitmap == nullptr || info == nullptr || usage != DIB_RGB_COLORS) {
        return 0;
    }
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (bits == nullptr) {
        // Asked only for the bitmap's description.
        header.biSize = sizeof(BITMAPINFOHEADER);
        header.biWidth = bitmap->width;
        header.biHeight = bitmap->height;
        header.biPlanes = 1;
        header.biBitCount = bitmap->bitsPerPixel;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<uint32_t>(tallowin::dib::DibStride(bitmap->width, bitmap->bitsPerPixel) * bitmap->height);
        header.biClrUsed = 0;
        return bitmap->height;
    }
    // Only the true-colour layouts are produced; the caller asks for the handle's own
    // depth or another true-colour one.
    if (header.biBitCount != 24 && header.biBitCount != 32) {
        return 0;
    }
    if (header.biWidth != bitmap->width || header.biCompression != BI_RGB || header.biPlanes != 1) {
        return 0;
    }
    const bool topDown = header.biHeight < 0;
    const int64_t height = topDown ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
    if (height != bitmap->height || start >= static_cast<uint64_t>(height)) {
        return 0;
    }
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(lines, static_cast<uint64_t>(height) - start));
    const int64_t toStride = tallowin::dib::DibStride(bitmap->width, header.biBitCount);
    const int fromBpp = bitmap->bitsPerPixel / 8;
    const int toBpp = header.biBitCount / 8;
    auto* out = static_cast<uint8_t*>(bits);
    for (uint32_t i = 0; i < count; ++i) {
        // Scan line numbers count from the bottom of the picture.
        const int64_t scan = start + i;
        const int64_t sourceRow = bitmap->height - 1 - scan;
        const int64_t targetRow = topDown ? static_cast<int64_t>(count - 1 - i) : static_cast<int64_t>(i);
        CopyRow(bitmap->bits.data() + sourceRow * bitmap->stride, fromBpp,
                out + targetRow * toStride, toBpp, bitmap->width);
    }
    return static_cast<int>(count);
}

int DeleteObject(HGDIOBJ handle)
{
    if (handle == nullptr) {
        return 0;
    }
    delete static_cast<HBITMAP__*>(handle);
    return 1;
}
