#pragma once
// The codec service's way into the decoders: through a decoder helper process when
// one is installed beside the program (see decoder_pool.h), otherwise in this process.
// Same contract as ReadHeader / DecodePixels, plus DecodeStatus::Stopped when the
// helper crashed, overran its limits or answered nonsense, and DecodeRequest::toSrgb
// (srgb_decode.h) applied where the decode runs.

#include "decoder.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tallowin::codec {

// A decoded picture: a raster of this process's memory, or pixels held apart from it:
// copied out of a helper's memory into a block of their own, or a helper's pixel file
// mapped into this process copy-on-write (writing to them changes this process's copy
// only). Either way they are this process's to change.
struct DecodedPixels {
    Raster raster;                    // width and height; no pixels when `mapped` holds them
    std::shared_ptr<uint8_t> mapped;  // width * height * 4 bytes of BGRA; freed with the last owner
    std::string colourWarning;        // asked for sRGB: why the file's profile could not apply
    // `mapped` is the pixel window of the helper that decoded them, lent until freed.
    // That helper could still write there, were it subverted: read them only as the
    // resampler does, as numbers that never choose an address, and copy them before
    // any other use. Only for a request made forResamplingOnly.
    bool lent = false;

    uint8_t* Data() { return mapped ? mapped.get() : raster.pixels.data(); }
    size_t Size() const {
        return mapped ? static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height) * 4
                      : raster.pixels.size();
    }
};

DecodeStatus IsolatedReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                ImageInfo& info);
DecodeStatus IsolatedDecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                  const DecodeLimits& limits, DecodedPixels& out, std::string& warning);

}  // namespace tallowin::codec
