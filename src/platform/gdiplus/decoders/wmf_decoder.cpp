// WMF through libwmf: its SVG device writes the picture as SVG text into memory, which
// Qt SVG paints at the picture's size at 96 dpi.
//
// libwmf sizes a picture by the extent of what is drawn, which crops the margins the
// author left. A placeable header states the intended frame, so that frame gives the
// size, and the SVG device is told to map the metafile's window (the logical area the
// records draw into) onto it. Files without a placeable header are sized by libwmf's
// measure of their drawing, one file unit to a pixel.
#include "decoder.h"

#include "decoder_support.h"
#include "metafile_svg.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>

// libwmf's headers define U8, U16 and friends as macros: they come after every C++ and
// Qt header.
extern "C" {
#include <libwmf/api.h>
#include <libwmf/svg.h>
}

namespace tallowin::codec {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kRecordHeaderSize = 6;  // size in 16-bit words, then the function
constexpr uint16_t kRecordEof = 0x0000;
constexpr uint16_t kRecordSetWindowExt = 0x020C;
// libwmf's device coordinates are points: logical units are scaled by 72 / units-per-inch.
constexpr double kPointsPerInch = 72.0;

// libwmf keeps global font state; one metafile at a time.
std::mutex& LibwmfMutex() {
    static std::mutex mutex;
    return mutex;
}

struct PlaceableFrame {
    int32_t width = 0;   // logical units
    int32_t height = 0;
    uint16_t unitsPerInch = 0;
};

std::optional<PlaceableFrame> ReadPlaceableFrame(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kPlaceableHeaderSize || detail::Le32(bytes.data()) != kPlaceableKey) return std::nullopt;
    const auto field = [&](size_t at) { return static_cast<int16_t>(detail::Le16(&bytes[at])); };
    PlaceableFrame frame;
    frame.width = std::abs(field(10) - field(6));
    frame.height = std::abs(field(12) - field(8));
    frame.unitsPerInch = detail::Le16(&bytes[14]);
    return frame;
}

// The extent of the first SetWindowExt record: the logical size the records draw into.
std::optional<PlaceableFrame> FirstWindowExtent(const std::vector<uint8_t>& bytes, size_t headerAt) {
    if (!detail::InBounds(bytes.size(), headerAt, 18)) return std::nullopt;
    size_t at = headerAt + size_t{detail::Le16(&bytes[headerAt + 2])} * 2;
    while (detail::InBounds(bytes.size(), at, kRecordHeaderSize)) {
        const uint64_t recordBytes = uint64_t{detail::Le32(&bytes[at])} * 2;
        const uint16_t function = detail::Le16(&bytes[at + 4]);
        if (function == kRecordEof || recordBytes < kRecordHeaderSize || !detail::InBounds(bytes.size(), at, recordBytes)) {
            return std::nullopt;
        }
        if (function == kRecordSetWindowExt && recordBytes >= kRecordHeaderSize + 4) {
            // Parameters are stored last to first: height, then width.
            PlaceableFrame extent;
            extent.height = std::abs(static_cast<int16_t>(detail::Le16(&bytes[at + 6])));
            extent.width = std::abs(static_cast<int16_t>(detail::Le16(&bytes[at + 8])));
            return extent;
        }
        at += recordBytes;
    }
    return std::nullopt;
}

// Pixels at 96 dpi for a length in logical units.
int64_t FramePixels(int32_t units, uint16_t unitsPerInch) {
    return std::llround(static_cast<double>(units) * detail::kMetafileDpi / unitsPerInch);
}

// One libwmf player over a file held in memory, destroyed on every way out.
class WmfSession {
public:
    explicit WmfSession(std::vector<uint8_t>& bytes) {
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            // libwmf leaves a half-built API to destroy on failure.
            if (api_ != nullptr) wmf_api_destroy(api_);
            api_ = nullptr;
            return;
        }
        ok_ = wmf_mem_open(api_, bytes.data(), static_cast<long>(bytes.size())) == wmf_E_None &&
              wmf_scan(api_, 0, &drawn_) == wmf_E_None;
    }
    ~WmfSession() {
        if (api_ != nullptr) wmf_api_destroy(api_);
    }
    WmfSession(const WmfSession&) = delete;
    WmfSession& operator=(const WmfSession&) = delete;

    bool Scanned() const { return ok_; }

    // Without a placeable header the file's units are taken as pixels at 96 dpi, as a
    // screen plays such a file; libwmf measures the extent of its drawing in them.
    bool FileUnitsSize(int64_t& width, int64_t& height) {
        float w = 0;
        float h = 0;
        if (wmf_size(api_, &w, &h) != wmf_E_None || !std::isfinite(w) || !std::isfinite(h)) return false;
        // Beyond any limit, but small enough to convert without overflow.
        constexpr float kLargest = 1e12f;
        width = std::llround(std::min(w, kLargest));
        height = std::llround(std::min(h, kLargest));
        return true;
    }

    // Plays the metafile through the SVG device; `area` (device units) is mapped onto
    // width x height. Without an area the drawn extent is used.
    bool PlayToSvg(const std::optional<wmfD_Rect>& area, int32_t width, int32_t height, QByteArray& svg) {
        wmf_svg_t* device = WMF_SVG_GetData(api_);
        device->out = wmf_stream_create(api_, nullptr);
        if (device->out == nullptr) return false;
        static char description[] = "Tallowin";
        device->Description = description;
        device->bbox = area.value_or(drawn_);
        device->width = static_cast<unsigned int>(width);
        device->height = static_cast<unsigned int>(height);
        device->flags |= WMF_SVG_INLINE_IMAGES;
        wmfD_Rect played = drawn_;
        const bool played_ok = wmf_play(api_, 0, &played) == wmf_E_None;
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api_, device->out, &buffer, &length);
        device->out = nullptr;
        // The buffer belongs to the API and goes with it; keep a copy.
        if (played_ok && buffer != nullptr) svg = QByteArray(buffer, static_cast<qsizetype>(length));
        return played_ok && !svg.isEmpty();
    }

