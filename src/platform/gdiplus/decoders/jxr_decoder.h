#pragma once
// The JPEG XR adapter's parts, for its registration and its tests.

#include "decoder.h"

#include <string>

namespace tallowin::codec {

bool LooksLikeJxr(const uint8_t* head, size_t size);
DecodeStatus JxrReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus JxrDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);

}  // namespace tallowin::codec
