// The calls every caller goes through, and the limits they check.
#include "decoder.h"

#include <algorithm>
#include <cstdint>

namespace tallowin::codec {

bool DecodeLimits::Admits(int64_t width, int64_t height) const {
    if (width <= 0 || height <= 0) return false;
    // Never beyond the core's caps: both sides are then at most 10^6, so the product
    // fits easily in 64 bits, and the pixel cap * 4 bytes fits in size_t.
    static_assert(imaging::kMaxImageSide * imaging::kMaxImageSide / imaging::kMaxImageSide == imaging::kMaxImageSide);
    static_assert(static_cast<uint64_t>(imaging::kMaxImagePixels) * 4 <= SIZE_MAX);
    const int64_t side = std::min(maxSide, imaging::kMaxImageSide);
    const int64_t pixels = std::min(maxPixels, imaging::kMaxImagePixels);
    if (width > side || height > side) return false;
    return width * height <= pixels;
}

bool WithinLimits(int64_t width, int64_t height) { return DecodeLimits{}.Admits(width, height); }

DecodeStatus ReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits, ImageInfo& info) {
    info = ImageInfo{};
    return format.ReadHeader(path, limits, info);
}

DecodeStatus DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                          const DecodeLimits& limits, Raster& out, std::string& warning) {
    out = Raster{};
    warning.clear();
    const DecodeStatus status = format.Decode(path, request, limits, out, warning);
    if (status != DecodeStatus::Ok && status != DecodeStatus::Partial) out = Raster{};
    return status;
}

}  // namespace tallowin::codec