private:
    wmfAPI* api_ = nullptr;
    wmfD_Rect drawn_{};
    bool ok_ = false;
};

struct WmfPlan {
    int64_t width = 0;                // pixels at 96 dpi
    int64_t height = 0;
    std::optional<wmfD_Rect> area;    // the window in libwmf's device units
};

// Works out the picture's size and, for placeable files, the area of the drawing that
// fills it.
DecodeStatus Plan(const std::vector<uint8_t>& bytes, WmfSession& session, WmfPlan& plan) {
    const std::optional<PlaceableFrame> frame = ReadPlaceableFrame(bytes);
    if (!frame) {
        if (!session.FileUnitsSize(plan.width, plan.height) || plan.width <= 0 || plan.height <= 0) {
            return DecodeStatus::NotAnImage;
        }
        return WithinLimits(plan.width, plan.height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
    }
    if (frame->unitsPerInch == 0 || frame->width == 0 || frame->height == 0) return DecodeStatus::NotAnImage;
    plan.width = FramePixels(frame->width, frame->unitsPerInch);
    plan.height = FramePixels(frame->height, frame->unitsPerInch);
    if (plan.width <= 0 || plan.height <= 0) return DecodeStatus::NotAnImage;
    if (!WithinLimits(plan.width, plan.height)) return DecodeStatus::OverLimit;

    std::optional<PlaceableFrame> window = FirstWindowExtent(bytes, kPlaceableHeaderSize);
    if (!window || window->width == 0 || window->height == 0) window = frame;
    const double scale = kPointsPerInch / frame->unitsPerInch;
    wmfD_Rect area{};
    area.BR.x = static_cast<float>(window->width * scale);
    area.BR.y = static_cast<float>(window->height * scale);
    plan.area = area;
    return DecodeStatus::Ok;
}

DecodeStatus ReadAndPlan(const std::string& path, std::vector<uint8_t>& bytes, std::optional<WmfSession>& session,
                         WmfPlan& plan) {
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    session.emplace(bytes);
    if (!session->Scanned()) return DecodeStatus::NotAnImage;
    return Plan(bytes, *session, plan);
}

}  // namespace

DecodeStatus WmfReadHeader(const std::string& path, ImageInfo& info) {
    std::lock_guard lock(LibwmfMutex());
    std::vector<uint8_t> bytes;
    std::optional<WmfSession> session;
    WmfPlan plan;
    const DecodeStatus status = ReadAndPlan(path, bytes, session, plan);
    if (status != DecodeStatus::Ok) return status;
    info = ImageInfo{};
    info.width = static_cast<int32_t>(plan.width);
    info.height = static_cast<int32_t>(plan.height);
    info.dpiX = info.dpiY = static_cast<float>(detail::kMetafileDpi);
    info.hasAlpha = true;
    return DecodeStatus::Ok;
}

DecodeStatus WmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string&) {
    QByteArray svg;
    WmfPlan plan;
    {
        std::lock_guard lock(LibwmfMutex());
        std::vector<uint8_t> bytes;
        std::optional<WmfSession> session;
        const DecodeStatus status = ReadAndPlan(path, bytes, session, plan);
        if (status != DecodeStatus::Ok) return status;
        if (!session->PlayToSvg(plan.area, static_cast<int32_t>(plan.width), static_cast<int32_t>(plan.height), svg)) {
            return DecodeStatus::NotAnImage;
        }
    }
    int32_t width = 0;
    int32_t height = 0;
    detail::RenderSize(static_cast<int32_t>(plan.width), static_cast<int32_t>(plan.height), request, width, height);
    return detail::RenderSvgToRaster(svg, width, height, out);
}

}  // namespace tallowin::codec
