// Times the PNG encoder alone on the pictures the converter hands it: each photo is
// opened and drawn to a 24-bit bitmap of the given width (not timed), then saved as PNG
// `repeat` times; the best time and the file's size are printed, tab-separated.
//
//   png_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...

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
using bench::Wide;

// The photo scaled to `width` as the conversion draws it, or null.
GpBitmap* Scaled(const std::string& photo, int32_t width)
{
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(Wide(photo).c_str(), &image) != Ok) {
        return nullptr;
    }
    GpBitmap* target = bench::DrawScaled(image, width);
    GdipDisposeImage(image);
    return target;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const auto arguments = bench::ParseArguments(argc, argv, 3);
    if (!arguments) {
        std::fprintf(stderr, "usage: png_bench [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...\n");
        return 2;
    }
    const std::filesystem::path folder = arguments->folder;
    const int32_t width = arguments->width;
    const int repeat = arguments->repeat;
    const CLSID png = bench::EncoderFor(u"image/png");
    double sumMs = 0;
    uintmax_t sumBytes = 0;
    int photos = 0;
    std::printf("photo\tencode_ms\tbytes\n");
    for (const std::string& photo : arguments->photos) {
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
            const double ms = bench::Milliseconds(Clock::now() - start);
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
