#pragma once
// The codec service's way into the decoders: through a decoder helper process when
// one is installed beside the program (see decoder_pool.h), otherwise in this process.
// Same contract as ReadHeader / DecodePixels, plus DecodeStatus::Stopped when the
// helper crashed, overran its limits or answered nonsense.

#include "decoder.h"

#include <string>

namespace tallowin::codec {

DecodeStatus IsolatedReadHeader(ImageFormat format, const std::string& path, ImageInfo& info);
DecodeStatus IsolatedDecodePixels(ImageFormat format, const std::string& path, const DecodeRequest& request,
                                  Raster& out, std::string& warning);

}  // namespace tallowin::codec
