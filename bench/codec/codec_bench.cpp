// Times the conversion path of one photo through the codec service: open (header),
// decode at the reduced size the draw needs, bicubic resample to the target width, JPEG
// quality 80. Prints one line per photo and a summary, tab-separated.
//
//   codec_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...

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

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::u16string Wide(const std::string& path) { return QString::fromStdString(path).toStdU16String(); }

CLSID JpegEncoder()
{
    UINT count = 0;
    UINT size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::u16string(codecs[i].MimeType) == u"image/jpeg") {
            return codecs[i].Clsid;
        }
    }
    return CLSID{};
}

struct Timing {
    double decodeMs = 0;   // open + decode at the needed size (drawn to the screen context)
    double totalMs = 0;    // open + decode + resample + encode
    double megapixels = 0;
    bool ok = false;
};

// Fresh image each time: nothing decoded is reused between the runs.
Timing Convert(const std::string& photo, const std::string& output, int32_t width, const CLSID& jpeg)
{
    Timing timing;
    {
        const auto start = Clock::now();
        GpImage* image = nullptr;
        if (GdipLoadImageFromFile(Wide(photo).c_str(), &image) != Ok) {
            return timing;
        }
        UINT w = 0, h = 0;
        GdipGetImageWidth(image, &w);
        GdipGetImageHeight(image, &h);
        const auto height = static_cast<int32_t>(std::max<int64_t>(1, int64_t(h) * width / std::max<UINT>(1, w)));
        GpGraphics* screen = nullptr;
        GdipCreateFromHDC(GetDC(nullptr), &screen);
        GdipDrawImageRectI(screen, image, 0, 0, width, height);
        GdipDeleteGraphics(screen);
        GdipDisposeImage(image);
        timing.decodeMs = Milliseconds(Clock::now() - start);
        timing.megapixels = double(w) * h / 1e6;
    }
    const auto start = Clock::now();
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(Wide(photo).c_str(), &image) != Ok) {
        return timing;
    }
    UINT w = 0, h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    const auto height = static_cast<int32_t>(std::max<int64_t>(1, int64_t(h) * width / std::max<UINT>(1, w)));
    GpBitmap* target = nullptr;
    GpGraphics* graphics = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &target);
    GdipGetImageGraphicsContext(target, &graphics);
    GdipGraphicsClear(graphics, 0xFFFFFFFF);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    const GpStatus drawn = GdipDrawImageRectRectI(graphics, image, 0, 0, width, height, 0, 0, int32_t(w), int32_t(h),
                                                  UnitPixel, nullptr, nullptr, nullptr);
    ULONG quality = 80;
    EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
    const GpStatus saved = GdipSaveImageToFile(target, Wide(output).c_str(), &jpeg, &parameters);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(target);
    GdipDisposeImage(image);
    timing.totalMs = Milliseconds(Clock::now() - start);
    timing.ok = drawn == Ok && saved == Ok;
    return timing;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    int32_t width = 1024;
    int repeat = 1;
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
        std::fprintf(stderr, "usage: codec_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...\n");
        return 2;
    }
    const std::filesystem::path folder = arguments[i];
    const CLSID jpeg = JpegEncoder();
    double sumTotal = 0, sumDecode = 0, sumMegapixels = 0;
    int photos = 0;
    std::printf("photo\tmegapixels\tdecode_ms\ttotal_ms\tms_per_mp\n");
    for (size_t p = i + 1; p < arguments.size(); ++p) {
        const std::string& photo = arguments[p];
        const std::string output = (folder / (std::filesystem::path(photo).stem().string() + ".jpg")).string();
        Timing best;
        for (int r = 0; r < repeat; ++r) {
            const Timing t = Convert(photo, output, width, jpeg);
            if (!t.ok) {
                best = t;
                break;
            }
            if (!best.ok || t.totalMs < best.totalMs) {
                best = t;
            }
        }
        if (!best.ok) {
            std::printf("%s\tfailed\n", photo.c_str());
            continue;
        }
        std::printf("%s\t%.2f\t%.1f\t%.1f\t%.2f\n", std::filesystem::path(photo).filename().c_str(), best.megapixels,
                    best.decodeMs, best.totalMs, best.totalMs / best.megapixels);
        sumTotal += best.totalMs;
        sumDecode += best.decodeMs;
        sumMegapixels += best.megapixels;
        ++photos;
    }
    if (photos > 0) {
        std::printf("SUMMARY\tphotos=%d\tmean_ms_per_photo=%.1f\tmean_decode_ms=%.1f\tms_per_megapixel=%.2f\n", photos,
                    sumTotal / photos, sumDecode / photos, sumTotal / sumMegapixels);
    }
    return photos > 0 ? 0 : 1;
}
