// TIFF through libtiff's RGBA interface: strips and tiles, every compression libtiff
// was built with, palette, 1- to 16-bit, CMYK and YCbCr; the first page only.
#include "decoder.h"
#include "decoder_support.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <memory>

namespace tallowin::codec {

namespace {

// No single allocation inside libtiff (strip and tile buffers, tag arrays) may exceed
// this; our own raster is checked against the pixel limits instead.
constexpr tmsize_t kMaxLibtiffAllocation = 256 * 1024 * 1024;
constexpr uint16_t kAlphaUnassociated = EXTRASAMPLE_UNASSALPHA;

// libtiff's messages go to handlers of this file only (never the global ones, which
// would print to stderr and be shared between threads); the outcome is told by the
// calls' results.
int IgnoreMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* opts) const { TIFFOpenOptionsFree(opts); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

DecodeStatus Open(const std::string& path, TiffHandle& tif) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (!opts) return DecodeStatus::OutOfMemory;
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), kMaxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), IgnoreMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), IgnoreMessage, nullptr);
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

DecodeStatus ReadInfo(TIFF* tif, ImageInfo& info) {
    uint32_t width = 0, height = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) != 1)
        return DecodeStatus::NotAnImage;
    if (width == 0 || height == 0) return DecodeStatus::NotAnImage;
    if (!WithinLimits(width, height)) return DecodeStatus::OverLimit;
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

}  // namespace

DecodeStatus TiffReadHeader(const std::string& path, ImageInfo& info) {
    TiffHandle tif;
    const DecodeStatus opened = Open(path, tif);
    if (opened != DecodeStatus::Ok) return opened;
    return ReadInfo(tif.get(), info);
}

DecodeStatus TiffDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string&) {
    TiffHandle tif;
    const DecodeStatus opened = Open(path, tif);
    if (opened != DecodeStatus::Ok) return opened;
    ImageInfo info;
    const DecodeStatus read = ReadInfo(tif.get(), info);
    if (read != DecodeStatus::Ok) return read;

    char message[1024] = {};
    if (TIFFRGBAImageOK(tif.get(), message) != 1) return DecodeStatus::NotAnImage;
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, tif.get(), 0, message) != 1) return DecodeStatus::NotAnImage;
    DecodeStatus status = detail::AllocateRaster(out, info.width, info.height);
    if (status == DecodeStatus::Ok) {
        image.req_orientation = ORIENTATION_TOPLEFT;
        auto* words = reinterpret_cast<uint32_t*>(out.pixels.data());
        if (TIFFRGBAImageGet(&image, words, image.width, image.height) != 1) status = DecodeStatus::NotAnImage;
    }
    TIFFRGBAImageEnd(&image);
    if (status != DecodeStatus::Ok) return status;
    // libtiff premultiplies every alpha it returns, whatever the file held.
    ToStraightBgra(out, image.alpha != 0);
    return DecodeStatus::Ok;
}

}  // namespace tallowin::codec
