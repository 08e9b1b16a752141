// Throughput of the colour reduction on a 12-megapixel photo-like picture: the
// quantizer (Scan + WritePalette) and ReduceBitDepth to 8, 4 and 1 bits with error
// diffusion, each through the library's fast path and through the plain reference
// loops. Prints megapixels per second and checks that both give the same bytes.
//
// Usage: imaging_bench [width height]   (default 4000 3000)

#include "dib_image.h"
#include "quantizer.h"
#include "reference_imaging.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Process CPU time: the work is single-threaded, and the machine may be shared, so
// wall-clock time would count other programs' turns too.
struct Clock {
    using time_point = std::clock_t;
    static time_point now() { return std::clock(); }
};

double Seconds(Clock::time_point start)
{
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Fills a 24-bit image by mirroring the sample photo across it, with a little
// deterministic noise so no two tiles are alike; a smooth synthetic pattern when
// the photo is missing.
void MakePicture(CDibImage& picture, int width, int height)
{
    CDibImage photo;
    const bool havePhoto = photo.LoadFile(TALLOWIN_BENCH_PHOTO, kDibFormatBmp) && photo.BitCount() == 24;
    picture.Allocate(width, height, 24);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.Row(y);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 27) % 7) - 3;
            uint8_t bgr[3];
            if (havePhoto) {
                const int pw = photo.Width(), ph = photo.Height();
                const int tx = (x / pw) % 2 == 0 ? x % pw : pw - 1 - x % pw;
                const int ty = (y / ph) % 2 == 0 ? y % ph : ph - 1 - y % ph;
                std::memcpy(bgr, photo.Row(ty) + 3 * tx, 3);
            } else {
                bgr[0] = static_cast<uint8_t>((x * 255) / width);
                bgr[1] = static_cast<uint8_t>((y * 255) / height);
                bgr[2] = static_cast<uint8_t>(((x + y) * 127) / (width + height) + 64);
            }
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>(std::clamp(bgr[c] + noise, 0, 255));
        }
    }
}

void Copy(const CDibImage& from, CDibImage& to)
{
    to.Allocate(from.Width(), from.Height(), from.BitCount());
    std::memcpy(to.PixelBlock(), from.PixelBlock(), from.TotalSize());
}

}  // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 4000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 3000;
    CDibImage picture;
    MakePicture(picture, width, height);
    const double megapixels = static_cast<double>(width) * height / 1e6;
    std::printf("picture %d x %d (%.1f MP)\n", width, height, megapixels);
    std::printf("%-34s %10s %10s %9s  %s\n", "step", "fast MP/s", "ref MP/s", "speed-up", "result");

    bool allSame = true;
    for (uint32_t bits : {8u, 4u, 1u}) {
        const uint32_t colours = 1u << bits;

        auto start = Clock::now();
        CQuantizer quantizer(colours, 8);
        quantizer.Scan(picture.PixelBlock());
        std::vector<RGBQUAD> table(colours, RGBQUAD{0, 0, 0, 0});
        quantizer.WritePalette(table.data());
        const double fastScan = Seconds(start);

        start = Clock::now();
        uint32_t leaves = 0;
        const auto referenceTable =
            tallowin::test::ReferenceQuantize(picture, colours, 8, RGBQUAD{0, 0, 0, 0}, leaves);
        const double referenceScan = Seconds(start);
        const bool sameTable = std::memcmp(table.data(), referenceTable.data(), colours * sizeof(RGBQUAD)) == 0;

        CDibImage fast, reference;
        Copy(picture, fast);
        Copy(picture, reference);
        start = Clock::now();
        fast.ReduceBitDepth(bits, true, table.data(), 0);
        const double fastReduce = Seconds(start);
        start = Clock::now();
        tallowin::test::ReferenceReduceBitDepth(reference, bits, true, table.data(), 0);
        const double referenceReduce = Seconds(start);
        const bool sameImage = fast.TotalSize() == reference.TotalSize() &&
                               std::memcmp(fast.PixelBlock(), reference.PixelBlock(), fast.TotalSize()) == 0;
        allSame = allSame && sameTable && sameImage;

        char label[64];
        std::snprintf(label, sizeof(label), "Scan + WritePalette, %u colours", colours);
        std::printf("%-34s %10.1f %10.1f %8.1fx  %s\n", label, megapixels / fastScan, megapixels / referenceScan,
                    referenceScan / fastScan, sameTable ? "identical" : "DIFFERENT");
        std::snprintf(label, sizeof(label), "ReduceBitDepth to %u bit%s, diffused", bits, bits == 1 ? "" : "s");
        std::printf("%-34s %10.1f %10.1f %8.1fx  %s\n", label, megapixels / fastReduce, megapixels / referenceReduce,
                    referenceReduce / fastReduce, sameImage ? "identical" : "DIFFERENT");
    }
    return allSame ? 0 : 1;
}
