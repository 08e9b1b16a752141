#pragma once
// An adapter made of three free functions (a signature test, a header read and a
// decode), for libraries whose own API already does the limit checks: the adapter
// adds the caller's limits on top of the header the library reports.

#include "decoder.h"

namespace tallowin::codec {

using SignatureTest = bool (*)(const uint8_t* head, size_t size);
using HeaderReader = DecodeStatus (*)(const std::string& path, ImageInfo& info);
using PixelDecoder = DecodeStatus (*)(const std::string& path, const DecodeRequest& request, Raster& out,
                                      std::string& warning);

template <SignatureTest kLooksLike, HeaderReader kReadHeader, PixelDecoder kDecode>
class FunctionAdapter final : public Decoder {
public:
    explicit FunctionAdapter(const char* name) : name_(name) {}

    const char* Name() const override { return name_; }

    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        return kLooksLike(head, size) ? SniffMatch::Signature : SniffMatch::No;
    }

    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        const DecodeStatus status = kReadHeader(path, info);
        if (status == DecodeStatus::Ok && !limits.Admits(info.width, info.height)) return DecodeStatus::OverLimit;
        return status;
    }

    DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                        Raster& out, std::string& warning) const override {
        const DecodeStatus status = kDecode(path, request, out, warning);
        // The library checked its own caps; tighter limits of the caller still hold.
        if ((status == DecodeStatus::Ok || status == DecodeStatus::Partial) && !limits.Admits(out.width, out.height))
            return DecodeStatus::OverLimit;
        return status;
    }

private:
    const char* name_;
};

}  // namespace tallowin::codec
