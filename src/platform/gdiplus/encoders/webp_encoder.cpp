// libwebp adapter: lossy WebP at quality 1..99, lossless at 100. Lossless keeps the
// colour under fully transparent pixels, so a picture comes back exactly.
#include "encoder.h"

#include <webp/encode.h>

#include <algorithm>
#include <climits>

namespace tallowin::codec {
namespace {

constexpr int kLosslessQuality = 100;
// Effort between speed and size (0 fastest .. 6 smallest); libwebp's own default.
constexpr int kMethod = 4;

int WriteToFile(const uint8_t* data, size_t size, const WebPPicture* picture)
{
    auto* file = static_cast<std::FILE*>(picture->custom_ptr);
    return size == 0 || std::fwrite(data, 1, size, file) == size ? 1 : 0;
}

struct PictureGuard {
    WebPPicture picture{};
    bool ready = false;
    ~PictureGuard()
    {
        if (ready) {
            WebPPictureFree(&picture);
        }
    }
};

EncodeStatus StatusFromWebp(WebPEncodingError error)
{
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return EncodeStatus::OutOfMemory;
    case VP8_ENC_ERROR_BAD_WRITE: return EncodeStatus::WriteError;
    case VP8_ENC_ERROR_BAD_DIMENSION:
    case VP8_ENC_ERROR_FILE_TOO_BIG: return EncodeStatus::Unsupported;
    default: return EncodeStatus::WriteError;
    }
}

}  // namespace

EncodeStatus WriteWebp(const EncodeSource& source, int quality, std::FILE* file)
{
    if (source.width <= 0 || source.height <= 0 || source.width > WEBP_MAX_DIMENSION
        || source.height > WEBP_MAX_DIMENSION || source.stride > INT_MAX) {
        return EncodeStatus::Unsupported;
    }
    quality = std::clamp(quality, 1, kLosslessQuality);
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        return EncodeStatus::OutOfMemory;
    }
    config.method = kMethod;
    if (quality == kLosslessQuality) {
        config.lossless = 1;
        config.exact = 1;
        config.quality = 75;  // effort of the lossless search, not loss
    } else {
        config.quality = static_cast<float>(quality);
    }
    if (!WebPValidateConfig(&config)) {
        return EncodeStatus::Unsupported;
    }
    PictureGuard guard;
    if (!WebPPictureInit(&guard.picture)) {
        return EncodeStatus::OutOfMemory;
    }
    guard.ready = true;
    WebPPicture& picture = guard.picture;
    picture.use_argb = config.lossless;
    picture.width = source.width;
    picture.height = source.height;
    const int stride = static_cast<int>(source.stride);
    int imported = 0;
    if (source.bytesPerPixel == 3) {
        imported = WebPPictureImportBGR(&picture, source.data, stride);
    } else if (source.hasAlpha) {
        imported = WebPPictureImportBGRA(&picture, source.data, stride);
    } else {
        imported = WebPPictureImportBGRX(&picture, source.data, stride);
    }
    if (!imported) {
        return EncodeStatus::OutOfMemory;
    }
    picture.writer = WriteToFile;
    picture.custom_ptr = file;
    if (!WebPEncode(&config, &picture)) {
        return StatusFromWebp(picture.error_code);
    }
    return EncodeStatus::Ok;
}

}  // namespace tallowin::codec
