#include "dib_header.h"

#include "le_bytes.h"

namespace tallowin::plumbing {

bool ReadBmpFileHeader(const uint8_t* data, size_t size, BmpFileHeader& header) {
    header = BmpFileHeader{};
    if (data == nullptr || size < kBmpFileHeaderSize) return false;
    header.signature = Le16(data);
    header.fileSize = Le32(data + 2);
    header.offBits = Le32(data + 10);
    return true;
}

DibHeaderRead ReadDibInfoHeader(const uint8_t* data, size_t size, DibInfoHeader& h) {
    h = DibInfoHeader{};
    if (data == nullptr || size < 4) return DibHeaderRead::TooShort;
    h.headerSize = Le32(data);
    if (h.headerSize != kDibCoreHeaderSize && h.headerSize < kDibShortestInfoHeader) return DibHeaderRead::UnknownSize;
    if (size < DibHeaderBytesNeeded(h.headerSize)) return DibHeaderRead::TooShort;

    if (h.headerSize == kDibCoreHeaderSize) {
        h.core = true;
        h.width = Le16(data + 4);
        h.height = Le16(data + 6);
        h.planes = Le16(data + 8);
        h.bitCount = Le16(data + 10);
        return DibHeaderRead::Ok;
    }
    // A field is read only when the stored header reaches past its end.
    const auto has = [&](size_t end) { return h.headerSize >= end; };
    h.width = LeS32(data + 4);
    h.height = LeS32(data + 8);
    h.planes = Le16(data + 12);
    h.bitCount = Le16(data + 14);
    if (has(20)) h.compression = Le32(data + 16);
    if (has(24)) h.sizeImage = Le32(data + 20);
    if (has(28)) h.xPelsPerMeter = LeS32(data + 24);
    if (has(32)) h.yPelsPerMeter = LeS32(data + 28);
    if (has(36)) h.clrUsed = Le32(data + 32);
    if (has(40)) h.clrImportant = Le32(data + 36);
    if (has(kDibMaskedHeaderSize)) {
        h.masksInHeader = true;
        for (int i = 0; i < 3; ++i) h.masks[i] = Le32(data + 40 + 4 * i);
    }
    if (has(kDibAlphaMaskHeaderSize)) {
        h.alphaMaskInHeader = true;
        h.masks[3] = Le32(data + 52);
    }
    return DibHeaderRead::Ok;
}

}  // namespace tallowin::plumbing
