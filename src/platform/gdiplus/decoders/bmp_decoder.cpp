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

DecodeStatus Locate(const std::vector<uint8_t>& bytes, BmpLayout& layout) {
    const bool hasFileHeader = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    const size_t start = hasFileHeader ? kFileHeaderSize : 0;
    if (bytes.size() <= start) return DecodeStatus::NotAnImage;
    layout.dib = bytes.data() + start;
    layout.dibSize = bytes.size() - start;
    const DecodeStatus parsed = detail::ParseDibHeader(layout.dib, layout.dibSize, false, layout.header);
    if (parsed != DecodeStatus::Ok) return parsed;
    layout.pixelOffset = layout.header.pixelOffset;
    if (hasFileHeader) {
        // The file header's row offset wins when it is plausible: writers may pad
        // between the palette and the rows. An offset inside the headers is ignored.
        const uint32_t offBits = detail::Le32(bytes.data() + 10);
        if (offBits >= kFileHeaderSize + layout.header.headerSize && offBits < bytes.size())
            layout.pixelOffset = offBits - kFileHeaderSize;
    }
    return DecodeStatus::Ok;
}

}  // namespace

DecodeStatus BmpReadHeader(const std::string& path, ImageInfo& info) {
    std::vector<uint8_t> bytes;
    const DecodeStatus read = detail::ReadFilePrefix(path, kHeaderBytes, bytes);
    if (read != DecodeStatus::Ok) return read;
    BmpLayout layout;
    const DecodeStatus located = Locate(bytes, layout);
    if (located != DecodeStatus::Ok) return located;
    const detail::DibHeader& h = layout.header;
    info.width = h.width;
    info.height = h.height;
    info.dpiX = h.dpiX;
    info.dpiY = h.dpiY;
    info.hasAlpha = (h.bitCount == 16 || h.bitCount == 32) && h.masks[3] != 0;
    return DecodeStatus::Ok;
}

DecodeStatus BmpDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string& warning) {
    std::vector<uint8_t> bytes;
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    BmpLayout layout;
    const DecodeStatus located = Locate(bytes, layout);
    if (located != DecodeStatus::Ok) return located;
    return detail::DecodeDib(layout.dib, layout.dibSize, layout.header, layout.pixelOffset, out, warning);
}

}  // namespace tallowin::codec
