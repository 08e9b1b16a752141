#pragma once
// One codec adapter fed arbitrary bytes: the header read, then the decode of what it
// accepts, as the codec service would call it in this process.

#include "decoder.h"
#include "fuzz_input_file.h"

#include <cstdint>

namespace tallowin::fuzz {

inline int FuzzAdapter(const char* name, const uint8_t* data, size_t size)
{
    using namespace tallowin::codec;
    const Decoder* adapter = FindDecoder(name);
    if (adapter == nullptr) __builtin_trap();  // the target names an adapter that is gone
    const DecodeLimits limits;
    const std::string path = WriteInputFile(data, size);
    if (path.empty()) return 0;
    ImageInfo info;
    if (ReadHeader(*adapter, path, limits, info) != DecodeStatus::Ok) return 0;
    if (int64_t{info.width} * info.height > kDecodedPixelLimit) return 0;
    Raster raster;
    std::string warning;
    const DecodeStatus status = DecodePixels(*adapter, path, DecodeRequest{}, limits, raster, warning);
    if ((status == DecodeStatus::Ok || status == DecodeStatus::Partial) &&
        raster.pixels.size() != static_cast<size_t>(raster.width) * raster.height * 4)
        __builtin_trap();  // a raster that disagrees with its own size
    return 0;
}

}  // namespace tallowin::fuzz
