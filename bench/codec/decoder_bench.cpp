// Times the decoders alone: header read, full decode, and decodes for smaller
// destinations (where JPEG uses its DCT scaling). One tab-separated line per photo
// and request.
//
//   decoder_bench [--repeat N] PHOTO...

#include "decoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace codec = tallowin::codec;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Best of `repeat` runs, so that a busy machine disturbs the figures less.
template <class Work>
double BestOf(int repeat, Work work) {
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        if (!work()) return -1;
        const double ms = Milliseconds(Clock::now() - start);
        if (ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else photos.push_back(arg);
    }
    if (photos.empty()) {
        std::fprintf(stderr, "usage: decoder_bench [--repeat N] PHOTO...\n");
        return 2;
    }
    std::printf("photo\trequest\toutput\tms\tMpx/s\n");
    for (const std::string& photo : photos) {
        const codec::Decoder* format = nullptr;
        const codec::DecodeLimits limits;
        codec::ImageInfo info;
        if (codec::SniffFile(photo, format) != codec::DecodeStatus::Ok ||
            codec::ReadHeader(*format, photo, limits, info) != codec::DecodeStatus::Ok) {
            std::printf("%s\tunreadable\n", photo.c_str());
            continue;
        }
        const double headerMs = BestOf(repeat, [&] {
            codec::ImageInfo again;
            return codec::ReadHeader(*format, photo, limits, again) == codec::DecodeStatus::Ok;
        });
        std::printf("%s\theader\t%dx%d\t%.3f\t-\n", photo.c_str(), info.width, info.height, headerMs);
        for (int divisor : {1, 2, 4, 8}) {
            const codec::DecodeRequest request{divisor == 1 ? 0 : info.width / divisor,
                                               divisor == 1 ? 0 : info.height / divisor};
            codec::Raster raster;
            const double ms = BestOf(repeat, [&] {
                std::string warning;
                const auto status = codec::DecodePixels(*format, photo, request, limits, raster, warning);
                return status == codec::DecodeStatus::Ok || status == codec::DecodeStatus::Partial;
            });
            const double mpx = static_cast<double>(info.width) * info.height / 1e6;
            std::printf("%s\t1/%d\t%dx%d\t%.3f\t%.1f\n", photo.c_str(), divisor, raster.width, raster.height, ms,
                        ms > 0 ? mpx / (ms / 1000) : 0.0);
        }
    }
    return 0;
}
