#pragma once
// The decoder helper process: sets itself up (memory limit, system-call filter) and
// then answers the pool's requests on its socket until the pool closes it.

#include "decoder.h"

#include <string>

namespace tallowin::sandbox {

// The decoders the helper calls; a test build wraps them.
struct DecoderEntry {
    codec::DecodeStatus (*readHeader)(const codec::Decoder&, const std::string&, const codec::DecodeLimits&,
                                      codec::ImageInfo&) = nullptr;
    codec::DecodeStatus (*decodePixels)(const codec::Decoder&, const std::string&, const codec::DecodeRequest&,
                                        const codec::DecodeLimits&, codec::Raster&, std::string&) = nullptr;
};

// The codec service's own decoders.
DecoderEntry LibraryDecoders();

// The helper's main: arguments --mode=strict|fonts and --memory-mib=N.
int RunDecoderHelper(int argc, char** argv, const DecoderEntry& entry);

}  // namespace tallowin::sandbox
