#pragma once
// The JPEG XR adapter's parts, for its registration and its tests.

#include "decoder.h"

#include <string>

namespace tallowin::codec {

bool LooksLikeJxr(const uint8_t* head, size_t size);
DecodeStatus JxrReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus JxrDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);

// libjxr normally decodes in a child process of its own. A process that is itself
// isolated (a decoder helper, whose filter forbids starting processes) turns that off
// once at start-up, before any decode, and libjxr then decodes in place.
void DecodeJxrInThisProcess();

}  // namespace tallowin::codec
