// TIFF through libtiff's RGBA interface: strips and tiles, every compression libtiff
// was built with, palette, 1- to 16-bit, CMYK and YCbCr; the first page only.
#include "decoder.h"
#include "decoder_support.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <memory>

namespace tallowin::codec {

namespace {

constexpr uint16_t kAlphaUnassociated = EXTRASAMPLE_UNASSALPHA;

// What libtiff said during one read. Its messages go to handlers of this file only
// (never the global ones, which would print to stderr and be shared between threads).
// libtiff's RGBA reader goes on past strips and tiles it cannot decode, so the count of
// messages while the pixels are read is what tells a damaged picture from a whole one.
struct TiffMessages {
    bool readingPixels = false;
    int errors = 0;
    int pixelWarnings = 0;  // warnings while the pixels are read: premature ends, bad lengths
};

int CountError(TIFF*, void* data, const char*, const char*, va_list) {
    ++static_cast<TiffMessages*>(data)->errors;
    return 1;
}

int CountWarning(TIFF*, void* data, const char*, const char*, va_list) {
    auto* messages = static_cast<TiffMessages*>(data);
    if (messages->readingPixels) ++messages->pixelWarnings;
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* opts) const { TIFFOpenOptionsFree(opts); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// No single allocation inside libtiff (strip and tile buffers, tag arrays) may exceed
// the working-memory limit; our own raster is checked against the pixel limits.
DecodeStatus Open(const std::string& path, const DecodeLimits& limits, TiffMessages& messages, TiffHandle& tif) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (!opts) return DecodeStatus::OutOfMemory;
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(),
                                        static_cast<tmsize_t>(std::min<uint64_t>(limits.maxWorkingBytes, INT64_MAX)));
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), CountError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), CountWarning, &messages);
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) return DecodeStatus::FileError;
    std::fclose(probe);
    tif.reset(TIFFOpenExt(path.c_str(), "r", opts.get()));
    return tif ? DecodeStatus::Ok : DecodeStatus::NotAnImage;
}

void ReadResolution(TIFF* tif, ImageInfo& info) {
    float resX = 0, resY = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resX) != 1 || !(resX > 0)) return;
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resY) != 1 || !(resY > 0)) resY = resX;
    double perInch = 0;
    if (unit == RESUNIT_INCH) perInch = 1.0;
    else if (unit == RESUNIT_CENTIMETER) perInch = detail::kCentimetresPerInch;
    if (perInch == 0) return;
    info.dpiX = static_cast<float>(resX * perInch);
    info.dpiY = static_cast<float>(resY * perInch);
}

bool HasAlpha(TIFF* tif, bool* unassociated) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) != 1 || count == 0 || kinds == nullptr) return false;
    if (unassociated != nullptr) *unassociated = kinds[0] == kAlphaUnassociated;
    return kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == kAlphaUnassociated;
}

// Whether the file could hold the first page's data, for the codings whose expansion
// has a proven bound (see decoder_support.h); the file's size bounds its coded data.
// Fax codings spend at least one bit on each row. The other codings libtiff may have
// (JPEG, LZMA, ZSTD, WebP, JBIG, LERC, ...) have no such bound and are not checked.
bool DataCanFill(TIFF* tif, uint64_t fileBytes, uint32_t width, uint32_t height) {
    uint16_t compression = COMPRESSION_NONE, bitsPerSample = 1, samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const uint64_t bitsPerPixel = static_cast<uint64_t>(bitsPerSample) * samples;
    const uint64_t needed = (static_cast<uint64_t>(width) * bitsPerPixel + 7) / 8 * height;
    switch (compression) {
        case COMPRESSION_NONE: return detail::DataCanFill(fileBytes, 1, needed);
        case COMPRESSION_PACKBITS: return detail::DataCanFill(fileBytes, detail::kPackBitsMaxExpansion, needed);
        case COMPRESSION_LZW: return detail::DataCanFill(fileBytes, detail::kLzwMaxExpansion, needed);
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE: return detail::DataCanFill(fileBytes, detail::kDeflateMaxExpansion, needed);
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4: return detail::DataCanFill(fileBytes * 8, 1, height);
        default: return true;
    }
}

