#include "dib_image_bmp.h"

#include "bmp_rows.h"
#include "dib_header.h"
#include "dib_layout.h"
#include "le_bytes.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace errors = tallowin::imaging::bmp_errors;
using tallowin::imaging::BitFieldMasks;

namespace {

using tallowin::plumbing::kBmpFileHeaderSize;
using tallowin::plumbing::kBmpSignature;
using tallowin::plumbing::kDibCoreHeaderSize;
using tallowin::plumbing::Le32;
constexpr uint32_t kInfoHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr uint32_t kBiAlphaBitFields = 6;
constexpr size_t kFileHeaderSize = sizeof(BITMAPFILEHEADER);
static_assert(kFileHeaderSize == kBmpFileHeaderSize);

bool ReadExactly(FILE* file, void* buffer, size_t size)
{
    return std::fread(buffer, 1, size, file) == size;
}

bool Skip(FILE* file, uint64_t bytes)
{
    // Reading forward also works on streams that can't seek.
    uint8_t scratch[256];
    while (bytes > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(bytes, sizeof(scratch)));
        if (std::fread(scratch, 1, chunk, file) != chunk) return false;
        bytes -= chunk;
    }
    return true;
}

// What the file said, before the header is normalised to the in-memory form.
struct FileHeaderFacts {
    uint32_t headerSize = 0;
    bool core = false;  // 12-byte header, 3-byte palette entries
    bool masksInHeader = false;
    BitFieldMasks masks;
};

// Reads the info header at the file's position into `header` as a 40-byte
// Windows header, leaving the file right after the header the file declared.
bool ReadInfoHeader(FILE* file, BITMAPINFOHEADER& header, FileHeaderFacts& facts)
{
    uint8_t raw[tallowin::plumbing::kDibHeaderBytesRead] = {};
    if (!ReadExactly(file, raw, 4)) return false;
    const uint32_t size = Le32(raw);
    if (size != kDibCoreHeaderSize && size < tallowin::plumbing::kDibShortestInfoHeader) return false;
    const size_t kept = tallowin::plumbing::DibHeaderBytesNeeded(size);
    if (!ReadExactly(file, raw + 4, kept - 4) || !Skip(file, size - kept)) return false;
    tallowin::plumbing::DibInfoHeader info;
    if (tallowin::plumbing::ReadDibInfoHeader(raw, kept, info) != tallowin::plumbing::DibHeaderRead::Ok) return false;

    facts.headerSize = info.headerSize;
    facts.core = info.core;
    facts.masksInHeader = info.masksInHeader;
    if (info.masksInHeader) facts.masks = {info.masks[0], info.masks[1], info.masks[2]};
    header = BITMAPINFOHEADER{};
    header.biSize = kInfoHeaderSize;
    header.biWidth = info.width;
    header.biHeight = info.height;
    header.biPlanes = info.planes;
    header.biBitCount = info.bitCount;
    header.biCompression = info.compression;
    header.biSizeImage = info.sizeImage;
    header.biXPelsPerMeter = info.xPelsPerMeter;
    header.biYPelsPerMeter = info.yPelsPerMeter;
    header.biClrUsed = info.clrUsed;
    header.biClrImportant = info.clrImportant;
    return true;
}

