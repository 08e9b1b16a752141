// The adapter list and sniffing (the calls every caller goes through are in
// decoder_calls.cpp, so that a program may link them with fewer adapters).
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

}  // namespace tallowin::codec
