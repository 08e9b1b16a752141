// Times the conversion path of one photo through the codec service: open (header),
// decode at the reduced size the draw needs, bicubic resample to the target width, JPEG
// quality 80. Prints one line per photo and a summary, tab-separated.
//
//   codec_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...

#include "bench_support.h"

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

using bench::Clock;
using bench::Milliseconds;
using bench::Wide;

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
        const int32_t height = bench::HeightAt(w, h, width);
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
    GpBitmap* target = bench::DrawScaled(image, width);
    GdipDisposeImage(image);
    if (target == nullptr) {
        return timing;
    }
    ULONG quality = 80;
    EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
    const GpStatus saved = GdipSaveImageToFile(target, Wide(output).c_str(), &jpeg, &parameters);
    GdipDisposeImage(target);
    timing.totalMs = Milliseconds(Clock::now() - start);
    timing.ok = saved == Ok;
    return timing;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const auto arguments = bench::ParseArguments(argc, argv, 1);
    if (!arguments) {
        std::fprintf(stderr, "usage: codec_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...\n");
        return 2;
    }
    const std::filesystem::path folder = arguments->folder;
    const int32_t width = arguments->width;
    const int repeat = arguments->repeat;
    const CLSID jpeg = bench::EncoderFor(u"image/jpeg");
    double sumTotal = 0, sumDecode = 0, sumMegapixels = 0;
    int photos = 0;
    std::printf("photo\tmegapixels\tdecode_ms\ttotal_ms\tms_per_mp\n");
    for (const std::string& photo : arguments->photos) {
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
