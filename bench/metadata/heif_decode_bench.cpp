// Decodes each photo once, whole, through the codec service's own adapter (libheif for
// HEIC and AVIF), as a conversion does before it scales; prints the size decoded. The
// timing is done outside, by run-heif-decode-bench.sh, as CPU time of the process.
//
//   heif_decode_bench PHOTO...

#include "decoder.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    namespace codec = tallowin::codec;
    if (argc < 2) {
        std::fprintf(stderr, "usage: heif_decode_bench PHOTO...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string photo = argv[i];
        const codec::Decoder* format = nullptr;
        const codec::DecodeLimits limits;
        codec::Raster raster;
        std::string warning;
        if (codec::SniffFile(photo, format) != codec::DecodeStatus::Ok ||
            codec::DecodePixels(*format, photo, codec::DecodeRequest{0, 0}, limits, raster, warning) !=
                codec::DecodeStatus::Ok) {
            std::fprintf(stderr, "%s: not decoded\n", photo.c_str());
            ++failed;
            continue;
        }
        std::printf("%s\t%dx%d\n", photo.c_str(), raster.width, raster.height);
    }
    return failed == 0 ? 0 : 1;
}
