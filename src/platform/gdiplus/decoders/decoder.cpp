#include "decoder.h"

#include "decoder_support.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace tallowin::codec {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kWmfPlaceableKey[4] = {0xD7, 0xCD, 0xC6, 0x9A};
constexpr uint32_t kEmfHeaderRecord = 1;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF" read as a little-endian word
constexpr size_t kEmfSignatureOffset = 40;

bool StartsWith(const uint8_t* head, size_t size, const void* magic, size_t length) {
    return size >= length && std::memcmp(head, magic, length) == 0;
}

// A DIB without the 14-byte file header starts with its info header: a known header
// size, one plane and a usual bit count.
bool LooksLikeBareDib(const uint8_t* head, size_t size) {
    if (size < 16) return false;
    const uint32_t headerSize = detail::Le32(head);
    if (headerSize == 12) {
        return detail::Le16(head + 8) == 1;
    }
    switch (headerSize) {
        case 40: case 52: case 56: case 64: case 108: case 124: break;
        default: return false;
    }
    const uint16_t planes = detail::Le16(head + 12);
    const uint16_t bits = detail::Le16(head + 14);
    const bool usualBits = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return planes == 1 && usualBits;
}

// A standard metafile header: type 1 (memory) or 2 (disk), a 9-word header and
// version 1.0 or 3.0.
bool LooksLikeStandardWmf(const uint8_t* head, size_t size) {
    if (size < 18) return false;
    const uint16_t type = detail::Le16(head);
    const uint16_t headerWords = detail::Le16(head + 2);
    const uint16_t version = detail::Le16(head + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

bool LooksLikeIco(const uint8_t* head, size_t size) {
    if (size < 6) return false;
    return detail::Le16(head) == 0 && detail::Le16(head + 2) == 1 && detail::Le16(head + 4) > 0;
}

}  // namespace

ImageFormat SniffFormat(const uint8_t* head, size_t size) {
    if (head == nullptr) return ImageFormat::Unknown;
    if (StartsWith(head, size, kPngSignature, sizeof kPngSignature)) return ImageFormat::Png;
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return ImageFormat::Jpeg;
    if (StartsWith(head, size, "GIF87a", 6) || StartsWith(head, size, "GIF89a", 6)) return ImageFormat::Gif;
    if (StartsWith(head, size, "II*\0", 4) || StartsWith(head, size, "MM\0*", 4) ||
        StartsWith(head, size, "II+\0", 4) || StartsWith(head, size, "MM\0+", 4))
        return ImageFormat::Tiff;
    if (LooksLikeJxr(head, size)) return ImageFormat::Jxr;
    if (StartsWith(head, size, "BM", 2) && size >= 18) return ImageFormat::Bmp;
    if (StartsWith(head, size, kWmfPlaceableKey, sizeof kWmfPlaceableKey)) return ImageFormat::Wmf;
    if (size >= kEmfSignatureOffset + 4 && detail::Le32(head) == kEmfHeaderRecord &&
        detail::Le32(head + kEmfSignatureOffset) == kEmfSignature)
        return ImageFormat::Emf;
    if (LooksLikeIco(head, size)) return ImageFormat::Ico;
    if (LooksLikeStandardWmf(head, size)) return ImageFormat::Wmf;
    if (LooksLikeBareDib(head, size)) return ImageFormat::Bmp;
    return ImageFormat::Unknown;
}

DecodeStatus SniffFile(const std::string& path, ImageFormat& format) {
    format = ImageFormat::Unknown;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return DecodeStatus::FileError;
    std::array<uint8_t, kSniffBytes> head{};
    const size_t got = std::fread(head.data(), 1, head.size(), file);
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) return DecodeStatus::FileError;
    format = SniffFormat(head.data(), got);
    return format == ImageFormat::Unknown ? DecodeStatus::NotAnImage : DecodeStatus::Ok;
}

bool WithinLimits(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return false;
    if (width > kMaxSide || height > kMaxSide) return false;
    // Both sides are at most 10^6, so the product fits easily in 64 bits, and
    // kMaxPixels * 4 bytes fits in size_t on every supported target.
    static_assert(kMaxSide * kMaxSide / kMaxSide == kMaxSide);
    static_assert(static_cast<uint64_t>(kMaxPixels) * 4 <= SIZE_MAX);
    return width * height <= kMaxPixels;
}

DecodeStatus ReadHeader(ImageFormat format, const std::string& path, ImageInfo& info) {
    info = ImageInfo{};
    switch (format) {
        case ImageFormat::Bmp: return BmpReadHeader(path, info);
        case ImageFormat::Png: return PngReadHeader(path, info);
        case ImageFormat::Jpeg: return JpegReadHeader(path, info);
        case ImageFormat::Tiff: return TiffReadHeader(path, info);
        case ImageFormat::Gif: return GifReadHeader(path, info);
        case ImageFormat::Ico: return IcoReadHeader(path, info);
        case ImageFormat::Wmf: return WmfReadHeader(path, info);
        case ImageFormat::Emf: return EmfReadHeader(path, info);
        case ImageFormat::Jxr: return JxrReadHeader(path, info);
        case ImageFormat::Unknown: break;
    }
    return DecodeStatus::NotAnImage;
}

DecodeStatus DecodePixels(ImageFormat format, const std::string& path, const DecodeRequest& request,
                          Raster& out, std::string& warning) {
    out = Raster{};
    warning.clear();
    DecodeStatus status = DecodeStatus::NotAnImage;
    switch (format) {
        case ImageFormat::Bmp: status = BmpDecode(path, request, out, warning); break;
        case ImageFormat::Png: status = PngDecode(path, request, out, warning); break;
        case ImageFormat::Jpeg: status = JpegDecode(path, request, out, warning); break;
        case ImageFormat::Tiff: status = TiffDecode(path, request, out, warning); break;
        case ImageFormat::Gif: status = GifDecode(path, request, out, warning); break;
        case ImageFormat::Ico: status = IcoDecode(path, request, out, warning); break;
        case ImageFormat::Wmf: status = WmfDecode(path, request, out, warning); break;
        case ImageFormat::Emf: status = EmfDecode(path, request, out, warning); break;
        case ImageFormat::Jxr: status = JxrDecode(path, request, out, warning); break;
        case ImageFormat::Unknown: break;
    }
    // A failed decode never hands back a half-filled raster.
    if (status != DecodeStatus::Ok && status != DecodeStatus::Partial) out = Raster{};
    return status;
}

}  // namespace tallowin::codec
