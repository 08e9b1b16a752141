// JPEG XL through libjxl: bare codestreams and the box container, 8-bit BGRA with
// straight alpha, turned upright by the file's orientation (libjxl does the turning),
// the first frame of an animation. A truncated file keeps what libjxl can flush.
#include "decoder.h"
#include "decoder_support.h"
#include "function_adapter.h"
#include "exif_orientation.h"

#include <jxl/decode.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace tallowin::codec {

namespace {

constexpr uint8_t kCodestreamSignature[2] = {0xFF, 0x0A};
constexpr uint8_t kContainerSignature[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr size_t kHeaderChunkBytes = 16 * 1024;  // a header read feeds the file in pieces of this size
constexpr size_t kMaxHeaderBytes = 4 * 1024 * 1024;  // boxes before the codestream beyond this are refused

struct DecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
using DecoderPtr = std::unique_ptr<JxlDecoder, DecoderDeleter>;
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Size as shown: orientations 5 to 8 exchange width and height.
void UprightSize(const JxlBasicInfo& basic, int64_t& width, int64_t& height) {
    const bool swap = detail::SwapsSides(static_cast<int>(basic.orientation));
    width = swap ? basic.ysize : basic.xsize;
    height = swap ? basic.xsize : basic.ysize;
}

DecodeStatus CheckBasicInfo(JxlDecoder* decoder, JxlBasicInfo& basic) {
    if (JxlDecoderGetBasicInfo(decoder, &basic) != JXL_DEC_SUCCESS) return DecodeStatus::NotAnImage;
    int64_t width = 0;
    int64_t height = 0;
    UprightSize(basic, width, height);
    if (width <= 0 || height <= 0) return DecodeStatus::NotAnImage;
    return WithinLimits(width, height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
}

}  // namespace

bool LooksLikeJxl(const uint8_t* head, size_t size) {
    return (size >= sizeof kCodestreamSignature && std::memcmp(head, kCodestreamSignature, sizeof kCodestreamSignature) == 0) ||
           (size >= sizeof kContainerSignature && std::memcmp(head, kContainerSignature, sizeof kContainerSignature) == 0);
}

DecodeStatus JxlReadHeader(const std::string& path, ImageInfo& info) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return DecodeStatus::FileError;
    DecoderPtr decoder(JxlDecoderCreate(nullptr));
    if (!decoder) return DecodeStatus::OutOfMemory;
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS) return DecodeStatus::NotAnImage;
    // Feed the file piece by piece until the basic info is known; whatever libjxl has
    // not consumed is kept in front of the next piece.
    std::vector<uint8_t> buffer;
    for (;;) {
        const size_t kept = buffer.size();
        if (kept + kHeaderChunkBytes > kMaxHeaderBytes) return DecodeStatus::NotAnImage;
        buffer.resize(kept + kHeaderChunkBytes);
        const size_t got = std::fread(buffer.data() + kept, 1, kHeaderChunkBytes, file.get());
        if (std::ferror(file.get()) != 0) return DecodeStatus::FileError;
        buffer.resize(kept + got);
        if (JxlDecoderSetInput(decoder.get(), buffer.data(), buffer.size()) != JXL_DEC_SUCCESS)
            return DecodeStatus::NotAnImage;
        if (got == 0) JxlDecoderCloseInput(decoder.get());
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        const size_t unused = JxlDecoderReleaseInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo basic;
            const DecodeStatus checked = CheckBasicInfo(decoder.get(), basic);
            if (checked != DecodeStatus::Ok) return checked;
            int64_t width = 0;
            int64_t height = 0;
            UprightSize(basic, width, height);
            info.width = static_cast<int32_t>(width);
            info.height = static_cast<int32_t>(height);
            info.hasAlpha = basic.alpha_bits > 0;
            return DecodeStatus::Ok;
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || got == 0) return DecodeStatus::NotAnImage;
        buffer.erase(buffer.begin(), buffer.end() - static_cast<std::ptrdiff_t>(unused));
    }
}

DecodeStatus JxlDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string& warning) {
    std::vector<uint8_t> bytes;
    DecodeStatus status = detail::ReadWholeFile(path, bytes);
    if (status != DecodeStatus::Ok) return status;
    DecoderPtr decoder(JxlDecoderCreate(nullptr));
    if (!decoder) return DecodeStatus::OutOfMemory;
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return DecodeStatus::NotAnImage;
    JxlDecoderCloseInput(decoder.get());
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    bool bufferSet = false;
    for (;;) {
        const JxlDecoderStatus event = JxlDecoderProcessInput(decoder.get());
        if (event == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo basic;
            status = CheckBasicInfo(decoder.get(), basic);
            if (status != DecodeStatus::Ok) return status;
            int64_t width = 0;
            int64_t height = 0;
            UprightSize(basic, width, height);
            status = detail::AllocateRaster(out, width, height);
            if (status != DecodeStatus::Ok) return status;
        } else if (event == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t needed = 0;
            if (out.pixels.empty() || JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed != out.pixels.size() ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, out.pixels.data(), out.pixels.size()) !=
                    JXL_DEC_SUCCESS)
                return DecodeStatus::NotAnImage;
            bufferSet = true;
        } else if (event == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame is all we show
        } else if (event == JXL_DEC_NEED_MORE_INPUT) {
            // The file ended early: keep whatever libjxl can render from what arrived.
            if (!bufferSet || JxlDecoderFlushImage(decoder.get()) != JXL_DEC_SUCCESS) return DecodeStatus::NotAnImage;
            warning = "the file is damaged: the picture is incomplete";
            status = DecodeStatus::Partial;
            break;
        } else if (event == JXL_DEC_SUCCESS) {
            if (!bufferSet) return DecodeStatus::NotAnImage;
            break;
        } else {
            return DecodeStatus::NotAnImage;
        }
    }
    // libjxl writes R, G, B, A; the raster holds B, G, R, A.
    for (size_t i = 0; i < out.pixels.size(); i += 4) std::swap(out.pixels[i], out.pixels[i + 2]);
    return status;
}

const Decoder& JxlDecoder() {
    static const FunctionAdapter<LooksLikeJxl, JxlReadHeader, JxlDecode> adapter("jxl");
    return adapter;
}

}  // namespace tallowin::codec
