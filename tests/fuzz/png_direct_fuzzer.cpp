// Feeds arbitrary bytes to the direct reader of plain PNGs and holds it to libpng: a
// file it reads to the last row must be one libpng decodes to the very same pixels.
// Each chunk's CRC is made right first (where the chunks can be walked), so that
// changed bytes reach the header checks, the inflation and the filters instead of
// stopping at the checksum.

#include "decoder_support.h"
#include "fuzz_input_file.h"
#include "png_direct.h"

#include <zlib.h>

#include <vector>

namespace {

void FixChunkCrcs(std::vector<uint8_t>& png)
{
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 | size_t{png[at + 2]} << 8 | png[at + 3];
        if (length > png.size() - at - 12) return;
        uint8_t* crcAt = &png[at + 8 + length];
        const uLong crc = crc32(0, &png[at + 4], static_cast<uInt>(length + 4));
        crcAt[0] = static_cast<uint8_t>(crc >> 24);
        crcAt[1] = static_cast<uint8_t>(crc >> 16);
        crcAt[2] = static_cast<uint8_t>(crc >> 8);
        crcAt[3] = static_cast<uint8_t>(crc);
        at += 12 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tallowin::codec;
    std::vector<uint8_t> png(data, data + size);
    FixChunkCrcs(png);
    const std::string path = tallowin::fuzz::WriteInputFile(png.data(), png.size());
    if (path.empty()) return 0;
    DecodeLimits limits;
    limits.maxPixels = tallowin::fuzz::kDecodedPixelLimit;
    detail::PngDirect direct;
    if (!direct.Open(path, limits)) return 0;
    Raster raster;
    if (detail::AllocateRaster(raster, direct.Width(), direct.Height(), limits) != DecodeStatus::Ok ||
        !direct.ReadAll(raster)) {
        return 0;
    }
    Raster viaLibpng;
    if (detail::PngDecodeThroughLibpng(path, DecodeRequest{}, limits, viaLibpng) != DecodeStatus::Ok ||
        viaLibpng.pixels != raster.pixels) {
        __builtin_trap();  // read a file libpng refuses, or read it differently
    }
    return 0;
}
