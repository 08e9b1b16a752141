#pragma once
// The metafile renderers (libwmf, libemf2svg), reached through their adapters in
// metafile_adapters.cpp.

#include "decoder.h"

#include <string>

namespace tallowin::codec {

DecodeStatus WmfReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus WmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus EmfReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus EmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);

}  // namespace tallowin::codec
