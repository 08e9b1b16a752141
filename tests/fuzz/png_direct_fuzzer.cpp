// Feeds arbitrary bytes to the direct reader of plain PNGs and holds it to libpng: a
// file it reads to the last row must be one libpng decodes to the very same pixels.

#include "fuzz_input_file.h"
#include "png_direct.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tallowin::codec;
    const std::string path = tallowin::fuzz::WriteInputFile(data, size);
    if (path.empty()) return 0;
    DecodeLimits limits;
    limits.maxPixels = tallowin::fuzz::kDecodedPixelLimit;
    detail::PngDirect direct;
    if (!direct.Open(path, limits)) return 0;
    Raster raster;
    raster.width = direct.Width();
    raster.height = direct.Height();
    raster.pixels.resize(static_cast<size_t>(raster.width) * raster.height * 4);
    for (int32_t y = 0; y < raster.height; ++y) {
        if (!direct.ReadRow(raster.Row(y), y > 0 ? raster.Row(y - 1) : nullptr)) return 0;
    }
    Raster viaLibpng;
    if (detail::PngDecodeThroughLibpng(path, DecodeRequest{}, limits, viaLibpng) != DecodeStatus::Ok ||
        viaLibpng.pixels != raster.pixels) {
        __builtin_trap();  // read a file libpng refuses, or read it differently
    }
    return 0;
}
