#include "exif_orientation.h"

#include "decoder_support.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace tallowin::codec::detail {

namespace {

constexpr uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t kTiffMagic = 42;
constexpr size_t kIfdEntrySize = 12;

enum : uint16_t {
    kTagOrientation = 0x0112,
    kTagXResolution = 0x011A,
    kTagYResolution = 0x011B,
    kTagResolutionUnit = 0x0128,
};
enum : uint16_t { kTypeShort = 3, kTypeLong = 4, kTypeRational = 5 };
enum : uint16_t { kUnitInch = 2, kUnitCentimetre = 3 };

class TiffView {
public:
    TiffView(const uint8_t* data, size_t size, bool bigEndian) : data_(data), size_(size), big_(bigEndian) {}

    bool U16(size_t at, uint16_t& v) const {
        if (!InBounds(size_, at, 2)) return false;
        v = big_ ? static_cast<uint16_t>((data_[at] << 8) | data_[at + 1]) : Le16(data_ + at);
        return true;
    }
    bool U32(size_t at, uint32_t& v) const {
        if (!InBounds(size_, at, 4)) return false;
        const uint8_t* p = data_ + at;
        v = big_ ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                       (static_cast<uint32_t>(p[2]) << 8) | p[3]
                 : Le32(p);
        return true;
    }
    // A RATIONAL value stored at an offset; 0 when unreadable or divided by zero.
    double Rational(size_t entry) const {
        uint32_t offset = 0, num = 0, den = 0;
        if (!U32(entry + 8, offset) || !U32(offset, num) || !U32(static_cast<size_t>(offset) + 4, den) || den == 0)
            return 0.0;
        return static_cast<double>(num) / den;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool big_;
};

}  // namespace

bool ParseExif(const uint8_t* data, size_t size, ExifFacts& facts) {
    facts = ExifFacts{};
    if (size < sizeof kExifId + 8 || std::memcmp(data, kExifId, sizeof kExifId) != 0) return false;
    const uint8_t* tiff = data + sizeof kExifId;
    const size_t tiffSize = size - sizeof kExifId;
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M') bigEndian = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I')) return false;
    const TiffView view(tiff, tiffSize, bigEndian);
    uint16_t magic = 0;
    uint32_t ifd = 0;
    uint16_t count = 0;
    if (!view.U16(2, magic) || magic != kTiffMagic || !view.U32(4, ifd) || !view.U16(ifd, count)) return false;

    double resX = 0, resY = 0;
    uint16_t unit = kUnitInch;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t entry = static_cast<size_t>(ifd) + 2 + static_cast<size_t>(i) * kIfdEntrySize;
        uint16_t tag = 0, type = 0, value = 0;
        if (!view.U16(entry, tag) || !view.U16(entry + 2, type)) break;
        switch (tag) {
            case kTagOrientation:
                if (type == kTypeShort && view.U16(entry + 8, value) && value >= 1 && value <= 8)
                    facts.orientation = value;
                break;
            case kTagXResolution:
                if (type == kTypeRational) resX = view.Rational(entry);
                break;
            case kTagYResolution:
                if (type == kTypeRational) resY = view.Rational(entry);
                break;
            case kTagResolutionUnit:
                if (type == kTypeShort && view.U16(entry + 8, value)) unit = value;
                break;
            default:
                break;
        }
    }
    const double perInch = unit == kUnitCentimetre ? kCentimetresPerInch : unit == kUnitInch ? 1.0 : 0.0;
    if (perInch > 0 && resX > 0) {
        facts.dpiX = static_cast<float>(resX * perInch);
        facts.dpiY = static_cast<float>((resY > 0 ? resY : resX) * perInch);
    }
    return true;
}

DecodeStatus ApplyOrientation(Raster& raster, int orientation) {
    if (orientation < 2 || orientation > 8) return DecodeStatus::Ok;
    const int32_t w = raster.width;
    const int32_t h = raster.height;
    auto* pixels = reinterpret_cast<uint32_t*>(raster.pixels.data());
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    // Mirrors and the half turn keep the shape: done in place, without a second raster.
    switch (orientation) {
        case 2:
            for (int32_t y = 0; y < h; ++y)
                std::reverse(pixels + static_cast<size_t>(y) * w, pixels + static_cast<size_t>(y + 1) * w);
            return DecodeStatus::Ok;
        case 3:
            std::reverse(pixels, pixels + count);
            return DecodeStatus::Ok;
        case 4:
            for (int32_t y = 0; y < h / 2; ++y)
                std::swap_ranges(pixels + static_cast<size_t>(y) * w, pixels + static_cast<size_t>(y + 1) * w,
                                 pixels + static_cast<size_t>(h - 1 - y) * w);
            return DecodeStatus::Ok;
        default:
            break;
    }
    Raster turned;
    turned.width = SwapsSides(orientation) ? h : w;
    turned.height = SwapsSides(orientation) ? w : h;
    try {
        turned.pixels.resize(raster.pixels.size());
    } catch (const std::bad_alloc&) {
        return DecodeStatus::OutOfMemory;
    }
    const auto* src = reinterpret_cast<const uint32_t*>(raster.pixels.data());
    auto* dst = reinterpret_cast<uint32_t*>(turned.pixels.data());
    const int32_t tw = turned.width;
    const int32_t th = turned.height;
    // Upright pixel (x, y) comes from stored index base + y * rowStep + x * colStep.
    const int64_t W = w;
    const int64_t last = static_cast<int64_t>(h - 1) * W;
    int64_t base = 0, rowStep = W, colStep = 1;
    switch (orientation) {
        case 5: base = 0; rowStep = 1; colStep = W; break;                  // transposed
        case 6: base = last; rowStep = 1; colStep = -W; break;              // needs a quarter turn clockwise
        case 7: base = last + W - 1; rowStep = -1; colStep = -W; break;     // transversed
        case 8: base = W - 1; rowStep = -1; colStep = W; break;             // needs a quarter turn anticlockwise
        default: break;
    }
    // Quarter turns read the source down its columns; going tile by tile keeps both
    // sides of the copy in cache.
    constexpr int32_t kTile = 64;
    for (int32_t ty = 0; ty < th; ty += kTile) {
        const int32_t yEnd = ty + kTile < th ? ty + kTile : th;
        for (int32_t tx = 0; tx < tw; tx += kTile) {
            const int32_t xEnd = tx + kTile < tw ? tx + kTile : tw;
            for (int32_t y = ty; y < yEnd; ++y) {
                uint32_t* out = dst + static_cast<size_t>(y) * tw;
                int64_t at = base + y * rowStep + tx * colStep;
                for (int32_t x = tx; x < xEnd; ++x, at += colStep) out[x] = src[at];
            }
        }
    }
    raster = std::move(turned);
    return DecodeStatus::Ok;
}

}  // namespace tallowin::codec::detail
