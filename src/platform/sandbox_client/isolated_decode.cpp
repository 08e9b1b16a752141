#include "isolated_decode.h"

#include "decoder_pool.h"

namespace tallowin::codec {

DecodeStatus IsolatedReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                ImageInfo& info) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) return pool->ReadHeader(format, path, limits, info);
    return ReadHeader(format, path, limits, info);
}

DecodeStatus IsolatedDecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                  const DecodeLimits& limits, Raster& out, std::string& warning) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) {
        return pool->DecodePixels(format, path, request, limits, out, warning);
    }
    return DecodePixels(format, path, request, limits, out, warning);
}

}  // namespace tallowin::codec
