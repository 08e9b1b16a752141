// Times the PNG encoder alone on the pictures the converter hands it: each photo is
// opened and drawn to a 24-bit bitmap of the given width (not timed), then saved as PNG
// `repeat` times; the best time and the file's size are printed, tab-separated.
//
//   png_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...

#include "gdiplus.h"

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::u16string Wide(const std::string& path) { return QString::fromStdString(path).toStdU16String(); }

CLSID PngEncoder()
{
    UINT count = 0;
    UINT size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::u16string(codecs[i].MimeType) == u"image/png") {
            return codecs[i].Clsid;
        }
    }
    return CLSID{};
}

// The photo scaled to `width` as the conversion draws it, or null.
GpBitmap* Scaled(const std::string& photo, int32_t width)
{
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(Wide(photo).c_str(), &image) != Ok) {
        return nullptr;
    }
    UINT w = 0, h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    const auto height = static_cast<int32_t>(std::max<int64_t>(1, int64_t(h) * width / std::max<UINT>(1, w)));
    GpBitmap* target = nullptr;
    GpGraphics* graphics = nullptr;
    GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &target);
    if (status == Ok) {
        status = GdipGetImageGraphicsContext(target, &graphics);
    }
    if (status == Ok) {
        GdipGraphicsClear(graphics, 0xFFFFFFFF);
        GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
        status = GdipDrawImageRectRectI(graphics, image, 0, 0, width, height, 0, 0, int32_t(w), int32_t(h), UnitPixel,
                                        nullptr, nullptr, nullptr);
        GdipDeleteGraphics(graphics);
    }
    GdipDisposeImage(image);
    if (status != Ok && target != nullptr) {
        GdipDisposeImage(target);
        return nullptr;
    }
    return target;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    int32_t width = 1024;
    int repeat = 3;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    size_t i = 0;
    for (; i + 1 < arguments.size() && arguments[i].rfind("--", 0) == 0; i += 2) {
        if (arguments[i] == "--width") {
            width = std::atoi(arguments[i + 1].c_str());
        } else if (arguments[i] == "--repeat") {
            repeat = std::max(1, std::atoi(arguments[i + 1].c_str()));
        }
    }
    if (arguments.size() < i + 2 || width <= 0) {
        std::fprintf(stderr, "usage: png_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...\n");
        return 2;
    }
    const std::filesystem::path folder = arguments[i];
    const CLSID png = PngEncoder();
    double sumMs = 0;
    uintmax_t sumBytes = 0;
    int photos = 0;
    std::printf("photo\tencode_ms\tbytes\n");
    for (size_t p = i + 1; p < arguments.size(); ++p) {
        const std::string& photo = arguments[p];
        const std::string name = std::filesystem::path(photo).filename().string();
        GpBitmap* bitmap = Scaled(photo, width);
        if (bitmap == nullptr) {
            std::printf("%s\tfailed\n", name.c_str());
            continue;
        }
        const std::string output = (folder / (std::filesystem::path(photo).stem().string() + ".png")).string();
        double best = -1;
        for (int r = 0; r < repeat; ++r) {
            const auto start = Clock::now();
            const GpStatus saved = GdipSaveImageToFile(bitmap, Wide(output).c_str(), &png, nullptr);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (saved != Ok) {
                best = -1;
                break;
            }
            best = best < 0 ? ms : std::min(best, ms);
        }
        GdipDisposeImage(bitmap);
        if (best < 0) {
            std::printf("%s\tfailed\n", name.c_str());
            continue;
        }
        const uintmax_t bytes = std::filesystem::file_size(output);
        std::printf("%s\t%.1f\t%ju\n", name.c_str(), best, bytes);
        sumMs += best;
        sumBytes += bytes;
        ++photos;
    }
    if (photos > 0) {
        std::printf("SUMMARY\tphotos=%d\ttotal_encode_ms=%.1f\ttotal_bytes=%ju\n", photos, sumMs, sumBytes);
    }
    return photos > 0 ? 0 : 1;
}
