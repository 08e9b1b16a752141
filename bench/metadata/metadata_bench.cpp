// Times what keeping photo information adds to one photo of the JPEG 1024 px job:
// reading the source's EXIF, XMP, IPTC and profile, and writing them into the encoded
// 1024 px output. Also times opening with colour management (conversion to sRGB at
// the decoded size, then the 1024 px draw) against a plain open and draw, and the
// conversion alone on one megapixel in the photo's profile.
//
//   metadata_bench [--width N] [--repeat N] WORK_FOLDER PHOTO...
//   metadata_bench --write-display-p3 FILE     (the profile run-bench.sh embeds)

#include "bench_support.h"
#include "photo_metadata.h"
#include "srgb_conversion.h"

#include <lcms2.h>

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::Milliseconds;
using bench::Wide;

bool WriteDisplayP3(const char* path)
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    const bool ok = profile != nullptr && cmsSaveProfileToFile(profile, path);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return ok;
}

// The fastest of `repeat` runs of `step`, in milliseconds; negative when a run failed.
double Best(int repeat, const std::function<bool()>& prepare, const std::function<bool()>& step)
{
    double best = -1;
    for (int r = 0; r < repeat; ++r) {
        if (!prepare()) {
            return -1;
        }
        const auto start = Clock::now();
        if (!step()) {
            return -1;
        }
        const double ms = Milliseconds(Clock::now() - start);
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

bool OpenAndDraw(const std::string& photo, int32_t width, bool managed)
{
    GpImage* image = nullptr;
    const std::u16string path = Wide(photo);
    if ((managed ? GdipLoadImageFromFileICM(path.c_str(), &image) : GdipLoadImageFromFile(path.c_str(), &image)) != Ok) {
        return false;
    }
    GpBitmap* target = bench::DrawScaled(image, width);
    GdipDisposeImage(image);
    if (target == nullptr) {
        return false;
    }
    GdipDisposeImage(target);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-display-p3") == 0) {
        return WriteDisplayP3(argv[2]) ? 0 : 1;
    }
    QGuiApplication app(argc, argv);
    const auto arguments = bench::ParseArguments(argc, argv, 1);
    if (!arguments) {
        std::fprintf(stderr, "usage: metadata_bench [--width N] [--repeat N] WORK_FOLDER PHOTO...\n");
        return 2;
    }
    const std::filesystem::path folder = arguments->folder;
    const CLSID jpeg = bench::EncoderFor(u"image/jpeg");
    using tallowin::metadata::MetadataOptions;
    int photos = 0;
    double sumRead = 0, sumWrite = 0;
    std::printf("photo\tread_ms\twrite_ms\tread_plus_write_ms\topen_draw_ms\topen_icm_draw_ms\tsrgb_ms_per_mp\n");
    for (const std::string& photo : arguments->photos) {
        const std::string stem = std::filesystem::path(photo).stem().string();
        const std::string encoded = (folder / (stem + ".encoded.jpg")).string();
        const std::string output = (folder / (stem + ".jpg")).string();
        // The 1024 px output, encoded once as the job encodes it; every run writes into a fresh copy.
        {
            GpImage* image = nullptr;
            if (GdipLoadImageFromFile(Wide(photo).c_str(), &image) != Ok) {
                std::printf("%s\tfailed to open\n", photo.c_str());
                continue;
            }
            GpBitmap* target = bench::DrawScaled(image, arguments->width);
            GdipDisposeImage(image);
            ULONG quality = 80;
            EncoderParameters parameters{};
            parameters.Count = 1;
            parameters.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
            const bool saved = target != nullptr
                               && GdipSaveImageToFile(target, Wide(encoded).c_str(), &jpeg, &parameters) == Ok;
            GdipDisposeImage(target);
            if (!saved) {
                std::printf("%s\tfailed to encode\n", photo.c_str());
                continue;
            }
        }
        tallowin::metadata::PhotoMetadata metadata;
        const double readMs = Best(arguments->repeat, [] { return true; }, [&] {
            auto read = tallowin::metadata::ReadPhotoMetadata(photo);
            metadata = std::move(read.metadata);
            return read.result.status != tallowin::metadata::MetadataStatus::Failed;
        });
        const double writeMs = Best(
            arguments->repeat,
            [&] {
                std::error_code error;
                return std::filesystem::copy_file(encoded, output, std::filesystem::copy_options::overwrite_existing,
                                                  error);
            },
            [&] { return tallowin::metadata::WritePhotoMetadata(output, metadata, MetadataOptions{}).Ok(); });
        const double plainMs = Best(arguments->repeat, [] { return true; },
                                    [&] { return OpenAndDraw(photo, arguments->width, false); });
        const double managedMs = Best(arguments->repeat, [] { return true; },
                                      [&] { return OpenAndDraw(photo, arguments->width, true); });
        // One megapixel of the working bitmap's layout through the photo's profile.
        constexpr int32_t kSide = 1000;
        std::vector<uint8_t> megapixel(size_t(kSide) * kSide * 3);
        for (size_t i = 0; i < megapixel.size(); ++i) {
            megapixel[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
        }
        const double srgbMs = metadata.icc.empty()
                                  ? 0.0
                                  : Best(arguments->repeat, [] { return true; }, [&] {
                                        return tallowin::colour::ConvertToSrgb(megapixel.data(), kSide, kSide, kSide * 3,
                                                                               3, metadata.icc)
                                            .Ok();
                                    });
        if (readMs < 0 || writeMs < 0) {
            std::printf("%s\tmetadata failed\n", photo.c_str());
            continue;
        }
        std::printf("%s\t%.2f\t%.2f\t%.2f\t%.1f\t%.1f\t%.1f\n", std::filesystem::path(photo).filename().c_str(),
                    readMs, writeMs, readMs + writeMs, plainMs, managedMs, srgbMs);
        sumRead += readMs;
        sumWrite += writeMs;
        ++photos;
    }
    if (photos > 0) {
        std::printf("SUMMARY\tphotos=%d\tmean_read_ms=%.2f\tmean_write_ms=%.2f\tmean_metadata_ms_per_photo=%.2f\n", photos,
                    sumRead / photos, sumWrite / photos, (sumRead + sumWrite) / photos);
    }
    return photos > 0 ? 0 : 1;
}
