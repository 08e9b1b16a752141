// WebP through libwebp: lossy and lossless stills (a truncated still keeps the rows
// that arrived), and the first frame of an animation as its whole canvas. An EXIF
// chunk's orientation turns the picture upright.
#include "decoder.h"
#include "decoder_support.h"
#include "function_adapter.h"
#include "exif_orientation.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace tallowin::codec {

namespace {

constexpr size_t kRiffHeaderBytes = 12;  // "RIFF", size, "WEBP"
constexpr size_t kChunkHeaderBytes = 8;  // fourcc, size
constexpr size_t kFeatureBytes = 64;     // enough for WebPGetFeatures on every layout
constexpr uint8_t kVp8xExifFlag = 0x08;
constexpr size_t kVp8xFlagsOffset = kRiffHeaderBytes + kChunkHeaderBytes;
constexpr uint32_t kMaxExifBytes = 1u << 20;  // larger EXIF chunks are ignored
constexpr uint8_t kLostRowGrey = 128;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// The orientation in the file's EXIF chunk, 1 when there is none. Only chunk headers
// are read on the way, so this stays cheap for a header read.
int ExifOrientation(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return 1;
    uint8_t header[kRiffHeaderBytes + kChunkHeaderBytes + 1];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return 1;
    if (std::memcmp(header + kRiffHeaderBytes, "VP8X", 4) != 0 || (header[kVp8xFlagsOffset] & kVp8xExifFlag) == 0)
        return 1;
    if (std::fseek(file.get(), static_cast<long>(kRiffHeaderBytes), SEEK_SET) != 0) return 1;
    uint8_t chunk[kChunkHeaderBytes];
    while (std::fread(chunk, 1, sizeof chunk, file.get()) == sizeof chunk) {
        const uint32_t length = detail::Le32(chunk + 4);
        if (std::memcmp(chunk, "EXIF", 4) != 0) {
            // Chunks are padded to an even length.
            const uint64_t skip = static_cast<uint64_t>(length) + (length & 1);
            if (skip > static_cast<uint64_t>(INT32_MAX) || std::fseek(file.get(), static_cast<long>(skip), SEEK_CUR) != 0)
                return 1;
            continue;
        }
        if (length > kMaxExifBytes) return 1;
        // ParseExif reads an APP1 body; writers store the TIFF structure with or
        // without the "Exif\0\0" lead.
        std::vector<uint8_t> body(6 + static_cast<size_t>(length));
        std::memcpy(body.data(), "Exif\0\0", 6);
        if (std::fread(body.data() + 6, 1, length, file.get()) != length) return 1;
        const bool led = length >= 6 && std::memcmp(body.data() + 6, "Exif\0\0", 6) == 0;
        detail::ExifFacts facts;
        if (!detail::ParseExif(body.data() + (led ? 6 : 0), body.size() - (led ? 6 : 0), facts)) return 1;
        return facts.orientation;
    }
    return 1;
}

DecodeStatus StatusFromVp8(VP8StatusCode code) {
    switch (code) {
        case VP8_STATUS_OK: return DecodeStatus::Ok;
        case VP8_STATUS_OUT_OF_MEMORY: return DecodeStatus::OutOfMemory;
        default: return DecodeStatus::NotAnImage;
    }
}

DecodeStatus ReadFeatures(const uint8_t* data, size_t size, WebPBitstreamFeatures& features) {
    const DecodeStatus status = StatusFromVp8(WebPGetFeatures(data, size, &features));
    if (status != DecodeStatus::Ok) return status;
    if (features.width <= 0 || features.height <= 0) return DecodeStatus::NotAnImage;
    return WithinLimits(features.width, features.height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
}

// The first frame of an animation, composed on its canvas.
DecodeStatus DecodeFirstFrame(const std::vector<uint8_t>& bytes, Raster& out) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return DecodeStatus::NotAnImage;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    std::unique_ptr<WebPAnimDecoder, decltype(&WebPAnimDecoderDelete)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                              WebPAnimDecoderDelete);
    if (!decoder) return DecodeStatus::NotAnImage;
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return DecodeStatus::NotAnImage;
    const DecodeStatus allocated = detail::AllocateRaster(out, info.canvas_width, info.canvas_height);
    if (allocated != DecodeStatus::Ok) return allocated;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr) return DecodeStatus::NotAnImage;
    std::memcpy(out.pixels.data(), canvas, out.pixels.size());
    return DecodeStatus::Ok;
}

