#include "png_direct.h"

#include "decoder_support.h"
#include "png_unfilter.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace tallowin::codec::detail {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// Ancillary chunks libpng would refuse to hold (its chunk allocation limit): such a file
// is left to libpng, so both readers treat it alike.
constexpr uint32_t kMaxAncillaryLength = 16u * 1024 * 1024;
// The unfilter reads whole 4-byte words, one byte past an RGB row's end.
constexpr size_t kSlack = 4;

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool Is(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool ValidName(const uint8_t* type)
{
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = type[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

bool Critical(const uint8_t* type) { return (type[0] & 0x20) == 0; }

struct Decompressor {
    libdeflate_decompressor* handle = libdeflate_alloc_decompressor();
    ~Decompressor() { libdeflate_free_decompressor(handle); }
};

}  // namespace

bool PngDirect::Open(const std::string& path, const DecodeLimits& limits)
{
    // The signature and IHDR first, so other PNGs are not read whole for nothing: 8-bit
    // (depth 8), RGB (2) or RGBA (6), methods 0, not interlaced.
    std::vector<uint8_t> file;
    if (ReadFilePrefix(path, sizeof kSignature + 25, file) != DecodeStatus::Ok || file.size() < sizeof kSignature + 25 ||
        std::memcmp(file.data(), kSignature, sizeof kSignature) != 0) {
        return false;
    }
    const uint8_t* ihdr = file.data() + 8;
    if (Be32(ihdr) != 13 || !Is(ihdr + 4, "IHDR") ||
        libdeflate_crc32(0, ihdr + 4, 17) != Be32(ihdr + 21)) {
        return false;
    }
    const uint32_t width = Be32(ihdr + 8);
    const uint32_t height = Be32(ihdr + 12);
    const uint8_t depth = ihdr[16], colourType = ihdr[17];
    if (depth != 8 || (colourType != 2 && colourType != 6) || ihdr[18] != 0 || ihdr[19] != 0 || ihdr[20] != 0) {
        return false;
    }
    if (width == 0 || height == 0 || width > kMaxChunkLength || height > kMaxChunkLength ||
        static_cast<int64_t>(width) > limits.maxSide || static_cast<int64_t>(height) > limits.maxSide ||
        !limits.Admits(width, height)) {
        return false;
    }
    width_ = static_cast<int32_t>(width);
    height_ = static_cast<int32_t>(height);
    bytesPerPixel_ = colourType == 6 ? 4 : 3;
    rowBytes_ = static_cast<size_t>(width) * bytesPerPixel_;
    const uint64_t filtered = static_cast<uint64_t>(height) * (rowBytes_ + 1);
    uint64_t fileSize = 0;
    if (FileSize(path, fileSize) != DecodeStatus::Ok || filtered + fileSize > limits.maxWorkingBytes) return false;

    size_t idatBytes = 0;
    if (ReadWholeFile(path, file) != DecodeStatus::Ok || !ReadChunks(file, idatBytes)) return false;
    try {
        rows_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(filtered) + kSlack);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::memset(rows_.get() + filtered, 0, kSlack);
    next_ = 0;
    return Inflate(file.data(), idatBytes);
}

// Walks the chunks after IHDR to IEND, checking each one's CRC, and gathers the image
// data at the front of `file` (each chunk's data moves down over headers already read).
bool PngDirect::ReadChunks(std::vector<uint8_t>& file, size_t& idatBytes)
{
    size_t pos = 8 + 25;
    size_t gathered = 0;
    enum { kBefore, kInside, kAfter } idat = kBefore;
    for (;;) {
        if (file.size() - pos < 12) return false;
        const uint32_t length = Be32(file.data() + pos);
        const uint8_t* type = file.data() + pos + 4;
        if (length > kMaxChunkLength || file.size() - pos - 12 < length || !ValidName(type)) return false;
        if (libdeflate_crc32(0, type, length + 4) != Be32(type + 4 + length)) return false;
        const bool isIdat = Is(type, "IDAT");
        if (isIdat) {
            if (idat == kAfter) return false;
            idat = kInside;
            std::memmove(file.data() + gathered, type + 4, length);
            gathered += length;
        } else {
            if (idat == kInside) idat = kAfter;
            if (Is(type, "IEND")) {
                if (length != 0) return false;
                break;
            }
            // tRNS would add transparency, PLTE and unknown critical chunks are libpng's to judge.
            if (Critical(type) || Is(type, "tRNS") || length > kMaxAncillaryLength) return false;
        }
        pos += 12 + length;
    }
    idatBytes = gathered;
    return idat != kBefore;
}

bool PngDirect::Inflate(const uint8_t* data, size_t size)
{
    Decompressor decompressor;
    if (decompressor.handle == nullptr) return false;
    const size_t expected = static_cast<size_t>(height_) * (rowBytes_ + 1);
    size_t consumed = 0, produced = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(decompressor.handle, data, size, rows_.get(), expected, &consumed, &produced);
    // Exactly the rows, and nothing after the stream: libpng would complain of either.
    return result == LIBDEFLATE_SUCCESS && produced == expected && consumed == size;
}

int PngDirect::ReadRows(uint8_t* first, uint8_t* second, const uint8_t* priorBgra)
{
    const uint8_t* line = rows_.get() + static_cast<size_t>(next_) * (rowBytes_ + 1);
    const uint8_t* prior = next_ == 0 ? nullptr : priorBgra;
    const int rows = std::min(height_ - next_, 2);
    const bool read = rows == 2 ? UnfilterRows(line[0], line + 1, line[rowBytes_ + 1], line + rowBytes_ + 2, prior,
                                               first, second, width_, bytesPerPixel_)
                                : rows == 1 && UnfilterRow(line[0], line + 1, prior, first, width_, bytesPerPixel_);
    if (!read) return 0;
    next_ += rows;
    return rows;
}

bool PngDirect::ReadAll(Raster& out)
{
    for (int32_t y = 0; y < height_;) {
        const int rows = ReadRows(out.Row(y), y + 1 < height_ ? out.Row(y + 1) : nullptr, y > 0 ? out.Row(y - 1) : nullptr);
        if (rows == 0) return false;
        y += rows;
    }
    return true;
}

const uint8_t* PngDirect::NextRow()
{
    const size_t rowSize = static_cast<size_t>(width_) * 4;
    const auto row = [&](int k) { return turn_.data() + static_cast<size_t>(k) * rowSize; };
    if (waiting_ >= 0) {
        last_ = std::exchange(waiting_, -1);
        return row(last_);
    }
    if (turn_.empty()) {
        try {
            turn_.resize(rowSize * 3);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    const int first = (last_ + 1) % 3;
    const int second = (last_ + 2) % 3;
    const int rows = ReadRows(row(first), row(second), last_ >= 0 ? row(last_) : nullptr);
    if (rows == 0) return nullptr;
    if (rows == 2) waiting_ = second;
    last_ = first;
    return row(first);
}

}  // namespace tallowin::codec::detail
