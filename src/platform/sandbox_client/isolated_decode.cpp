#include "isolated_decode.h"

#include "decoder_pool.h"

namespace tallowin::codec {

DecodeStatus IsolatedReadHeader(ImageFormat format, const std::string& path, ImageInfo& info) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) return pool->ReadHeader(format, path, info);
    return ReadHeader(format, path, info);
}

DecodeStatus IsolatedDecodePixels(ImageFormat format, const std::string& path, const DecodeRequest& request,
                                  Raster& out, std::string& warning) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) {
        return pool->DecodePixels(format, path, request, out, warning);
    }
    return DecodePixels(format, path, request, out, warning);
}

}  // namespace tallowin::codec
