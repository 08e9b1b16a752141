// libjxl adapter: JPEG XL from 8-bit sRGB (or the colour profile the caller passes),
// lossy with the quality mapped to a Butteraugli distance, mathematically lossless at
// quality 100. Photo information goes into "Exif" and "xml " boxes of the container.
#include "encoder.h"

#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace tallowin::codec {

// Quality 1..100 as a distance (0 lossless, 1 visually lossless, up to 25): linear
// from 0.1 at quality 100 to 6.4 at quality 30, then a parabola up to 25 at quality 0.
// The same curve newer libjxl releases publish as JxlEncoderDistanceFromQuality.
float JxlDistanceFromQuality(int quality)
{
    const double q = std::clamp(quality, 0, 100);
    if (q >= 100) {
        return 0.0f;
    }
    if (q >= 30) {
        return static_cast<float>(0.1 + (100 - q) * 0.09);
    }
    return static_cast<float>(53.0 / 3000.0 * q * q - 23.0 / 20.0 * q + 25.0);
}

namespace {

constexpr int kLosslessQuality = 100;
constexpr size_t kOutputChunk = 64 * 1024;
// The largest side a level-5 codestream may have; larger pictures would need level 10,
// which many decoders refuse.
constexpr int32_t kMaxSide = 1 << 18;

struct EncoderDeleter {
    void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};
struct RunnerDeleter {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};

// The "Exif" box holds a 4-byte offset to the TIFF header (0: it follows at once),
// then the TIFF structure; the "xml " box holds the XMP packet.
bool AddInformationBoxes(JxlEncoder* encoder, const metadata::PhotoMetadata& information)
{
    if (JxlEncoderUseContainer(encoder, JXL_TRUE) != JXL_ENC_SUCCESS ||
        JxlEncoderUseBoxes(encoder) != JXL_ENC_SUCCESS) {
        return false;
    }
    if (!information.exif.empty()) {
        std::vector<uint8_t> box(4, 0);
        box.insert(box.end(), information.exif.begin(), information.exif.end());
        if (JxlEncoderAddBox(encoder, "Exif", box.data(), box.size(), JXL_FALSE) != JXL_ENC_SUCCESS) {
            return false;
        }
    }
    if (!information.xmp.empty() &&
        JxlEncoderAddBox(encoder, "xml ", reinterpret_cast<const uint8_t*>(information.xmp.data()),
                         information.xmp.size(), JXL_FALSE) != JXL_ENC_SUCCESS) {
        return false;
    }
    JxlEncoderCloseBoxes(encoder);
    return true;
}

}  // namespace

EncodeStatus WriteJxl(const EncodeSource& source, int quality, std::FILE* file)
{
    if (source.width <= 0 || source.height <= 0 || source.width > kMaxSide || source.height > kMaxSide) {
        return EncodeStatus::Unsupported;
    }
    quality = std::clamp(quality, 1, kLosslessQuality);
    const bool lossless = quality == kLosslessQuality;
    const bool alpha = source.bytesPerPixel == 4 && source.hasAlpha;
    const uint32_t channels = alpha ? 4 : 3;

    // libjxl takes tightly packed R, G, B(, A) rows.
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(static_cast<size_t>(source.width) * static_cast<size_t>(source.height) * channels);
    } catch (const std::bad_alloc&) {
        return EncodeStatus::OutOfMemory;
    }
    uint8_t* out = pixels.data();
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* in = source.Row(y);
        for (int32_t x = 0; x < source.width; ++x, in += source.bytesPerPixel, out += channels) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (alpha) {
                out[3] = in[3];
            }
        }
    }

    std::unique_ptr<JxlEncoder, EncoderDeleter> encoder(JxlEncoderCreate(nullptr));
    std::unique_ptr<void, RunnerDeleter> runner(
        JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    if (!encoder || !runner) {
        return EncodeStatus::OutOfMemory;
    }
    if (JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS) {
        return EncodeStatus::OutOfMemory;
    }
    JxlBasicInfo basic;
    JxlEncoderInitBasicInfo(&basic);
    basic.xsize = static_cast<uint32_t>(source.width);
    basic.ysize = static_cast<uint32_t>(source.height);
    basic.bits_per_sample = 8;
    basic.num_color_channels = 3;
    basic.num_extra_channels = alpha ? 1 : 0;
    basic.alpha_bits = alpha ? 8 : 0;
    // Lossless keeps the samples as they are; lossy works in the XYB space.
    basic.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    if (JxlEncoderSetBasicInfo(encoder.get(), &basic) != JXL_ENC_SUCCESS) {
        return EncodeStatus::Unsupported;
    }
    const metadata::PhotoMetadata* information = source.information;
    if (information != nullptr && !information->icc.empty()) {
        if (JxlEncoderSetICCProfile(encoder.get(), information->icc.data(), information->icc.size()) !=
            JXL_ENC_SUCCESS) {
            return EncodeStatus::Unsupported;
        }
    } else {
        JxlColorEncoding colour;
        JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
        if (JxlEncoderSetColorEncoding(encoder.get(), &colour) != JXL_ENC_SUCCESS) {
            return EncodeStatus::Unsupported;
        }
    }
    if (information != nullptr && (!information->exif.empty() || !information->xmp.empty())) {
        if (!AddInformationBoxes(encoder.get(), *information)) {
            return EncodeStatus::Unsupported;
        }
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (settings == nullptr) {
        return EncodeStatus::OutOfMemory;
    }
    const JxlEncoderStatus set = lossless ? JxlEncoderSetFrameLossless(settings, JXL_TRUE)
                                          : JxlEncoderSetFrameDistance(settings, JxlDistanceFromQuality(quality));
    if (set != JXL_ENC_SUCCESS) {
        return EncodeStatus::Unsupported;
    }
    const JxlPixelFormat format{channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) != JXL_ENC_SUCCESS) {
        return JxlEncoderGetError(encoder.get()) == JXL_ENC_ERR_OOM ? EncodeStatus::OutOfMemory
                                                                     : EncodeStatus::Unsupported;
    }
    JxlEncoderCloseInput(encoder.get());

    std::vector<uint8_t> chunk(kOutputChunk);
    for (;;) {
        uint8_t* next = chunk.data();
        size_t room = chunk.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &room);
        const size_t produced = chunk.size() - room;
        if (produced != 0 && std::fwrite(chunk.data(), 1, produced, file) != produced) {
            return EncodeStatus::WriteError;
        }
        if (status == JXL_ENC_SUCCESS) {
            return EncodeStatus::Ok;
        }
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            return JxlEncoderGetError(encoder.get()) == JXL_ENC_ERR_OOM ? EncodeStatus::OutOfMemory
                                                                         : EncodeStatus::Unsupported;
        }
    }
}

}  // namespace tallowin::codec