bool SupportedFileDepth(uint16_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Palette entries an indexed file holds ahead of its rows: the declared count (all
// of them when it declares none or too many), for a core header no more than fit
// before the rows.
uint32_t FilePaletteCount(const BITMAPINFOHEADER& info, const FileHeaderFacts& facts, uint32_t offBits)
{
    const uint32_t fullCount = 1u << info.biBitCount;
    uint32_t count = info.biClrUsed == 0 || info.biClrUsed > fullCount ? fullCount : info.biClrUsed;
    if (facts.core && offBits >= kFileHeaderSize + kDibCoreHeaderSize) {
        count = std::min(count, (offBits - static_cast<uint32_t>(kFileHeaderSize) - kDibCoreHeaderSize) / 3);
    }
    return count;
}

uint32_t PaletteEntrySize(const FileHeaderFacts& facts)
{
    return facts.core ? 3 : 4;
}

// Bytes of the bit-field masks that follow a Windows 3 info header.
size_t MaskBytesAfterHeader(uint32_t compression, uint16_t bits, const FileHeaderFacts& facts)
{
    if (facts.masksInHeader || (bits != 16 && bits != 32)) return 0;
    if (compression == BI_BITFIELDS) return 12;
    return compression == kBiAlphaBitFields ? 16 : 0;
}

// Size in bytes of the file behind a stream, when the stream can tell: from the
// file system for a regular file, else by seeking to the end and back.
std::optional<uint64_t> StreamSize(FILE* file)
{
    const int descriptor = fileno(file);
    struct stat status;
    if (descriptor >= 0 && fstat(descriptor, &status) == 0) {
        if (S_ISREG(status.st_mode)) return static_cast<uint64_t>(status.st_size);
        return std::nullopt;  // a pipe, a terminal, a device: its length is unknown
    }
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return std::nullopt;
    const long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0 || end < 0) return std::nullopt;
    return static_cast<uint64_t>(end);
}

// Whether the stream, standing right after the info header, ends before the last
// pixel of uncompressed rows that start at `offBits` (or, when that is 0, after
// `betweenHeaderAndRows` more bytes). The last row's padding may be missing. A
// stream that can't tell its length or position is never found short.
bool RowsCutShort(FILE* file, uint32_t offBits, uint64_t betweenHeaderAndRows, const BITMAPINFOHEADER& info)
{
    const std::optional<uint64_t> size = StreamSize(file);
    const long here = std::ftell(file);
    if (!size.has_value() || here < 0) return false;
    const uint64_t rowsStart = offBits != 0 ? offBits : static_cast<uint64_t>(here) + betweenHeaderAndRows;
    const uint64_t stride = tallowin::imaging::RowStrideOf(info.biWidth, info.biBitCount);
    const uint64_t lastRowPixels = (static_cast<uint64_t>(info.biWidth) * info.biBitCount + 7) / 8;
    const uint64_t needed = stride * static_cast<uint64_t>(info.biHeight - 1) + lastRowPixels;
    return *size < rowsStart || *size - rowsStart < needed;
}

}  // namespace

