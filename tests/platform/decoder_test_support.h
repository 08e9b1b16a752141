#pragma once
// Small helpers for the decoder tests: decode a test file, compare rasters.

#include "decoder.h"
#include "decoder_support.h"
#include "test_world.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace tallowin::test {

inline std::string DataFile(const std::string& relative) { return (DataDir() / relative).string(); }

// The adapter of a format by name ("png"); the test stops when there is none.
inline const codec::Decoder& Format(const char* name) {
    const codec::Decoder* decoder = codec::FindDecoder(name);
    if (decoder == nullptr) std::abort();
    return *decoder;
}

inline codec::DecodeStatus ReadHeaderAs(const char* name, const std::string& path, codec::ImageInfo& info) {
    return codec::ReadHeader(Format(name), path, codec::DecodeLimits{}, info);
}

inline codec::DecodeStatus DecodeAs(const char* name, const std::string& path, const codec::DecodeRequest& request,
                                    codec::Raster& out, std::string& warning) {
    return codec::DecodePixels(Format(name), path, request, codec::DecodeLimits{}, out, warning);
}

struct Decoded {
    std::string format;  // the adapter's name; empty when none recognised the file
    codec::DecodeStatus header = codec::DecodeStatus::NotAnImage;
    codec::DecodeStatus pixels = codec::DecodeStatus::NotAnImage;
    codec::ImageInfo info;
    codec::Raster raster;
    std::string warning;
};

// Sniffs, reads the header and decodes, as the codec service does.
inline Decoded DecodeFile(const std::string& path, codec::DecodeRequest request = {},
                          const codec::DecodeLimits& limits = {}) {
    Decoded d;
    const codec::Decoder* format = nullptr;
    if (codec::SniffFile(path, format) != codec::DecodeStatus::Ok) return d;
    d.format = format->Name();
    d.header = codec::ReadHeader(*format, path, limits, d.info);
    if (d.header != codec::DecodeStatus::Ok) return d;
    d.pixels = codec::DecodePixels(*format, path, request, limits, d.raster, d.warning);
    return d;
}

inline bool Decodes(const Decoded& d) {
    return d.header == codec::DecodeStatus::Ok &&
           (d.pixels == codec::DecodeStatus::Ok || d.pixels == codec::DecodeStatus::Partial);
}

// Mean absolute difference of the colour channels of two rasters of one size.
inline double MeanColourDifference(const codec::Raster& a, const codec::Raster& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return 1e9;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 4)
        for (size_t c = 0; c < 3; ++c) sum += static_cast<uint64_t>(std::abs(a.pixels[i + c] - b.pixels[i + c]));
    return static_cast<double>(sum) / (static_cast<double>(a.pixels.size()) / 4 * 3);
}

// BGRA of pixel (x, y).
inline uint32_t PixelAt(const codec::Raster& r, int32_t x, int32_t y) {
    const uint8_t* p = r.Row(y) + static_cast<size_t>(x) * 4;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace tallowin::test
