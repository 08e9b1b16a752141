#pragma once
// PNG decoding from a buffer, for PNG images embedded in other containers (icons).

#include "decoder.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallowin::codec::detail {

DecodeStatus PngReadHeaderFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, ImageInfo& info);
DecodeStatus PngDecodeFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, Raster& out,
                                 std::string& warning);

}  // namespace tallowin::codec::detail
