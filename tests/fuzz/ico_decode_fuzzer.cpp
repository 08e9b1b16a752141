// Feeds arbitrary bytes to the icon reader: the directory, the BMP entries with their
// masks and the PNG entries, header read first, then the decode.

#include "decoder.h"
#include "fuzz_input_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tallowin::codec;
    static const Decoder& adapter = *FindDecoder("ico");
    const DecodeLimits limits;
    const std::string path = tallowin::fuzz::WriteInputFile(data, size);
    if (path.empty()) return 0;
    ImageInfo info;
    if (ReadHeader(adapter, path, limits, info) != DecodeStatus::Ok) return 0;
    if (int64_t{info.width} * info.height > tallowin::fuzz::kDecodedPixelLimit) return 0;
    Raster raster;
    std::string warning;
    const DecodeStatus status = DecodePixels(adapter, path, DecodeRequest{}, limits, raster, warning);
    if ((status == DecodeStatus::Ok || status == DecodeStatus::Partial) &&
        raster.pixels.size() != static_cast<size_t>(raster.width) * raster.height * 4)
        __builtin_trap();  // a raster that disagrees with its own size
    return 0;
}