// A still, decoded incrementally so that a truncated file keeps the rows it holds.
DecodeStatus DecodeStill(const std::vector<uint8_t>& bytes, const WebPBitstreamFeatures& features, Raster& out,
                         std::string& warning) {
    DecodeStatus status = detail::AllocateRaster(out, features.width, features.height);
    if (status != DecodeStatus::Ok) return status;
    std::unique_ptr<WebPIDecoder, decltype(&WebPIDelete)> decoder(
        WebPINewRGB(MODE_BGRA, out.pixels.data(), out.pixels.size(), out.width * 4), WebPIDelete);
    if (!decoder) return DecodeStatus::OutOfMemory;
    const VP8StatusCode code = WebPIUpdate(decoder.get(), bytes.data(), bytes.size());
    if (code == VP8_STATUS_OK) return DecodeStatus::Ok;
    if (code != VP8_STATUS_SUSPENDED) return StatusFromVp8(code);
    int rows = 0;
    if (WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr) == nullptr || rows <= 0)
        return DecodeStatus::NotAnImage;
    for (int32_t y = rows; y < out.height; ++y) {
        uint8_t* p = out.Row(y);
        for (int32_t x = 0; x < out.width; ++x, p += 4) {
            p[0] = p[1] = p[2] = kLostRowGrey;
            p[3] = 255;
        }
    }
    warning = "the file is damaged: only " + std::to_string(rows) + " of " + std::to_string(out.height) +
              " rows could be read";
    return DecodeStatus::Partial;
}

}  // namespace

bool LooksLikeWebp(const uint8_t* head, size_t size) {
    return size >= kRiffHeaderBytes && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

DecodeStatus WebpReadHeader(const std::string& path, ImageInfo& info) {
    std::vector<uint8_t> head;
    DecodeStatus status = detail::ReadFilePrefix(path, kFeatureBytes, head);
    if (status != DecodeStatus::Ok) return status;
    WebPBitstreamFeatures features;
    status = ReadFeatures(head.data(), head.size(), features);
    if (status != DecodeStatus::Ok) return status;
    const bool swap = detail::SwapsSides(ExifOrientation(path));
    info.width = swap ? features.height : features.width;
    info.height = swap ? features.width : features.height;
    info.hasAlpha = features.has_alpha != 0;
    return DecodeStatus::Ok;
}

DecodeStatus WebpDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string& warning) {
    std::vector<uint8_t> bytes;
    DecodeStatus status = detail::ReadWholeFile(path, bytes);
    if (status != DecodeStatus::Ok) return status;
    WebPBitstreamFeatures features;
    status = ReadFeatures(bytes.data(), bytes.size(), features);
    if (status != DecodeStatus::Ok) return status;
    status = features.has_animation ? DecodeFirstFrame(bytes, out) : DecodeStill(bytes, features, out, warning);
    if (status != DecodeStatus::Ok && status != DecodeStatus::Partial) return status;
    const DecodeStatus turned = detail::ApplyOrientation(out, ExifOrientation(path));
    return turned == DecodeStatus::Ok ? status : turned;
}

const Decoder& WebpDecoder() {
    static const FunctionAdapter<LooksLikeWebp, WebpReadHeader, WebpDecode> adapter("webp");
    return adapter;
}

}  // namespace tallowin::codec