DecodeStatus ReadInfo(TIFF* tif, const DecodeLimits& limits, uint64_t fileBytes, ImageInfo& info) {
    uint32_t width = 0, height = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) != 1)
        return DecodeStatus::NotAnImage;
    if (width == 0 || height == 0) return DecodeStatus::NotAnImage;
    if (!limits.Admits(width, height)) return DecodeStatus::OverLimit;
    // A coding this libtiff cannot decode would give a blank picture.
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (TIFFIsCODECConfigured(compression) != 1) return DecodeStatus::NotAnImage;
    if (!DataCanFill(tif, fileBytes, width, height)) return DecodeStatus::NotAnImage;
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);
    info.hasAlpha = HasAlpha(tif, nullptr);
    ReadResolution(tif, info);
    return DecodeStatus::Ok;
}

// libtiff hands back packed ABGR words with premultiplied alpha; we keep BGRA bytes
// with straight alpha.
void ToStraightBgra(Raster& out, bool unpremultiply) {
    uint8_t* p = out.pixels.data();
    uint8_t* const end = p + out.pixels.size();
    for (; p < end; p += 4) {
        const uint32_t abgr = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        uint32_t r = TIFFGetR(abgr), g = TIFFGetG(abgr), b = TIFFGetB(abgr);
        const uint32_t a = TIFFGetA(abgr);
        if (unpremultiply && a != 0 && a != 255) {
            r = (r * 255 + a / 2) / a;
            g = (g * 255 + a / 2) / a;
            b = (b * 255 + a / 2) / a;
            if (r > 255) r = 255;
            if (g > 255) g = 255;
            if (b > 255) b = 255;
        }
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        p[3] = static_cast<uint8_t>(a);
    }
}

DecodeStatus OpenAndReadInfo(const std::string& path, const DecodeLimits& limits, TiffMessages& messages,
                             TiffHandle& tif, ImageInfo& info) {
    uint64_t fileBytes = 0;
    if (detail::FileSize(path, fileBytes) != DecodeStatus::Ok) return DecodeStatus::FileError;
    const DecodeStatus opened = Open(path, limits, messages, tif);
    if (opened != DecodeStatus::Ok) return opened;
    return ReadInfo(tif.get(), limits, fileBytes, info);
}

DecodeStatus DecodeTiff(const std::string& path, const DecodeLimits& limits, Raster& out, std::string& warning) {
    TiffMessages messages;
    TiffHandle tif;
    ImageInfo info;
    const DecodeStatus read = OpenAndReadInfo(path, limits, messages, tif, info);
    if (read != DecodeStatus::Ok) return read;

    char message[1024] = {};
    if (TIFFRGBAImageOK(tif.get(), message) != 1) return DecodeStatus::NotAnImage;
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, tif.get(), 0, message) != 1) return DecodeStatus::NotAnImage;
    DecodeStatus status = detail::AllocateRaster(out, info.width, info.height, limits);
    if (status == DecodeStatus::Ok) {
        image.req_orientation = ORIENTATION_TOPLEFT;
        auto* words = reinterpret_cast<uint32_t*>(out.pixels.data());
        messages.errors = 0;
        messages.readingPixels = true;
        if (TIFFRGBAImageGet(&image, words, image.width, image.height) != 1) status = DecodeStatus::NotAnImage;
        messages.readingPixels = false;
    }
    TIFFRGBAImageEnd(&image);
    if (status != DecodeStatus::Ok) return status;
    // libtiff premultiplies every alpha it returns, whatever the file held.
    ToStraightBgra(out, image.alpha != 0);
    if (messages.errors > 0 || messages.pixelWarnings > 0) {
        warning = "the file is damaged: parts of the picture could not be read";
        return DecodeStatus::Partial;
    }
    return DecodeStatus::Ok;
}

class TiffAdapter final : public Decoder {
public:
    const char* Name() const override { return "tiff"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        if (size < 4) return SniffMatch::No;
        for (const char* magic : {"II*\0", "MM\0*", "II+\0", "MM\0+"})
            if (std::memcmp(head, magic, 4) == 0) return SniffMatch::Signature;
        return SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        TiffMessages messages;
        TiffHandle tif;
        return OpenAndReadInfo(path, limits, messages, tif, info);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest&, const DecodeLimits& limits, Raster& out,
                        std::string& warning) const override {
        return DecodeTiff(path, limits, out, warning);
    }
};

}  // namespace

const Decoder& TiffDecoder() {
    static const TiffAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
