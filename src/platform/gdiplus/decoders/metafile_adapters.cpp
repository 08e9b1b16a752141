// Adapters of the two metafile formats. The renderers check sizes against the default
// limits themselves, so the limits handed in here are not passed on.
#include "decoder.h"
#include "decoder_support.h"
#include "metafile_decoders.h"

#include <cstring>

namespace tallowin::codec {

namespace {

constexpr uint8_t kWmfPlaceableKey[4] = {0xD7, 0xCD, 0xC6, 0x9A};
constexpr uint32_t kEmfHeaderRecord = 1;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF" read as a little-endian word
constexpr size_t kEmfSignatureOffset = 40;
constexpr uint16_t kWmfMemory = 1;
constexpr uint16_t kWmfDisk = 2;
constexpr uint16_t kWmfHeaderWords = 9;
constexpr uint16_t kWmfVersion1 = 0x0100;
constexpr uint16_t kWmfVersion3 = 0x0300;

class WmfAdapter final : public Decoder {
public:
    const char* Name() const override { return "wmf"; }
    // A placeable header's key, or else a standard header: type memory or disk, a
    // 9-word header and version 1.0 or 3.0.
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        if (size >= sizeof kWmfPlaceableKey && std::memcmp(head, kWmfPlaceableKey, sizeof kWmfPlaceableKey) == 0)
            return SniffMatch::Signature;
        if (size < 18) return SniffMatch::No;
        const uint16_t type = detail::Le16(head);
        const uint16_t version = detail::Le16(head + 4);
        const bool standard = (type == kWmfMemory || type == kWmfDisk) && detail::Le16(head + 2) == kWmfHeaderWords &&
                              (version == kWmfVersion1 || version == kWmfVersion3);
        return standard ? SniffMatch::Heuristic : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits&, ImageInfo& info) const override {
        return WmfReadHeader(path, info);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits&, Raster& out,
                        std::string& warning) const override {
        return WmfDecode(path, request, out, warning);
    }
};

class EmfAdapter final : public Decoder {
public:
    const char* Name() const override { return "emf"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        const bool emf = size >= kEmfSignatureOffset + 4 && detail::Le32(head) == kEmfHeaderRecord &&
                         detail::Le32(head + kEmfSignatureOffset) == kEmfSignature;
        return emf ? SniffMatch::Signature : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits&, ImageInfo& info) const override {
        return EmfReadHeader(path, info);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits&, Raster& out,
                        std::string& warning) const override {
        return EmfDecode(path, request, out, warning);
    }
};

}  // namespace

const Decoder& WmfDecoder() {
    static const WmfAdapter adapter;
    return adapter;
}

const Decoder& EmfDecoder() {
    static const EmfAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
