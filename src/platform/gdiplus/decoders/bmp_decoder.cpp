// BMP and DIB files: a 14-byte file header ("BM") before the info header, or a bare
// DIB that starts with its info header.
#include "bmp_dib.h"
#include "decoder.h"
#include "decoder_support.h"

#include <vector>

namespace tallowin::codec {

namespace {

constexpr size_t kFileHeaderSize = 14;
// Enough for the file header, the largest info header and its bit-field masks.
constexpr size_t kHeaderBytes = kFileHeaderSize + detail::kV5HeaderSize + 16;

struct BmpLayout {
    const uint8_t* dib = nullptr;
    size_t dibSize = 0;
    size_t pixelOffset = 0;  // from the start of the info header
    detail::DibHeader header;
};

// Finds the info header and the rows. `fileSize` is the whole file's size; `bytes` may
// hold only its first part (a header read).
DecodeStatus Locate(const std::vector<uint8_t>& bytes, uint64_t fileSize, const DecodeLimits& limits,
                    BmpLayout& layout) {
    const bool hasFileHeader = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    const size_t start = hasFileHeader ? kFileHeaderSize : 0;
    if (bytes.size() <= start) return DecodeStatus::NotAnImage;
    layout.dib = bytes.data() + start;
    layout.dibSize = bytes.size() - start;
    const DecodeStatus parsed = detail::ParseDibHeader(layout.dib, layout.dibSize, false, limits, layout.header);
    if (parsed != DecodeStatus::Ok) return parsed;
    layout.pixelOffset = layout.header.pixelOffset;
    if (hasFileHeader) {
        // The file header's row offset wins when it is plausible: writers may pad
        // between the palette and the rows. An offset inside the headers is ignored.
        const uint32_t offBits = detail::Le32(bytes.data() + 10);
        if (offBits >= kFileHeaderSize + layout.header.headerSize && offBits < fileSize)
            layout.pixelOffset = offBits - kFileHeaderSize;
    }
    // Rows the file cannot hold are refused here already, so that nobody sizes a
    // picture (or an output for it) by a header that a few bytes can fake.
    const uint64_t rowsAt = start + static_cast<uint64_t>(layout.pixelOffset);
    if (rowsAt > fileSize || !detail::DibDataCanFill(layout.header, fileSize - rowsAt)) return DecodeStatus::NotAnImage;
    return DecodeStatus::Ok;
}

DecodeStatus ReadBmpHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) {
    uint64_t fileSize = 0;
    if (detail::FileSize(path, fileSize) != DecodeStatus::Ok) return DecodeStatus::FileError;
    std::vector<uint8_t> bytes;
    const DecodeStatus read = detail::ReadFilePrefix(path, kHeaderBytes, bytes);
    if (read != DecodeStatus::Ok) return read;
    BmpLayout layout;
    const DecodeStatus located = Locate(bytes, fileSize, limits, layout);
    if (located != DecodeStatus::Ok) return located;
    const detail::DibHeader& h = layout.header;
    info.width = h.width;
    info.height = h.height;
    info.dpiX = h.dpiX;
    info.dpiY = h.dpiY;
    info.hasAlpha = (h.bitCount == 16 || h.bitCount == 32) && h.masks[3] != 0;
    return DecodeStatus::Ok;
}

DecodeStatus DecodeBmp(const std::string& path, const DecodeLimits& limits, Raster& out, std::string& warning) {
    std::vector<uint8_t> bytes;
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    BmpLayout layout;
    const DecodeStatus located = Locate(bytes, bytes.size(), limits, layout);
    if (located != DecodeStatus::Ok) return located;
    return detail::DecodeDib(layout.dib, layout.dibSize, layout.header, layout.pixelOffset, limits, out, warning);
}

// A DIB without the 14-byte file header starts with its info header: a known header
// size, one plane and a usual bit count.
bool LooksLikeBareDib(const uint8_t* head, size_t size) {
    if (size < 16) return false;
    const uint32_t headerSize = detail::Le32(head);
    if (headerSize == detail::kCoreHeaderSize) return detail::Le16(head + 8) == 1;
    switch (headerSize) {
        case detail::kInfoHeaderSize: case 52: case 56: case detail::kOs2HeaderSize: case detail::kV4HeaderSize:
        case detail::kV5HeaderSize:
            break;
        default:
            return false;
    }
    const uint16_t planes = detail::Le16(head + 12);
    const uint16_t bits = detail::Le16(head + 14);
    const bool usualBits = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return planes == 1 && usualBits;
}

class BmpAdapter final : public Decoder {
public:
    const char* Name() const override { return "bmp"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        if (size >= 18 && head[0] == 'B' && head[1] == 'M') return SniffMatch::Signature;
        return LooksLikeBareDib(head, size) ? SniffMatch::Heuristic : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        return ReadBmpHeader(path, limits, info);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest&, const DecodeLimits& limits, Raster& out,
                        std::string& warning) const override {
        return DecodeBmp(path, limits, out, warning);
    }
};

}  // namespace

const Decoder& BmpDecoder() {
    static const BmpAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
