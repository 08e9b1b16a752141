#pragma once
// A decode converted from the colour profile embedded in its file to sRGB, for images
// opened with colour management. The profile is read from the file and applied where
// the decode runs (the decoder helper), so that neither the file's information nor its
// profile is parsed in the program's own process.

#include "decoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::codec {

// Converts `raster` (BGRA, straight alpha) to sRGB from `profile`, the one embedded in
// its file. Empty when it converted or nothing needed converting; otherwise why the
// profile could not apply, with the pixels left as decoded.
std::string ConvertDecodeToSrgb(const std::vector<uint8_t>& profile, Raster& raster);

}  // namespace tallowin::codec
