// Windows icons: the largest, then deepest entry of the directory; BMP entries get
// their AND mask as alpha (unless they carry their own), PNG entries go to libpng.
#include "bmp_dib.h"
#include "decoder.h"
#include "decoder_support.h"
#include "png_memory.h"

#include <algorithm>
#include <vector>

namespace tallowin::codec {

namespace {

constexpr size_t kDirectoryHeaderSize = 6;
constexpr size_t kDirectoryEntrySize = 16;
constexpr uint8_t kPngSignature[4] = {0x89, 'P', 'N', 'G'};

struct IconEntry {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool png = false;
    int64_t width = 0;
    int64_t height = 0;
    int depth = 0;
};

bool IsPng(const uint8_t* data, size_t size) {
    return size >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 4, data);
}

// What an entry really holds: the directory's sizes and depths are often 0 or wrong,
// so they are taken from the embedded image's own header.
DecodeStatus Probe(IconEntry& entry, const DecodeLimits& limits) {
    if (entry.png) {
        ImageInfo info;
        const DecodeStatus status = detail::PngReadHeaderFromMemory(entry.data, entry.size, limits, info);
        if (status != DecodeStatus::Ok) return status;
        entry.width = info.width;
        entry.height = info.height;
        entry.depth = 32;
        return DecodeStatus::Ok;
    }
    detail::DibHeader header;
    const DecodeStatus status = detail::ParseDibHeader(entry.data, entry.size, true, limits, header);
    if (status != DecodeStatus::Ok) return status;
    entry.width = header.width;
    entry.height = header.height;
    entry.depth = header.bitCount;
    return DecodeStatus::Ok;
}

// Picks the entry with the most pixels, then the deepest; entries whose image cannot
// be read are passed over. With none left the icon is over the limit when an entry was,
// else not an image.
DecodeStatus ChooseEntry(const std::vector<uint8_t>& bytes, const DecodeLimits& limits, IconEntry& chosen) {
    if (bytes.size() < kDirectoryHeaderSize) return DecodeStatus::NotAnImage;
    if (detail::Le16(bytes.data()) != 0 || detail::Le16(bytes.data() + 2) != 1) return DecodeStatus::NotAnImage;
    const uint16_t count = detail::Le16(bytes.data() + 4);
    bool found = false;
    bool overLimit = false;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = kDirectoryHeaderSize + static_cast<size_t>(i) * kDirectoryEntrySize;
        if (!detail::InBounds(bytes.size(), at, kDirectoryEntrySize)) break;
        const uint32_t offset = detail::Le32(bytes.data() + at + 12);
        if (offset >= bytes.size()) continue;
        IconEntry entry;
        entry.data = bytes.data() + offset;
        // The recorded length is often wrong (too short or past the end); each embedded
        // image knows its own extent, so it may read on to the end of the file.
        entry.size = bytes.size() - offset;
        entry.png = IsPng(entry.data, entry.size);
        const DecodeStatus probed = Probe(entry, limits);
        if (probed == DecodeStatus::OverLimit) overLimit = true;
        if (probed != DecodeStatus::Ok) continue;
        const int64_t area = entry.width * entry.height;
        const int64_t bestArea = chosen.width * chosen.height;
        if (!found || area > bestArea || (area == bestArea && entry.depth > chosen.depth)) {
            chosen = entry;
            found = true;
        }
    }
    if (found) return DecodeStatus::Ok;
    return overLimit ? DecodeStatus::OverLimit : DecodeStatus::NotAnImage;
}

// The AND mask follows the colour rows: one bit per pixel, rows bottom-up, padded to
// 32 bits; a set bit is a transparent pixel. Used only when the colour rows carry no
// alpha of their own; a mask the file does not hold leaves the icon opaque, and the
// answer is false.
bool ApplyAndMask(const IconEntry& entry, const detail::DibHeader& header, Raster& out) {
    const uint64_t colourBytes = detail::DibStride(static_cast<uint64_t>(header.width), header.bitCount) *
                                 static_cast<uint64_t>(header.height);
    const uint64_t maskStride = detail::DibStride(static_cast<uint64_t>(header.width), 1);
    const uint64_t maskOffset = header.pixelOffset + colourBytes;
    if (!detail::InBounds(entry.size, maskOffset, maskStride * static_cast<uint64_t>(header.height))) return false;
    for (int32_t row = 0; row < header.height; ++row) {
        const uint8_t* mask = entry.data + maskOffset + maskStride * static_cast<uint64_t>(row);
        uint8_t* dst = out.Row(header.height - 1 - row);
        for (int32_t x = 0; x < header.width; ++x)
            if ((mask[x / 8] >> (7 - x % 8)) & 1) dst[static_cast<size_t>(x) * 4 + 3] = 0;
    }
    return true;
}

DecodeStatus DecodeBmpEntry(const IconEntry& entry, const DecodeLimits& limits, Raster& out, std::string& warning) {
    detail::DibHeader header;
    const DecodeStatus parsed = detail::ParseDibHeader(entry.data, entry.size, true, limits, header);
    if (parsed != DecodeStatus::Ok) return parsed;
    // An icon's 32-bit rows carry alpha in their fourth byte.
    if (header.bitCount == 32 && header.compression == detail::kBiRgb) header.masks[3] = 0xFF000000;
    const DecodeStatus decoded =
        detail::DecodeDib(entry.data, entry.size, header, header.pixelOffset, limits, out, warning);
    if (decoded != DecodeStatus::Ok && decoded != DecodeStatus::Partial) return decoded;
    if (!detail::AnyTransparent(out) && !ApplyAndMask(entry, header, out)) {
        // The colour rows are there but the mask that says which pixels show is cut off.
        if (warning.empty()) warning = "the file is damaged: the icon's transparency mask is missing";
        return DecodeStatus::Partial;
    }
    return decoded;
}

DecodeStatus ReadIcon(const std::string& path, const DecodeLimits& limits, std::vector<uint8_t>& bytes,
                      IconEntry& entry) {
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    return ChooseEntry(bytes, limits, entry);
}

class IcoAdapter final : public Decoder {
public:
    const char* Name() const override { return "ico"; }
    // Reserved 0, type 1 (icon) and at least one entry: no signature, only plausible fields.
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        if (size < kDirectoryHeaderSize) return SniffMatch::No;
        const bool icon = detail::Le16(head) == 0 && detail::Le16(head + 2) == 1 && detail::Le16(head + 4) > 0;
        return icon ? SniffMatch::Heuristic : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        std::vector<uint8_t> bytes;
        IconEntry entry;
        const DecodeStatus status = ReadIcon(path, limits, bytes, entry);
        if (status != DecodeStatus::Ok) return status;
        info.width = static_cast<int32_t>(entry.width);
        info.height = static_cast<int32_t>(entry.height);
        info.hasAlpha = true;
        return DecodeStatus::Ok;
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest&, const DecodeLimits& limits, Raster& out,
                        std::string& warning) const override {
        std::vector<uint8_t> bytes;
        IconEntry entry;
        const DecodeStatus status = ReadIcon(path, limits, bytes, entry);
        if (status != DecodeStatus::Ok) return status;
        if (entry.png) return detail::PngDecodeFromMemory(entry.data, entry.size, limits, out, warning);
        return DecodeBmpEntry(entry, limits, out, warning);
    }
};

}  // namespace

const Decoder& IcoDecoder() {
    static const IcoAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