bool CDibImageBMP::ReadBmp(FILE* file)
{
    auto fail = [this](const char* text) {
        SetLastError(text);
        return false;
    };
    if (file == nullptr) return fail(errors::kNotABmp);

    uint8_t fileHeader[kFileHeaderSize];
    if (!ReadExactly(file, fileHeader, kFileHeaderSize)) return fail(errors::kNotABmp);
    tallowin::plumbing::BmpFileHeader file14;
    tallowin::plumbing::ReadBmpFileHeader(fileHeader, sizeof fileHeader, file14);
    uint32_t offBits = file14.offBits;
    if (file14.signature != kBmpSignature) {
        // A bare device-independent bitmap: info header, palette and rows from offset 0.
        offBits = 0;
        if (std::fseek(file, 0, SEEK_SET) != 0) return fail(errors::kBadInfo);
    }

    FileHeaderFacts facts;
    BITMAPINFOHEADER fileInfo;
    if (!ReadInfoHeader(file, fileInfo, facts)) return fail(errors::kBadInfo);
    const uint32_t compression = fileInfo.biCompression;
    const uint16_t fileBits = fileInfo.biBitCount;

    if (fileInfo.biHeight < 0) return fail(errors::kTopDown);
    if (fileInfo.biWidth <= 0 || fileInfo.biHeight == 0) return fail(errors::kBadDimensions);
    if (!SupportedFileDepth(fileBits)) return fail(errors::kBadBitCount);
    tallowin::imaging::DibLayout layout;
    if (tallowin::imaging::ComputeDibLayout(fileInfo.biWidth, fileInfo.biHeight, fileBits, kInfoHeaderSize, layout) !=
        tallowin::imaging::LayoutStatus::Ok) {
        return fail(errors::kTooLarge);
    }

    const bool bitFields = compression == BI_BITFIELDS || compression == kBiAlphaBitFields;
    if (fileBits <= 8 && compression != BI_RGB && compression != BI_RLE8 && compression != BI_RLE4) {
        return fail(errors::kIndexedCompression);
    }
    if (fileBits == 24 && compression != BI_RGB) return fail(errors::kUnknownCompression);
    if (fileBits > 8 && compression != BI_RGB && !bitFields) return fail(errors::kUnknownCompression);

    // Rows stored as they are must all be there: a cut file is refused before its
    // block is allocated. Run-length data has no length to check against and keeps
    // what it decodes.
    const size_t maskBytes = MaskBytesAfterHeader(compression, fileBits, facts);
    const uint64_t betweenHeaderAndRows =
        fileBits <= 8 ? uint64_t{FilePaletteCount(fileInfo, facts, offBits)} * PaletteEntrySize(facts)
                      : maskBytes + 4ull * fileInfo.biClrUsed;
    if ((compression == BI_RGB || bitFields) && RowsCutShort(file, offBits, betweenHeaderAndRows, fileInfo)) {
        return fail(errors::kTruncated);
    }

    header = fileInfo;
    if (Allocate(fileInfo.biWidth, fileInfo.biHeight, fileBits) == nullptr) return fail(errors::kNoMemory);

    // Bit-field masks of a Windows 3 header follow it, ahead of any palette.
    BitFieldMasks masks = tallowin::imaging::DefaultBitFieldMasks(fileBits);
    if (bitFields && (fileBits == 16 || fileBits == 32)) {
        if (facts.masksInHeader) {
            masks = facts.masks;
        } else {
            uint8_t raw[16] = {};
            if (ReadExactly(file, raw, maskBytes)) masks = {Le32(raw), Le32(raw + 4), Le32(raw + 8)};
        }
    }

    if (fileBits <= 8) {
        // Only the entries the file declares are read, as they stand; the rest stay
        // black, and the rows of a file without a file header follow the declared
        // entries.
        const uint32_t count = FilePaletteCount(fileInfo, facts, offBits);
        const uint32_t entrySize = PaletteEntrySize(facts);
        RGBQUAD* palette = PaletteBlock();
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t entry[4] = {};
            if (!ReadExactly(file, entry, entrySize)) break;
            palette[i] = RGBQUAD{entry[0], entry[1], entry[2], facts.core ? uint8_t{0} : entry[3]};
        }
    } else if (offBits == 0 && !Skip(file, 4ull * fileInfo.biClrUsed)) {
        return true;  // the file ends inside the palette: no rows, like a short file
    }

    if (offBits != 0 && std::fseek(file, static_cast<long>(offBits), SEEK_SET) != 0) {
        return true;  // rows beyond the end of the file: nothing could be read, like a short file
    }

    const tallowin::imaging::RowSpan span{settings.pixels, settings.rowStride, static_cast<uint32_t>(header.biHeight)};
    if (fileBits <= 8) {
        if (compression == BI_RGB) {
            std::fread(settings.pixels, 1, header.biSizeImage, file);  // a short file keeps what was read
        } else if (compression == BI_RLE8) {
            tallowin::imaging::FileByteSource source(file);
            tallowin::imaging::DecodeRle8(source, span);
        } else {
            tallowin::imaging::FileByteSource source(file);
            tallowin::imaging::DecodeRle4(source, span);
        }
        return true;
    }
    if (fileBits == 24) {
        std::fread(settings.pixels, 1, header.biSizeImage, file);
        return true;
    }
    const uint64_t sourceStride = tallowin::imaging::RowStrideOf(header.biWidth, fileBits);
    std::vector<uint8_t> sourceRow(static_cast<size_t>(sourceStride));
    for (int32_t y = 0; y < header.biHeight; ++y) {
        if (!ReadExactly(file, sourceRow.data(), sourceRow.size())) break;
        tallowin::imaging::ConvertBitFieldRow(sourceRow.data(), fileBits, static_cast<uint32_t>(header.biWidth), masks,
                                              Row(y));
    }
    return true;
}

bool CDibImageBMP::WriteBmp(FILE* file)
{
    if (file == nullptr || pixelBlock == nullptr) {
        SetLastError(errors::kNoImage);
        return false;
    }
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = kBmpSignature;
    fileHeader.bfSize = TotalSize() + static_cast<uint32_t>(kFileHeaderSize);
    fileHeader.bfOffBits = header.biSize + PaletteSize() + static_cast<uint32_t>(kFileHeaderSize);
    if (std::fwrite(&fileHeader, 1, kFileHeaderSize, file) != kFileHeaderSize ||
        std::fwrite(pixelBlock, 1, TotalSize(), file) != TotalSize() || std::fflush(file) != 0) {
        SetLastError(errors::kWriteFailed);
        return false;
    }
    return true;
}
