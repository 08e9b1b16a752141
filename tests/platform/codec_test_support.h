#pragma once
// Helpers for the codec service tests: pictures in memory, reading an image's pixels
// back through a bitmap handle, and picture comparisons.

#include "gdiplus.h"
#include "test_world.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tallowin::test {

struct ImageDeleter {
    void operator()(GpImage* image) const { GdipDisposeImage(image); }
};
using ImagePtr = std::unique_ptr<GpImage, ImageDeleter>;

inline std::u16string Wide(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string()).toStdU16String();
}

// A 24-bit picture, rows top-down, padded to 4 bytes like the service's own bitmaps.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> bgr;

    Picture() = default;
    Picture(int32_t w, int32_t h) : width(w), height(h), stride((w * 3 + 3) / 4 * 4), bgr(static_cast<size_t>(stride) * h) {}
    uint8_t* At(int32_t x, int32_t y) { return bgr.data() + static_cast<size_t>(y) * stride + x * 3; }
    const uint8_t* At(int32_t x, int32_t y) const { return bgr.data() + static_cast<size_t>(y) * stride + x * 3; }
    void Set(int32_t x, int32_t y, uint8_t b, uint8_t g, uint8_t r)
    {
        uint8_t* p = At(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
};

// A picture with smooth gradients and a few sharp edges, every pixel different.
inline Picture Pattern(int32_t width, int32_t height)
{
    Picture picture(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const bool stripe = ((x / 5) + (y / 7)) % 2 == 0;
            picture.Set(x, y, static_cast<uint8_t>(x * 255 / std::max(1, width - 1)),
                        static_cast<uint8_t>(y * 255 / std::max(1, height - 1)), stripe ? 200 : 40);
        }
    }
    return picture;
}

// A bitmap of the service over the picture's memory (the picture must outlive it).
inline ImagePtr MakeBitmap(Picture& picture)
{
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(picture.width, picture.height, picture.stride, PixelFormat24bppRGB,
                                        picture.bgr.data(), &bitmap),
              Ok);
    return ImagePtr(bitmap);
}

// The image's pixels at full size, composited over `background`, read through a bitmap
// handle the way the raster core reads them.
inline Picture ReadPixels(GpImage* image, ARGB background = 0xFFFFFFFF)
{
    HBITMAP handle = nullptr;
    if (GdipCreateHBITMAPFromBitmap(static_cast<GpBitmap*>(image), &handle, background) != Ok) {
        return {};
    }
    BITMAP description{};
    GetObjectA(handle, sizeof description, &description);
    Picture picture(description.bmWidth, description.bmHeight);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    const int rows = GetDIBits(dc, handle, 0, static_cast<uint32_t>(picture.height), picture.bgr.data(), &info,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(handle);
    return rows == picture.height ? picture : Picture();
}

inline ImagePtr Load(const std::filesystem::path& path, GpStatus expected = Ok)
{
    GpImage* image = nullptr;
    EXPECT_EQ(GdipLoadImageFromFile(Wide(path).c_str(), &image), expected) << path;
    return ImagePtr(image);
}

inline CLSID EncoderFor(const std::u16string& mime)
{
    UINT count = 0;
    UINT size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (mime == codecs[i].MimeType) {
            return codecs[i].Clsid;
        }
    }
    ADD_FAILURE() << "no encoder";
    return CLSID{};
}

inline GpStatus Save(GpImage* image, const std::filesystem::path& path, const std::u16string& mime, int quality = -1)
{
    const CLSID clsid = EncoderFor(mime);
    if (quality < 0) {
        return GdipSaveImageToFile(image, Wide(path).c_str(), &clsid, nullptr);
    }
    ULONG value = static_cast<ULONG>(quality);
    EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeLong, &value};
    return GdipSaveImageToFile(image, Wide(path).c_str(), &clsid, &parameters);
}

// Peak signal-to-noise ratio of two pictures of one size over the colour bytes, in dB.
inline double Psnr(const Picture& a, const Picture& b)
{
    if (a.width != b.width || a.height != b.height || a.width == 0) {
        return 0.0;
    }
    double sum = 0.0;
    for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width * 3; ++x) {
            const double d = double(a.At(0, y)[x]) - double(b.At(0, y)[x]);
            sum += d * d;
        }
    }
    const double mse = sum / (double(a.width) * a.height * 3);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline bool SamePixels(const Picture& a, const Picture& b)
{
    if (a.width != b.width || a.height != b.height) {
        return false;
    }
    for (int32_t y = 0; y < a.height; ++y) {
        if (!std::equal(a.At(0, y), a.At(0, y) + a.width * 3, b.At(0, y))) {
            return false;
        }
    }
    return true;
}

}  // namespace tallowin::test
