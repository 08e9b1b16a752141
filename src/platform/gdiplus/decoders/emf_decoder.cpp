// EMF through libemf2svg: the metafile becomes SVG text, which Qt SVG paints at the
// size the header's frame gives at 96 dpi. libemf2svg fits its drawing inside the
// size it is given, keeping the device bounds' proportions, so its canvas can come
// out a pixel short; painting that canvas over the whole raster absorbs the
// difference.
#include "decoder.h"

#include "decoder_support.h"
#include "metafile_svg.h"

#include <QByteArray>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <emf2svg.h>

namespace tallowin::codec {

namespace {

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF" read as a little-endian word
constexpr size_t kEmfSignatureAt = 40;
constexpr size_t kMinHeaderSize = 88;           // the header record up to the version fields
constexpr size_t kFrameAt = 24;                 // left, top, right, bottom in 0.01 mm
constexpr double kHundredthsOfMmPerInch = 2540.0;

// libemf2svg keeps global state while it converts; one metafile at a time.
std::mutex& Emf2SvgMutex() {
    static std::mutex mutex;
    return mutex;
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// Size in pixels at 96 dpi from the header's frame.
DecodeStatus FrameSize(const std::vector<uint8_t>& bytes, int64_t& width, int64_t& height) {
    if (bytes.size() < kMinHeaderSize || detail::Le32(bytes.data()) != kEmrHeader ||
        detail::Le32(&bytes[kEmfSignatureAt]) != kEmfSignature) {
        return DecodeStatus::NotAnImage;
    }
    const uint32_t headerSize = detail::Le32(&bytes[4]);
    if (headerSize < kMinHeaderSize || headerSize > bytes.size()) return DecodeStatus::NotAnImage;

    const int64_t frameWidth = int64_t{detail::LeS32(&bytes[kFrameAt + 8])} - detail::LeS32(&bytes[kFrameAt]);
    const int64_t frameHeight = int64_t{detail::LeS32(&bytes[kFrameAt + 12])} - detail::LeS32(&bytes[kFrameAt + 4]);
    width = std::llround(static_cast<double>(frameWidth) * detail::kMetafileDpi / kHundredthsOfMmPerInch);
    height = std::llround(static_cast<double>(frameHeight) * detail::kMetafileDpi / kHundredthsOfMmPerInch);
    if (width <= 0 || height <= 0) return DecodeStatus::NotAnImage;
    return WithinLimits(width, height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
}

DecodeStatus ReadAndSize(const std::string& path, std::vector<uint8_t>& bytes, int64_t& width, int64_t& height) {
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    return FrameSize(bytes, width, height);
}

}  // namespace

DecodeStatus EmfReadHeader(const std::string& path, ImageInfo& info) {
    std::vector<uint8_t> bytes;
    int64_t width = 0;
    int64_t height = 0;
    const DecodeStatus status = ReadAndSize(path, bytes, width, height);
    if (status != DecodeStatus::Ok) return status;
    info = ImageInfo{};
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);
    info.dpiX = info.dpiY = static_cast<float>(detail::kMetafileDpi);
    info.hasAlpha = true;
    return DecodeStatus::Ok;
}

DecodeStatus EmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string&) {
    std::vector<uint8_t> bytes;
    int64_t width = 0;
    int64_t height = 0;
    const DecodeStatus status = ReadAndSize(path, bytes, width, height);
    if (status != DecodeStatus::Ok) return status;

    QByteArray svg;
    {
        std::lock_guard lock(Emf2SvgMutex());
        static char noNamespace[] = "";
        generatorOptions options{};
        options.nameSpace = noNamespace;
        options.verbose = false;
        options.emfplus = true;
        options.svgDelimiter = true;
        options.imgWidth = static_cast<double>(width);
        options.imgHeight = static_cast<double>(height);
        char* rawSvg = nullptr;
        size_t length = 0;
        const int converted =
            emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &rawSvg, &length, &options);
        // The text is allocated even when the conversion fails.
        const std::unique_ptr<char, FreeDeleter> owned(rawSvg);
        if (converted == 0 || rawSvg == nullptr || length == 0) return DecodeStatus::NotAnImage;
        svg = QByteArray(rawSvg, static_cast<qsizetype>(length));
    }
    int32_t rasterWidth = 0;
    int32_t rasterHeight = 0;
    detail::RenderSize(static_cast<int32_t>(width), static_cast<int32_t>(height), request, rasterWidth, rasterHeight);
    return detail::RenderSvgToRaster(svg, rasterWidth, rasterHeight, out);
}

}  // namespace tallowin::codec
