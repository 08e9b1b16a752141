#pragma once
// The codec service's way into the decoders: through a decoder helper process when
// one is installed beside the program (see decoder_pool.h), otherwise in this process.
// Same contract as ReadHeader / DecodePixels, plus DecodeStatus::Stopped when the
// helper crashed, overran its limits or answered nonsense.

#include "decoder.h"

#include <string>

namespace tallowin::codec {

DecodeStatus IsolatedReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                ImageInfo& info);
DecodeStatus IsolatedDecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                  const DecodeLimits& limits, Raster& out, std::string& warning);

}  // namespace tallowin::codec
