#pragma once
// The decoder helper process: sets itself up (memory limit, system-call filter) and
// then answers the pool's requests on its socket until the pool closes it.

#include "container_metadata.h"
#include "decoder.h"

#include <string>
#include <vector>

namespace tallowin::sandbox {

// How a helper reads a file's photo information.
using InformationReader = metadata::MetadataRead (*)(metadata::detail::ContainerKind, const std::string&);

// The decoders the helper calls; a test build wraps them.
struct DecoderEntry {
    codec::DecodeStatus (*readHeader)(const codec::Decoder&, const std::string&, const codec::DecodeLimits&,
                                      codec::ImageInfo&) = nullptr;
    codec::DecodeStatus (*decodePixels)(const codec::Decoder&, const std::string&, const codec::DecodeRequest&,
                                        const codec::DecodeLimits&, codec::Raster&, std::string&) = nullptr;
    // The adapters requests may name.
    const std::vector<const codec::Decoder*>* decoders = nullptr;
    // Reads the photo information of the files those adapters take.
    InformationReader readInformation = nullptr;
    // Loads what drawing metafiles needs before the filter (Qt, the fonts) and names the
    // folders the helper may read from then on; null in a helper that serves no
    // metafiles, which refuses --mode=fonts.
    bool (*prepareFonts)(char* program, std::vector<std::string>& folders) = nullptr;
};

// The library's own calls of `decoders`, with `readInformation`. Each helper program
// names its adapters in its own main file: a program links the libraries of those
// adapters and no others.
DecoderEntry EntryFor(const std::vector<const codec::Decoder*>& decoders, InformationReader readInformation);

// Every decoder of the codec service, with the metafile drawing set up in fonts mode
// (metafile_setup.cpp, which links Qt).
DecoderEntry LibraryDecoders();

// The helper's main: arguments --mode=strict|fonts and --memory-mib=N.
int RunDecoderHelper(int argc, char** argv, const DecoderEntry& entry);

}  // namespace tallowin::sandbox
