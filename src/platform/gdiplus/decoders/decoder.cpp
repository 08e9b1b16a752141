// The adapter list, sniffing, and the calls every caller goes through.
#include "decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace tallowin::codec {

#define TALLOWIN_DECODER(name) const Decoder& name##Decoder();
#include "decoder_list.inc"
#undef TALLOWIN_DECODER

const std::vector<const Decoder*>& AllDecoders() {
    static const std::vector<const Decoder*> decoders = {
#define TALLOWIN_DECODER(name) &name##Decoder(),
#include "decoder_list.inc"
#undef TALLOWIN_DECODER
    };
    return decoders;
}

const Decoder* SniffFormat(const uint8_t* head, size_t size) {
    if (head == nullptr) return nullptr;
    const Decoder* plausible = nullptr;
    for (const Decoder* decoder : AllDecoders()) {
        const SniffMatch match = decoder->Sniff(head, size);
        if (match == SniffMatch::Signature) return decoder;
        if (match == SniffMatch::Heuristic && plausible == nullptr) plausible = decoder;
    }
    return plausible;
}

DecodeStatus SniffFile(const std::string& path, const Decoder*& format) {
    format = nullptr;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return DecodeStatus::FileError;
    std::array<uint8_t, kSniffBytes> head{};
    const size_t got = std::fread(head.data(), 1, head.size(), file);
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) return DecodeStatus::FileError;
    format = SniffFormat(head.data(), got);
    return format == nullptr ? DecodeStatus::NotAnImage : DecodeStatus::Ok;
}

const Decoder* FindDecoder(const std::string& name) {
    for (const Decoder* decoder : AllDecoders())
        if (name == decoder->Name()) return decoder;
    return nullptr;
}

bool DecodeLimits::Admits(int64_t width, int64_t height) const {
    if (width <= 0 || height <= 0) return false;
    // Never beyond the core's caps: both sides are then at most 10^6, so the product
    // fits easily in 64 bits, and the pixel cap * 4 bytes fits in size_t.
    static_assert(imaging::kMaxImageSide * imaging::kMaxImageSide / imaging::kMaxImageSide == imaging::kMaxImageSide);
    static_assert(static_cast<uint64_t>(imaging::kMaxImagePixels) * 4 <= SIZE_MAX);
    const int64_t side = std::min(maxSide, imaging::kMaxImageSide);
    const int64_t pixels = std::min(maxPixels, imaging::kMaxImagePixels);
    if (width > side || height > side) return false;
    return width * height <= pixels;
}

bool WithinLimits(int64_t width, int64_t height) { return DecodeLimits{}.Admits(width, height); }

DecodeStatus ReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits, ImageInfo& info) {
    info = ImageInfo{};
    return format.ReadHeader(path, limits, info);
}

DecodeStatus DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                          const DecodeLimits& limits, Raster& out, std::string& warning) {
    out = Raster{};
    warning.clear();
    const DecodeStatus status = format.Decode(path, request, limits, out, warning);
    if (status != DecodeStatus::Ok && status != DecodeStatus::Partial) out = Raster{};
    return status;
}

}  // namespace tallowin::codec
