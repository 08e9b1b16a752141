#include "srgb_decode.h"

#include "container_metadata.h"
#include "srgb_conversion.h"

#include <cstdio>

namespace tallowin::codec {

std::string ConvertDecodeToSrgb(const std::string& path, Raster& raster)
{
    if (raster.pixels.empty()) return {};
    uint8_t head[16] = {};
    size_t headSize = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        headSize = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
    }
    const metadata::MetadataRead read =
        metadata::detail::ReadSourceMetadataHere(metadata::detail::KindOf(head, headSize), path);
    if (read.metadata.icc.empty()) return {};
    const colour::ColourResult result = colour::ConvertToSrgb(raster.pixels.data(), raster.width, raster.height,
                                                              static_cast<int64_t>(raster.width) * 4, 4,
                                                              read.metadata.icc);
    return result.Ok() ? std::string() : result.reason;
}

}  // namespace tallowin::codec
