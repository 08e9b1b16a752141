#include "srgb_decode.h"

#include "srgb_conversion.h"

namespace tallowin::codec {

std::string ConvertDecodeToSrgb(const std::vector<uint8_t>& profile, Raster& raster)
{
    if (profile.empty() || raster.pixels.empty()) return {};
    const colour::ColourResult result = colour::ConvertToSrgb(raster.pixels.data(), raster.width, raster.height,
                                                              static_cast<int64_t>(raster.width) * 4, 4, profile);
    return result.Ok() ? std::string() : result.reason;
}

}  // namespace tallowin::codec
